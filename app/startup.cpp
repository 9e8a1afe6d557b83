#include "app/startup.h"

#include <cstdio>

#include "app/app_state.h"
#include "audio/music_player.h"
#include "cabinet/payload.h"
#include "cabinet/status_poller.h"
#include "platform/platform.h"
#include "render/frame.h"
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

static void runMainLoop() {
    while (appState.appRunning.load()) {
        pumpWindowMessages();
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

int32_t runProgram() {
    switch (createMainWindow(appState.windowWidth, appState.windowHeight)) {
    case WindowCreation::RegistrationFailed:
        return startupFailed("Window Registration Failed!");
    case WindowCreation::CreationFailed:
        return startupFailed("Window Creation Failed!");
    case WindowCreation::Created:
        break;
    }
    shapeWindowFromBackdrop();
    // A driver without the entry points the frames need cannot draw this window at all.
    if (!createGlContext(appState.windowHandle.load()) || !initGraphics())
        return startupFailed("OpenGL Init Failed!");

    renderResources.timerFrequency = performanceFrequency();
    renderResources.timerStart = performanceCounter();

    startBackgroundMusic();

    appState.pollerThread.store(startThread(statusPoller, nullptr));

    runMainLoop();
    shutDown();
    return 0;
}
