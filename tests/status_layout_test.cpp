// The status block's line layout with a width the test can count: every drawable byte is one
// unit wide, as if the font had a single advance; bytes without a glyph are none.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "render/status_layout.h"

namespace {

float unitWidth(const char *text) {
    float width = 0;
    for (const char *p = text; *p != '\0'; p++)
        width += static_cast<signed char>(*p) >= 32 ? 1.0f : 0.0f;
    return width;
}

std::vector<std::string> layOut(const std::string &text, float blockWidth, int maxLines = 6) {
    StatusLayout layout;
    layOutStatusText(text.c_str(), blockWidth, maxLines, unitWidth, &layout);
    return std::vector<std::string>(layout.lines, layout.lines + layout.count);
}

struct LayoutCase {
    const char *name;
    std::string text;
    float width;
    std::vector<std::string> lines;
};

TEST(StatusLayout, KeepsWhatFitsAndWrapsWhatDoesNot) {
    const LayoutCase cases[] = {
        {"empty", "", 10, {}},
        {"fits, carriage return kept",
         "Emulator install failed.\r",
         24,
         {"Emulator install failed.\r"}},
        {"empty middle line counts", "a\n\nb", 5, {"a", "", "b"}},
        {"final line feed adds none", "a\nb\n", 5, {"a", "b"}},
        {"exactly the width", "abcde", 5, {"abcde"}},
        {"breaks at the last space that fits", "hello big world", 9, {"hello big", "world"}},
        {"space right after what fits", "abcd efgh", 4, {"abcd", "efgh"}},
        {"a run of spaces is not drawn", "ab   cd", 3, {"ab", "cd"}},
        {"word wider than the block", "abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"word after a short one", "a bcdefgh", 4, {"a", "bcde", "fgh"}},
        {"no room at all", "abc", 0, {"a", "b", "c"}},
        {"only the wide line wraps",
         "Restore failed.\nerror: no devices/emulators found",
         16,
         {"Restore failed.", "error: no", "devices/emulator", "s found"}},
        {"a line of 300 bytes goes on after 255",
         std::string(300, 'x'),
         1000,
         {std::string(255, 'x'), std::string(45, 'x')}},
    };
    for (const LayoutCase &c : cases)
        EXPECT_EQ(layOut(c.text, c.width), c.lines) << c.name;
}

TEST(StatusLayout, WhatFallsBelowTheBlockIsCutWithDots) {
    EXPECT_EQ(layOut("1\n2\n3\n4\n5\n6\n7\n8", 5),
              (std::vector<std::string>{"1", "2", "3", "4", "5", "6..."}));
    // The last line gives way to the dots, and drops the space before them.
    EXPECT_EQ(layOut("aaaaa\nbbbbb\nccccc\nddddd\neeeee\nff fff\nggggg", 6),
              (std::vector<std::string>{"aaaaa", "bbbbb", "ccccc", "ddddd", "eeeee", "ff..."}));
    // Six lines exactly: nothing is cut.
    EXPECT_EQ(layOut("1\n2\n3\n4\n5\n6\n", 5),
              (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    // A wrapped line that runs past the last line is cut the same way.
    EXPECT_EQ(layOut("one two three four five", 9, 2),
              (std::vector<std::string>{"one two", "three..."}));
    // A line of 255 bytes still has room for the dots.
    const std::vector<std::string> cut = layOut(std::string(255, 'y') + "\nz", 1000, 1);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0], std::string(252, 'y') + "...");
}

std::vector<std::string> progressLines(const std::string &text, float blockWidth) {
    StatusLayout layout;
    layOutProgressLine(text.c_str(), blockWidth, unitWidth, &layout);
    return std::vector<std::string>(layout.lines, layout.lines + layout.count);
}

TEST(StatusLayout, ProgressLineBreaksBeforeTheTimeLeft) {
    const std::string line = "87 of 150 MB - 58% - about 1 min left";
    EXPECT_EQ(progressLines("", 40), std::vector<std::string>{});
    EXPECT_EQ(progressLines(line, 40), std::vector<std::string>{line});
    EXPECT_EQ(progressLines(line, 30),
              (std::vector<std::string>{"87 of 150 MB - 58%", "about 1 min left"}));
    // Still too wide, each half is cut.
    EXPECT_EQ(progressLines(line, 12), (std::vector<std::string>{"87 of 150...", "about 1 m..."}));
    EXPECT_EQ(progressLines("87 of 150 MB - 58%", 10),
              (std::vector<std::string>{"87 of 1...", "58%"}));
}

} // namespace
