// The background music: the carried MP3 decoded whole into one looping buffer of 16-bit samples,
// and a time-critical thread that keeps four buffers queued on the system's sound output.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr uint16_t musicResourceId = 106;
constexpr int musicBufferCount = 4;
constexpr uint32_t musicFramesPerBuffer = 4096;
// The loop buffer's first capacity: 300 seconds of 44.1 kHz stereo.
constexpr uint32_t musicFirstCapacity = 26460000;

struct MusicPlayer {
    std::atomic<int32_t> musicRunning;
    std::atomic<int32_t> musicMuted;
    void *musicThreadHandle;
    // Read by the device's completion callback on a thread of the system's.
    std::atomic<void *> bufferSemaphore;
    void *outputDevice;
    uint8_t nextBuffer;
    SoundHeader headers[musicBufferCount];
    int16_t *bufferMemory[musicBufferCount];
    // The decoded loop, interleaved frame by frame.
    int16_t *pcm;
    uint32_t pcmSamples;
    uint32_t playPosition;
    int32_t channels;
    int32_t sampleRate;
    uint32_t bufferBytes;
};
extern MusicPlayer musicPlayer;

// The raw-data resource `id` of the executable. True when it exists and is not empty; the bytes
// stay valid and read-only for the life of the process.
bool loadResource(uint16_t id, const void **data, uint32_t *size);

// Decodes the whole MP3 stream into the player's loop. On failure the loop fields are left as
// they were and no memory is held.
bool decodeMusic(const uint8_t *data, uint32_t size);

// The loop buffer's capacity once `newTotal` samples have passed it: twice the total, as long as
// the buffer's byte count still fits in 32 bits. False when it would not.
bool grownMusicCapacity(uint64_t newTotal, uint32_t *capacity);

// True when the music is playing. Stops an earlier playback first.
bool startMusic(const uint8_t *data, uint32_t size);
// Stops and releases everything; harmless when nothing runs.
void stopMusic();
void muteMusic();
void unmuteMusic();

// Writes `frames` frames of the loop (or of silence while muted) to `buffer`.
void fillMusicBuffer(int16_t *buffer, uint32_t frames);
uint32_t musicThread(void *);
void waveOutDone(void *device, uint32_t message, uintptr_t instance, uintptr_t parameter1,
                 uintptr_t parameter2);

// Every call the music makes to the system and to the allocator, so that tests can watch them and
// make any one of them fail.
struct MusicSystemCalls {
    void *(*allocate)(size_t bytes);
    void *(*allocateZeroed)(size_t count, size_t size);
    void *(*resize)(void *memory, size_t bytes);
    void (*release)(void *memory);
    uint32_t (*openOutput)(void **device, const SoundFormat *format, SoundCallback callback,
                           uintptr_t instance);
    uint32_t (*prepareHeader)(void *device, SoundHeader *header);
    uint32_t (*queueHeader)(void *device, SoundHeader *header);
    uint32_t (*resetOutput)(void *device);
    uint32_t (*unprepareHeader)(void *device, SoundHeader *header);
    uint32_t (*closeOutput)(void *device);
    void *(*createSemaphore)(int32_t initialCount, int32_t maximumCount);
    bool (*releaseSemaphore)(void *semaphore);
    void (*waitSemaphore)(void *semaphore);
    void (*closeSemaphore)(void *semaphore);
    void *(*startThread)(ThreadFunction function, void *argument);
    bool (*waitForThread)(void *thread, uint32_t waitMs);
    void (*releaseThread)(void *thread);
};
extern const MusicSystemCalls systemMusicCalls;
// Null puts the system's calls back.
void replaceMusicSystemCalls(const MusicSystemCalls *calls);
const MusicSystemCalls &musicCalls();
