// The status poller on its own thread against the simulator, moved on one pass at a time.
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/status_poller.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

const char installText[] = "Cabinet detected.\nPress INSTALL to begin.";
const char restoreText[] = "Cabinet detected.\nThis mod is installed.\nPress RESTORE to undo it.";
const char unauthorisedText[] =
    "Cabinet found, not authorised.\nOn the cabinet, tap\n\"Allow USB debugging\".";
const char offlineText[] = "Cabinet is offline.\nUnplug and replug the\nUSB cable.";
const char severalText[] = "More than one cabinet.\nConnect one cabinet\nat a time.";

class StatusPoller : public CabinetTest {
  protected:
    void *poller = nullptr;
    int passes = 0;
    void SetUp() override {
        CabinetTest::SetUp();
        SteppedClock::install();
        poller = startThread(statusPoller, nullptr);
        ASSERT_NE(poller, nullptr);
        nextPass(); // the first pass runs before the first sleep
    }
    void TearDown() override {
        appState.pollerRunning = false;
        SteppedClock::uninstall();
        EXPECT_TRUE(waitForThread(poller, 30000));
        CabinetTest::TearDown();
    }
    // Lets the poller finish the pass under way (the sleep after it begins).
    void nextPass() {
        if (passes > 0)
            SteppedClock::releaseOne();
        passes++;
        ASSERT_TRUE(SteppedClock::waitForSleeps(passes));
    }
    size_t logged() const { return cabinet.log().size(); }
    bool logHolds(const std::string &line) const {
        for (const auto &arguments : commands())
            if (arguments == words(line))
                return true;
        return false;
    }
};

struct PollCase {
    const char *link;
    const char *launcherAt; // the launcher package's place, for a ready cabinet
    const char *text;
    bool ready;
    bool installed;
};

TEST_F(StatusPoller, ShowsTheCabinetAsItIs) {
    EXPECT_EQ(statusText(), initialStatusText) << "no cabinet at first";
    const PollCase cases[] = {
        {"ready", "system", installText, true, false},
        {"unauthorized", "system", unauthorisedText, false, false},
        {"ready", "data", restoreText, true, true},
        {"offline", "data", offlineText, false, true},    // the last known answer stays
        {"none", "data", initialStatusText, false, true}, // unplugged
        {"two", "system", severalText, false, true},      // which one is meant?
        {"authorizing", "system", unauthorisedText, false, true},
    };
    for (const PollCase &c : cases) {
        cabinet.setLink(c.link);
        cabinet.write("packages/com.arcade", std::string(c.launcherAt) + "\n");
        nextPass();
        EXPECT_EQ(statusText(), c.text) << c.link << " " << c.launcherAt;
        EXPECT_EQ(appState.cabinetReady.load(), c.ready) << c.link;
        EXPECT_EQ(appState.modInstalled.load(), c.installed) << c.link << " " << c.launcherAt;
    }
    // The package is asked of each usable device, and of no other.
    const std::vector<std::vector<std::string>> lines = commands();
    int devices = 0;
    int paths = 0;
    for (const auto &arguments : lines) {
        devices += arguments == words("devices");
        paths += arguments == words("shell pm path com.arcade");
    }
    EXPECT_EQ(devices, 8);
    EXPECT_EQ(paths, 4);
}

TEST_F(StatusPoller, WritesTheTextOnEveryPass) {
    cabinet.setLink("ready");
    clearRecording();
    nextPass();
    nextPass();
    EXPECT_EQ(recorded().texts, (std::vector<std::string>{installText, installText}));
}

TEST_F(StatusPoller, FallsSilentForGoodAfterTheClick) {
    cabinet.setLink("ready");
    nextPass();
    ASSERT_TRUE(appState.cabinetReady);
    ASSERT_TRUE(beginOperation());
    const size_t before = logged();
    cabinet.setLink("none");
    nextPass();
    nextPass();
    EXPECT_EQ(logged(), before) << "no probe once an operation has been requested";
    EXPECT_EQ(statusText(), "Preparing...");
    EXPECT_TRUE(appState.cabinetReady);
    // An ended operation does not wake it either.
    failOperation("Could not unpack adb.");
    nextPass();
    EXPECT_EQ(logged(), before);
    EXPECT_EQ(statusText(), "Could not unpack adb.");
}

// A pass that began before the click ends after it: its answers are stale and must not replace
// what the click wrote, nor the flags as they were at the click.
TEST_F(StatusPoller, PassUnderWayAtTheClickWritesNothingAfterIt) {
    cabinet.setLink("ready");
    cabinet.write("packages/com.arcade", "data\n");
    cabinet.addFault("shell pm path\t1\tdelay\t600");
    SteppedClock::releaseOne();
    // Wait until the slow package query is running: the probe's flag has been written by then.
    for (int i = 0; i < 3000 && !logHolds("shell pm path com.arcade"); i++)
        sleepMilliseconds(2);
    ASSERT_TRUE(logHolds("shell pm path com.arcade"));
    ASSERT_TRUE(beginOperation());
    ASSERT_TRUE(SteppedClock::waitForSleeps(++passes));
    EXPECT_EQ(statusText(), "Preparing...");
    EXPECT_FALSE(appState.modInstalled) << "the stale answer arrived after the click";
}

TEST_F(StatusPoller, ClickDuringTheProbeKeepsTheFlags) {
    cabinet.setLink("ready");
    cabinet.addFault("devices\t1\tdelay\t600");
    const size_t before = logged();
    SteppedClock::releaseOne();
    for (int i = 0; i < 3000 && logged() == before; i++)
        sleepMilliseconds(2);
    ASSERT_TRUE(beginOperation());
    ASSERT_TRUE(SteppedClock::waitForSleeps(++passes));
    EXPECT_FALSE(appState.cabinetReady);
    EXPECT_EQ(statusText(), "Preparing...");
    EXPECT_FALSE(logHolds("shell pm path com.arcade"));
}

TEST_F(StatusPoller, WithoutTheToolEveryPassShowsNoCabinet) {
    // This fixture's poller unpacked the tool; a poller whose unpacking failed never runs it.
    appState.adbReady = false;
    cabinet.setLink("ready");
    const size_t before = logged();
    nextPass();
    EXPECT_EQ(logged(), before);
    EXPECT_EQ(statusText(), initialStatusText);
    EXPECT_FALSE(appState.cabinetReady);
}

// The click's path: the stage and text under the guard, then a worker thread, while the poller
// goes on passing. ThreadSanitizer watches both threads here.
TEST_F(StatusPoller, WorkerAndPollerLiveAtOnce) {
    cabinet.setLink("ready");
    nextPass();
    ASSERT_TRUE(beginOperation());
    void *worker = startThread(installWorker, nullptr);
    ASSERT_NE(worker, nullptr);
    for (int i = 0; i < 20 && appState.operationStage.load() != Done; i++) {
        nextPass();
        char text[statusTextSize];
        copyStatusText(text, sizeof text);
        EXPECT_NE(std::string(text), installText) << "the poller wrote during the operation";
    }
    EXPECT_TRUE(waitForThread(worker, 60000));
    EXPECT_EQ(appState.operationStage.load(), Done);
}

} // namespace
