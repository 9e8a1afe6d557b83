// The music through the system's own sound output, captured in a file. On Linux SDL's disk
// driver writes what it would play. Under Wine an ALSA file sink is the default device:
// scripts/test names an ALSA configuration for the Wine suite (ALSA_CONFIG_PATH; Wine does not
// hand a changed HOME or environment on to its own side, so a test cannot set one up itself)
// whose file lies in the folder QUILLMERE_SOUND_SINK names. The sink opens only while that folder
// exists, so outside this test the Wine suite has no sound device.
//
// The sinks are not clocked like a sound card: Wine tops a starved device up with silence, and
// the file sink takes data as fast as it comes. So the capture is compared with the loop with its
// silent samples left out of both: every sounding sample must arrive, in order, from the loop's
// first one on and across its wraps.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "audio/music_player.h"
#include "platform/platform.h"
#include "tests/support/test_environment.h"
#include "tests/support/watched_music_calls.h"

namespace {

constexpr uint16_t stereoTone = 908;
constexpr size_t bufferSamples = 2 * musicFramesPerBuffer;

std::string shortStream() {
    const std::vector<std::string> frames = mp3Frames(carriedBytes(stereoTone));
    return frames.at(8) + frames.at(9) + frames.at(10);
}

// Where the device writes, with the device made to write there; empty when it cannot be.
std::string openCapture() {
#ifdef _WIN32
    const char *sink = std::getenv("QUILLMERE_SOUND_SINK");
    if (sink == nullptr)
        return "";
    const std::string folder = sink;
    removeTree(folder);
    std::filesystem::create_directories(folder);
    return joinPath(folder, "capture.raw");
#else
    const std::string capture = joinPath(scratchFolder("music-device"), "capture.raw");
    setEnvironment("SDL_AUDIODRIVER", "disk");
    setEnvironment("SDL_DISKAUDIOFILE", capture.c_str());
    return capture;
#endif
}

void closeCapture(const std::string &capture) {
#ifdef _WIN32
    removeTree(capture.substr(0, capture.size() - std::strlen("\\capture.raw")));
#else
    setEnvironment("SDL_AUDIODRIVER", nullptr);
    setEnvironment("SDL_DISKAUDIOFILE", nullptr);
    removeTree(capture.substr(0, capture.size() - std::strlen("/capture.raw")));
#endif
}

TEST(MusicDevice, TheDefaultDeviceGetsTheLoopFromItsFirstSampleThenSilenceWhenMuted) {
    const std::string capture = openCapture();
    if (capture.empty())
        GTEST_SKIP() << "no file sink for Wine's sound: scripts/test sets one up";
    WatchedMusicCalls::install(false);
    const std::string music = shortStream();
    const bool started = startMusic(reinterpret_cast<const uint8_t *>(music.data()),
                                    static_cast<uint32_t>(music.size()));
    bool played = started && WatchedMusicCalls::waitForHanded(12);
    muteMusic();
    const size_t mutedAfter = static_cast<size_t>(WatchedMusicCalls::buffersHanded());
    played = played && WatchedMusicCalls::waitForHanded(static_cast<int>(mutedAfter) + 8);
    WatchedMusicCalls::uninstall(); // stops the music: the device has written all it got
    const std::string bytes = readFile(capture);
    closeCapture(capture);
    ASSERT_TRUE(started) << "the default device did not open";
    ASSERT_TRUE(played) << "the device stopped finishing buffers";

    // The loop that was played, decoded again.
    ASSERT_TRUE(decodeMusic(reinterpret_cast<const uint8_t *>(music.data()),
                            static_cast<uint32_t>(music.size())));
    const std::vector<int16_t> loop(musicPlayer.pcm, musicPlayer.pcm + musicPlayer.pcmSamples);
    stopMusic();

    std::vector<int16_t> sounding;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        int16_t sample;
        std::memcpy(&sample, bytes.data() + i, 2);
        if (sample != 0)
            sounding.push_back(sample);
    }
    // What the player handed over before the mute took hold, silence left out: the buffers
    // filled before the flag was seen, and at most the one being filled then.
    auto soundingOf = [&](size_t buffers) {
        std::vector<int16_t> expected;
        for (size_t i = 0; i < buffers * bufferSamples; i++)
            if (loop[i % loop.size()] != 0)
                expected.push_back(loop[i % loop.size()]);
        return expected;
    };
    const std::vector<int16_t> before = soundingOf(mutedAfter);
    const std::vector<int16_t> atMost = soundingOf(mutedAfter + 1);
    ASSERT_GE(sounding.size(), before.size()) << "every buffer before the mute was played";
    ASSERT_LE(sounding.size(), atMost.size()) << "silence follows the buffers already queued";
    ASSERT_GT(before.size(), 2 * loop.size() * 9 / 10) << "the capture wraps the loop twice";
    for (size_t i = 0; i < sounding.size(); i++)
        ASSERT_EQ(sounding[i], atMost[i]) << "sounding sample " << i << " of " << sounding.size();
}

} // namespace
