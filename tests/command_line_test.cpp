#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/linux/command_line.h"

namespace {

std::vector<std::string> split(const char *line) {
    char storage[512];
    char *arguments[16];
    const int count = splitCommandLine(line, storage, sizeof storage, arguments, 16);
    std::vector<std::string> out;
    for (int i = 0; i < count; i++)
        out.push_back(arguments[i]);
    EXPECT_EQ(count >= 0 ? arguments[count] : nullptr, nullptr);
    return out;
}

struct SplitCase {
    const char *line;
    std::vector<std::string> arguments;
};

TEST(CommandLine, SplitsByTheWindowsRules) {
    const SplitCase cases[] = {
        {"\"/tmp/Quillmere_5/adb\" devices", {"/tmp/Quillmere_5/adb", "devices"}},
        {"\"/tmp/a b/adb\" ", {"/tmp/a b/adb"}},
        {"\"C:\\dir\\\" x", {"C:\\dir\\", "x"}}, // the program's name takes no escapes
        {"adb  shell\tpm   path", {"adb", "shell", "pm", "path"}},
        {"adb push \"/d/discs/A B\" /sdcard/roms/",
         {"adb", "push", "/d/discs/A B", "/sdcard/roms/"}},
        {"adb a\\b \\\\x", {"adb", "a\\b", "\\\\x"}},      // lone backslashes are literal
        {"adb \"a\\\\\" b", {"adb", "a\\", "b"}},          // 2n backslashes, then a quote
        {"adb \"a\\\"b\" c", {"adb", "a\"b", "c"}},        // 2n+1 backslashes: a literal quote
        {"adb \"say \"\"hi\"\"\"", {"adb", "say \"hi\""}}, // doubled quote inside quotes
        {"adb \"\"", {"adb", ""}},                         // an empty argument
        {"adb x\"y z\"w", {"adb", "xy zw"}},               // quotes mid-argument
        {"adb %s %n 100%", {"adb", "%s", "%n", "100%"}},
        {"", {}},
    };
    for (const SplitCase &c : cases)
        EXPECT_EQ(split(c.line), c.arguments) << c.line;
}

TEST(CommandLine, RefusesWhatDoesNotFit) {
    char storage[8];
    char *arguments[4];
    EXPECT_EQ(splitCommandLine("adb a-long-argument", storage, sizeof storage, arguments, 4), -1);
    char roomy[64];
    EXPECT_EQ(splitCommandLine("adb a b c d", roomy, sizeof roomy, arguments, 4), -1);
    EXPECT_EQ(splitCommandLine("adb a b", roomy, sizeof roomy, arguments, 4), 3);
}

} // namespace
