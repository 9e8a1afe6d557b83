#include "app/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "audio/music_player.h"
#include "cabinet/payload.h"
#include "cabinet/stale_work_folders.h"
#include "cabinet/status_poller.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "window/window_shape.h"

// The music plays from start-up to exit; without it the program runs silently.
static void startBackgroundMusic() {
    const void *bytes = nullptr;
    uint32_t size = 0;
    if (!loadResource(musicResourceId, &bytes, &size))
        return;
    if (!startMusic(static_cast<const uint8_t *>(bytes), size)) {
        std::fputs("Warning: Could not start MP3 playback\n", stdout);
        std::fflush(stdout);
    }
}

static int32_t startupFailed(const char *text) {
    // Whatever was created goes with the process.
    showMessageBox(nullptr, text, "Error", messageBoxOk);
    return 1;
}

// Pacing keeps an idle window light during an install that can last half an hour: the buffer
// swap waits for the display where the driver allows it, and a minimised window draws nothing.
// QUILLMERE_FRAME_PACING=off turns both off, for measuring what they save.
static bool framePacingWanted() {
    const char *setting = std::getenv("QUILLMERE_FRAME_PACING");
    return setting == nullptr || std::strcmp(setting, "off") != 0;
}

static void runMainLoop(bool paced) {
    while (appState.appRunning.load()) {
        pumpWindowMessages();
        if (paced && windowIsMinimised()) {
            sleepMilliseconds(50); // messages are still handled on every pass
            continue;
        }
        renderFrame();
        sleepMilliseconds(1);
    }
}

static void shutDown() {
    appState.pollerRunning.store(false);
    if (void *poller = appState.pollerThread.load())
        waitForThread(poller, 3000); // a poller inside a long tool run ends with the process
    removeWorkDir();
    releaseWindow();
}

static int32_t runOnlyCopy() {
    removeStaleWorkFolders();
    switch (createMainWindow(appState.windowWidth, appState.windowHeight)) {
    case WindowCreation::RegistrationFailed:
        return startupFailed("Window Registration Failed!");
    case WindowCreation::CreationFailed:
        return startupFailed("Window Creation Failed!");
    case WindowCreation::Created:
        break;
    }
    shapeWindowFromBackdrop();
    // A driver below OpenGL 3.3, without the entry points the frames need, or that cannot link
    // the backdrop cannot draw this window at all.
    if (!createGlContext(appState.windowHandle.load()) || !glVersionAtLeast(3, 3) ||
        !initGraphics())
        return startupFailed("OpenGL Init Failed!");
    const bool paced = framePacingWanted();
    if (paced)
        followDisplayRefresh(); // where the driver has no such control, the 1 ms sleep paces

    renderResources.timerFrequency = performanceFrequency();
    renderResources.timerStart = performanceCounter();

    startBackgroundMusic();

    appState.pollerThread.store(startThread(statusPoller, nullptr));

    runMainLoop(paced);
    shutDown();
    return 0;
}

int32_t runProgram() {
    if (!claimOnlyCopy()) {
        // A second copy would unpack the tool again and talk to the same cabinet: the user is
        // shown the one that runs.
        if (!raiseOtherCopy())
            showMessageBox(nullptr, "Quillmere is already running.", "Quillmere",
                           messageBoxOk | messageBoxIconInformation);
        return 0;
    }
    const int32_t exitCode = runOnlyCopy();
    releaseOnlyCopy();
    return exitCode;
}
