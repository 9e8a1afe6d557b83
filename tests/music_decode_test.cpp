// Decoding the carried MP3 whole into one loop, with streams cut and joined frame by frame from
// small fixtures whose frames each decode on their own.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "audio/music_player.h"
#include "tests/support/watched_music_calls.h"

namespace {

constexpr uint16_t monoTone = 907;   // 48 kHz, one channel, 96-byte frames
constexpr uint16_t stereoTone = 908; // 48 kHz, two channels, 192-byte frames

class MusicDecoding : public ::testing::Test {
  protected:
    std::vector<std::string> mono;
    std::vector<std::string> stereo;
    void SetUp() override {
        stopMusic();
        WatchedMusicCalls::install(true);
        mono = mp3Frames(carriedBytes(monoTone));
        stereo = mp3Frames(carriedBytes(stereoTone));
        ASSERT_GE(mono.size(), 20u);
        ASSERT_GE(stereo.size(), 20u);
        // The stream's frames between the encoder's delay and its end.
        mono.erase(mono.begin(), mono.begin() + 4);
        stereo.erase(stereo.begin(), stereo.begin() + 4);
    }
    void TearDown() override { WatchedMusicCalls::uninstall(); }

    static bool decode(const std::string &bytes) {
        return decodeMusic(reinterpret_cast<const uint8_t *>(bytes.data()),
                           static_cast<uint32_t>(bytes.size()));
    }
    static std::vector<int16_t> loop() {
        return std::vector<int16_t>(musicPlayer.pcm, musicPlayer.pcm + musicPlayer.pcmSamples);
    }
    // The loop one stream decodes to, released again.
    static std::vector<int16_t> loopOf(const std::string &bytes) {
        if (!decode(bytes))
            return {};
        std::vector<int16_t> samples = loop();
        stopMusic();
        return samples;
    }
};

std::string id3Tag(size_t bodyBytes) {
    std::string tag = "ID3";
    tag += '\x04';
    tag += '\0';
    tag += '\0';
    for (int shift = 21; shift >= 0; shift -= 7)
        tag += static_cast<char>((bodyBytes >> shift) & 0x7F);
    tag += std::string(bodyBytes, '\0');
    return tag;
}

std::string randomBytes(size_t count) {
    std::string bytes;
    uint32_t state = 12345;
    for (size_t i = 0; i < count; i++) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>(state >> 24);
    }
    return bytes;
}

TEST_F(MusicDecoding, StreamsWithoutSoundFailAndHoldNothing) {
    struct Case {
        const char *name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"only an ID3v2 tag", id3Tag(400)},
        {"random bytes", randomBytes(8192)},
        {"half a frame", stereo[0].substr(0, stereo[0].size() / 2)},
    };
    musicPlayer.channels = 7; // the loop fields stay as they were
    musicPlayer.sampleRate = 1234;
    for (const Case &c : cases) {
        EXPECT_FALSE(decode(c.bytes)) << c.name;
        EXPECT_EQ(musicPlayer.pcm, nullptr) << c.name;
        EXPECT_EQ(musicPlayer.pcmSamples, 0u) << c.name;
        EXPECT_EQ(musicPlayer.channels, 7) << c.name;
        EXPECT_EQ(musicPlayer.sampleRate, 1234) << c.name;
        EXPECT_EQ(WatchedMusicCalls::counts().liveAllocations, 0) << c.name;
    }
}

TEST_F(MusicDecoding, FramesAreAppendedAsDecodedWhateverSurroundsThem) {
    ASSERT_EQ(loopOf(stereo[0]).size(), 2304u) << "one stereo frame: 1,152 samples a channel";
    // A frame's sound depends on the one before it, so the reference is the plain pair.
    const std::vector<int16_t> pair = loopOf(stereo[0] + stereo[1]);
    ASSERT_EQ(pair.size(), 2u * 2304u);

    struct Case {
        const char *name;
        std::string bytes;
    };
    const Case cases[] = {
        {"behind a tag", id3Tag(1000) + stereo[0] + stereo[1]},
        {"a truncated last frame", stereo[0] + stereo[1] + stereo[2].substr(0, 100)},
        {"a last frame short of one byte",
         stereo[0] + stereo[1] + stereo[2].substr(0, stereo[2].size() - 1)},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(decode(c.bytes)) << c.name;
        EXPECT_EQ(loop(), pair) << c.name;
        EXPECT_EQ(musicPlayer.channels, 2) << c.name;
        EXPECT_EQ(musicPlayer.sampleRate, 48000) << c.name;
        EXPECT_EQ(musicPlayer.playPosition, 0u) << c.name;
        stopMusic();
        EXPECT_EQ(WatchedMusicCalls::counts().liveAllocations, 0) << c.name;
    }
}

TEST_F(MusicDecoding, EachFrameAddsItsOwnChannelsAndTheFirstDescribesTheLoop) {
    const std::vector<int16_t> one = loopOf(mono[0]);
    ASSERT_EQ(one.size(), 1152u);

    ASSERT_TRUE(decode(mono[0] + stereo[0] + mono[0]));
    EXPECT_EQ(musicPlayer.pcmSamples, 1152u + 2304u + 1152u);
    EXPECT_EQ(musicPlayer.channels, 1) << "the channel count of the first frame with sound";
    EXPECT_EQ(musicPlayer.sampleRate, 48000);
    EXPECT_EQ(std::vector<int16_t>(musicPlayer.pcm, musicPlayer.pcm + 1152), one);
}

TEST_F(MusicDecoding, TheLoopGrowsOnlyPastItsFirstCapacityToTwiceTheTotal) {
    // Whole stereo frames cannot land on 26,460,000 samples: 11,484 of them end just below it.
    const size_t below = musicFirstCapacity / 2304;
    std::string stream;
    stream.reserve((below + 1) * stereo[0].size());
    for (size_t i = 0; i < below; i++)
        stream += stereo[i % 8];

    ASSERT_TRUE(decode(stream));
    EXPECT_EQ(musicPlayer.pcmSamples, below * 2304);
    MusicCallCounts seen = WatchedMusicCalls::counts();
    EXPECT_EQ(seen.allocationBytes, std::vector<uint64_t>{uint64_t{musicFirstCapacity} * 2});
    EXPECT_TRUE(seen.resizeBytes.empty());
    stopMusic();

    stream += stereo[0];
    ASSERT_TRUE(decode(stream));
    const uint64_t total = (below + 1) * 2304;
    EXPECT_EQ(musicPlayer.pcmSamples, total);
    seen = WatchedMusicCalls::counts();
    EXPECT_EQ(seen.resizeBytes, std::vector<uint64_t>{total * 4}) << "capacity twice the total";
}

TEST_F(MusicDecoding, AFailedAllocationOrGrowthHoldsNothing) {
    musicPlayer.channels = 3;
    WatchedMusicCalls::failAt(MusicCall::Allocate, 1);
    EXPECT_FALSE(decode(stereo[0]));
    EXPECT_EQ(WatchedMusicCalls::counts().liveAllocations, 0);

    std::string stream;
    for (size_t i = 0; i <= musicFirstCapacity / 2304; i++)
        stream += stereo[0];
    WatchedMusicCalls::failAt(MusicCall::Resize, 1);
    EXPECT_FALSE(decode(stream));
    EXPECT_EQ(WatchedMusicCalls::counts().liveAllocations, 0);
    EXPECT_EQ(musicPlayer.pcm, nullptr);
    EXPECT_EQ(musicPlayer.channels, 3);
}

TEST(MusicCapacity, GrowsToTwiceTheTotalWhileTheBytesFitIn32Bits) {
    struct Case {
        uint64_t newTotal;
        bool fits;
        uint32_t capacity;
    };
    const Case cases[] = {
        {26461440, true, 52922880},
        {0x3FFFFFFF, true, 0x7FFFFFFE}, // 4,294,967,292 bytes
        {0x40000000, false, 0},         // 4 x total needs a 33rd bit
        {0xFFFFFFFF, false, 0},
    };
    for (const Case &c : cases) {
        uint32_t capacity = 0;
        EXPECT_EQ(grownMusicCapacity(c.newTotal, &capacity), c.fits) << c.newTotal;
        EXPECT_EQ(capacity, c.capacity) << c.newTotal;
    }
}

TEST(MusicResource, TheCarriedLoopIsFoundAndAMissingOrEmptyOneIsNot) {
    const void *data = nullptr;
    uint32_t size = 0;
    EXPECT_TRUE(loadResource(musicResourceId, &data, &size));
    EXPECT_GT(size, 10000u);
    EXPECT_EQ(std::string(static_cast<const char *>(data), 3), "ID3");

    const void *untouched = &size;
    uint32_t unchanged = 77;
    EXPECT_FALSE(loadResource(999, &untouched, &unchanged)) << "missing";
    EXPECT_EQ(untouched, &size);
    EXPECT_EQ(unchanged, 77u);
    EXPECT_FALSE(loadResource(900, &data, &size)) << "empty";
}

} // namespace
