#include "render/embedded_assets.h"
#include "render/render_resources.h"
#include "render/shader_program.h"
#include "render/text.h"
#include "render/texture.h"

RenderResources renderResources;

// The full-window quad as a triangle strip, in clip space.
static const float quadVertices[8] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};

bool initGraphics() {
    if (!loadGlFunctions())
        return false;
    const GlFunctions &gl = glFunctions;
    RenderResources &r = renderResources;
    gl.glGenVertexArrays(1, &r.quadVao);
    gl.glBindVertexArray(r.quadVao);
    gl.glGenBuffers(1, &r.quadVbo);
    gl.glBindBuffer(GL_ARRAY_BUFFER, r.quadVbo);
    gl.glBufferData(GL_ARRAY_BUFFER, sizeof quadVertices, quadVertices, GL_STATIC_DRAW);
    gl.glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 8, nullptr);
    gl.glEnableVertexAttribArray(0);

    r.backdropProgram = buildProgram(reinterpret_cast<const char *>(backdropVertexSource),
                                     reinterpret_cast<const char *>(backdropFragmentSource));
    // The backdrop draws the whole window: without it there is nothing the user could use.
    if (!programLinked(r.backdropProgram))
        return false;

    r.backdropTexture = textureFromPng(backdropPng, backdropPng_size);
    r.closeIconTexture = textureFromPng(closeIconPng, closeIconPng_size);
    r.soundMutedTexture = textureFromPng(soundMutedPng, soundMutedPng_size);
    r.soundOnTexture = textureFromPng(soundOnPng, soundOnPng_size);

    // The font leaves no vertex array and no array buffer bound.
    gl.glBindVertexArray(0);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    loadFont(oxaniumFont, oxaniumFont_size);
    return true;
}
