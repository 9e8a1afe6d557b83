#include "window/window_shape.h"

#include <stb_image.h>
#include <vector>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/embedded_assets.h"

// The picture's alpha at (u, v), filtered as GL's linear filter with clamped edges does it.
static float linearAlpha(const stbi_uc *rgba, int width, int height, float u, float v) {
    const float sx = u * width - 0.5f;
    const float sy = v * height - 0.5f;
    const int x0 = static_cast<int>(sx < 0 ? -1 : sx);
    const int y0 = static_cast<int>(sy < 0 ? -1 : sy);
    const float fx = sx - x0;
    const float fy = sy - y0;
    auto at = [&](int x, int y) {
        x = x < 0 ? 0 : (x >= width ? width - 1 : x);
        y = y < 0 ? 0 : (y >= height ? height - 1 : y);
        return rgba[(static_cast<size_t>(y) * width + x) * 4 + 3] / 255.0f;
    };
    const float top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
    const float bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
    return top + (bottom - top) * fy;
}

// Every window pixel whose backdrop pixel is less than half opaque is left out, as the
// backdrop shader paints exactly those pixels in the key colour.
void shapeWindowFromBackdrop() {
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc *backdrop = stbi_load_from_memory(backdropPng, static_cast<int>(backdropPng_size),
                                              &width, &height, &channels, 4);
    if (backdrop == nullptr)
        return;
    const int32_t windowWidth = appState.windowWidth;
    const int32_t windowHeight = appState.windowHeight;
    std::vector<unsigned char> shape(static_cast<size_t>(windowWidth) * windowHeight * 4);
    for (int32_t y = 0; y < windowHeight; y++) {
        for (int32_t x = 0; x < windowWidth; x++) {
            // Both run top row first here: the window's rows and the decoded picture's.
            const float u = (x + 0.5f) / windowWidth;
            const float v = (y + 0.5f) / windowHeight;
            const bool opaque = linearAlpha(backdrop, width, height, u, v) >= 0.5f;
            unsigned char *pixel = &shape[(static_cast<size_t>(y) * windowWidth + x) * 4];
            pixel[0] = 255;
            pixel[1] = opaque ? 255 : 0;
            pixel[2] = 255;
            pixel[3] = 255;
        }
    }
    stbi_image_free(backdrop);
    shapeWindow(appState.windowHandle.load(), shape.data(), windowWidth, windowHeight);
}
