// Textures and shader programs in the program's real window and GL context (Mesa's software
// renderer under Xvfb, or Wine's OpenGL over it).
#include <gtest/gtest.h>
#include <stb_image.h>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/png_writer.h"
#include "tests/support/program_window.h"

namespace {

class Graphics : public ProgramWindowSuite {
  protected:
    static void SetUpTestSuite() {
        replaceMessageBox(recordBoxes);
        ProgramWindowSuite::SetUpTestSuite();
    }
    static void TearDownTestSuite() {
        ProgramWindowSuite::TearDownTestSuite();
        replaceMessageBox(nullptr);
    }
    void SetUp() override {
        ProgramWindowSuite::SetUp();
        boxes.clear();
    }
    static int32_t recordBoxes(void *, const char *text, const char *caption, uint32_t) {
        boxes.push_back({caption, text});
        return messageBoxChoseOk;
    }
    static std::vector<std::pair<std::string, std::string>> boxes;

    // The texture's pixels as GL holds them, first row = texture coordinate t = 0.
    static std::vector<unsigned char> texels(GLuint texture, int width, int height) {
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static GLuint upload(const std::string &png) {
        return textureFromPng(reinterpret_cast<const unsigned char *>(png.data()), png.size());
    }
};
std::vector<std::pair<std::string, std::string>> Graphics::boxes;

TEST_F(Graphics, EveryPictureBecameATextureAndNothingIsLeftBound) {
    const RenderResources &r = renderResources;
    EXPECT_NE(r.backdropProgram, 0u);
    EXPECT_NE(r.quadVao, 0u);
    EXPECT_NE(r.backdropTexture, 0u);
    EXPECT_NE(r.closeIconTexture, 0u);
    EXPECT_NE(r.soundMutedTexture, 0u);
    EXPECT_NE(r.soundOnTexture, 0u);
    GLint vertexArray = -1;
    GLint arrayBuffer = -1;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    EXPECT_EQ(vertexArray, 0);
    EXPECT_EQ(arrayBuffer, 0);
    EXPECT_TRUE(boxes.empty()) << "the program's own shaders build cleanly";
}

TEST_F(Graphics, PicturesWithoutAlphaBecomeOpaqueRgba) {
    // 2 x 2: RGB and grey, top row first.
    const std::vector<unsigned char> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    const std::vector<unsigned char> grey = {10, 20, 30, 40};
    const std::vector<unsigned char> fromRgb = texels(upload(pngFile(2, 2, 8, 2, rgb)), 2, 2);
    const std::vector<unsigned char> fromGrey = texels(upload(pngFile(2, 2, 8, 0, grey)), 2, 2);
    // Bottom row first: the picture's bottom-left pixel is the first texel.
    EXPECT_EQ(std::vector<unsigned char>(fromRgb.begin(), fromRgb.begin() + 4),
              (std::vector<unsigned char>{0, 0, 255, 255}));
    EXPECT_EQ(std::vector<unsigned char>(fromRgb.begin() + 8, fromRgb.begin() + 12),
              (std::vector<unsigned char>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<unsigned char>(fromGrey.begin(), fromGrey.begin() + 4),
              (std::vector<unsigned char>{30, 30, 30, 255}));
    for (size_t i = 3; i < fromGrey.size(); i += 4)
        EXPECT_EQ(fromGrey[i], 255);
}

TEST_F(Graphics, SixteenBitPictureGivesEightBitChannels) {
    // One pixel, RGBA at 16 bits: 0xff00 0x8000 0x0000 0xffff.
    const std::vector<unsigned char> pixel = {0xff, 0x00, 0x80, 0x00, 0x00, 0x00, 0xff, 0xff};
    const std::vector<unsigned char> texel = texels(upload(pngFile(1, 1, 16, 6, pixel)), 1, 1);
    EXPECT_EQ(texel, (std::vector<unsigned char>{0xff, 0x80, 0x00, 0xff}));
}

TEST_F(Graphics, OddWidthUploadsWithoutSkewAndTheFlipFlagEndsOff) {
    // 59 x 3, each row one colour: a skew would smear rows into each other.
    std::vector<unsigned char> rows;
    const unsigned char shades[3] = {200, 100, 50};
    for (unsigned char shade : shades)
        for (int x = 0; x < 59; x++)
            rows.insert(rows.end(), {shade, static_cast<unsigned char>(x), 0, 255});
    const std::string png = pngFile(59, 3, 8, 6, rows);
    const std::vector<unsigned char> texel = texels(upload(png), 59, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 59; x++) {
            ASSERT_EQ(texel[(y * 59 + x) * 4], shades[2 - y]) << x << "," << y;
            ASSERT_EQ(texel[(y * 59 + x) * 4 + 1], x) << x << "," << y;
        }
    // A decode right after, also after a failed one, comes top row first again.
    EXPECT_EQ(upload("not a picture at all"), 0u);
    int width = 0, height = 0, channels = 0;
    stbi_uc *plain =
        stbi_load_from_memory(reinterpret_cast<const unsigned char *>(png.data()),
                              static_cast<int>(png.size()), &width, &height, &channels, 4);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain[0], shades[0]);
    stbi_image_free(plain);
}

TEST_F(Graphics, NothingToDecodeGivesNoTexture) {
    const unsigned char byte = 0;
    EXPECT_EQ(textureFromPng(nullptr, 10), 0u);
    EXPECT_EQ(textureFromPng(&byte, 0), 0u);
    EXPECT_EQ(upload(std::string("\x89PNG\r\n\x1a\n", 8)), 0u);
}

TEST_F(Graphics, BrokenFragmentSourceShowsCompilationThenLinkingBox) {
    const char vertex[] = "#version 330 core\nlayout(location = 0) in vec2 aPos;\n"
                          "void main() { gl_Position = vec4(aPos, 0.0, 1.0); }\n";
    const char fragment[] =
        "#version 330 core\nout vec4 FragColor;\nvoid main() { FragColor = ; }\n";
    const GLuint program = buildProgram(vertex, fragment);
    EXPECT_NE(program, 0u);
    EXPECT_FALSE(programLinked(program)) << "start-up ends when this is the backdrop";
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].first, "Shader Compilation Error");
    EXPECT_FALSE(boxes[0].second.empty()) << "the compiler's log is shown";
    EXPECT_EQ(boxes[1].first, "Shader Linking Error");
}

TEST_F(Graphics, WholeSourcesBuildWithoutABox) {
    const char vertex[] = "#version 330 core\nlayout(location = 0) in vec2 aPos;\n"
                          "void main() { gl_Position = vec4(aPos, 0.0, 1.0); }\n";
    const char fragment[] = "#version 330 core\nout vec4 FragColor;\n"
                            "void main() { FragColor = vec4(1.0); }\n";
    const GLuint program = buildProgram(vertex, fragment);
    EXPECT_NE(program, 0u);
    EXPECT_TRUE(programLinked(program));
    EXPECT_TRUE(boxes.empty());
}

// The window's context is one the shaders are written for.
TEST_F(Graphics, ContextIsOpenGl33OrLater) {
    EXPECT_TRUE(glVersionAtLeast(3, 3)) << reinterpret_cast<const char *>(glGetString(GL_VERSION));
    EXPECT_FALSE(glVersionAtLeast(99, 0));
}

// One frame of the window, read back and kept beside the tests as a screenshot.
TEST_F(Graphics, FrameShowsTheBackdropInsideTheKeyColour) {
    renderResources.timerFrequency = performanceFrequency();
    renderResources.timerStart = performanceCounter();
    glViewport(0, 0, 626, 626);
    renderFrame();
    std::vector<unsigned char> pixels(626 * 626 * 4);
    // The drawn frame, key colour included: on Linux the window's shape hides those pixels from
    // the screen. The software renderer keeps the back buffer across the swap.
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 626, 626, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    auto pixel = [&](int x, int y) {
        const unsigned char *p = &pixels[(static_cast<size_t>(y) * 626 + x) * 4];
        return std::vector<unsigned char>{p[0], p[1], p[2]};
    };
    const std::vector<unsigned char> key = {255, 0, 255};
    EXPECT_EQ(pixel(0, 0), key) << "the chamfered corners are keyed out";
    EXPECT_EQ(pixel(625, 625), key);
    EXPECT_NE(pixel(313, 313), key) << "the panel itself is drawn";
    EXPECT_NE(pixel(313, 60), key);

    char executable[1024] = "";
    executablePath(executable, sizeof executable);
    std::string folder = executable;
    folder = folder.substr(0, folder.find_last_of(platformPathSeparator));
#ifdef _WIN32
    const std::string name = "window-windows.png";
#else
    const std::string name = "window-linux.png";
#endif
    EXPECT_TRUE(saveFrame(folder + platformPathSeparator + name, 626, 626));
}

} // namespace
