// Pictures carried in the program, turned into GL textures.
#pragma once

#include <cstddef>

#include "render/gl_api.h"

// Decodes a PNG (any channel layout) to 8-bit RGBA, bottom row first, and uploads it. 0 when
// there is nothing to decode or the decoding fails.
GLuint textureFromPng(const unsigned char *bytes, size_t length);
