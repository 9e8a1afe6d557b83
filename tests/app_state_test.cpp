#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "tests/support/test_environment.h"

TEST(AppState, StartsWithTheWaitingTextAndNothingPrepared) {
    // Read before any test touches the record: these are the values in static storage.
    char text[statusTextSize];
    copyStatusText(text, sizeof text);
    EXPECT_STREQ(text, "Waiting for cabinet...\nEnable USB debugging and\nconnect a USB cable.");
    EXPECT_TRUE(appState.appRunning);
    EXPECT_TRUE(appState.pollerRunning);
    EXPECT_EQ(appState.windowWidth, 626);
    EXPECT_EQ(appState.windowHeight, 626);
    EXPECT_EQ(appState.operationStage.load(), Idle);
    EXPECT_FALSE(appState.cabinetReady);
    EXPECT_FALSE(appState.modInstalled);
    EXPECT_FALSE(appState.adbReady);
    EXPECT_FALSE(appState.packagesReady);
    EXPECT_EQ(appState.windowHandle.load(), nullptr);
    EXPECT_EQ(appState.pollerThread.load(), nullptr);
    EXPECT_EQ(appState.workDir[0], '\0');
    EXPECT_EQ(Failed, 8);
    EXPECT_EQ(sizeof(OperationStage), 4u);
}

TEST(AppState, HelpTextHasThirtySixLinesAndNamesTheVideo) {
    const std::string help = appState.helpText;
    size_t lines = 1;
    for (size_t at = help.find("\r\n"); at != std::string::npos; at = help.find("\r\n", at + 2))
        lines++;
    EXPECT_EQ(lines, 36u);
    EXPECT_NE(help.substr(help.size() - 2), "\r\n");
    EXPECT_NE(help.find(std::string("\r\n   ") + appState.helpVideoUrl + "\r\n"),
              std::string::npos);
}

TEST(StatusText, LongTextIsCutAt511AndStaysTerminated) {
    const std::string longText(700, 'x');
    setStatusText("%s", longText.c_str());
    char text[statusTextSize + 16];
    memset(text, 'z', sizeof text);
    copyStatusText(text, sizeof text);
    EXPECT_EQ(strlen(text), 511u);
    // A smaller reader's buffer is cut too, and terminated.
    char small[8];
    copyStatusText(small, sizeof small);
    EXPECT_STREQ(small, "xxxxxxx");
    resetAppState();
}

TEST(StatusText, PercentSignsInInsertedTextAreNeverConversions) {
    setStatusText("Emulator install failed.\n%.300s", "adb: %s %n %% failed");
    char text[statusTextSize];
    copyStatusText(text, sizeof text);
    EXPECT_STREQ(text, "Emulator install failed.\nadb: %s %n %% failed");
    resetAppState();
}

// Two writers alternate between two long texts while a reader copies them out: every copy must be
// one whole text. Without the guard a copy can mix the two, or read past the end of a text while
// a writer is half-way through it.
TEST(StatusText, ReaderNeverSeesATornText) {
    const std::string first(500, 'a');
    const std::string second = std::string(20, 'b') + "\n" + std::string(400, 'c');
    std::atomic<bool> stop{false};
    auto writer = [&](const std::string &text) {
        while (!stop)
            setStatusText("%s", text.c_str());
    };
    std::thread one(writer, first);
    std::thread two(writer, second);
    int torn = 0;
    for (int i = 0; i < 20000; i++) {
        char copy[statusTextSize];
        copyStatusText(copy, sizeof copy);
        if (copy != first && copy != second && std::string(copy) != initialStatusText)
            torn++;
    }
    stop = true;
    one.join();
    two.join();
    EXPECT_EQ(torn, 0);
    resetAppState();
}
