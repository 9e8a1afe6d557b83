// Prints the decode time of the carried music, and the time from start to the first frame with
// each start-up step on its own: window and GL context, graphics, music, the first frame.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/app_state.h"
#include "audio/music_player.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/render_resources.h"

using Clock = std::chrono::steady_clock;

static double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int main() {
    const void *bytes = nullptr;
    uint32_t size = 0;
    if (!loadResource(musicResourceId, &bytes, &size)) {
        std::printf("no music carried\n");
        return 1;
    }
    const uint8_t *mp3 = static_cast<const uint8_t *>(bytes);
    double best = 1e9;
    double sum = 0;
    const int runs = 5;
    for (int i = 0; i < runs; i++) {
        const Clock::time_point start = Clock::now();
        if (!decodeMusic(mp3, size)) {
            std::printf("the carried music does not decode\n");
            return 1;
        }
        const double took = millisecondsSince(start);
        best = std::min(best, took);
        sum += took;
        if (i + 1 < runs)
            stopMusic();
    }
    const double seconds =
        double(musicPlayer.pcmSamples) / musicPlayer.channels / musicPlayer.sampleRate;
    std::printf("music: %u bytes of MP3, %u samples (%.1f s, %d channels, %d Hz)\n", size,
                musicPlayer.pcmSamples, seconds, musicPlayer.channels, musicPlayer.sampleRate);
    std::printf("decode: best %.1f ms, mean %.1f ms over %d runs (%.0fx real time)\n", best,
                sum / runs, runs, seconds * 1000 / best);
    stopMusic();

    const Clock::time_point start = Clock::now();
    if (createMainWindow(626, 626) != WindowCreation::Created ||
        !createGlContext(appState.windowHandle.load())) {
        std::printf("no window or GL context (is a display set? try xvfb-run)\n");
        return 1;
    }
    const double window = millisecondsSince(start);
    if (!initGraphics()) {
        std::printf("graphics did not start\n");
        return 1;
    }
    const double graphics = millisecondsSince(start);
    renderResources.timerFrequency = performanceFrequency();
    renderResources.timerStart = performanceCounter();
    const bool playing = startMusic(mp3, size);
    const double music = millisecondsSince(start);
    pumpWindowMessages();
    renderFrame();
    const double frame = millisecondsSince(start);
    std::printf("start to first frame: %.1f ms (window and GL context %.1f, graphics %.1f, music "
                "%.1f%s, first frame %.1f)\n",
                frame, window, graphics - window, music - graphics,
                playing ? "" : " without a sound device", frame - music);
    stopMusic();
    releaseWindow();
    return 0;
}
