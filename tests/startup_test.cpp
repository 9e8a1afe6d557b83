// The whole program's life in this process: start-up, the main loop with the poller behind it,
// and each way of closing it, against the simulated cabinet.
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/app_state.h"
#include "app/startup.h"
#include "audio/music_player.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "render/render_resources.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/program_window.h"
#include "tests/support/test_environment.h"
#include "window/input.h"

namespace {

class Startup : public CabinetTest, public ::testing::WithParamInterface<UserAction> {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        VirtualClock::uninstall(); // the program runs on the real clock here
        cabinet.setLink("ready");
        userFolders.useOwn();
    }
    void TearDown() override {
        stopMusic();                     // the program itself never stops it
        appState.pollerThread = nullptr; // ended by the shutdown
        forgetWindowClass();
        appState.windowHandle = nullptr;
        userFolders.restore();
        CabinetTest::TearDown();
    }
    PrivateUserFolders userFolders;
    // Runs the program until the window is shown and the poller has found the cabinet, then
    // ends it the way the user chose.
    int32_t runUntilReadyThen(UserAction action, std::string *work, bool *shown, bool *polled) {
        std::thread user([&] {
            const uint64_t start = wallMilliseconds();
            while (wallMilliseconds() - start < 60000 && !(*shown && *polled)) {
                *shown = *shown || programWindowIsShown();
                *polled = *polled || (pollerHasProbed() && appState.cabinetReady.load());
                sleepMilliseconds(20);
            }
            char path[pathSize];
            copyWorkDir(path, sizeof path);
            *work = path;
            sendUserAction(action);
        });
        const int32_t exitCode = runProgram();
        user.join();
        return exitCode;
    }
    std::atomic<bool> minimised{false};
    ChildProcess holder{};
    std::string simulator() {
        const std::string tools = scratchFolder("startup-tools-" + folderNameForThisRun());
        const std::string path = joinPath(tools, platformToolFiles[0].fileName);
        extractResource(101, path.c_str());
        return path;
    }
    uint32_t endedProcessId() {
        ChildProcess child;
        const std::string line = "\"" + simulator() + "\" --hold 0 \"" + cabinet.folder + "\"";
        EXPECT_TRUE(startChild(line.c_str(), temporary.c_str(), nullptr, &child));
        const uint32_t id = childProcessId(child);
        finishChild(&child, 30000, false);
        return id;
    }
    uint32_t runningProcess() {
        const std::string line = "\"" + simulator() + "\" --hold 120000 \"" + cabinet.folder + "\"";
        EXPECT_TRUE(startChild(line.c_str(), temporary.c_str(), nullptr, &holder));
        return childProcessId(holder);
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
    bool polled = false;
    std::string work;
    const int32_t exitCode = runUntilReadyThen(GetParam(), &work, &shown, &polled);
    const bool drawing =
        renderResources.backdropProgram != 0 && appState.glContext.load() != nullptr;

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

// Standard output of this process, kept in a file for as long as it lives.
class StandardOutputCapture {
  public:
    explicit StandardOutputCapture(const std::string &path) {
        std::fflush(stdout);
        saved = dup(fileno(stdout));
        std::FILE *file = std::fopen(path.c_str(), "wb");
        dup2(fileno(file), fileno(stdout));
        std::fclose(file);
    }
    ~StandardOutputCapture() {
        std::fflush(stdout);
        dup2(saved, fileno(stdout));
        close(saved);
    }

  private:
    int saved;
};

using StartupWithoutSound = Startup;

TEST_F(StartupWithoutSound, WarnsOnStandardOutputAndRunsOn) {
#ifndef _WIN32
    // SDL then finds no sound device; under Wine the test machine has none to begin with.
    setEnvironment("SDL_AUDIODRIVER", "no-such-driver");
#endif
    const std::string output = joinPath(temporary, "stdout.txt");
    bool shown = false;
    bool polled = false;
    std::string work;
    int32_t exitCode = -1;
    {
        StandardOutputCapture capture(output);
        exitCode = runUntilReadyThen(UserAction::CloseMessage, &work, &shown, &polled);
    }
    setEnvironment("SDL_AUDIODRIVER", nullptr);
    EXPECT_EQ(readFile(output), "Warning: Could not start MP3 playback\n");
    EXPECT_EQ(musicPlayer.outputDevice, nullptr);
    EXPECT_TRUE(shown && polled) << "the program ran on without music";
    EXPECT_EQ(exitCode, 0);
    // The sound icon still flips its flag.
    appState.hoverSound = true;
    handleClick();
    EXPECT_TRUE(appState.soundMuted);
    handleClick();
    EXPECT_FALSE(appState.soundMuted);
    appState.hoverSound = false;
}

// Folders that earlier runs left: the one nothing holds goes, the one a running copy made stays.
TEST_F(Startup, RemovesWhatEarlierRunsLeftAndNothingHolds) {
    const std::string stale =
        joinPath(temporary, "Quillmere_1_" + std::to_string(endedProcessId()));
    const std::string held = joinPath(temporary, "Quillmere_2_" + std::to_string(runningProcess()));
    for (const std::string &folder : {stale, held}) {
        ASSERT_TRUE(createPrivateFolder(folder.c_str()));
        writeFile(joinPath(folder, "Launcher.apk"), "left behind");
    }
    bool shown = false;
    bool polled = false;
    std::string work;
    EXPECT_EQ(runUntilReadyThen(UserAction::CloseMessage, &work, &shown, &polled), 0);
    EXPECT_FALSE(pathExists(stale));
    EXPECT_TRUE(pathExists(joinPath(held, "Launcher.apk")));
    cabinet.destroy(); // the running copy's stand-in ends
    finishChild(&holder, 10000, false);
}

// While the window is minimised nothing is drawn, and the user's close still ends the program.
TEST_F(Startup, MinimisedWindowStillHandlesItsMessages) {
    std::thread user([&] {
        const uint64_t start = wallMilliseconds();
        while (wallMilliseconds() - start < 60000 && !programWindowIsShown())
            sleepMilliseconds(20);
        minimiseProgramWindow();
        while (wallMilliseconds() - start < 60000 && !windowIsMinimised())
            sleepMilliseconds(20);
        minimised = windowIsMinimised();
        sleepMilliseconds(300); // a few passes of the minimised loop
        sendUserAction(UserAction::CloseMessage);
    });
    const int32_t exitCode = runProgram();
    user.join();
    EXPECT_TRUE(minimised);
    EXPECT_EQ(exitCode, 0);
}

class StartupFailure : public CabinetTest {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        userFolders.useOwn();
    }
    void TearDown() override {
        userFolders.restore();
        CabinetTest::TearDown();
    }
    PrivateUserFolders userFolders;
};

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
