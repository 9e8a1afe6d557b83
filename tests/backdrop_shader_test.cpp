// The program's backdrop shader, drawn in its real window and GL context (Mesa's software
// renderer under Xvfb, or Wine's OpenGL over it), read back before any swap and checked pixel by
// pixel against the same formulas computed on the CPU.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "render/embedded_assets.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "tests/support/backdrop_reference.h"
#include "tests/support/program_window.h"

namespace {

constexpr int side = 626;
constexpr size_t pixelCount = static_cast<size_t>(side) * side;

struct Uniforms {
    float time;
    float installHover;
    float helpHover;
    float primaryVisible;
    float resolution = side; // both sides of the window, in pixels
};

struct Textures {
    GLuint background;
    GLuint closeIcon;
    GLuint soundIcon;
};

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

constexpr Rgb keyColour = {255, 0, 255};

Rgb at(const std::vector<unsigned char> &frame, int x, int y) {
    const unsigned char *p = &frame[(static_cast<size_t>(y) * side + x) * 4];
    return {p[0], p[1], p[2]};
}

class BackdropShader : public ProgramWindowSuite {
  protected:
    static void SetUpTestSuite() {
        replaceMessageBox(recordBoxes);
        ProgramWindowSuite::SetUpTestSuite();
        background = decodeReferencePicture(backdropPng, backdropPng_size);
        closeIcon = decodeReferencePicture(closeIconPng, closeIconPng_size);
        soundMuted = decodeReferencePicture(soundMutedPng, soundMutedPng_size);
        soundOn = decodeReferencePicture(soundOnPng, soundOnPng_size);
    }
    static void TearDownTestSuite() {
        ProgramWindowSuite::TearDownTestSuite();
        replaceMessageBox(nullptr);
    }
    void SetUp() override {
        ProgramWindowSuite::SetUp();
        ASSERT_EQ(errorBoxes, 0) << "the backdrop program built without an error box";
        ASSERT_FALSE(background.rgba.empty());
    }
    static int32_t recordBoxes(void *, const char *text, const char *caption, uint32_t) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
        errorBoxes++;
        return messageBoxChoseOk;
    }

    static Textures programTextures(bool muted) {
        const RenderResources &r = renderResources;
        return {r.backdropTexture, r.closeIconTexture,
                muted ? r.soundMutedTexture : r.soundOnTexture};
    }

    // One draw of the backdrop program as a frame makes it, with our own uniforms, read back
    // from the back buffer before any swap: bottom row first, RGBA.
    static std::vector<unsigned char> draw(const Uniforms &u, const Textures &t) {
        const GlFunctions &gl = glFunctions;
        const GLuint program = renderResources.backdropProgram;
        glViewport(0, 0, side, side);
        glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl.glUseProgram(program);
        auto set = [&](const char *name, float value) {
            gl.glUniform1f(gl.glGetUniformLocation(program, name), value);
        };
        set("iTime", u.time);
        gl.glUniform2f(gl.glGetUniformLocation(program, "iResolution"), u.resolution, u.resolution);
        set("iInstallHover", u.installHover);
        set("iHelpHover", u.helpHover);
        set("iPrimaryVisible", u.primaryVisible);
        const std::pair<GLuint, const char *> units[3] = {
            {t.background, "iBackground"}, {t.closeIcon, "iCloseBtn"}, {t.soundIcon, "iSoundBtn"}};
        for (int i = 0; i < 3; i++) {
            gl.glActiveTexture(GL_TEXTURE0 + i);
            glBindTexture(GL_TEXTURE_2D, units[i].first);
            gl.glUniform1i(gl.glGetUniformLocation(program, units[i].second), i);
        }
        gl.glBindVertexArray(renderResources.quadVao);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        gl.glBindVertexArray(0);
        gl.glActiveTexture(GL_TEXTURE0);
        glDisable(GL_BLEND);

        std::vector<unsigned char> pixels(pixelCount * 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, side, side, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

    // A 1 x 1 picture of one colour. Nearest filtering hands the shader the stored value itself,
    // with no rounding of the filter's own.
    static GLuint solidTexture(GLint internalFormat, const float rgba[4]) {
        GLuint id = 0;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, 1, 1, 0, GL_RGBA, GL_FLOAT, rgba);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        return id;
    }

    static int errorBoxes;
    static ReferencePicture background, closeIcon, soundMuted, soundOn;
};
int BackdropShader::errorBoxes = 0;
ReferencePicture BackdropShader::background, BackdropShader::closeIcon, BackdropShader::soundMuted,
    BackdropShader::soundOn;

// Where a pixel's backdrop alpha lies this close to one half, the GPU's and our filtering may
// round it to either side; the program's picture has no pixel there (reported below).
constexpr float alphaGuard = 2.0f / 255.0f;
// Per channel, in 8-bit levels: the GPU filters the pictures with fixed-point weights and has its
// own sine, power and exponential.
constexpr int tolerance = 3;
// The share of panel pixels allowed beyond it: edges of hard shapes (dirt squares, trunks, ring
// stripes, black border, glitch blocks) that a last-bit difference moves by a pixel.
constexpr double beyondShare = 0.001;

int level(float value) {
    return static_cast<int>(std::lround(std::min(std::max(value, 0.0f), 1.0f) * 255.0f));
}

struct ControlCase {
    const char *name;
    Uniforms uniforms;
    bool muted;
};

// Times: 0 (glitch off, every wrapped position from a non-negative argument), 2.2 (glitch at full
// strength), 4.4 (glitch off, ring and palm arguments negative), 13.5 (glitch rising, every
// argument negative, the loop too), two hours (glitch off) and two hours plus 2.25 s (full).
const ControlCase controlCases[] = {
    {"start, nothing hovered, no primary button", {0.0f, 0.0f, 0.0f, 0.0f}, false},
    {"full glitch, both hovered", {2.2f, 1.0f, 1.0f, 1.0f}, true},
    {"no glitch, negative wraps, primary hovered", {4.4f, 1.0f, 0.0f, 1.0f}, false},
    {"rising glitch, help hovered, no primary button", {13.5f, 0.0f, 1.0f, 0.0f}, true},
    {"two hours, no glitch", {7200.0f, 0.0f, 0.0f, 1.0f}, false},
    {"two hours, full glitch, both hovered", {7202.25f, 1.0f, 1.0f, 1.0f}, false},
};

TEST_F(BackdropShader, MatchesTheReferenceAtEachTimeAndControlSetting) {
    for (const ControlCase &c : controlCases) {
        SCOPED_TRACE(c.name);
        const Uniforms &u = c.uniforms;
        const std::vector<unsigned char> frame = draw(u, programTextures(c.muted));
        const BackdropInputs inputs = {
            u.time,         side,        side,
            u.installHover, u.helpHover, u.primaryVisible,
            &background,    &closeIcon,  c.muted ? &soundMuted : &soundOn};
        const std::vector<ReferencePixel> reference = backdropReferenceFrame(inputs);

        int wrongKey = 0, undecided = 0, panel = 0, beyond = 0, maxError = 0, maxOffPanel = 0;
        for (int y = 0; y < side; y++)
            for (int x = 0; x < side; x++) {
                const ReferencePixel &want = reference[static_cast<size_t>(y) * side + x];
                const Rgb got = at(frame, x, y);
                if (std::fabs(want.backdropAlpha - 0.5f) < alphaGuard) {
                    undecided++;
                    continue;
                }
                if (want.backdropAlpha < 0.5f) {
                    wrongKey += !(got == keyColour);
                    continue;
                }
                wrongKey += got == keyColour;
                const int error = std::max({std::abs(got.r - level(want.red)),
                                            std::abs(got.g - level(want.green)),
                                            std::abs(got.b - level(want.blue))});
                maxError = std::max(maxError, error);
                if (want.onPanel) {
                    panel++;
                    beyond += error > tolerance;
                } else {
                    maxOffPanel = std::max(maxOffPanel, error);
                }
            }
        const double share = static_cast<double>(beyond) / panel;
        std::printf("[ figures  ] %s: max error %d (off the panel %d), %d of %d panel pixels "
                    "(%.4f %%) beyond %d, %d undecided by alpha\n",
                    c.name, maxError, maxOffPanel, beyond, panel, share * 100.0, tolerance,
                    undecided);
        EXPECT_EQ(wrongKey, 0) << "the key colour exactly where the backdrop alpha is below 0.5";
        EXPECT_EQ(undecided, 0);
        EXPECT_LE(maxOffPanel, 2) << "backdrop, icons and buttons are smooth: no exceptions";
        EXPECT_LE(share, beyondShare);
    }
}

struct ThresholdCase {
    const char *name;
    GLint format;
    float alpha;
    bool keyed;
};

const ThresholdCase thresholdCases[] = {
    {"float alpha 0", GL_RGBA32F, 0.0f, true},
    {"float alpha just below one half", GL_RGBA32F, std::nextafter(0.5f, 0.0f), true},
    {"float alpha exactly one half", GL_RGBA32F, 0.5f, false},
    {"8-bit alpha 127", GL_RGBA8, 127.0f / 255.0f, true},
    {"8-bit alpha 128", GL_RGBA8, 128.0f / 255.0f, false},
    {"float alpha 1", GL_RGBA32F, 1.0f, false},
};

TEST_F(BackdropShader, BackdropAlphaOfOneHalfTakesTheOpaquePath) {
    for (const ThresholdCase &c : thresholdCases) {
        SCOPED_TRACE(c.name);
        const float texel[4] = {0.2f, 0.2f, 0.2f, c.alpha};
        Textures textures = programTextures(false);
        textures.background = solidTexture(c.format, texel);
        const std::vector<unsigned char> frame = draw({2.2f, 1.0f, 1.0f, 1.0f}, textures);
        glDeleteTextures(1, &textures.background);
        size_t keyed = 0;
        for (int y = 0; y < side; y++)
            for (int x = 0; x < side; x++)
                keyed += at(frame, x, y) == keyColour;
        EXPECT_EQ(keyed, c.keyed ? pixelCount : 0u);
    }
}

// Each icon's box is open. At the window's size its pixel centres lie half a pixel off the box's
// edges, so it covers 32 x 28 pixels; half a pixel more of window puts the close icon's centres,
// and the top and bottom edges of both, on pixel centres, which the open box then leaves out.
TEST_F(BackdropShader, EachIconCoversExactly32By28Pixels) {
    const float green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    const float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    Textures textures = programTextures(false);
    textures.closeIcon = solidTexture(GL_RGBA8, green);
    textures.soundIcon = solidTexture(GL_RGBA8, blue);
    const std::vector<unsigned char> whole = draw({4.4f, 0.0f, 0.0f, 1.0f}, textures);
    const std::vector<unsigned char> half = draw({4.4f, 0.0f, 0.0f, 1.0f, side + 0.5f}, textures);
    glDeleteTextures(1, &textures.closeIcon);
    glDeleteTextures(1, &textures.soundIcon);

    const struct {
        const char *name;
        const std::vector<unsigned char> &frame;
        Rgb colour;
        int left, bottom, width, height;
    } iconBoxes[] = {
        {"close icon, 626 x 626", whole, {0, 255, 0}, 561, 569, 32, 28},
        {"sound icon, 626 x 626", whole, {0, 0, 255}, 33, 569, 32, 28},
        {"close icon, 626.5 x 626.5", half, {0, 255, 0}, 562, 570, 31, 27},
        {"sound icon, 626.5 x 626.5", half, {0, 0, 255}, 33, 570, 32, 27},
    };
    for (const auto &box : iconBoxes) {
        SCOPED_TRACE(box.name);
        int count = 0, left = side, right = -1, bottom = side, top = -1;
        for (int y = 0; y < side; y++)
            for (int x = 0; x < side; x++)
                if (at(box.frame, x, y) == box.colour) {
                    count++;
                    left = std::min(left, x);
                    right = std::max(right, x);
                    bottom = std::min(bottom, y);
                    top = std::max(top, y);
                }
        EXPECT_EQ(count, box.width * box.height);
        EXPECT_EQ(left, box.left);
        EXPECT_EQ(right, box.left + box.width - 1);
        EXPECT_EQ(bottom, box.bottom);
        EXPECT_EQ(top, box.bottom + box.height - 1);
    }
}

// Pixels on a button's outline are lit blue when it is drawn; the footer behind it is grey.
bool outlineDrawn(const std::vector<unsigned char> &frame, float centreX, float halfX) {
    int lit = 0, outline = 0;
    for (int y = 40; y < 100; y++)
        for (int x = 0; x < 400; x++) {
            const float d = buttonDistance(x + 0.5f, y + 0.5f, centreX, 68.0f, halfX, 20.0f);
            if (std::fabs(d) > 0.5f)
                continue;
            const Rgb p = at(frame, x, y);
            outline++;
            lit += p.b > 200 && p.b - p.r > 150;
        }
    EXPECT_GT(outline, 200);
    return lit == outline;
}

TEST_F(BackdropShader, PrimaryButtonOnlyAboveOneHalfHelpButtonAlways) {
    const Textures textures = programTextures(false);
    const std::vector<unsigned char> without = draw({3.5f, 0.0f, 0.0f, 0.0f}, textures);
    const std::vector<unsigned char> with = draw({3.5f, 0.0f, 0.0f, 1.0f}, textures);
    EXPECT_FALSE(outlineDrawn(without, 92.0f, 46.0f));
    EXPECT_TRUE(outlineDrawn(with, 92.0f, 46.0f));
    EXPECT_TRUE(outlineDrawn(without, 268.0f, 122.0f));
    EXPECT_TRUE(outlineDrawn(with, 268.0f, 122.0f));
    // Beyond its outline, all that differs is the primary button's glow: at most 0.07 of its
    // colour (blue 0.95) at the outline, fading as exp(-0.10 d) with the distance d in pixels.
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            const float d = buttonDistance(x + 0.5f, y + 0.5f, 92.0f, 68.0f, 46.0f, 20.0f);
            if (d < 3.0f)
                continue;
            const Rgb a = at(without, x, y), b = at(with, x, y);
            const int difference = std::max({b.r - a.r, b.g - a.g, b.b - a.b});
            ASSERT_LE(difference,
                      1 + static_cast<int>(255.0f * 0.07f * 0.95f * std::exp(-0.1f * d)))
                << x << "," << y;
            ASSERT_GE(std::min({b.r - a.r, b.g - a.g, b.b - a.b}), 0) << x << "," << y;
        }

    const struct {
        float visible;
        bool drawn;
    } cases[] = {{0.0f, false}, {0.5f, false}, {std::nextafter(0.5f, 1.0f), true}, {1.0f, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.visible);
        EXPECT_TRUE(draw({3.5f, 0.0f, 0.0f, c.visible}, textures) == (c.drawn ? with : without));
    }
}

} // namespace
