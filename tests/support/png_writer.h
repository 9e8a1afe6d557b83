// Small PNG files of any layout for the decoder's tests: stored (uncompressed) deflate blocks.
#pragma once

#include <string>
#include <vector>

// `rows` holds the raw samples, top row first, big-endian for 16-bit depth. colourType: 0 grey,
// 2 RGB, 6 RGBA.
std::string pngFile(int width, int height, int bitDepth, int colourType,
                    const std::vector<unsigned char> &rows);
