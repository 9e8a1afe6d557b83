// The GL objects every frame uses, made once at start-up on the UI thread.
#pragma once

#include <cstdint>

#include <stb_truetype.h>

#include "render/gl_api.h"

struct RenderResources {
    GLuint backdropProgram;
    GLuint quadVao;
    GLuint quadVbo;
    GLuint backdropTexture;
    int64_t timerFrequency;
    int64_t timerStart;
    GLuint closeIconTexture;
    GLuint soundMutedTexture;
    GLuint soundOnTexture;
    GLuint fontTexture;
    stbtt_bakedchar bakedGlyphs[96];
    GLuint textVao;
    GLuint textVbo;
    GLuint textProgram;
};

extern RenderResources renderResources;

// Makes the quad, the backdrop program, the pictures' textures and the text's objects. False
// when the driver lacks an entry point the frames need, or when the backdrop program does not
// link (after its boxes have been shown).
bool initGraphics();
