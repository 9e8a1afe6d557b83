// Text against the carried font, in the program's real GL context: the numbers the functions
// return, and the quads the GL receives.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "render/text.h"
#include "tests/support/program_window.h"
#include "tests/support/test_environment.h"

namespace {

class Text : public ProgramWindowSuite {
  protected:
    void SetUp() override {
        ProgramWindowSuite::SetUp();
        appState.windowWidth = 626;
        appState.windowHeight = 626;
        glViewport(0, 0, 626, 626);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    void TearDown() override { glDisable(GL_BLEND); }

    // The glyph quad last sent to the GL: six vertices of (x, y, s, t).
    static std::vector<float> lastQuad() {
        auto getBufferSubData =
            reinterpret_cast<PFNGLGETBUFFERSUBDATAPROC>(glProcAddress("glGetBufferSubData"));
        std::vector<float> quad(24);
        glFunctions.glBindBuffer(GL_ARRAY_BUFFER, renderResources.textVbo);
        getBufferSubData(GL_ARRAY_BUFFER, 0, 96, quad.data());
        glFunctions.glBindBuffer(GL_ARRAY_BUFFER, 0);
        return quad;
    }
    // Lit pixels of the frame drawn so far, as (x, y) with y up.
    static std::vector<std::pair<int, int>> litPixels(int x0, int y0, int x1, int y1) {
        std::vector<unsigned char> pixels(626 * 626 * 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, 626, 626, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        std::vector<std::pair<int, int>> lit;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (pixels[(static_cast<size_t>(y) * 626 + x) * 4 + 1] > 128)
                    lit.push_back({x, y});
        return lit;
    }
};

TEST_F(Text, CapitalABakesAndDrawsAsWorkedOut) {
    const stbtt_bakedchar &a = renderResources.bakedGlyphs['A' - 32];
    EXPECT_FLOAT_EQ(a.xoff, 0.0f);
    EXPECT_FLOAT_EQ(a.yoff, -23.0f);
    EXPECT_EQ(a.x1 - a.x0, 20);
    EXPECT_EQ(a.y1 - a.y0, 23);
    EXPECT_NEAR(a.xadvance, 20.16f, 0.005f);

    EXPECT_NEAR(drawText("A", 100.0f, 61.0f, 1, 1, 1, 0.4f), 108.064f, 1e-4f);
    const std::vector<float> q = lastQuad();
    const float left = q[0], top = q[1], bottom = q[5], right = q[8];
    EXPECT_FLOAT_EQ(left, 100.0f);
    EXPECT_FLOAT_EQ(right, 108.0f);
    EXPECT_NEAR(top, 70.2f, 1e-4f);
    EXPECT_FLOAT_EQ(bottom, 61.0f);
    // Two triangles: (left, top) (left, bottom) (right, bottom) (left, top) (right, bottom)
    // (right, top), with the atlas box's corners.
    EXPECT_EQ(q[2], a.x0 / 512.0f);
    EXPECT_EQ(q[3], a.y0 / 512.0f);
    EXPECT_EQ(q[7], a.y1 / 512.0f);
    EXPECT_EQ(q[10], a.x1 / 512.0f);
    EXPECT_EQ(std::vector<float>(q.begin() + 12, q.begin() + 16),
              std::vector<float>(q.begin(), q.begin() + 4));
    EXPECT_EQ(std::vector<float>(q.begin() + 16, q.begin() + 20),
              std::vector<float>(q.begin() + 8, q.begin() + 12));
    EXPECT_EQ(q[20], right);
    EXPECT_EQ(q[21], top);
}

TEST_F(Text, DrawingAdvancesByTheMeasuredWidth) {
    const char *texts[] = {
        "INSTALL", "Ardwyn Presents... Quillmere", "Waiting for cabinet...", "%s %n", "", "\x7f"};
    for (const char *text : texts)
        for (float scale : {0.35f, 0.4f, 0.5f, 1.0f}) {
            const float pen = 12.25f;
            EXPECT_NEAR(drawText(text, pen, 100.0f, 1, 1, 1, scale), pen + measureText(text, scale),
                        1e-3f)
                << text << " at " << scale;
        }
    EXPECT_EQ(measureText("", 0.4f), 0.0f);
    // Newlines and bytes 128 to 255 draw nothing and do not move the pen.
    EXPECT_EQ(measureText("AB", 0.4f), measureText("A\nB", 0.4f));
    EXPECT_EQ(measureText("AB", 0.4f), measureText("A\xe9\x80\xff"
                                                   "B",
                                                   0.4f));
    EXPECT_EQ(drawText("\n\xe9", 7.5f, 100.0f, 1, 1, 1, 0.4f), 7.5f);
}

TEST_F(Text, FractionalPenStaysFractional) {
    drawText("A", 100.3f, 61.0f, 1, 1, 1, 0.4f);
    EXPECT_NEAR(lastQuad()[0], 100.3f, 1e-4f);
}

TEST_F(Text, LinesAreCountedAndStepDown) {
    struct LinesCase {
        std::string text;
        int lines;
    };
    const LinesCase cases[] = {
        {"one line", 1},
        {"first\n\nthird", 3},
        {"ends in a newline\n", 1},
        {"", 0},
        {std::string(300, 'x'), 2}, // 255 bytes, then the other 45
        {"a\nb\nc\nd\ne\nf\ng", 7},
    };
    for (const LinesCase &c : cases)
        EXPECT_EQ(drawTextLines(c.text.c_str(), 400, 82, 1, 1, 1, 0.4f, 14), c.lines) << c.text;

    // "I" drawn alone, then as the third line: two line steps lower.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    drawTextLines("I\n\nI", 300, 300, 1, 1, 1, 1.0f, 40);
    const std::vector<std::pair<int, int>> lit = litPixels(290, 180, 340, 340);
    int lowest = 1000, highest = -1;
    for (const auto &pixel : lit) {
        lowest = std::min(lowest, pixel.second);
        highest = std::max(highest, pixel.second);
    }
    EXPECT_EQ(lowest, 220) << "the third line's baseline, 80 below the first";
    EXPECT_LT(highest, 300 + 25);
    int middle = 0;
    for (const auto &pixel : lit)
        middle += pixel.second > 245 && pixel.second < 258;
    EXPECT_EQ(middle, 0) << "the empty line draws nothing";
}

TEST_F(Text, MissingFontShowsItsBoxAndMeasuresNothing) {
    std::vector<std::string> boxes;
    static std::vector<std::string> *seen;
    seen = &boxes;
    replaceMessageBox([](void *, const char *text, const char *caption, uint32_t) {
        seen->push_back(std::string(caption) + ": " + text);
        return messageBoxChoseOk;
    });
    const RenderResources kept = renderResources;
    renderResources.fontTexture = 0;
    renderResources.textProgram = 0;
    loadFont(nullptr, 29468);
    const unsigned char one = 0;
    loadFont(&one, 1);
    replaceMessageBox(nullptr);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Font Error: Could not load font data!",
                                               "Font Error: Could not load font data!"}));
    EXPECT_EQ(renderResources.fontTexture, 0u) << "nothing is created";
    EXPECT_EQ(renderResources.textProgram, 0u);
    renderResources = kept;
}

} // namespace
