#include "tests/support/backdrop_reference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <stb_image.h>

namespace {

// Every step in float, in the order the shader writes it: a double anywhere would round
// differently from the GPU where the formulas hash their inputs.
struct V2 {
    float x, y;
};
struct V3 {
    float x, y, z;
};

V2 operator+(V2 a, V2 b) { return {a.x + b.x, a.y + b.y}; }
V2 operator-(V2 a, V2 b) { return {a.x - b.x, a.y - b.y}; }
V2 operator*(V2 a, V2 b) { return {a.x * b.x, a.y * b.y}; }
V2 operator/(V2 a, V2 b) { return {a.x / b.x, a.y / b.y}; }
V2 operator*(V2 a, float k) { return {a.x * k, a.y * k}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float dot(V2 a, V2 b) { return a.x * b.x + a.y * b.y; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(V2 a) { return std::sqrt(dot(a, a)); }

float clampf(float x, float lo, float hi) { return std::min(std::max(x, lo), hi); }
float mix(float a, float b, float k) { return a + (b - a) * k; }
V3 mix(V3 a, V3 b, float k) { return {mix(a.x, b.x, k), mix(a.y, b.y, k), mix(a.z, b.z, k)}; }
float fract(float x) { return x - std::floor(x); }
float wrap(float x, float y) { return x - y * std::floor(x / y); }
float step(float e, float x) { return x < e ? 0.0f : 1.0f; }
float band(float y, float a, float b) { return (y >= a && y <= b) ? 1.0f : 0.0f; }

float ramp(float e0, float e1, float x) {
    const float s = clampf((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return s * s * (3.0f - 2.0f * s);
}

V3 hash33(V3 p) {
    const uint32_t ui[3] = {1597334673u, 3812015801u, 2798796415u};
    const uint32_t q[3] = {static_cast<uint32_t>(static_cast<int32_t>(p.x)) * ui[0],
                           static_cast<uint32_t>(static_cast<int32_t>(p.y)) * ui[1],
                           static_cast<uint32_t>(static_cast<int32_t>(p.z)) * ui[2]};
    const uint32_t h = q[0] ^ q[1] ^ q[2];
    const float uif = 1.0f / static_cast<float>(4294967295u); // rounds to 2^-32
    auto spread = [&](int i) { return 2.0f * (static_cast<float>(h * ui[i]) * uif) - 1.0f; };
    return {spread(0), spread(1), spread(2)};
}

float gnoise(V3 x) {
    const V3 p = {std::floor(x.x), std::floor(x.y), std::floor(x.z)};
    const V3 f = x - p;
    auto smooth = [](float v) { return v * v * (3.0f - 2.0f * v); };
    const V3 u = {smooth(f.x), smooth(f.y), smooth(f.z)};
    auto corner = [&](float i, float j, float k) {
        const V3 c = {i, j, k};
        return dot(hash33(p + c), f - c);
    };
    const float y0 = mix(mix(corner(0, 0, 0), corner(1, 0, 0), u.x),
                         mix(corner(0, 1, 0), corner(1, 1, 0), u.x), u.y);
    const float y1 = mix(mix(corner(0, 0, 1), corner(1, 0, 1), u.x),
                         mix(corner(0, 1, 1), corner(1, 1, 1), u.x), u.y);
    return mix(y0, y1, u.z);
}

float gnoise01(V3 x) { return 0.5f + 0.5f * gnoise(x); }

float h21(V2 p) {
    V2 q = {fract(p.x * 123.34f), fract(p.y * 456.21f)};
    const float s = dot(q, q + V2{45.32f, 45.32f});
    q = q + V2{s, s};
    return fract(q.x * q.y);
}

float ell(V2 p, V2 centre, V2 radii) {
    return 1.0f - ramp(0.85f, 1.0f, length((p - centre) / radii));
}

float ring(V2 p, V2 centre, V2 radii, float w) {
    const float d = length((p - centre) / radii);
    return ramp(1.0f, 1.0f - w, d) * ramp(1.0f - 2.4f * w, 1.0f - 1.4f * w, d);
}

float hillY(float x) {
    return 54.0f + 9.0f * std::sin(0.021f * x) + 5.0f * std::sin(0.047f * x + 1.7f) +
           2.5f * std::sin(0.011f * x - 0.6f);
}

float heroCover(V2 p) {
    float cover = ell(p, {0.0f, 0.0f}, {8.0f, 8.0f});
    for (int i = 0; i < 3; i++) {
        const float fi = static_cast<float>(i);
        const V2 a = {-4.0f, 1.0f + 2.2f * fi};
        const V2 b = a + V2{-7.0f - 1.5f * fi, 2.0f + 1.2f * fi};
        const V2 pa = p - a;
        const V2 ba = b - a;
        const float h = clampf(dot(pa, ba) / dot(ba, ba), 0.0f, 1.0f);
        cover = std::max(cover, 1.0f - ramp(1.4f, 2.6f, length(pa - ba * h)));
    }
    return cover;
}

// What the scene's moving parts do at one time: the same for every pixel, so worked out once.
struct Scene {
    float time;
    float scroll;
    float loopX;
    float ringX[5], ringY[5], ringSquash[5];
    float heroY;
    float palmX[3], palmBase[3];
};

Scene sceneAt(float t) {
    Scene scene = {};
    scene.time = t;
    scene.scroll = 46.0f * t;
    scene.loopX = wrap(160.0f - 0.6f * scene.scroll, 640.0f) - 40.0f;
    for (int i = 0; i < 5; i++) {
        const float fi = static_cast<float>(i);
        const float rx = wrap(30.0f + 74.0f * fi - scene.scroll, 400.0f) - 40.0f;
        scene.ringX[i] = rx;
        scene.ringY[i] = hillY(rx + scene.scroll) + 26.0f + 4.0f * std::sin(2.4f * t + fi);
        scene.ringSquash[i] = std::fabs(std::sin(3.0f * t + 1.1f * fi));
    }
    scene.heroY = hillY(96.0f + scene.scroll) + 11.0f + 3.2f * std::fabs(std::sin(6.0f * t));
    for (int i = 0; i < 3; i++) {
        const float px =
            wrap(130.0f * static_cast<float>(i) - 1.35f * scene.scroll, 460.0f) - 60.0f;
        scene.palmX[i] = px;
        scene.palmBase[i] = hillY(px + scene.scroll);
    }
    return scene;
}

V3 vantorGame(V2 s, const Scene &scene) {
    const float t = scene.time;
    const V2 P = {320.0f * s.x, 200.0f * s.y};
    const float wx = P.x + scene.scroll;

    V3 col = mix(V3{0.16f, 0.52f, 0.92f}, V3{0.42f, 0.76f, 0.99f}, clampf(P.y / 200.0f, 0, 1));

    const float n = gnoise01({(P.x + 8.0f * t) * 0.012f, (P.y - 140.0f) * 0.05f, 3.0f});
    col = mix(col, {0.95f, 0.98f, 1.0f}, 0.85f * ramp(0.42f, 0.72f, n) * ramp(112, 150, P.y));

    const float fh = 44.0f + 7.0f * std::sin(0.006f * wx) + 3.0f * std::sin(0.013f * wx + 2.0f);
    col = mix(col, {0.16f, 0.55f, 0.32f}, 0.55f * ramp(fh + 2.0f, fh - 1.0f, P.y));

    const float d = length((P - V2{scene.loopX, 74.0f}) / V2{30.0f, 34.0f});
    const float lo = ramp(1.0f, 0.93f, d) * ramp(0.70f, 0.78f, d);
    col = mix(col, {0.22f, 0.62f, 0.30f}, lo);
    col = mix(col, {0.85f, 0.92f, 0.55f}, lo * step(0.985f, fract(26.0f * d)));

    const float gy = hillY(wx);
    const float grass = ramp(gy + 1.5f, gy - 1.0f, P.y);
    col = mix(col, {0.30f, 0.78f, 0.24f}, grass);
    col = mix(col, {0.16f, 0.55f, 0.16f}, grass * ramp(gy - 1.0f, gy - 6.0f, P.y));

    const float dirt = ramp(gy - 6.0f, gy - 8.0f, P.y);
    const float k = wrap(std::floor(wx / 8.0f) + std::floor(P.y / 8.0f), 2.0f);
    col = mix(col, mix(V3{0.62f, 0.36f, 0.16f}, V3{0.45f, 0.24f, 0.10f}, k), dirt);

    for (int i = 0; i < 5; i++) {
        const float q = scene.ringSquash[i];
        const float r = ring(P, {scene.ringX[i], scene.ringY[i]}, {3.0f + 5.0f * q, 7.0f}, 0.42f);
        col = mix(col, {1.0f, 0.84f, 0.10f}, r);
        col = mix(col, {1.0f, 0.98f, 0.72f}, 0.5f * r * step(0.55f, q));
    }

    const float hy = scene.heroY;
    const float cover = heroCover(P - V2{96.0f, hy});
    const float spin = 9.0f * t;
    const V3 hero = mix(V3{0.13f, 0.32f, 0.86f}, V3{0.30f, 0.55f, 1.0f},
                        0.5f + 0.5f * std::sin(spin + 0.3f * (P.x - 96.0f)));
    col = mix(col, hero, cover);

    float streak = 0.0f;
    for (int i = 0; i < 3; i++) {
        const float fi = static_cast<float>(i);
        const float y = hy - 4.0f + 4.0f * fi;
        streak = std::max(streak, band(P.y, y - 0.6f, y + 0.6f) * band(P.x, 62.0f - 8.0f * fi, 87));
    }
    col = mix(col, {1.0f, 1.0f, 1.0f}, 0.35f * streak);

    for (int i = 0; i < 3; i++) {
        const float px = scene.palmX[i];
        const float base = scene.palmBase[i];
        const float trunk = band(P.x, px - 1.6f, px + 1.6f) * band(P.y, base, base + 30.0f);
        const float fronds = ell(P, {px, base + 31.0f}, {15.0f, 5.0f});
        col = mix(col, {0.09f, 0.30f, 0.14f}, 0.9f * clampf(trunk + fronds, 0.0f, 1.0f));
    }
    return col;
}

V2 crtWarp(V2 c) {
    V2 q = c * 2.0f - V2{1.0f, 1.0f};
    const float r = length(q);
    const float rw = r / (1.0f - 0.10f * r * r);
    if (rw > 0.0001f)
        q = q * (rw / r);
    return (q + V2{1.0f, 1.0f}) * 0.5f;
}

V3 crtGame(V2 c, const Scene &scene, V2 resolution) {
    const float t = scene.time;
    const float m = wrap(t, 6.0f);
    const float glitch = ramp(0.012f, 1.92f, m) * ramp(3.12f, 2.4f, m);
    const V2 w = crtWarp(c);

    const float dist = gnoise({0.0f, 40.0f * w.y, 40.0f * t}) * (0.05f * glitch + 0.003f) +
                       0.015f * ramp(0.996f, 1.0f, std::sin(3.0f * (w.y + 1.6f * t)));
    const V2 st = w + V2{dist, 0.0f};

    const float e = 0.006f + 0.012f * glitch;
    V3 col = {vantorGame(st + V2{e, 0.0f}, scene).x, vantorGame(st, scene).y,
              vantorGame(st - V2{e, 0.0f}, scene).z};

    const float bt = 300.0f * std::floor(20.0f * t);
    const float g = 0.12f + 0.85f * glitch;
    if (gnoise01({0.0f, 3.0f * w.x, bt}) <= g && gnoise01({0.0f, 4.0f * w.y, bt}) <= g)
        col = mix(col, vantorGame({w.x + 0.06f * glitch * h21(w), w.y}, scene) * 1.1f, 0.55f);

    col = col * (0.72f + 0.28f * (0.5f + 0.5f * std::sin(220.0f * w.y)));
    const float k = wrap(60.0f * t, 999.0f);
    const float grain = (0.04f + 0.22f * glitch) * (h21(c * resolution + V2{k, k}) - 0.5f);
    col = col + V3{grain, grain, grain};
    const float v = 14.0f * w.x * w.y * (1.0f - w.x) * (1.0f - w.y);
    col = col * (1.35f * std::pow(clampf(v, 0.0f, 1.0f), 0.28f));
    if (w.x < 0.0f || w.x > 1.0f || w.y < 0.0f || w.y > 1.0f)
        col = {0.0f, 0.0f, 0.0f};
    return {std::max(col.x, 0.0f), std::max(col.y, 0.0f), std::max(col.z, 0.0f)};
}

float sdRoundBox(V2 p, V2 b, float r) {
    const V2 d = V2{std::fabs(p.x), std::fabs(p.y)} - b + V2{r, r};
    const V2 outside = {std::max(d.x, 0.0f), std::max(d.y, 0.0f)};
    return length(outside) - r + std::min(std::max(d.x, d.y), 0.0f);
}

V3 button(V3 col, V2 pixel, V2 centre, V2 h, float hover) {
    const V2 p = pixel - centre;
    const float d = sdRoundBox(p, h, 6.0f);
    const float inside = ramp(1.0f, -1.5f, d);
    const float edge = ramp(2.2f, 0.0f, std::fabs(d));
    const V3 fill = mix(V3{0.02f, 0.05f, 0.16f}, V3{0.05f, 0.13f, 0.36f}, hover);
    const V3 outline = mix(V3{0.16f, 0.45f, 0.95f}, V3{1.0f, 0.82f, 0.12f}, hover);
    const V3 glow = mix(V3{0.15f, 0.40f, 0.95f}, V3{1.0f, 0.80f, 0.15f}, hover);
    const float bevel = ramp(0.2f * h.y, h.y, p.y) * (0.08f + 0.10f * hover);
    col = mix(col, fill, 0.9f * inside);
    col = col + V3{0.35f, 0.62f, 1.0f} * (bevel * inside);
    col = mix(col, outline, edge);
    return col + glow * (std::exp(-0.10f * std::max(d, 0.0f)) * (0.20f + 0.55f * hover) * 0.35f);
}

V3 icon(V3 col, const ReferencePicture &picture, V2 q) {
    if (std::fabs(q.x) < 16.0f && std::fabs(q.y) < 14.0f) {
        const V2 at = (q + V2{16.0f, 14.0f}) / V2{32.0f, 28.0f};
        float s[4];
        sampleBilinear(picture, at.x, at.y, s);
        col = mix(col, V3{s[0], s[1], s[2]}, s[3]);
    }
    return col;
}

} // namespace

ReferencePicture decodeReferencePicture(const unsigned char *bytes, size_t length) {
    ReferencePicture picture = {0, 0, {}};
    int channels = 0;
    stbi_set_flip_vertically_on_load(1);
    stbi_uc *pixels = stbi_load_from_memory(bytes, static_cast<int>(length), &picture.width,
                                            &picture.height, &channels, 4);
    stbi_set_flip_vertically_on_load(0);
    if (pixels != nullptr) {
        picture.rgba.assign(pixels,
                            pixels + static_cast<size_t>(picture.width) * picture.height * 4);
        stbi_image_free(pixels);
    }
    return picture;
}

void sampleBilinear(const ReferencePicture &picture, float s, float t, float out[4]) {
    const float u = s * static_cast<float>(picture.width) - 0.5f;
    const float v = t * static_cast<float>(picture.height) - 0.5f;
    const float i0 = std::floor(u);
    const float j0 = std::floor(v);
    const float a = u - i0;
    const float b = v - j0;
    auto texel = [&](float i, float j, int channel) {
        const int x = std::min(std::max(static_cast<int>(i), 0), picture.width - 1);
        const int y = std::min(std::max(static_cast<int>(j), 0), picture.height - 1);
        const size_t at = (static_cast<size_t>(y) * picture.width + x) * 4 + channel;
        return static_cast<float>(picture.rgba[at]) / 255.0f;
    };
    for (int channel = 0; channel < 4; channel++) {
        const float bottom = mix(texel(i0, j0, channel), texel(i0 + 1, j0, channel), a);
        const float top = mix(texel(i0, j0 + 1, channel), texel(i0 + 1, j0 + 1, channel), a);
        out[channel] = mix(bottom, top, b);
    }
}

float buttonDistance(float x, float y, float centreX, float centreY, float halfX, float halfY) {
    return sdRoundBox(V2{x, y} - V2{centreX, centreY}, {halfX, halfY}, 6.0f);
}

namespace {

ReferencePixel referencePixel(const BackdropInputs &in, const Scene &scene, int x, int y) {
    const V2 pixel = {static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f};
    const V2 resolution = {in.width, in.height};
    const V2 uv = pixel / resolution;

    float backdrop[4];
    sampleBilinear(*in.background, uv.x, uv.y, backdrop);
    if (backdrop[3] < 0.5f)
        return {1.0f, 0.0f, 1.0f, backdrop[3], false};
    const V3 picture = {backdrop[0], backdrop[1], backdrop[2]};
    V3 col = picture;

    const float centerMask = ramp(0.05f, 0.13f, uv.x) * (1.0f - ramp(0.87f, 0.95f, uv.x)) *
                             ramp(0.19f, 0.25f, uv.y) * (1.0f - ramp(0.75f, 0.81f, uv.y));
    if (centerMask > 0.0f) {
        const V2 c = (uv - V2{0.06f, 0.20f}) / V2{0.88f, 0.60f};
        const V3 game = crtGame(c, scene, resolution);
        const float hood = ramp(0.11f, 0.30f, dot(picture, {0.299f, 0.587f, 0.114f}));
        col = mix(col, mix(game, picture, hood), centerMask);
    }

    col = icon(col, *in.closeIcon, pixel - V2{in.width - 49.0f, in.height - 43.0f});
    col = icon(col, *in.soundIcon, pixel - V2{49.0f, in.height - 43.0f});

    if (in.primaryVisible > 0.5f)
        col = button(col, pixel, {92.0f, 68.0f}, {46.0f, 20.0f}, in.installHover);
    col = button(col, pixel, {268.0f, 68.0f}, {122.0f, 20.0f}, in.helpHover);
    return {col.x, col.y, col.z, backdrop[3], centerMask > 0.0f};
}

} // namespace

std::vector<ReferencePixel> backdropReferenceFrame(const BackdropInputs &inputs) {
    const int width = static_cast<int>(inputs.width);
    const int height = static_cast<int>(inputs.height);
    const Scene scene = sceneAt(inputs.time);
    std::vector<ReferencePixel> frame;
    frame.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            frame.push_back(referencePixel(inputs, scene, x, y));
    return frame;
}
