#include "app/startup.h"

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "cabinet/status_poller.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/render_resources.h"
#include "window/window_shape.h"

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

    appState.pollerThread.store(startThread(statusPoller, nullptr));

    runMainLoop();
    shutDown();
    return 0;
}
