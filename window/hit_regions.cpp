#include <cstdlib>

#include "app/app_state.h"
#include "window/input.h"

// Each control's region: the same centre, half extents and strict tests as the shader draws it.
static bool inside(int32_t x, int32_t y, int32_t centreX, int32_t centreY, int32_t halfWidth,
                   int32_t halfHeight) {
    return abs(x - centreX) < halfWidth && abs(y - centreY) < halfHeight;
}

void updateHover(int32_t x, int32_t y) {
    appState.mouseX = x;
    appState.mouseYUp = appState.windowHeight - y;
    // The icons are placed from the top edge; only the close icon follows the width.
    appState.hoverClose = inside(x, y, appState.windowWidth - 49, 43, 16, 14);
    appState.hoverSound = inside(x, y, 49, 43, 16, 14);
    // The buttons are placed from the bottom edge.
    appState.hoverPrimary =
        appState.cabinetReady.load() && inside(appState.mouseX, appState.mouseYUp, 92, 68, 46, 20);
    appState.hoverHelp = inside(appState.mouseX, appState.mouseYUp, 268, 68, 122, 20);
}
