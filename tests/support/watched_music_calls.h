// The music's calls to the system, watched: every allocation, device, semaphore and thread is
// counted, any one call can be made to fail, and the sound device can be a loopback device that
// the test drives by hand: it keeps the samples of every buffer queued on it and finishes buffers
// only when told to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class MusicCall {
    Allocate,
    AllocateZeroed,
    Resize,
    OpenOutput,
    PrepareHeader,
    CreateSemaphore,
    StartThread,
};

struct MusicCallCounts {
    int liveAllocations;
    int liveDevices;
    int liveSemaphores;
    int liveThreads;
    std::vector<uint64_t> allocationBytes; // every first allocation, in order
    std::vector<uint64_t> resizeBytes;     // every resize, in order
};

struct WatchedMusicCalls {
    // Watches the system's calls; with `loopback` the sound device is the loopback device.
    static void install(bool loopback);
    static void uninstall();
    // The `nth` (from 1) call of `call` from now on fails.
    static void failAt(MusicCall call, int nth);
    static MusicCallCounts counts();

    // The loopback device: samples of every buffer as it was queued, in order.
    static std::vector<int16_t> handedSamples();
    static int queuedBuffers(); // queued and not yet finished
    static int buffersHanded(); // every queue call so far, on either device
    // Waits (at most 10 s) until `count` buffers have been handed over in all.
    static bool waitForHanded(int count);
    // Finishes the oldest queued buffer and reports it through the device's callback.
    static void finishOldest();
};

// The MP3 fixtures the suite carries: a stream of constant-size frames that each decode alone.
std::string carriedBytes(uint16_t resourceId);
std::vector<std::string> mp3Frames(const std::string &stream);
