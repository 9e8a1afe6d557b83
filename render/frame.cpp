#include "render/frame.h"

#include <cmath>
#include <initializer_list>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/render_resources.h"
#include "render/status_layout.h"
#include "render/text.h"

constexpr float statusBlockMargin = 6.0f;

float elapsedSeconds() {
    const int64_t ticks = performanceCounter() - renderResources.timerStart;
    return static_cast<float>(ticks) / static_cast<float>(renderResources.timerFrequency);
}

static void bindPicture(GLenum unit, GLuint texture, const char *sampler, int number) {
    const GlFunctions &gl = glFunctions;
    gl.glActiveTexture(unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    gl.glUniform1i(gl.glGetUniformLocation(renderResources.backdropProgram, sampler), number);
}

// 8-bit colour components as the text shader takes them.
static constexpr float component(int value) { return static_cast<float>(value) / 255.0f; }

static float statusTextWidth(const char *text) { return measureText(text, 0.4f); }

// The status block runs from x = 400 to the window's right edge, less a small margin; its lines
// step down 14 pixels from the baseline at 82. While a long step moves bytes, its progress line
// follows the status lines in the same colour, and the status text gives up a line for it.
static void drawStatusLines(float windowWidth) {
    const float blockWidth = windowWidth - 400.0f - statusBlockMargin;
    char progress[progressTextSize];
    copyProgressText(progress, sizeof progress);
    StatusLayout progressLines;
    layOutProgressLine(progress, blockWidth, statusTextWidth, &progressLines);
    char status[statusTextSize];
    copyStatusText(status, sizeof status);
    StatusLayout statusLines;
    layOutStatusText(status, blockWidth, maxStatusLines - progressLines.count, statusTextWidth,
                     &statusLines);
    float baseline = 82.0f;
    for (const StatusLayout *layout : {&statusLines, &progressLines})
        for (int i = 0; i < layout->count; i++, baseline -= 14.0f)
            drawText(layout->lines[i], 400.0f, baseline, 0.8f, 0.8f, 0.8f, 0.4f);
}

// The labels sit centred on the drawn buttons; title and warning centred on the window's width,
// taken down to a whole pixel; the status block to the right of the help button.
static void drawFrameText() {
    const float labelShade = component(245);
    const float width = static_cast<float>(appState.windowWidth);
    const float height = static_cast<float>(appState.windowHeight);
    if (appState.cabinetReady.load()) {
        const char *label = appState.modInstalled.load() ? "RESTORE" : "INSTALL";
        const float w = measureText(label, 0.4f);
        drawText(label, 92.0f - w * 0.5f, 61.0f, labelShade, labelShade, labelShade, 0.4f);
    }
    const float howWidth = measureText("HOW TO ENABLE", 0.4f);
    const float usbWidth = measureText("USB DEBUGGING", 0.4f);
    drawText("HOW TO ENABLE", 268.0f - howWidth * 0.5f, 72.0f, labelShade, labelShade, labelShade,
             0.4f);
    drawText("USB DEBUGGING", 268.0f - usbWidth * 0.5f, 56.0f, labelShade, labelShade, labelShade,
             0.4f);

    const char title[] = "Ardwyn Presents... Quillmere";
    const float titleWidth = measureText(title, 0.5f);
    drawText(title, floorf(width * 0.5f - titleWidth * 0.5f), height - 38.0f, component(60),
             component(187), component(217), 0.5f);
    const char warning[] = "ENABLE USB DEBUGGING ON THE CABINET FIRST";
    const float warningWidth = measureText(warning, 0.35f);
    drawText(warning, floorf(width * 0.5f - warningWidth * 0.5f), height - 56.0f, component(255),
             component(100), component(100), 0.35f);

    drawStatusLines(width);
}

void renderFrame() {
    const GlFunctions &gl = glFunctions;
    const RenderResources &r = renderResources;
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f); // the key colour, where nothing else is drawn
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    gl.glUseProgram(r.backdropProgram);
    const GLuint program = r.backdropProgram;
    gl.glUniform1f(gl.glGetUniformLocation(program, "iTime"), elapsedSeconds());
    gl.glUniform2f(gl.glGetUniformLocation(program, "iResolution"),
                   static_cast<float>(appState.windowWidth),
                   static_cast<float>(appState.windowHeight));
    gl.glUniform1f(gl.glGetUniformLocation(program, "iInstallHover"),
                   appState.hoverPrimary ? 1.0f : 0.0f);
    gl.glUniform1f(gl.glGetUniformLocation(program, "iHelpHover"),
                   appState.hoverHelp ? 1.0f : 0.0f);
    gl.glUniform1f(gl.glGetUniformLocation(program, "iPrimaryVisible"),
                   appState.cabinetReady.load() ? 1.0f : 0.0f);
    bindPicture(GL_TEXTURE0, r.backdropTexture, "iBackground", 0);
    bindPicture(GL_TEXTURE1, r.closeIconTexture, "iCloseBtn", 1);
    bindPicture(GL_TEXTURE2, appState.soundMuted ? r.soundMutedTexture : r.soundOnTexture,
                "iSoundBtn", 2);
    gl.glBindVertexArray(r.quadVao);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);

    drawFrameText();
    glDisable(GL_BLEND);
    presentFrame();
}
