#include "render/texture.h"

#include <stb_image.h>

GLuint textureFromPng(const unsigned char *bytes, size_t length) {
    if (bytes == nullptr || length == 0)
        return 0;
    int width = 0;
    int height = 0;
    int channelsInFile = 0;
    // Bottom row first, so that texture coordinate (0, 0) is the picture's bottom-left corner as
    // in the shader's window coordinates. The flag is the library's, process-wide: reset at once.
    stbi_set_flip_vertically_on_load(1);
    stbi_uc *pixels =
        stbi_load_from_memory(bytes, static_cast<int>(length), &width, &height, &channelsInFile, 4);
    stbi_set_flip_vertically_on_load(0);
    if (pixels == nullptr)
        return 0;
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    stbi_image_free(pixels);
    return id;
}
