// The default waveform output through the waveOut functions.
#include <windows.h>

#include <cstddef>
#include <mmsystem.h>

#include "platform/platform.h"

// The portable header is the system's header under another name.
static_assert(sizeof(SoundHeader) == sizeof(WAVEHDR), "headers must match");
static_assert(offsetof(SoundHeader, lpData) == offsetof(WAVEHDR, lpData), "headers must match");
static_assert(offsetof(SoundHeader, dwBufferLength) == offsetof(WAVEHDR, dwBufferLength),
              "headers must match");
static_assert(offsetof(SoundHeader, dwFlags) == offsetof(WAVEHDR, dwFlags), "headers must match");
static_assert(offsetof(SoundHeader, lpNext) == offsetof(WAVEHDR, lpNext), "headers must match");
static_assert(soundHeaderDone == WHDR_DONE && soundHeaderPrepared == WHDR_PREPARED &&
                  soundHeaderInQueue == WHDR_INQUEUE && soundMessageDone == WOM_DONE,
              "flags and messages must match");

static HWAVEOUT waveOut(void *device) { return static_cast<HWAVEOUT>(device); }
static WAVEHDR *waveHeader(SoundHeader *header) { return reinterpret_cast<WAVEHDR *>(header); }

uint32_t openSoundOutput(void **device, const SoundFormat *format, SoundCallback callback,
                         uintptr_t instance) {
    WAVEFORMATEX wave = {};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(format->channels);
    wave.nSamplesPerSec = static_cast<DWORD>(format->sampleRate);
    wave.nBlockAlign = static_cast<WORD>(format->channels * 2);
    wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
    wave.wBitsPerSample = 16;
    wave.cbSize = 0;
    HWAVEOUT opened = nullptr;
    // On x86-64 a plain function with these parameters is the callback the system calls.
    const MMRESULT result =
        waveOutOpen(&opened, WAVE_MAPPER, &wave, reinterpret_cast<DWORD_PTR>(callback), instance,
                    CALLBACK_FUNCTION);
    if (result == MMSYSERR_NOERROR)
        *device = opened;
    return result;
}

uint32_t prepareSoundHeader(void *device, SoundHeader *header) {
    return waveOutPrepareHeader(waveOut(device), waveHeader(header), sizeof(WAVEHDR));
}

uint32_t queueSoundHeader(void *device, SoundHeader *header) {
    return waveOutWrite(waveOut(device), waveHeader(header), sizeof(WAVEHDR));
}

uint32_t resetSoundOutput(void *device) { return waveOutReset(waveOut(device)); }

uint32_t unprepareSoundHeader(void *device, SoundHeader *header) {
    return waveOutUnprepareHeader(waveOut(device), waveHeader(header), sizeof(WAVEHDR));
}

uint32_t closeSoundOutput(void *device) { return waveOutClose(waveOut(device)); }
