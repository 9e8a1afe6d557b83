#version 330 core
// The whole window but its text: the backdrop picture, the animated scene on a CRT panel behind
// the picture's bright line art, the two icons and the drawn buttons, and the key colour
// wherever the picture is transparent. Everything that moves is a function of iTime alone.
in vec2 fragCoord;
out vec4 FragColor;

uniform float iTime;
uniform vec2 iResolution;
uniform sampler2D iBackground;
uniform sampler2D iCloseBtn;
uniform sampler2D iSoundBtn;
uniform float iInstallHover;
uniform float iHelpHover;
uniform float iPrimaryVisible;

const uvec3 UI3 = uvec3(1597334673u, 3812015801u, 2798796415u);
// float(0xffffffffu) rounds up to 2^32, so this is exactly 2^-32.
const float UIF = 1.0 / float(0xffffffffu);

// A smooth step that also falls when e0 > e1; GLSL's smoothstep leaves that case undefined.
float ramp(float e0, float e1, float x) {
    float s = clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return s * s * (3.0 - 2.0 * s);
}

// Wrapping that stays in 0..y for negative x too, whatever the driver's mod does.
float wrap(float x, float y) { return x - y * floor(x / y); }

float band(float y, float a, float b) { return (y >= a && y <= b) ? 1.0 : 0.0; }

vec3 hash33(vec3 p) {
    uvec3 q = uvec3(ivec3(p)) * UI3;
    uint h = q.x ^ q.y ^ q.z;
    q = h * UI3;
    return 2.0 * (vec3(q) * UIF) - 1.0;
}

float gnoise(vec3 x) {
    vec3 p = floor(x);
    vec3 f = x - p;
    vec3 u = f * f * (3.0 - 2.0 * f);
    float c000 = dot(hash33(p), f);
    float c100 = dot(hash33(p + vec3(1.0, 0.0, 0.0)), f - vec3(1.0, 0.0, 0.0));
    float c010 = dot(hash33(p + vec3(0.0, 1.0, 0.0)), f - vec3(0.0, 1.0, 0.0));
    float c110 = dot(hash33(p + vec3(1.0, 1.0, 0.0)), f - vec3(1.0, 1.0, 0.0));
    float c001 = dot(hash33(p + vec3(0.0, 0.0, 1.0)), f - vec3(0.0, 0.0, 1.0));
    float c101 = dot(hash33(p + vec3(1.0, 0.0, 1.0)), f - vec3(1.0, 0.0, 1.0));
    float c011 = dot(hash33(p + vec3(0.0, 1.0, 1.0)), f - vec3(0.0, 1.0, 1.0));
    float c111 = dot(hash33(p + vec3(1.0, 1.0, 1.0)), f - vec3(1.0, 1.0, 1.0));
    float y0 = mix(mix(c000, c100, u.x), mix(c010, c110, u.x), u.y);
    float y1 = mix(mix(c001, c101, u.x), mix(c011, c111, u.x), u.y);
    return mix(y0, y1, u.z);
}

float gnoise01(vec3 x) { return 0.5 + 0.5 * gnoise(x); }

float h21(vec2 p) {
    vec2 q = fract(p * vec2(123.34, 456.21));
    q += dot(q, q + vec2(45.32));
    return fract(q.x * q.y);
}

float ell(vec2 p, vec2 centre, vec2 radii) {
    return 1.0 - ramp(0.85, 1.0, length((p - centre) / radii));
}

float ring(vec2 p, vec2 centre, vec2 radii, float w) {
    float d = length((p - centre) / radii);
    return ramp(1.0, 1.0 - w, d) * ramp(1.0 - 2.4 * w, 1.0 - 1.4 * w, d);
}

float hillY(float x) {
    return 54.0 + 9.0 * sin(0.021 * x) + 5.0 * sin(0.047 * x + 1.7) + 2.5 * sin(0.011 * x - 0.6);
}

// The ball and its three trailing spikes: coverage, and the spin angle of its stripes.
vec2 hero(vec2 p, float t) {
    float spin = 9.0 * t;
    float cover = ell(p, vec2(0.0), vec2(8.0));
    for (int i = 0; i < 3; i++) {
        float fi = float(i);
        vec2 a = vec2(-4.0, 1.0 + 2.2 * fi);
        vec2 b = a + vec2(-7.0 - 1.5 * fi, 2.0 + 1.2 * fi);
        vec2 pa = p - a;
        vec2 ba = b - a;
        float h = clamp(dot(pa, ba) / dot(ba, ba), 0.0, 1.0);
        cover = max(cover, 1.0 - ramp(1.4, 2.6, length(pa - ba * h)));
    }
    return vec2(cover, spin);
}

const vec3 SKY_LOW = vec3(0.16, 0.52, 0.92);
const vec3 SKY_HIGH = vec3(0.42, 0.76, 0.99);
const vec3 CLOUD_WHITE = vec3(0.95, 0.98, 1.0);
const vec3 FAR_HILL_GREEN = vec3(0.16, 0.55, 0.32);
const vec3 LOOP_GREEN = vec3(0.22, 0.62, 0.30);
const vec3 LOOP_HIGHLIGHT = vec3(0.85, 0.92, 0.55);
const vec3 GRASS_LIGHT = vec3(0.30, 0.78, 0.24);
const vec3 GRASS_DARK = vec3(0.16, 0.55, 0.16);
const vec3 DIRT_LIGHT = vec3(0.62, 0.36, 0.16);
const vec3 DIRT_DARK = vec3(0.45, 0.24, 0.10);
const vec3 RING_GOLD = vec3(1.0, 0.84, 0.10);
const vec3 RING_SHINE = vec3(1.0, 0.98, 0.72);
const vec3 HERO_DARK = vec3(0.13, 0.32, 0.86);
const vec3 HERO_LIGHT = vec3(0.30, 0.55, 1.0);
const vec3 STREAK_WHITE = vec3(1.0);
const vec3 PALM_GREEN = vec3(0.09, 0.30, 0.14);

// The side-scroller on its virtual 320 x 200 screen, layer over layer.
vec3 vantorGame(vec2 s, float t) {
    vec2 P = vec2(320.0 * s.x, 200.0 * s.y);
    float scroll = 46.0 * t;
    float wx = P.x + scroll;

    vec3 col = mix(SKY_LOW, SKY_HIGH, clamp(P.y / 200.0, 0.0, 1.0));

    float n = gnoise01(vec3((P.x + 8.0 * t) * 0.012, (P.y - 140.0) * 0.05, 3.0));
    col = mix(col, CLOUD_WHITE, 0.85 * ramp(0.42, 0.72, n) * ramp(112.0, 150.0, P.y));

    float fh = 44.0 + 7.0 * sin(0.006 * wx) + 3.0 * sin(0.013 * wx + 2.0);
    col = mix(col, FAR_HILL_GREEN, 0.55 * ramp(fh + 2.0, fh - 1.0, P.y));

    float lx = wrap(160.0 - 0.6 * scroll, 640.0) - 40.0;
    float d = length((P - vec2(lx, 74.0)) / vec2(30.0, 34.0));
    float lo = ramp(1.0, 0.93, d) * ramp(0.70, 0.78, d);
    col = mix(col, LOOP_GREEN, lo);
    col = mix(col, LOOP_HIGHLIGHT, lo * step(0.985, fract(26.0 * d)));

    float gy = hillY(wx);
    float grass = ramp(gy + 1.5, gy - 1.0, P.y);
    col = mix(col, GRASS_LIGHT, grass);
    col = mix(col, GRASS_DARK, grass * ramp(gy - 1.0, gy - 6.0, P.y));

    float dirt = ramp(gy - 6.0, gy - 8.0, P.y);
    float k = wrap(floor(wx / 8.0) + floor(P.y / 8.0), 2.0);
    col = mix(col, mix(DIRT_LIGHT, DIRT_DARK, k), dirt);

    for (int i = 0; i < 5; i++) {
        float fi = float(i);
        float rx = wrap(30.0 + 74.0 * fi - scroll, 400.0) - 40.0;
        float ry = hillY(rx + scroll) + 26.0 + 4.0 * sin(2.4 * t + fi);
        float q = abs(sin(3.0 * t + 1.1 * fi));
        float r = ring(P, vec2(rx, ry), vec2(3.0 + 5.0 * q, 7.0), 0.42);
        col = mix(col, RING_GOLD, r);
        col = mix(col, RING_SHINE, 0.5 * r * step(0.55, q));
    }

    float hy = hillY(96.0 + scroll) + 11.0 + 3.2 * abs(sin(6.0 * t));
    vec2 hm = hero(P - vec2(96.0, hy), t);
    vec3 heroColour = mix(HERO_DARK, HERO_LIGHT, 0.5 + 0.5 * sin(hm.y + 0.3 * (P.x - 96.0)));
    col = mix(col, heroColour, hm.x);

    float streak = 0.0;
    for (int i = 0; i < 3; i++) {
        float fi = float(i);
        float y = hy - 4.0 + 4.0 * fi;
        streak = max(streak, band(P.y, y - 0.6, y + 0.6) * band(P.x, 62.0 - 8.0 * fi, 87.0));
    }
    col = mix(col, STREAK_WHITE, 0.35 * streak);

    for (int i = 0; i < 3; i++) {
        float fi = float(i);
        float px = wrap(130.0 * fi - 1.35 * scroll, 460.0) - 60.0;
        float base = hillY(px + scroll);
        float trunk = band(P.x, px - 1.6, px + 1.6) * band(P.y, base, base + 30.0);
        float fronds = ell(P, vec2(px, base + 31.0), vec2(15.0, 5.0));
        col = mix(col, PALM_GREEN, 0.9 * clamp(trunk + fronds, 0.0, 1.0));
    }
    return col;
}

// Barrel distortion: points move outwards, most of all towards the corners.
vec2 crtWarp(vec2 c) {
    vec2 q = 2.0 * c - 1.0;
    float r = length(q);
    float rw = r / (1.0 - 0.10 * r * r);
    if (rw > 0.0001)
        q *= rw / r;
    return (q + 1.0) * 0.5;
}

vec3 crtGame(vec2 c, float t) {
    float m = wrap(t, 6.0);
    float glitch = ramp(0.012, 1.92, m) * ramp(3.12, 2.4, m);
    vec2 w = crtWarp(c);

    float dist = gnoise(vec3(0.0, 40.0 * w.y, 40.0 * t)) * (0.05 * glitch + 0.003) +
                 0.015 * ramp(0.996, 1.0, sin(3.0 * (w.y + 1.6 * t)));
    vec2 st = w + vec2(dist, 0.0);

    float e = 0.006 + 0.012 * glitch;
    vec3 col = vec3(vantorGame(st + vec2(e, 0.0), t).r, vantorGame(st, t).g,
                    vantorGame(st - vec2(e, 0.0), t).b);

    float bt = 300.0 * floor(20.0 * t);
    float g = 0.12 + 0.85 * glitch;
    bool block = gnoise01(vec3(0.0, 3.0 * w.x, bt)) <= g && gnoise01(vec3(0.0, 4.0 * w.y, bt)) <= g;
    // A block's tap only shows where the block is: skip the fifth scene elsewhere.
    if (block) {
        vec3 tap = 1.1 * vantorGame(vec2(w.x + 0.06 * glitch * h21(w), w.y), t);
        col = mix(col, tap, 0.55);
    }

    col *= 0.72 + 0.28 * (0.5 + 0.5 * sin(220.0 * w.y));
    float k = wrap(60.0 * t, 999.0);
    col += (0.04 + 0.22 * glitch) * (h21(c * iResolution + vec2(k)) - 0.5);
    float v = 14.0 * w.x * w.y * (1.0 - w.x) * (1.0 - w.y);
    col *= 1.35 * pow(clamp(v, 0.0, 1.0), 0.28);
    if (w.x < 0.0 || w.x > 1.0 || w.y < 0.0 || w.y > 1.0)
        col = vec3(0.0);
    return max(col, 0.0);
}

float sdRoundBox(vec2 p, vec2 b, float r) {
    vec2 d = abs(p) - b + vec2(r);
    return length(max(d, 0.0)) - r + min(max(d.x, d.y), 0.0);
}

vec3 button(vec3 col, vec2 pixel, vec2 centre, vec2 h, float hover) {
    vec2 p = pixel - centre;
    float d = sdRoundBox(p, h, 6.0);
    float inside = ramp(1.0, -1.5, d);
    float edge = ramp(2.2, 0.0, abs(d));
    vec3 fill = mix(vec3(0.02, 0.05, 0.16), vec3(0.05, 0.13, 0.36), hover);
    vec3 outline = mix(vec3(0.16, 0.45, 0.95), vec3(1.0, 0.82, 0.12), hover);
    vec3 glow = mix(vec3(0.15, 0.40, 0.95), vec3(1.0, 0.80, 0.15), hover);
    float bevel = ramp(0.2 * h.y, h.y, p.y) * (0.08 + 0.10 * hover);
    col = mix(col, fill, 0.9 * inside);
    col += vec3(0.35, 0.62, 1.0) * bevel * inside;
    col = mix(col, outline, edge);
    col += glow * exp(-0.10 * max(d, 0.0)) * (0.20 + 0.55 * hover) * 0.35;
    return col;
}

// An icon of 32 x 28 pixels; the box is open, so with whole-pixel sizes it covers exactly that.
vec3 icon(vec3 col, sampler2D picture, vec2 q) {
    if (abs(q.x) < 16.0 && abs(q.y) < 14.0) {
        vec4 s = textureLod(picture, (q + vec2(16.0, 14.0)) / vec2(32.0, 28.0), 0.0);
        col = mix(col, s.rgb, s.a);
    }
    return col;
}

void main() {
    // The window position of the pixel centre; uv from it rather than from the interpolated
    // fragCoord (the same value when the viewport fills the window), so that the hashed grain
    // does not hang on how a driver rounds its interpolation.
    vec2 pixel = gl_FragCoord.xy;
    vec2 uv = pixel / iResolution;

    // Level 0 is the only one: sampling it explicitly needs no derivatives inside branches.
    vec4 backdrop = textureLod(iBackground, uv, 0.0);
    // Keyed out by the window system: nothing drawn over it would be seen.
    if (backdrop.a < 0.5) {
        FragColor = vec4(1.0, 0.0, 1.0, 1.0);
        return;
    }
    vec3 finalColor = backdrop.rgb;

    float centerMask = ramp(0.05, 0.13, uv.x) * (1.0 - ramp(0.87, 0.95, uv.x)) *
                       ramp(0.19, 0.25, uv.y) * (1.0 - ramp(0.75, 0.81, uv.y));
    // Outside the mask the panel would be mixed in with weight 0: skip its scenes there.
    if (centerMask > 0.0) {
        vec2 c = (uv - vec2(0.06, 0.20)) / vec2(0.88, 0.60);
        vec3 game = crtGame(c, iTime);
        float hood = ramp(0.11, 0.30, dot(backdrop.rgb, vec3(0.299, 0.587, 0.114)));
        finalColor = mix(finalColor, mix(game, backdrop.rgb, hood), centerMask);
    }

    // The icons keep their distance from the top corners.
    float iconY = iResolution.y - 43.0;
    finalColor = icon(finalColor, iCloseBtn, pixel - vec2(iResolution.x - 49.0, iconY));
    finalColor = icon(finalColor, iSoundBtn, pixel - vec2(49.0, iconY));

    if (iPrimaryVisible > 0.5)
        finalColor = button(finalColor, pixel, vec2(92.0, 68.0), vec2(46.0, 20.0), iInstallHover);
    finalColor = button(finalColor, pixel, vec2(268.0, 68.0), vec2(122.0, 20.0), iHelpHover);

    FragColor = vec4(finalColor, 1.0);
}
