// The backdrop shader's formulas on the CPU, in single precision, to check the GPU's picture
// against pixel by pixel.
#pragma once

#include <cstddef>
#include <vector>

// A decoded picture as GL holds it: RGBA bytes, the first row at texture coordinate t = 0.
struct ReferencePicture {
    int width;
    int height;
    std::vector<unsigned char> rgba;
};

// Decodes a compiled-in PNG bottom row first, as the program's textures are uploaded.
ReferencePicture decodeReferencePicture(const unsigned char *bytes, size_t length);

struct BackdropInputs {
    float time;
    float width;
    float height;
    float installHover;
    float helpHover;
    float primaryVisible;
    const ReferencePicture *background;
    const ReferencePicture *closeIcon;
    const ReferencePicture *soundIcon;
};

// One pixel: the shader's colour before the framebuffer clamps it, and the backdrop alpha that
// decides between that colour and the key colour.
struct ReferencePixel {
    float red;
    float green;
    float blue;
    float backdropAlpha;
    bool onPanel; // where the animated panel shows through at all
};

// Every pixel of a window of the inputs' size, bottom row first; the pixel centres lie at whole
// numbers plus one half.
std::vector<ReferencePixel> backdropReferenceFrame(const BackdropInputs &inputs);

// Signed distance of a point from a drawn button's outline (pixels, negative inside).
float buttonDistance(float x, float y, float centreX, float centreY, float halfX, float halfY);

// Clamped bilinear filtering of one picture at texture coordinate (s, t), channels 0..1.
void sampleBilinear(const ReferencePicture &picture, float s, float t, float out[4]);
