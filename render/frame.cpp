#include "render/frame.h"

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/render_resources.h"

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

    glDisable(GL_BLEND);
    presentFrame();
}
