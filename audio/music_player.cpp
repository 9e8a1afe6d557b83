#include <cstring>

#include "audio/music_player.h"

MusicPlayer musicPlayer;

namespace {
constexpr int32_t semaphoreStart = 3; // the first four passes queue all four buffers
constexpr int32_t semaphoreMaximum = 4;
} // namespace

void muteMusic() { musicPlayer.musicMuted.store(1); }
void unmuteMusic() { musicPlayer.musicMuted.store(0); }

void fillMusicBuffer(int16_t *buffer, uint32_t frames) {
    MusicPlayer &player = musicPlayer;
    const uint32_t wanted = static_cast<uint32_t>(player.channels) * frames;
    // An empty loop could never fill the buffer: it gets silence like a muted one.
    if (player.musicMuted.load() != 0 || player.pcm == nullptr || player.pcmSamples == 0) {
        std::memset(buffer, 0, size_t{wanted} * 2);
        return;
    }
    uint32_t written = 0;
    while (written < wanted) {
        const uint32_t left = player.pcmSamples - player.playPosition;
        const uint32_t chunk = left < wanted - written ? left : wanted - written;
        std::memcpy(buffer + written, player.pcm + player.playPosition, size_t{chunk} * 2);
        written += chunk;
        player.playPosition += chunk;
        if (player.playPosition >= player.pcmSamples)
            player.playPosition = 0;
    }
}

uint32_t musicThread(void *) {
    MusicPlayer &player = musicPlayer;
    const MusicSystemCalls &calls = musicCalls();
    raiseThreadPriority();
    while (player.musicRunning.load() != 0) {
        const uint8_t i = player.nextBuffer;
        fillMusicBuffer(reinterpret_cast<int16_t *>(player.headers[i].lpData),
                        musicFramesPerBuffer);
        calls.queueHeader(player.outputDevice, &player.headers[i]);
        player.nextBuffer = static_cast<uint8_t>((player.nextBuffer + 1) % musicBufferCount);
        calls.waitSemaphore(player.bufferSemaphore.load());
    }
    return 0;
}

void waveOutDone(void *, uint32_t message, uintptr_t, uintptr_t, uintptr_t) {
    if (message != soundMessageDone)
        return;
    // The device is closed before the semaphore is, so a finished buffer always finds it; a
    // release at the maximum count fails and is ignored.
    if (void *semaphore = musicPlayer.bufferSemaphore.load())
        musicCalls().releaseSemaphore(semaphore);
}

void stopMusic() {
    MusicPlayer &player = musicPlayer;
    const MusicSystemCalls &calls = musicCalls();
    player.musicRunning.store(0);
    void *semaphore = player.bufferSemaphore.load();
    if (semaphore != nullptr)
        calls.releaseSemaphore(semaphore); // a thread blocked in its wait wakes and ends
    if (player.musicThreadHandle != nullptr) {
        calls.waitForThread(player.musicThreadHandle, waitForever);
        calls.releaseThread(player.musicThreadHandle);
        player.musicThreadHandle = nullptr;
    }
    // The device goes before the semaphore: the reset hands back every queued buffer through the
    // callback, which must never find the semaphore closed.
    if (player.outputDevice != nullptr) {
        calls.resetOutput(player.outputDevice);
        for (SoundHeader &header : player.headers)
            if ((header.dwFlags & soundHeaderPrepared) != 0)
                calls.unprepareHeader(player.outputDevice, &header);
        calls.closeOutput(player.outputDevice);
        player.outputDevice = nullptr;
    }
    if (semaphore != nullptr) {
        player.bufferSemaphore.store(nullptr);
        calls.closeSemaphore(semaphore);
    }
    for (int16_t *&memory : player.bufferMemory) {
        if (memory != nullptr)
            calls.release(memory);
        memory = nullptr;
    }
    if (player.pcm != nullptr) {
        calls.release(player.pcm);
        player.pcm = nullptr;
    }
    player.pcmSamples = 0;
    player.playPosition = 0;
    std::memset(player.headers, 0, sizeof player.headers);
}

bool startMusic(const uint8_t *data, uint32_t size) {
    MusicPlayer &player = musicPlayer;
    const MusicSystemCalls &calls = musicCalls();
    stopMusic();
    if (!decodeMusic(data, size))
        return false;

    const SoundFormat format = {player.channels, player.sampleRate};
    void *device = nullptr;
    if (calls.openOutput(&device, &format, waveOutDone, 0) != 0) {
        stopMusic();
        return false;
    }
    player.outputDevice = device;

    void *semaphore = calls.createSemaphore(semaphoreStart, semaphoreMaximum);
    if (semaphore == nullptr) {
        stopMusic();
        return false;
    }
    player.bufferSemaphore.store(semaphore);

    player.bufferBytes = static_cast<uint32_t>(player.channels) * musicFramesPerBuffer * 2;
    for (int16_t *&memory : player.bufferMemory) {
        memory = static_cast<int16_t *>(
            calls.allocateZeroed(static_cast<size_t>(player.channels) * musicFramesPerBuffer, 2));
        if (memory == nullptr) {
            stopMusic();
            return false;
        }
    }

    std::memset(player.headers, 0, sizeof player.headers);
    for (int i = 0; i < musicBufferCount; i++) {
        SoundHeader &header = player.headers[i];
        header.lpData = reinterpret_cast<char *>(player.bufferMemory[i]);
        header.dwBufferLength = player.bufferBytes;
        header.dwFlags = soundHeaderDone;
        if (calls.prepareHeader(player.outputDevice, &header) != 0) {
            stopMusic();
            return false;
        }
    }

    player.nextBuffer = 0;
    player.musicMuted.store(0);
    player.musicRunning.store(1);
    player.musicThreadHandle = calls.startThread(musicThread, nullptr);
    if (player.musicThreadHandle == nullptr) {
        stopMusic();
        return false;
    }
    return true;
}
