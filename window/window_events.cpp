#include "window/window_events.h"

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "render/gl_api.h"
#include "window/input.h"

void handleCloseMessage() {
    appState.pollerRunning.store(false);
    removeWorkDir();
    appState.appRunning.store(false);
    postQuitMessage();
}

void handleSizeMessage(uint32_t widthWord, uint32_t heightWord) {
    appState.windowWidth = static_cast<int32_t>(widthWord & 0xffff);
    const int32_t height = static_cast<int32_t>(heightWord & 0xffff);
    appState.windowHeight = height == 0 ? 1 : height; // the width gets no such floor
    glViewport(0, 0, appState.windowWidth, appState.windowHeight);
}

void handleKeyDown(uint32_t key) {
    if (key != escapeKey)
        return;
    appState.appRunning.store(false);
    postQuitMessage();
}

void handleMouseMove(uint32_t xWord, uint32_t yWord) {
    updateHover(static_cast<int32_t>(xWord & 0xffff), static_cast<int32_t>(yWord & 0xffff));
    if (!appState.dragging)
        return;
    // The window's corner goes where the cursor is now, less where the cursor sat on the window
    // when the drag began; both in screen pixels.
    int32_t x = 0;
    int32_t y = 0;
    cursorScreenPosition(&x, &y);
    moveWindow(appState.windowHandle.load(), x - appState.dragOffsetX, y - appState.dragOffsetY);
}

void handleButtonDown() { handleClick(); }

void handleButtonUp() { appState.dragging = false; }
