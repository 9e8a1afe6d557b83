// The default waveform output over SDL's audio device, with the buffer rules of Windows: queued
// headers play in order, each finished one is marked done and handed to the callback, and a reset
// hands back every queued one. SDL pulls the samples on its own thread; the queue is guarded by
// SDL's lock on the device, which SDL holds while it pulls.
#include <SDL.h>
#include <cstring>

#include "platform/platform.h"

namespace {
constexpr uint32_t noError = 0;
constexpr uint32_t errorGeneral = 1;     // the device cannot be opened
constexpr uint32_t errorUnprepared = 34; // the header was not prepared
constexpr uint32_t errorStillPlaying = 33;

struct SdlSoundOutput {
    SDL_AudioDeviceID id;
    SoundCallback callback;
    uintptr_t instance;
    SoundHeader *first; // the queue, linked through lpNext
    SoundHeader *last;
    uint32_t playedBytes; // of the first header
    bool playing;         // from the first queued buffer on, as a wave device starts
};

// Marks the first queued header done, takes it off the queue and reports it.
void finishFirst(SdlSoundOutput *output) {
    SoundHeader *done = output->first;
    output->first = done->lpNext;
    if (output->first == nullptr)
        output->last = nullptr;
    output->playedBytes = 0;
    done->lpNext = nullptr;
    done->dwFlags = (done->dwFlags & ~soundHeaderInQueue) | soundHeaderDone;
    output->callback(output, soundMessageDone, output->instance, reinterpret_cast<uintptr_t>(done),
                     0);
}

void pullSamples(void *userdata, Uint8 *stream, int length) {
    SdlSoundOutput *output = static_cast<SdlSoundOutput *>(userdata);
    uint32_t wanted = static_cast<uint32_t>(length);
    while (wanted > 0 && output->first != nullptr) {
        SoundHeader *header = output->first;
        const uint32_t left = header->dwBufferLength - output->playedBytes;
        const uint32_t chunk = left < wanted ? left : wanted;
        std::memcpy(stream, header->lpData + output->playedBytes, chunk);
        stream += chunk;
        wanted -= chunk;
        output->playedBytes += chunk;
        if (output->playedBytes == header->dwBufferLength)
            finishFirst(output);
    }
    std::memset(stream, 0, wanted); // nothing queued: silence until the next buffer arrives
}
} // namespace

uint32_t openSoundOutput(void **device, const SoundFormat *format, SoundCallback callback,
                         uintptr_t instance) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return errorGeneral;
    SdlSoundOutput *output = new SdlSoundOutput{0, callback, instance, nullptr, nullptr, 0, false};
    SDL_AudioSpec wanted;
    SDL_zero(wanted);
    wanted.freq = format->sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(format->channels);
    wanted.samples = 1024;
    wanted.callback = pullSamples;
    wanted.userdata = output;
    SDL_AudioSpec obtained;
    // SDL converts to whatever the hardware takes, so the buffers stay in the asked format.
    output->id = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output->id == 0) {
        delete output;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return errorGeneral;
    }
    *device = output;
    callback(output, soundMessageOpen, instance, 0, 0);
    return noError;
}

uint32_t prepareSoundHeader(void *, SoundHeader *header) {
    header->dwFlags |= soundHeaderPrepared;
    return noError;
}

uint32_t queueSoundHeader(void *device, SoundHeader *header) {
    if ((header->dwFlags & soundHeaderPrepared) == 0)
        return errorUnprepared;
    if ((header->dwFlags & soundHeaderInQueue) != 0)
        return errorStillPlaying;
    SdlSoundOutput *output = static_cast<SdlSoundOutput *>(device);
    SDL_LockAudioDevice(output->id);
    header->dwFlags = (header->dwFlags & ~soundHeaderDone) | soundHeaderInQueue;
    header->lpNext = nullptr;
    if (output->last != nullptr)
        output->last->lpNext = header;
    else
        output->first = header;
    output->last = header;
    SDL_UnlockAudioDevice(output->id);
    if (!output->playing) {
        output->playing = true;
        SDL_PauseAudioDevice(output->id, 0);
    }
    return noError;
}

uint32_t resetSoundOutput(void *device) {
    SdlSoundOutput *output = static_cast<SdlSoundOutput *>(device);
    SDL_LockAudioDevice(output->id);
    while (output->first != nullptr)
        finishFirst(output);
    SDL_UnlockAudioDevice(output->id);
    return noError;
}

uint32_t unprepareSoundHeader(void *, SoundHeader *header) {
    if ((header->dwFlags & soundHeaderInQueue) != 0)
        return errorStillPlaying;
    header->dwFlags &= ~soundHeaderPrepared;
    return noError;
}

uint32_t closeSoundOutput(void *device) {
    SdlSoundOutput *output = static_cast<SdlSoundOutput *>(device);
    if (output->first != nullptr)
        return errorStillPlaying;
    // Once SDL has closed the device its thread has ended: no callback can follow.
    SDL_CloseAudioDevice(output->id);
    output->callback(output, soundMessageClose, output->instance, 0, 0);
    delete output;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return noError;
}
