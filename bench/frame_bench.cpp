// Prints the time per frame at 626 x 626 in the software GL of this machine: the whole frame, the
// backdrop draw alone and the text alone, with the draw calls a frame makes.
#include <chrono>
#include <cstdio>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "render/text.h"

static const char *const frameTexts[] = {"INSTALL",
                                         "HOW TO ENABLE",
                                         "USB DEBUGGING",
                                         "Ardwyn Presents... Quillmere",
                                         "ENABLE USB DEBUGGING ON THE CABINET FIRST",
                                         "Cabinet detected.\nPress INSTALL to begin."};

static int glyphCount() {
    int glyphs = 0;
    for (const char *text : frameTexts)
        for (const char *p = text; *p; p++)
            glyphs += static_cast<signed char>(*p) >= 32;
    return glyphs;
}

template <typename Draw> static double millisecondsPerFrame(int frames, Draw draw) {
    draw();
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; i++) {
        draw();
        glFinish(); // the software renderer works until here
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count() /
           frames;
}

int main() {
    if (createMainWindow(626, 626) != WindowCreation::Created ||
        !createGlContext(appState.windowHandle.load()) || !initGraphics()) {
        printf("no window or GL context (is a display set? try xvfb-run)\n");
        return 1;
    }
    renderResources.timerFrequency = performanceFrequency();
    renderResources.timerStart = performanceCounter();
    glViewport(0, 0, 626, 626);
    appState.cabinetReady = true;
    setStatusText("%s", "Cabinet detected.\nPress INSTALL to begin.");
    const GlFunctions &gl = glFunctions;
    const RenderResources &r = renderResources;

    const int frames = 60;
    const double whole = millisecondsPerFrame(frames, [] { renderFrame(); });
    const double backdrop = millisecondsPerFrame(frames, [&] {
        gl.glUseProgram(r.backdropProgram);
        gl.glUniform1f(gl.glGetUniformLocation(r.backdropProgram, "iTime"), elapsedSeconds());
        gl.glUniform2f(gl.glGetUniformLocation(r.backdropProgram, "iResolution"), 626, 626);
        gl.glUniform1f(gl.glGetUniformLocation(r.backdropProgram, "iPrimaryVisible"), 1);
        gl.glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, r.backdropTexture);
        gl.glBindVertexArray(r.quadVao);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    });
    const double text = millisecondsPerFrame(frames, [] {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        for (int i = 0; i < 5; i++)
            drawText(frameTexts[i], 100, 300, 1, 1, 1, 0.4f);
        drawTextLines(frameTexts[5], 400, 82, 0.8f, 0.8f, 0.8f, 0.4f, 14);
        glDisable(GL_BLEND);
    });
    printf("frame benchmark, 626 x 626, %d frames each, %s\n", frames,
           reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    printf("  whole frame (with the swap) : %8.2f ms per frame\n", whole);
    printf("  backdrop draw alone         : %8.2f ms per frame\n", backdrop);
    printf("  text alone                  : %8.2f ms per frame\n", text);
    printf("  draw calls per frame        : %d (1 backdrop + %d glyphs)\n", 1 + glyphCount(),
           glyphCount());
    releaseWindow();
    return 0;
}
