#include "render/text.h"

#include <cstdlib>
#include <stb_truetype.h>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/embedded_assets.h"
#include "render/render_resources.h"
#include "render/shader_program.h"

constexpr int atlasSize = 512;

void loadFont(const unsigned char *bytes, size_t length) {
    if (bytes == nullptr || length < 2) {
        showMessageBox(nullptr, "Could not load font data!", "Font Error", messageBoxOk);
        return;
    }
    RenderResources &r = renderResources;
    const GlFunctions &gl = glFunctions;
    unsigned char *atlas = static_cast<unsigned char *>(malloc(atlasSize * atlasSize));
    if (atlas == nullptr)
        return; // no atlas: every text measures 0 and draws nothing
    stbtt_BakeFontBitmap(bytes, 0, 32.0f, atlas, atlasSize, atlasSize, 32, 96, r.bakedGlyphs);
    glGenTextures(1, &r.fontTexture);
    glBindTexture(GL_TEXTURE_2D, r.fontTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, atlasSize, atlasSize, 0, GL_RED, GL_UNSIGNED_BYTE,
                 atlas);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    free(atlas);

    gl.glGenVertexArrays(1, &r.textVao);
    gl.glGenBuffers(1, &r.textVbo);
    gl.glBindVertexArray(r.textVao);
    gl.glBindBuffer(GL_ARRAY_BUFFER, r.textVbo);
    gl.glBufferData(GL_ARRAY_BUFFER, 96, nullptr, GL_DYNAMIC_DRAW);
    gl.glEnableVertexAttribArray(0);
    gl.glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 16, nullptr);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl.glBindVertexArray(0);

    r.textProgram = buildProgram(reinterpret_cast<const char *>(textVertexSource),
                                 reinterpret_cast<const char *>(textFragmentSource));
}

// A byte has a glyph when, read as a signed 8-bit value, it is 32 or more: 32 to 127.
static bool drawable(char c) { return static_cast<signed char>(c) >= 32; }

float measureText(const char *text, float scale) {
    float penX = 0.0f;
    float penY = 0.0f;
    for (const char *p = text; *p != '\0'; p++) {
        if (!drawable(*p))
            continue;
        stbtt_aligned_quad quad;
        stbtt_GetBakedQuad(renderResources.bakedGlyphs, atlasSize, atlasSize, *p - 32, &penX, &penY,
                           &quad, 1);
    }
    return penX * scale;
}

float drawText(const char *text, float penX, float baselineY, float red, float green, float blue,
               float scale) {
    const GlFunctions &gl = glFunctions;
    const RenderResources &r = renderResources;
    gl.glUseProgram(r.textProgram);
    const float width = static_cast<float>(appState.windowWidth);
    const float height = static_cast<float>(appState.windowHeight);
    // Window pixels to clip space, so the text follows a resized window.
    const float projection[16] = {2.0f / width, 0,  0, 0, 0, 2.0f / height, 0, 0, 0, 0, -1, 0,
                                  -1,           -1, 0, 1};
    gl.glUniformMatrix4fv(gl.glGetUniformLocation(r.textProgram, "projection"), 1, GL_FALSE,
                          projection);
    gl.glUniform3f(gl.glGetUniformLocation(r.textProgram, "textColor"), red, green, blue);
    gl.glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, r.fontTexture);
    gl.glUniform1i(gl.glGetUniformLocation(r.textProgram, "text"), 0);
    gl.glBindVertexArray(r.textVao);
    for (const char *p = text; *p != '\0'; p++) {
        if (!drawable(*p))
            continue;
        // The box is snapped to whole pixels about x 0 and the baseline, never about the pen,
        // so a fractional pen stays fractional.
        float qx = 0.0f;
        float qy = baselineY;
        stbtt_aligned_quad q;
        stbtt_GetBakedQuad(r.bakedGlyphs, atlasSize, atlasSize, *p - 32, &qx, &qy, &q, 1);
        const float left = q.x0 * scale + penX;
        const float right = (q.x1 - q.x0) * scale + left;
        const float top = (baselineY - q.y0) * scale + baselineY;
        const float bottom = (baselineY - q.y1) * scale + baselineY;
        const float vertices[24] = {left,  top,    q.s0, q.t0, left,  bottom, q.s0, q.t1,
                                    right, bottom, q.s1, q.t1, left,  top,    q.s0, q.t0,
                                    right, bottom, q.s1, q.t1, right, top,    q.s1, q.t0};
        gl.glBindBuffer(GL_ARRAY_BUFFER, r.textVbo);
        gl.glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof vertices, vertices);
        gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        penX = qx * scale + penX;
    }
    gl.glBindVertexArray(0);
    return penX;
}

int drawTextLines(const char *text, float x, float y, float red, float green, float blue,
                  float scale, float lineStep) {
    int lines = 0;
    const char *p = text;
    while (*p != '\0') {
        char line[256];
        int length = 0;
        while (*p != '\0' && *p != '\n' && length < 255)
            line[length++] = *p++;
        line[length] = '\0';
        if (*p == '\n')
            p++; // one newline only: an empty line between two counts and moves down
        drawText(line, x, y, red, green, blue, scale);
        y -= lineStep;
        lines++;
    }
    return lines;
}
