// The whole program's life in this process: start-up, the main loop with the poller behind it,
// and each way of closing it, against the simulated cabinet.
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "render/render_resources.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/program_window.h"
#include "tests/support/test_environment.h"

namespace {

class Startup : public CabinetTest, public ::testing::WithParamInterface<UserAction> {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        VirtualClock::uninstall(); // the program runs on the real clock here
        cabinet.setLink("ready");
    }
    void TearDown() override {
        forgetWindowClass();
        appState.windowHandle = nullptr;
        CabinetTest::TearDown();
    }
    bool pollerHasProbed() const {
        for (const auto &arguments : commands())
            if (arguments == words("devices"))
                return true;
        return false;
    }
};

TEST_P(Startup, EndsWithExitCodeZeroAndNoWorkFolder) {
    bool shown = false;
    bool drawing = false;
    bool polled = false;
    std::string work;
    std::thread user([&] {
        const uint64_t start = wallMilliseconds();
        while (wallMilliseconds() - start < 60000 && !(shown && polled)) {
            shown = shown || programWindowIsShown();
            polled = polled || (pollerHasProbed() && appState.cabinetReady.load());
            sleepMilliseconds(20);
        }
        char path[pathSize];
        copyWorkDir(path, sizeof path);
        work = path;
        sendUserAction(GetParam());
    });
    const int32_t exitCode = runProgram();
    user.join();
    drawing = renderResources.backdropProgram != 0 && appState.glContext.load() != nullptr;

    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(shown) << "the window with the program's class and title";
    EXPECT_TRUE(drawing) << "the GL context and the frame's objects";
    EXPECT_TRUE(polled) << "the status poller probed the cabinet";
    EXPECT_FALSE(appState.pollerRunning);
    EXPECT_EQ(workDir(), "");
    ASSERT_FALSE(work.empty());
    expectWorkFolderRemoved(work);
    EXPECT_TRUE(recorded().boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(EachWayOfClosing, Startup,
                         ::testing::Values(UserAction::CloseMessage, UserAction::EscapeKey,
                                           UserAction::DestroyMessage));

using StartupFailure = CabinetTest;

TEST_F(StartupFailure, RegistrationThatFailsShowsItsBoxAndExitsWithOne) {
    breakWindowRegistration();
    const int32_t exitCode = runProgram();
    mendWindowRegistration();
    EXPECT_EQ(exitCode, 1);
    const Recording seen = recorded();
    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_EQ(seen.boxes[0].caption, "Error");
    EXPECT_EQ(seen.boxes[0].text, "Window Registration Failed!");
    EXPECT_EQ(seen.boxes[0].owner, nullptr);
    EXPECT_EQ(appState.pollerThread.load(), nullptr) << "nothing started after the failure";
}

} // namespace
