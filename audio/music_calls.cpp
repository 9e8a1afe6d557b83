#include <cstdlib>

#include "audio/music_player.h"

const MusicSystemCalls systemMusicCalls = {
    std::malloc,          std::calloc,        std::realloc,     std::free,
    openSoundOutput,      prepareSoundHeader, queueSoundHeader, resetSoundOutput,
    unprepareSoundHeader, closeSoundOutput,   createSemaphore,  releaseSemaphore,
    waitSemaphore,        closeSemaphore,     startThread,      waitForThread,
    releaseThread,
};

static std::atomic<const MusicSystemCalls *> activeCalls{&systemMusicCalls};

void replaceMusicSystemCalls(const MusicSystemCalls *calls) {
    activeCalls.store(calls != nullptr ? calls : &systemMusicCalls);
}

const MusicSystemCalls &musicCalls() { return *activeCalls.load(); }
