// The music player: four buffers cycling through the sound device, paced by the device's
// completions, filled from the loop or with silence, and every way a start can fail.
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

#include "audio/music_player.h"
#include "platform/platform.h"
#include "tests/support/watched_music_calls.h"

namespace {

constexpr uint16_t stereoTone = 908;
constexpr uint32_t bufferSamples = 2 * musicFramesPerBuffer; // stereo

// A short stereo stream: three frames, 6,912 samples, shorter than one buffer.
std::string shortStream() {
    const std::vector<std::string> frames = mp3Frames(carriedBytes(stereoTone));
    return frames.at(8) + frames.at(9) + frames.at(10);
}

bool start(const std::string &bytes) {
    return startMusic(reinterpret_cast<const uint8_t *>(bytes.data()),
                      static_cast<uint32_t>(bytes.size()));
}

std::vector<int16_t> currentLoop() {
    return std::vector<int16_t>(musicPlayer.pcm, musicPlayer.pcm + musicPlayer.pcmSamples);
}

// The loop played without a gap from sample `from` on, `count` samples of it.
std::vector<int16_t> cycled(const std::vector<int16_t> &loop, size_t from, size_t count) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; i++)
        samples[i] = loop[(from + i) % loop.size()];
    return samples;
}

void expectStopped(const char *context) {
    const MusicCallCounts counts = WatchedMusicCalls::counts();
    EXPECT_EQ(musicPlayer.musicThreadHandle, nullptr) << context;
    EXPECT_EQ(musicPlayer.bufferSemaphore.load(), nullptr) << context;
    EXPECT_EQ(musicPlayer.outputDevice, nullptr) << context;
    for (int16_t *memory : musicPlayer.bufferMemory)
        EXPECT_EQ(memory, nullptr) << context;
    EXPECT_EQ(musicPlayer.pcm, nullptr) << context;
    EXPECT_EQ(musicPlayer.pcmSamples, 0u) << context;
    EXPECT_EQ(musicPlayer.playPosition, 0u) << context;
    EXPECT_EQ(counts.liveThreads, 0) << context;
    EXPECT_EQ(counts.liveDevices, 0) << context;
    EXPECT_EQ(counts.liveSemaphores, 0) << context;
    EXPECT_EQ(counts.liveAllocations, 0) << context;
}

class MusicPlayback : public ::testing::Test {
  protected:
    void SetUp() override {
        stopMusic();
        WatchedMusicCalls::install(true);
    }
    void TearDown() override {
        WatchedMusicCalls::uninstall();
        musicPlayer.musicMuted = 0;
    }
};

TEST(MusicFill, CopiesTheLoopWithoutAGapAndHoldsItWhileMuted) {
    std::vector<int16_t> loop(10); // five stereo frames
    std::iota(loop.begin(), loop.end(), int16_t{1});
    struct Case {
        const char *name;
        uint32_t position;
        bool muted;
        uint32_t frames;
        std::vector<int16_t> written;
        uint32_t positionAfter;
    };
    const Case cases[] = {
        {"within the loop", 2, false, 2, {3, 4, 5, 6}, 6},
        {"up to its end", 6, false, 2, {7, 8, 9, 10}, 0},
        {"the end in the middle", 6, false, 4, {7, 8, 9, 10, 1, 2, 3, 4}, 4},
        {"shorter than the buffer",
         0,
         false,
         12,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 3, 4},
         4},
        {"muted", 6, true, 3, {0, 0, 0, 0, 0, 0}, 6},
    };
    for (const Case &c : cases) {
        musicPlayer.pcm = loop.data();
        musicPlayer.pcmSamples = static_cast<uint32_t>(loop.size());
        musicPlayer.channels = 2;
        musicPlayer.playPosition = c.position;
        musicPlayer.musicMuted = c.muted ? 1 : 0;
        std::vector<int16_t> buffer(c.written.size(), -1);
        fillMusicBuffer(buffer.data(), c.frames);
        EXPECT_EQ(buffer, c.written) << c.name;
        EXPECT_EQ(musicPlayer.playPosition, c.positionAfter) << c.name;
    }
    // Unmuted again, the loop goes on with the sample after the last one written.
    musicPlayer.musicMuted = 0;
    std::vector<int16_t> buffer(2);
    fillMusicBuffer(buffer.data(), 1);
    EXPECT_EQ(buffer, (std::vector<int16_t>{7, 8}));
    musicPlayer.pcm = nullptr;
    musicPlayer.pcmSamples = 0;
    musicPlayer.playPosition = 0;
}

TEST_F(MusicPlayback, FourBuffersAreQueuedAndEachFinishedOneIsRefilledInTurn) {
    ASSERT_TRUE(start(shortStream()));
    const std::vector<int16_t> loop = currentLoop();
    ASSERT_EQ(loop.size(), 6912u);
    EXPECT_EQ(musicPlayer.bufferBytes, 16384u);

    ASSERT_TRUE(WatchedMusicCalls::waitForHanded(4));
    sleepMilliseconds(50); // a fifth buffer would come now if the thread did not wait
    EXPECT_EQ(WatchedMusicCalls::buffersHanded(), 4) << "the thread waits for the device";
    for (int finished = 1; finished <= 3; finished++) {
        WatchedMusicCalls::finishOldest();
        ASSERT_TRUE(WatchedMusicCalls::waitForHanded(4 + finished));
        EXPECT_EQ(WatchedMusicCalls::queuedBuffers(), 4);
    }
    // The loop, wrapped several times a buffer, from its first sample on.
    EXPECT_EQ(WatchedMusicCalls::handedSamples(), cycled(loop, 0, 7 * bufferSamples));
    // The buffers go round in order: the one just finished is the one refilled.
    stopMusic();
    EXPECT_EQ(musicPlayer.nextBuffer, 7 % 4);
}

TEST_F(MusicPlayback, MutingSilencesTheNextBuffersAndUnmutingResumesWhereItStopped) {
    ASSERT_TRUE(start(shortStream()));
    const std::vector<int16_t> loop = currentLoop();
    ASSERT_TRUE(WatchedMusicCalls::waitForHanded(4));

    muteMusic();
    for (int i = 0; i < 4; i++) {
        WatchedMusicCalls::finishOldest();
        ASSERT_TRUE(WatchedMusicCalls::waitForHanded(5 + i));
    }
    unmuteMusic();
    WatchedMusicCalls::finishOldest();
    ASSERT_TRUE(WatchedMusicCalls::waitForHanded(9));

    std::vector<int16_t> expected = cycled(loop, 0, 4 * bufferSamples);
    expected.resize(8 * bufferSamples, 0); // the four queued after the mute are silent
    const std::vector<int16_t> resumed = cycled(loop, 4 * bufferSamples, bufferSamples);
    expected.insert(expected.end(), resumed.begin(), resumed.end());
    EXPECT_EQ(WatchedMusicCalls::handedSamples(), expected);
}

TEST_F(MusicPlayback, AFailureAtAnyStepOfTheStartLeavesEverythingStopped) {
    struct Case {
        const char *name;
        MusicCall call;
        int nth;
        std::string bytes;
    };
    const std::string music = shortStream();
    const Case cases[] = {
        {"the stream does not decode", MusicCall::Allocate, 1000, "not an MP3 stream"},
        {"the loop cannot be allocated", MusicCall::Allocate, 1, music},
        {"the device does not open", MusicCall::OpenOutput, 1, music},
        {"no semaphore", MusicCall::CreateSemaphore, 1, music},
        {"the first buffer", MusicCall::AllocateZeroed, 1, music},
        {"the last buffer", MusicCall::AllocateZeroed, 4, music},
        {"the first header", MusicCall::PrepareHeader, 1, music},
        {"the third header", MusicCall::PrepareHeader, 3, music},
        {"no thread", MusicCall::StartThread, 1, music},
    };
    for (const Case &c : cases) {
        WatchedMusicCalls::install(true);
        WatchedMusicCalls::failAt(c.call, c.nth);
        EXPECT_FALSE(start(c.bytes)) << c.name;
        expectStopped(c.name);
        for (const SoundHeader &header : musicPlayer.headers)
            EXPECT_EQ(header.dwFlags, 0u) << c.name;
    }
    WatchedMusicCalls::install(true);
    EXPECT_TRUE(start(music)) << "a start without a failure";
}

TEST_F(MusicPlayback, ASecondStartReleasesTheFirstAndAStopReleasesEverything) {
    ASSERT_TRUE(start(shortStream()));
    ASSERT_TRUE(WatchedMusicCalls::waitForHanded(4));
    muteMusic();
    ASSERT_TRUE(start(shortStream()));
    EXPECT_EQ(musicPlayer.musicMuted.load(), 0) << "a start clears the mute";
    MusicCallCounts counts = WatchedMusicCalls::counts();
    EXPECT_EQ(counts.liveDevices, 1);
    EXPECT_EQ(counts.liveThreads, 1);
    EXPECT_EQ(counts.liveSemaphores, 1);
    EXPECT_EQ(counts.liveAllocations, 5) << "the loop and the four buffers";

    stopMusic();
    expectStopped("after the stop");
    stopMusic(); // again, with nothing running
    expectStopped("after a second stop");
    muteMusic();
    EXPECT_EQ(musicPlayer.musicMuted.load(), 1) << "the flag alone, harmless when stopped";
}

TEST(MusicSemaphore, NeverCountsPastItsMaximum) {
    void *semaphore = createSemaphore(3, 4);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_TRUE(releaseSemaphore(semaphore));
    EXPECT_FALSE(releaseSemaphore(semaphore)) << "at the maximum the release fails";
    for (int i = 0; i < 4; i++)
        waitSemaphore(semaphore); // four counts, no more: a fifth wait would block
    EXPECT_TRUE(releaseSemaphore(semaphore));
    waitSemaphore(semaphore);
    closeSemaphore(semaphore);
}

} // namespace
