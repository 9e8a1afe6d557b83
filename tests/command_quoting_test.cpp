#include <gtest/gtest.h>
#include <string>

#include "cabinet/command_quoting.h"
#ifndef _WIN32
#include "platform/linux/command_line.h"
#endif

namespace {

struct QuoteCase {
    const char *text;
    const char *quoted;
};

TEST(CommandQuoting, QuotesOneArgumentByTheWindowsRules) {
    const QuoteCase cases[] = {
        {"C:\\Games\\discs\\Space Harrier", "\"C:\\Games\\discs\\Space Harrier\""},
        {"/home/ann/discs/100% done", "\"/home/ann/discs/100% done\""},
        {"", "\"\""},
        {"The \"Best\" Of", "\"The \\\"Best\\\" Of\""},
        {"ends in backslash\\", "\"ends in backslash\\\\\""},
        {"a\\\"b", "\"a\\\\\\\"b\""},
        {"a\\\\b", "\"a\\\\b\""},
    };
    for (const QuoteCase &c : cases) {
        char out[256];
        quoteArgument(c.text, out, sizeof out);
        EXPECT_STREQ(out, c.quoted) << c.text;
#ifndef _WIN32
        // What the Linux runner splits back out of it is the text itself.
        const std::string line = std::string("adb push ") + out + " /sdcard/roms/";
        char storage[512];
        char *arguments[8];
        ASSERT_EQ(splitCommandLine(line.c_str(), storage, sizeof storage, arguments, 8), 4);
        EXPECT_STREQ(arguments[2], c.text);
        EXPECT_STREQ(arguments[3], "/sdcard/roms/");
#endif
    }
}

TEST(CommandQuoting, StaysWithinItsBuffer) {
    char out[6];
    quoteArgument("abcdefgh", out, sizeof out);
    EXPECT_STREQ(out, "\"abcd");
    char none[1] = {'x'};
    quoteArgument("abc", none, sizeof none);
    EXPECT_EQ(none[0], '\0');
}

} // namespace
