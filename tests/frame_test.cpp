// The whole frame against one the test composes itself from the layout it expects: the backdrop
// drawn the same way, then each text line at its own place, colour and scale. Any line out of
// place, missing or extra shows as differing pixels.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/platform.h"
#include "render/frame.h"
#include "render/gl_api.h"
#include "render/render_resources.h"
#include "render/status_layout.h"
#include "render/text.h"
#include "tests/support/program_window.h"
#include "tests/support/test_environment.h"

namespace {

struct Line {
    std::string text;
    float x, y, red, green, blue, scale;
};

class Frame : public ProgramWindowSuite {
  protected:
    void SetUp() override {
        ProgramWindowSuite::SetUp();
        resetAppState();
        // A clock that barely moves: both frames show the same moment of the animation.
        renderResources.timerFrequency = 1000000000000000000;
        renderResources.timerStart = performanceCounter();
        resize(626, 626);
    }
    void TearDown() override { resize(626, 626); }

    static void resize(int width, int height) {
        appState.windowWidth = width;
        appState.windowHeight = height;
        glViewport(0, 0, width, height);
    }
    static std::vector<unsigned char> pixels() {
        std::vector<unsigned char> read(626 * 626 * 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, 626, 626, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
        return read;
    }
    static void bind(GLenum unit, GLuint texture, const char *sampler, int number) {
        glFunctions.glActiveTexture(unit);
        glBindTexture(GL_TEXTURE_2D, texture);
        glFunctions.glUniform1i(
            glFunctions.glGetUniformLocation(renderResources.backdropProgram, sampler), number);
    }
    // The frame as the test expects it, left unpresented in the back buffer.
    // The status text as drawTextLines draws it, or, when `statusLines` is given, those lines.
    static std::vector<unsigned char> expectedFrame(const std::vector<Line> &lines,
                                                    const char *status,
                                                    const std::vector<std::string> &statusLines) {
        const GlFunctions &gl = glFunctions;
        const RenderResources &r = renderResources;
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl.glUseProgram(r.backdropProgram);
        auto uniform = [&](const char *name) {
            return gl.glGetUniformLocation(r.backdropProgram, name);
        };
        gl.glUniform1f(uniform("iTime"), elapsedSeconds());
        gl.glUniform2f(uniform("iResolution"), static_cast<float>(appState.windowWidth),
                       static_cast<float>(appState.windowHeight));
        gl.glUniform1f(uniform("iInstallHover"), 0.0f);
        gl.glUniform1f(uniform("iHelpHover"), 0.0f);
        gl.glUniform1f(uniform("iPrimaryVisible"), appState.cabinetReady ? 1.0f : 0.0f);
        bind(GL_TEXTURE0, r.backdropTexture, "iBackground", 0);
        bind(GL_TEXTURE1, r.closeIconTexture, "iCloseBtn", 1);
        bind(GL_TEXTURE2, r.soundOnTexture, "iSoundBtn", 2);
        gl.glBindVertexArray(r.quadVao);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        for (const Line &line : lines)
            drawText(line.text.c_str(), line.x, line.y, line.red, line.green, line.blue,
                     line.scale);
        if (statusLines.empty())
            drawTextLines(status, 400, 82, 0.8f, 0.8f, 0.8f, 0.4f, 14);
        for (size_t i = 0; i < statusLines.size(); i++)
            drawText(statusLines[i].c_str(), 400, 82 - 14.0f * static_cast<float>(i), 0.8f, 0.8f,
                     0.8f, 0.4f);
        glDisable(GL_BLEND);
        return pixels();
    }
    static std::vector<Line> fixedLines(int width) {
        const float white = 245 / 255.0f;
        const char *title = "Ardwyn Presents... Quillmere";
        const char *warning = "ENABLE USB DEBUGGING ON THE CABINET FIRST";
        return {
            {"HOW TO ENABLE", 268 - measureText("HOW TO ENABLE", 0.4f) * 0.5f, 72, white, white,
             white, 0.4f},
            {"USB DEBUGGING", 268 - measureText("USB DEBUGGING", 0.4f) * 0.5f, 56, white, white,
             white, 0.4f},
            {title, std::floor(width * 0.5f - measureText(title, 0.5f) * 0.5f), 588, 60 / 255.0f,
             187 / 255.0f, 217 / 255.0f, 0.5f},
            {warning, std::floor(width * 0.5f - measureText(warning, 0.35f) * 0.5f), 570, 1.0f,
             100 / 255.0f, 100 / 255.0f, 0.35f},
        };
    }
    static Line label(const char *text) {
        const float white = 245 / 255.0f;
        return {text, 92 - measureText(text, 0.4f) * 0.5f, 61, white, white, white, 0.4f};
    }
    // Pixels that differ by more than one step in any channel.
    static int differing(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b,
                         int width) {
        int count = 0;
        for (int y = 0; y < 626; y++)
            for (int x = 0; x < width; x++)
                for (int c = 0; c < 3; c++) {
                    const size_t at = (static_cast<size_t>(y) * 626 + x) * 4 + c;
                    if (std::abs(a[at] - b[at]) > 1) {
                        count++;
                        break;
                    }
                }
        return count;
    }
};

struct FrameCase {
    const char *name;
    bool ready;
    bool installed;
    const char *label; // null: no label
    const char *status;
    int width;
    std::vector<std::string> wrapped; // the status lines as drawn, when not as the text has them
};

TEST_F(Frame, EveryLineSitsWhereItBelongs) {
    const FrameCase cases[] = {
        {"no cabinet", false, false, nullptr, initialStatusText, 626, {}},
        {"no cabinet, mod known", false, true, nullptr, "Cabinet is offline.", 626, {}},
        {"install", true, false, "INSTALL", "Cabinet detected.\nPress INSTALL to begin.", 626, {}},
        {"restore",
         true,
         true,
         "RESTORE",
         "Cabinet detected.\nThis mod is installed.\nPress RESTORE to undo it.",
         626,
         {}},
        // 94 pixels of status block: the line breaks at its space.
        {"narrower window",
         true,
         false,
         "INSTALL",
         "Installing emulator...",
         500,
         {"Installing", "emulator..."}},
        {"empty status", true, false, "INSTALL", "", 626, {}},
    };
    for (const FrameCase &c : cases) {
        resize(c.width, 626);
        appState.cabinetReady = c.ready;
        appState.modInstalled = c.installed;
        setStatusText("%s", c.status);
        renderFrame();
        const std::vector<unsigned char> drawn = pixels();
        std::vector<Line> lines = fixedLines(c.width);
        if (c.label)
            lines.insert(lines.begin(), label(c.label));
        const std::vector<unsigned char> expected = expectedFrame(lines, c.status, c.wrapped);
        EXPECT_EQ(differing(drawn, expected, c.width), 0) << c.name;
    }
}

// The comparison above would also hold if no text were drawn at all: the label must show.
TEST_F(Frame, LabelIsDrawnOnlyWhileTheCabinetIsReady) {
    auto labelPixels = [&](bool ready) {
        appState.cabinetReady = ready;
        renderFrame();
        const std::vector<unsigned char> drawn = pixels();
        int bright = 0;
        for (int y = 60; y < 72; y++)
            for (int x = 70; x < 115; x++) {
                const unsigned char *p = &drawn[(static_cast<size_t>(y) * 626 + x) * 4];
                bright += p[0] > 200 && p[1] > 200 && p[2] > 200;
            }
        return bright;
    };
    EXPECT_EQ(labelPixels(false), 0);
    EXPECT_GT(labelPixels(true), 20);
}

float statusWidth(const char *text) { return measureText(text, 0.4f); }

// Every text the program writes into the status lines fits the block as it stands, so each is
// drawn exactly as before: no line is wrapped or cut.
TEST_F(Frame, ProgramsOwnTextsFitTheStatusBlock) {
    const char *const texts[] = {
        initialStatusText,
        "Cabinet detected.\nThis mod is installed.\nPress RESTORE to undo it.",
        "Cabinet detected.\nPress INSTALL to begin.",
        "Cabinet found, not authorised.\nOn the cabinet, tap\n\"Allow USB debugging\".",
        "Cabinet is offline.\nUnplug and replug the\nUSB cable.",
        "Cabinet found, no permission.\nAdd the udev rule from\nthe README, then replug.",
        "This device is not a cabinet.\nConnect the cabinet and\nunplug other devices.",
        "More than one cabinet.\nConnect one cabinet\nat a time.",
        "Preparing files...",
        "Preparing...",
        "Waiting for authorisation...\nOn the cabinet, tap\n\"Allow USB debugging\".",
        "Waiting for cabinet...\nConnect USB and enable\nUSB debugging.",
        "Installing emulator...",
        "Installing launcher...\n(150 MB, please wait)",
        "Starting the cabinet...",
        "Done!\nPicking a game goes black\nfor a moment - press START.",
        "Restoring original software...",
        "Restored.\nThe cabinet is back to\nits original software.",
        "Could not unpack files.\nIs there free disk space?",
        "Could not unpack adb.",
        "No cabinet found.\nCheck the USB cable and\nthat USB debugging is on.",
        "Emulator install failed.",
        "Launcher install failed.",
        "Copying discs failed.",
        "Restore failed.",
        "Folder path too long.\nMove Quillmere to a\nshorter folder.",
    };
    for (const char *text : texts) {
        StatusLayout layout;
        layOutStatusText(text, 626 - 400 - 6, maxStatusLines, statusWidth, &layout);
        std::vector<std::string> lines;
        std::string line;
        for (const char *p = text;; p++) {
            if (*p == '\n' || *p == '\0') {
                lines.push_back(line);
                line.clear();
            } else {
                line += *p;
            }
            if (*p == '\0')
                break;
        }
        EXPECT_EQ(std::vector<std::string>(layout.lines, layout.lines + layout.count), lines)
            << text;
    }
}

// adb's words in a failure run far wider than the block: they wrap inside it, and what would fall
// below the window's edge is cut.
TEST_F(Frame, LongAdbWordsStayInsideTheStatusBlock) {
    const char failure[] =
        "Copying discs failed.\nRacing\nadb: error: failed to copy "
        "'/home/owner/Quillmere/discs/Racing/Outrun (Japan) (Rev 1).iso' to "
        "'/sdcard/roms/Racing/Outrun (Japan) (Rev 1).iso': remote write failed: No space left on "
        "device\n";
    appState.cabinetReady = true;
    setStatusText("%s", "");
    renderFrame();
    const std::vector<unsigned char> without = pixels();
    setStatusText("%s", failure);
    renderFrame();
    const std::vector<unsigned char> with = pixels();

    StatusLayout layout;
    layOutStatusText(failure, 626 - 400 - 6, maxStatusLines, statusWidth, &layout);
    ASSERT_EQ(layout.count, maxStatusLines);
    EXPECT_STREQ(layout.lines[0], "Copying discs failed.");
    EXPECT_STREQ(layout.lines[1], "Racing");
    const std::string last = layout.lines[maxStatusLines - 1];
    EXPECT_EQ(last.substr(last.size() - 3), "...");
    // Nothing is lost but the spaces the lines were broken at, up to the cut.
    auto withoutSpaces = [](std::string text) {
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        return text;
    };
    std::string joined;
    for (int i = 2; i < layout.count; i++) {
        EXPECT_LE(statusWidth(layout.lines[i]), 626 - 400 - 6) << layout.lines[i];
        joined += layout.lines[i];
    }
    joined = withoutSpaces(joined.substr(0, joined.size() - 3));
    const std::string words = withoutSpaces(std::string(failure).substr(29));
    EXPECT_EQ(words.substr(0, joined.size()), joined);

    // The text's pixels lie inside the block: right of the help button, left of the window's
    // right edge, inside the window at the bottom.
    int left = 626, right = -1, bottom = 626, top = -1;
    for (int y = 0; y < 626; y++)
        for (int x = 0; x < 626; x++) {
            const size_t at = (static_cast<size_t>(y) * 626 + x) * 4;
            if (with[at] == without[at] && with[at + 1] == without[at + 1] &&
                with[at + 2] == without[at + 2])
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::min(bottom, y);
            top = std::max(top, y);
        }
    EXPECT_GE(left, 400);
    EXPECT_LT(right, 626 - 2);
    EXPECT_GE(bottom, 0);
    EXPECT_LT(top, 82 + 14);
    EXPECT_LT(bottom, 12) << "six lines, the last at the window's bottom";
    // And they are the layout's lines, each on its baseline.
    std::vector<Line> lines = fixedLines(626);
    lines.insert(lines.begin(), label("INSTALL"));
    const std::vector<std::string> drawnLines(layout.lines, layout.lines + layout.count);
    EXPECT_EQ(differing(with, expectedFrame(lines, "", drawnLines), 626), 0);
}

// While bytes move, the progress line follows the status lines in their colour; the time left
// goes to a line of its own when the whole does not fit, and six lines still never pass the
// block's bottom.
TEST_F(Frame, ProgressLineFollowsTheStatusLines) {
    struct ProgressCase {
        const char *status;
        const char *progress;
        std::vector<std::string> drawn;
    };
    const ProgressCase cases[] = {
        {"Installing launcher...\n(150 MB, please wait)",
         "87 of 150 MB - 58% - about 1 min left",
         {"Installing launcher...", "(150 MB, please wait)",
          "87 of 150 MB - 58% - about 1 min left"}},
        {"Copying discs...\nRacing\n(this can take a while)",
         "168 of 168 MB - 99% - less than a minute left",
         {"Copying discs...", "Racing", "(this can take a while)", "168 of 168 MB - 99%",
          "less than a minute left"}},
        {"1\n2\n3\n4\n5",
         "1.2 of 45.6 GB - 2% - about 125 min left",
         {"1", "2", "3", "4...", "1.2 of 45.6 GB - 2%", "about 125 min left"}},
    };
    appState.cabinetReady = true;
    std::vector<Line> lines = fixedLines(626);
    lines.insert(lines.begin(), label("INSTALL"));
    for (const ProgressCase &c : cases) {
        setStatusText("%s", c.status);
        setProgressText(c.progress);
        renderFrame();
        const std::vector<unsigned char> drawn = pixels();
        EXPECT_EQ(differing(drawn, expectedFrame(lines, "", c.drawn), 626), 0) << c.progress;
    }
    setProgressText("");
}

} // namespace
