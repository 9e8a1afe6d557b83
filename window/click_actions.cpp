#include "app/app_state.h"
#include "audio/music_player.h"
#include "cabinet/operations.h"
#include "platform/platform.h"
#include "window/input.h"

// The cursor's offset from the window's top-left corner, for the drag that follows.
static void takeDragOffset() {
    int32_t cursorX = 0;
    int32_t cursorY = 0;
    int32_t windowX = 0;
    int32_t windowY = 0;
    cursorScreenPosition(&cursorX, &cursorY);
    windowScreenPosition(appState.windowHandle.load(), &windowX, &windowY);
    appState.dragOffsetX = cursorX - windowX;
    appState.dragOffsetY = cursorY - windowY;
}

void handleClick() {
    if (appState.hoverClose) {
        appState.appRunning.store(false);
        postQuitMessage();
        return;
    }
    if (appState.hoverSound) {
        appState.soundMuted = !appState.soundMuted;
        if (appState.soundMuted)
            muteMusic();
        else
            unmuteMusic();
        return;
    }
    if (appState.hoverHelp) {
        showHelp();
        return;
    }
    if (appState.hoverPrimary) {
        if (appState.cabinetReady.load()) {
            // The stage and "Preparing..." are written under the guard the poller checks.
            if (!beginOperation())
                return; // an operation is running
            ThreadFunction worker = appState.modInstalled.load() ? restoreWorker : installWorker;
            appState.workerThread.store(startThread(worker, nullptr));
            return;
        }
        // The cabinet went away after the last cursor move: no operation and no new drag, but
        // a drag under way (the other button held) takes its offset again.
        if (appState.dragging)
            takeDragOffset();
        return;
    }
    appState.dragging = true;
    takeDragOffset();
}

void showHelp() {
    const int32_t choice = showMessageBox(
        appState.windowHandle.load(), appState.helpText, "How To Enable USB Debugging",
        messageBoxYesNo | messageBoxIconInformation | messageBoxDefaultSecond);
    if (choice == messageBoxChoseYes)
        openWebAddress(appState.helpVideoUrl);
}
