#include "tests/support/watched_music_calls.h"

#include <atomic>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "audio/music_player.h"
#include "platform/platform.h"

namespace {

std::mutex lock;
std::map<MusicCall, int> failing; // call -> calls left until the failing one
std::set<void *> allocations;
int liveDevices = 0;
int liveSemaphores = 0;
int liveThreads = 0;
std::vector<uint64_t> allocationBytes;
std::vector<uint64_t> resizeBytes;

// The loopback device.
struct Loopback {
    SoundCallback callback = nullptr;
    uintptr_t instance = 0;
    std::deque<SoundHeader *> queue;
    std::vector<int16_t> handed;
    int handedCount = 0;
};
Loopback loopback;
int loopbackDevice; // its address is the device handle

bool shouldFail(MusicCall call) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = failing.find(call);
    if (found == failing.end())
        return false;
    if (--found->second > 0)
        return false;
    failing.erase(found);
    return true;
}

void *watchedAllocate(size_t bytes) {
    if (shouldFail(MusicCall::Allocate))
        return nullptr;
    void *memory = std::malloc(bytes);
    std::lock_guard<std::mutex> guard(lock);
    allocations.insert(memory);
    allocationBytes.push_back(bytes);
    return memory;
}

void *watchedAllocateZeroed(size_t count, size_t size) {
    if (shouldFail(MusicCall::AllocateZeroed))
        return nullptr;
    void *memory = std::calloc(count, size);
    std::lock_guard<std::mutex> guard(lock);
    allocations.insert(memory);
    allocationBytes.push_back(count * size);
    return memory;
}

void *watchedResize(void *memory, size_t bytes) {
    if (shouldFail(MusicCall::Resize))
        return nullptr;
    void *resized = std::realloc(memory, bytes);
    std::lock_guard<std::mutex> guard(lock);
    resizeBytes.push_back(bytes);
    if (resized != nullptr) {
        allocations.erase(memory);
        allocations.insert(resized);
    }
    return resized;
}

void watchedRelease(void *memory) {
    {
        std::lock_guard<std::mutex> guard(lock);
        allocations.erase(memory);
    }
    std::free(memory);
}

uint32_t watchedOpen(void **device, const SoundFormat *format, SoundCallback callback,
                     uintptr_t instance, bool useLoopback) {
    if (shouldFail(MusicCall::OpenOutput))
        return 1;
    uint32_t result = 0;
    if (useLoopback) {
        std::lock_guard<std::mutex> guard(lock);
        loopback.callback = callback;
        loopback.instance = instance;
        *device = &loopbackDevice;
    } else {
        result = openSoundOutput(device, format, callback, instance);
    }
    if (result == 0) {
        std::lock_guard<std::mutex> guard(lock);
        liveDevices++;
    }
    return result;
}
uint32_t openWithLoopback(void **device, const SoundFormat *format, SoundCallback callback,
                          uintptr_t instance) {
    return watchedOpen(device, format, callback, instance, true);
}
uint32_t openWithSystem(void **device, const SoundFormat *format, SoundCallback callback,
                        uintptr_t instance) {
    return watchedOpen(device, format, callback, instance, false);
}

uint32_t watchedPrepare(void *device, SoundHeader *header) {
    if (shouldFail(MusicCall::PrepareHeader))
        return 11; // an invalid parameter
    if (device != &loopbackDevice)
        return prepareSoundHeader(device, header);
    header->dwFlags |= soundHeaderPrepared;
    return 0;
}

uint32_t watchedQueue(void *device, SoundHeader *header) {
    if (device != &loopbackDevice) {
        {
            std::lock_guard<std::mutex> guard(lock);
            loopback.handedCount++;
        }
        return queueSoundHeader(device, header);
    }
    std::lock_guard<std::mutex> guard(lock);
    header->dwFlags = (header->dwFlags & ~soundHeaderDone) | soundHeaderInQueue;
    loopback.queue.push_back(header);
    const int16_t *samples = reinterpret_cast<const int16_t *>(header->lpData);
    loopback.handed.insert(loopback.handed.end(), samples, samples + header->dwBufferLength / 2);
    loopback.handedCount++;
    return 0;
}

// Takes the oldest queued buffer off the loopback device; null when none is queued.
SoundHeader *takeOldest() {
    std::lock_guard<std::mutex> guard(lock);
    if (loopback.queue.empty())
        return nullptr;
    SoundHeader *header = loopback.queue.front();
    loopback.queue.pop_front();
    header->dwFlags = (header->dwFlags & ~soundHeaderInQueue) | soundHeaderDone;
    return header;
}

uint32_t watchedReset(void *device) {
    if (device != &loopbackDevice)
        return resetSoundOutput(device);
    while (SoundHeader *header = takeOldest())
        loopback.callback(device, soundMessageDone, loopback.instance,
                          reinterpret_cast<uintptr_t>(header), 0);
    return 0;
}

uint32_t watchedUnprepare(void *device, SoundHeader *header) {
    if (device != &loopbackDevice)
        return unprepareSoundHeader(device, header);
    header->dwFlags &= ~soundHeaderPrepared;
    return 0;
}

uint32_t watchedClose(void *device) {
    const uint32_t result = device != &loopbackDevice ? closeSoundOutput(device) : 0;
    std::lock_guard<std::mutex> guard(lock);
    liveDevices--;
    return result;
}

void *watchedCreateSemaphore(int32_t initialCount, int32_t maximumCount) {
    if (shouldFail(MusicCall::CreateSemaphore))
        return nullptr;
    void *semaphore = createSemaphore(initialCount, maximumCount);
    std::lock_guard<std::mutex> guard(lock);
    liveSemaphores++;
    return semaphore;
}

void watchedCloseSemaphore(void *semaphore) {
    closeSemaphore(semaphore);
    std::lock_guard<std::mutex> guard(lock);
    liveSemaphores--;
}

void *watchedStartThread(ThreadFunction function, void *argument) {
    if (shouldFail(MusicCall::StartThread))
        return nullptr;
    void *thread = startThread(function, argument);
    std::lock_guard<std::mutex> guard(lock);
    liveThreads++;
    return thread;
}

void watchedReleaseThread(void *thread) {
    releaseThread(thread);
    std::lock_guard<std::mutex> guard(lock);
    liveThreads--;
}

MusicSystemCalls watchedCalls;

} // namespace

void WatchedMusicCalls::install(bool useLoopback) {
    {
        std::lock_guard<std::mutex> guard(lock);
        failing.clear();
        allocations.clear();
        allocationBytes.clear();
        resizeBytes.clear();
        liveDevices = liveSemaphores = liveThreads = 0;
        loopback = Loopback();
    }
    watchedCalls = {watchedAllocate,
                    watchedAllocateZeroed,
                    watchedResize,
                    watchedRelease,
                    useLoopback ? openWithLoopback : openWithSystem,
                    watchedPrepare,
                    watchedQueue,
                    watchedReset,
                    watchedUnprepare,
                    watchedClose,
                    watchedCreateSemaphore,
                    releaseSemaphore,
                    waitSemaphore,
                    watchedCloseSemaphore,
                    watchedStartThread,
                    waitForThread,
                    watchedReleaseThread};
    replaceMusicSystemCalls(&watchedCalls);
}

void WatchedMusicCalls::uninstall() {
    stopMusic();
    replaceMusicSystemCalls(nullptr);
}

void WatchedMusicCalls::failAt(MusicCall call, int nth) {
    std::lock_guard<std::mutex> guard(lock);
    failing[call] = nth;
}

MusicCallCounts WatchedMusicCalls::counts() {
    std::lock_guard<std::mutex> guard(lock);
    return {static_cast<int>(allocations.size()),
            liveDevices,
            liveSemaphores,
            liveThreads,
            allocationBytes,
            resizeBytes};
}

std::vector<int16_t> WatchedMusicCalls::handedSamples() {
    std::lock_guard<std::mutex> guard(lock);
    return loopback.handed;
}

int WatchedMusicCalls::queuedBuffers() {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(loopback.queue.size());
}

int WatchedMusicCalls::buffersHanded() {
    std::lock_guard<std::mutex> guard(lock);
    return loopback.handedCount;
}

bool WatchedMusicCalls::waitForHanded(int count) {
    const uint64_t start = monotonicMilliseconds();
    while (buffersHanded() < count) {
        if (monotonicMilliseconds() - start > 10000)
            return false;
        sleepMilliseconds(1);
    }
    return true;
}

void WatchedMusicCalls::finishOldest() {
    if (SoundHeader *header = takeOldest())
        loopback.callback(&loopbackDevice, soundMessageDone, loopback.instance,
                          reinterpret_cast<uintptr_t>(header), 0);
}

std::string carriedBytes(uint16_t resourceId) {
    const void *data = nullptr;
    uint32_t size = 0;
    if (!resourceBytes(resourceId, &data, &size))
        return "";
    return std::string(static_cast<const char *>(data), size);
}

std::vector<std::string> mp3Frames(const std::string &stream) {
    // MPEG-1 Layer III at 48 kHz: 144 x bit rate / 48,000 bytes, plus the padding byte.
    static const int kilobits[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                     112, 128, 160, 192, 224, 256, 320, 0};
    std::vector<std::string> frames;
    size_t at = 0;
    while (at + 4 <= stream.size()) {
        const unsigned char b2 = static_cast<unsigned char>(stream[at + 2]);
        const size_t length = 144 * 1000 * kilobits[b2 >> 4] / 48000 + ((b2 >> 1) & 1);
        if (length == 0 || at + length > stream.size())
            break;
        frames.push_back(stream.substr(at, length));
        at += length;
    }
    return frames;
}
