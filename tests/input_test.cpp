// Which control the cursor is over, and what a press does, by the rules both platforms share.
#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"
#include "window/input.h"

namespace {

struct HoverCase {
    int x, y; // client position, origin top-left
    bool ready;
    const char *over; // "close", "sound", "primary", "help" or "" for none
};

std::string hovered() {
    if (appState.hoverClose)
        return "close";
    if (appState.hoverSound)
        return "sound";
    if (appState.hoverPrimary)
        return "primary";
    if (appState.hoverHelp)
        return "help";
    return "";
}

class Input : public CabinetTest {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        appState.windowWidth = 626;
        appState.windowHeight = 626;
    }
};

TEST_F(Input, RegionsHaveStrictEdges) {
    const HoverCase cases[] = {
        {563, 31, false, "close"},
        {561, 30, false, ""},
        {592, 56, false, "close"},
        {593, 43, false, ""},
        {577, 29, false, ""},
        {34, 30, false, "sound"},
        {33, 43, false, ""},
        {64, 56, false, "sound"},
        {92, 626 - 68, true, "primary"},
        {92, 626 - 68, false, ""},
        {138, 626 - 68, true, ""},
        {137, 626 - 68, true, "primary"},
        {47, 626 - 49, true, "primary"},
        {46, 626 - 68, true, ""},
        {92, 626 - 88, true, ""},
        {92, 626 - 87, true, "primary"},
        {268, 626 - 68, false, "help"},
        {147, 626 - 49, false, "help"},
        {146, 626 - 68, false, ""},
        {389, 626 - 87, false, "help"},
        {390, 626 - 68, false, ""},
        {313, 313, true, ""},
    };
    for (const HoverCase &c : cases) {
        appState.cabinetReady = c.ready;
        updateHover(c.x, c.y);
        EXPECT_EQ(hovered(), c.over) << c.x << "," << c.y << (c.ready ? " ready" : "");
    }
    // (562, 30) lies on the close icon by its own rule: |562 - 577| = 15 < 16, |30 - 43| = 13.
    updateHover(562, 30);
    EXPECT_TRUE(appState.hoverClose);
    updateHover(561, 30);
    EXPECT_FALSE(appState.hoverClose);
    // 46 pixels right of the primary button's centre is outside it.
    appState.cabinetReady = true;
    updateHover(92 + 46, 626 - 68);
    EXPECT_FALSE(appState.hoverPrimary);
}

TEST_F(Input, AfterAResizeTheCloseIconAndTheButtonsMove) {
    appState.windowWidth = 500;
    appState.windowHeight = 400;
    updateHover(451, 43);
    EXPECT_TRUE(appState.hoverClose) << "the close icon follows the right edge";
    updateHover(49, 43);
    EXPECT_TRUE(appState.hoverSound) << "the sound icon stays at the top-left";
    updateHover(268, 400 - 68);
    EXPECT_TRUE(appState.hoverHelp) << "the buttons keep their distance from the bottom";
    EXPECT_EQ(appState.mouseYUp, 68);
}

TEST_F(Input, CloseIconEndsTheLoopAndSoundIconToggles) {
    updateHover(577, 43);
    handleClick();
    EXPECT_FALSE(appState.appRunning);
    EXPECT_TRUE(appState.pollerRunning) << "the rest is the shutdown's";
    updateHover(49, 43);
    handleClick();
    EXPECT_TRUE(appState.soundMuted);
    handleClick();
    EXPECT_FALSE(appState.soundMuted);
}

TEST_F(Input, HelpBoxAskedAndNoOpensNothing) {
    updateHover(268, 626 - 68);
    handleClick(); // the fixture's box answers OK, which is not Yes
    const Recording seen = recorded();
    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_EQ(seen.boxes[0].caption, "How To Enable USB Debugging");
    EXPECT_EQ(seen.boxes[0].text, appState.helpText);
    EXPECT_EQ(seen.boxes[0].type, 0x144u);
    EXPECT_FALSE(appState.dragging);
}

TEST_F(Input, PrimaryButtonStartsTheOperationThatTheModCalls) {
    cabinet.setLink("ready");
    VirtualClock::uninstall();
    for (bool installed : {false, true}) {
        resetAppState();
        clearRecording();
        appState.cabinetReady = true;
        appState.modInstalled = installed;
        updateHover(92, 626 - 68);
        handleClick();
        void *worker = appState.workerThread.load();
        ASSERT_NE(worker, nullptr);
        // A second press while the operation runs does nothing at all.
        const OperationStage stage = appState.operationStage.load();
        if (stage != Done && stage != Failed) {
            handleClick();
            EXPECT_EQ(appState.workerThread.load(), worker);
        }
        ASSERT_TRUE(waitForThread(worker, 60000));
        EXPECT_EQ(appState.operationStage.load(), Done);
        const Recording seen = recorded();
        ASSERT_FALSE(seen.texts.empty());
        EXPECT_EQ(seen.texts[0], "Preparing...") << "written by the press itself";
        EXPECT_EQ(seen.texts.back(),
                  installed ? "Restored.\nThe cabinet is back to\nits original software."
                            : "Done!\nPicking a game goes black\nfor a moment - press START.");
        // The simulator's log tells which worker ran.
        bool uninstalled = false;
        bool launcherInstalled = false;
        for (const auto &arguments : commands()) {
            uninstalled = uninstalled || arguments == words("uninstall com.arcade");
            launcherInstalled = launcherInstalled || arguments == words("install -r Launcher.apk");
        }
        EXPECT_EQ(uninstalled, installed) << "the restore takes the launcher off";
        EXPECT_EQ(launcherInstalled, !installed) << "the install puts the launcher on";
        cabinet.write("log", "");
    }
}

TEST_F(Input, PressOnTheButtonOfAVanishedCabinetStartsNothing) {
    appState.cabinetReady = true;
    updateHover(92, 626 - 68);
    appState.cabinetReady = false; // the poller's pass came between the move and the press
    handleClick();
    EXPECT_EQ(appState.operationStage.load(), Idle);
    EXPECT_FALSE(appState.dragging) << "and no drag starts";
    EXPECT_EQ(appState.workerThread.load(), nullptr);
}

TEST_F(Input, PressOutsideTheControlsStartsADrag) {
    updateHover(313, 313);
    handleClick();
    EXPECT_TRUE(appState.dragging);
    // Before any cursor move every flag is clear, so a press is a drag too.
    resetAppState();
    appState.hoverClose = appState.hoverSound = appState.hoverPrimary = appState.hoverHelp = false;
    appState.dragging = false;
    handleClick();
    EXPECT_TRUE(appState.dragging);
    appState.dragging = false;
}

} // namespace
