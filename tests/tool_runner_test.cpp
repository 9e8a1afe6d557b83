#include <atomic>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"
#include "cabinet/transfer_progress.h"
#include "platform/platform.h"
#include "tests/support/cabinet_sim_state.h"
#include "tests/support/test_environment.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

const char *toolName() { return platformToolFiles[0].fileName; }

const std::string daemonLines =
    toolText("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n");

// The simulator as the tool, in a work folder whose path holds spaces, with a fresh cabinet.
class ToolRunner : public ::testing::Test {
  protected:
    std::string work;
    SimCabinet cabinet;
    void SetUp() override {
        resetAppState();
        // A folder of the test's own: a server left by an earlier test may still be running from
        // its tool, which Windows does not let anybody replace.
        const std::string name = folderNameForThisRun();
        work = scratchFolder("runner work folder " + name);
        setWorkDir(work.c_str());
        ASSERT_TRUE(extractResource(101, joinPath(work, toolName()).c_str()));
        appState.adbReady = true;
        cabinet = SimCabinet::create(name);
        // A server that runs already, so that outputs hold only the command's own answer.
        char output[1024];
        runAdb("start-server", output, sizeof output, 30000);
    }
    void TearDown() override {
        cabinet.destroy();
        resetAppState();
        removeTree(work);
    }
    std::string run(const char *arguments, int32_t *result, int32_t size = 8192,
                    uint32_t limit = 30000) {
        std::string buffer(static_cast<size_t>(size), '\x7f');
        *result = runAdb(arguments, &buffer[0], size, limit);
        return std::string(buffer.c_str());
    }
};

TEST_F(ToolRunner, AnswerArrivesWithExitCodeAndTheWorkFolderAsCurrentFolder) {
    cabinet.setLink("ready");
    int32_t result = -5;
    EXPECT_EQ(run("devices", &result),
              toolText("List of devices attached\nR58M12ABCDE\tdevice\n\n"));
    EXPECT_EQ(result, 0);
    const std::vector<SimInvocation> log = cabinet.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].arguments, std::vector<std::string>{"devices"});
    EXPECT_EQ(log[1].folder, work);
}

TEST_F(ToolRunner, AdbErrorIsANonNegativeResultWithItsText) {
    cabinet.setLink("none");
    int32_t result = -5;
    EXPECT_EQ(run("shell pm path com.arcade", &result),
              toolText("error: no devices/emulators found\n"));
    EXPECT_EQ(result, 1);
}

TEST_F(ToolRunner, OutputOfExactlySizeMinusOneBytesFillsTheBuffer) {
    const std::string answer(1023, 'k');
    cabinet.addFault("devices\t*\tanswer\t0\t" + answer);
    char output[1024];
    memset(output, 'z', sizeof output);
    EXPECT_EQ(runAdb("devices", output, sizeof output, 30000), 0);
    EXPECT_EQ(output[1023], '\0');
    EXPECT_EQ(std::string(output), answer);
}

TEST_F(ToolRunner, LongerOutputIsCutAndTheChildStillEnds) {
    cabinet.addFault("devices\t*\tanswer\t3\t" + std::string(5000, 'k'));
    char output[1024];
    const int32_t result = runAdb("devices", output, sizeof output, 30000);
    EXPECT_EQ(strlen(output), 1023u);
    // The child may end by itself or on the closed pipe; it must not be reported as running.
    EXPECT_NE(result, 259);
}

TEST_F(ToolRunner, NoOutputLeavesAnEmptyBuffer) {
    cabinet.setLink("ready");
    int32_t result = -5;
    EXPECT_EQ(run("shell am force-stop com.arcade", &result), "");
    EXPECT_EQ(result, 0);
}

TEST_F(ToolRunner, ChildThatNeverEndsGives259AboutTheLimit) {
    cabinet.addFault("devices\t*\thang\t60000");
    const uint64_t start = wallMilliseconds();
    int32_t result = 0;
    EXPECT_EQ(run("devices", &result, 4096, 700), "");
    const uint64_t took = wallMilliseconds() - start;
    EXPECT_EQ(result, 259);
    EXPECT_GE(took, 650u);
    EXPECT_LT(took, 10000u) << "the read must be bounded by the limit too";
}

TEST_F(ToolRunner, GrandchildHoldingThePipeDoesNotHoldTheCaller) {
    cabinet.setLink("ready");
    cabinet.addFault("devices\t*\thold\t60000");
    const uint64_t start = wallMilliseconds();
    int32_t result = -5;
    EXPECT_EQ(run("devices", &result, 4096, 700),
              toolText("List of devices attached\nR58M12ABCDE\tdevice\n\n"));
    EXPECT_LT(wallMilliseconds() - start, 10000u);
    EXPECT_EQ(result, 0) << "the child itself has ended";
}

// A run past its limit ends: the child that hangs, or what a child that has ended left behind
// holding its output, is gone when the call returns; the server, which detached itself, stays.
TEST_F(ToolRunner, RunPastItsLimitEndsWhatItStartedButTheServer) {
    cabinet.setLink("ready");
    // The server says it started once it runs, which may come after its client has ended.
    for (int i = 0; i < 500 && cabinet.lastProcess("server") == 0; i++)
        sleepMilliseconds(20);
    const unsigned long server = cabinet.lastProcess("server");
    ASSERT_NE(server, 0u);
    struct LimitCase {
        const char *fault;
        const char *role; // the process that must not outlive the run
        int32_t result;
        uint32_t limitMs; // time enough for the holder to start and say so, even under Wine
    };
    const LimitCase cases[] = {
        {"devices\t1\thang\t60000", "client", 259, 1500},
        {"devices\t1\thold\t60000", "hold", 0, 6000},
    };
    for (const LimitCase &c : cases) {
        cabinet.write("faults", std::string(c.fault) + "\n");
        int32_t result = -5;
        run("devices", &result, 4096, c.limitMs);
        EXPECT_EQ(result, c.result) << c.role;
        const unsigned long pid = cabinet.lastProcess(c.role);
        ASSERT_NE(pid, 0u) << c.role;
        // The signal or the job's end may take a moment to land on a grandchild.
        for (int i = 0; i < 250 && processAlive(pid); i++)
            sleepMilliseconds(20);
        EXPECT_FALSE(processAlive(pid)) << c.role;
        EXPECT_TRUE(processAlive(server));
    }
}

// The percentage a progress line shows.
int percentOf(const std::string &line) {
    const size_t sign = line.find('%');
    const size_t start = line.rfind(' ', sign) + 1;
    return sign == std::string::npos ? -1 : std::stoi(line.substr(start, sign - start));
}

std::vector<std::string> progressLines;
void recordProgressLine(const char *text) { progressLines.push_back(text); }

// A measured push: adb's trace is read out of its answer, which comes out as the same run without
// the trace gives it, and the progress line follows the folder's bytes as they go, paced here at
// 1 MB/s, never reaching 100% by itself.
TEST_F(ToolRunner, MeasuredPushKeepsAdbsWordsAndFollowsTheBytes) {
    cabinet.setLink("ready");
    fs::create_directories(fs::path(cabinet.folder) / "sdcard" / "roms");
    const std::string folder = joinPath(work, "Racing");
    fs::create_directories(fs::path(folder) / "sub");
    writeFile(joinPath(folder, "track.bin"), std::string(2000000, 't'));
    writeFile(joinPath(joinPath(folder, "sub"), "save.sav"), std::string(2048, 's'));
    const uint64_t bytes = 2002048;
    const std::string command = "push \"" + folder + "\" /sdcard/roms/";
    int32_t result = -5;
    const std::string plain = run(command.c_str(), &result);
    ASSERT_EQ(result, 0) << plain;

    cabinet.write("transfer-rate", "1000000\n");
    progressLines.clear();
    observeState({nullptr, nullptr, recordProgressLine});
    TransferProgress progress;
    beginTransfer(&progress, bytes);
    char output[4096];
    result =
        runAdbMeasured(nullptr, command.c_str(), output, sizeof output, 60000, &progress, bytes);
    observeState({nullptr, nullptr, nullptr});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(output), plain) << "the trace never reaches the answer";
    ASSERT_GE(progressLines.size(), 3u) << "two seconds of bytes, a line every half second";
    EXPECT_EQ(progressLines.front(), "");
    EXPECT_LT(percentOf(progressLines[1]), 99) << progressLines[1];
    for (size_t i = 2; i < progressLines.size(); i++)
        EXPECT_LE(percentOf(progressLines[i - 1]), percentOf(progressLines[i]))
            << "the figure only grows";
    // The trace counted every byte, and no more; only the run's end may say it all arrived.
    EXPECT_EQ(progress.runMeasured, bytes);
    EXPECT_EQ(progress.sent, bytes - 1);
}

TEST_F(ToolRunner, ToolThatCannotStartGivesMinusOneAndAnEmptyOutput) {
    char output[64] = "Success left from an earlier call";
    EXPECT_EQ(runTool("no-such-tool.exe", "devices", output, sizeof output, 5000), -1);
    EXPECT_STREQ(output, "");
    // The work folder gone altogether.
    setWorkDir(joinPath(work, "gone").c_str());
    strcpy(output, "Success");
    EXPECT_EQ(runAdb("devices", output, sizeof output, 5000), -1);
    EXPECT_STREQ(output, "");
}

// Without a work folder (before it is made, or once the close handling has emptied it) a tool's
// path would be its bare name at the root of the current drive. Here that path names the real
// tool, so that a start would show in the cabinet's log.
TEST_F(ToolRunner, WithoutAWorkFolderNothingStarts) {
    const size_t root = work.find(platformPathSeparator); // "/" on Linux, "C:\" on Windows
    ASSERT_NE(root, std::string::npos);
    const std::string fromRoot = joinPath(work.substr(root + 1), toolName());
    const size_t before = cabinet.log().size();
    setWorkDir("");
#ifdef _WIN32
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA(work.c_str()); // the tool's drive is the current one
#endif
    char output[64] = "Success left from an earlier call";
    const int32_t byPath = runTool(fromRoot.c_str(), "devices", output, sizeof output, 5000);
    const std::string afterPath = output;
    strcpy(output, "Success");
    const int32_t byName = runAdb("devices", output, sizeof output, 5000);
#ifdef _WIN32
    SetCurrentDirectoryA(current);
#endif
    EXPECT_EQ(byPath, -1);
    EXPECT_EQ(afterPath, "");
    EXPECT_EQ(byName, -1);
    EXPECT_STREQ(output, "");
    EXPECT_EQ(cabinet.log().size(), before) << "a tool was started without a work folder";
}

// Names in any language reach the tool byte for byte, both in its current folder and in its
// arguments: on Windows the program works in the UTF-8 code page, which its manifest asks for.
TEST_F(ToolRunner, NamesInAnyLanguageArriveIntact) {
#ifdef _WIN32
    if (GetACP() != CP_UTF8)
        GTEST_SKIP() << "the system gives this program the code page " << GetACP() << ", not UTF-8";
#endif
    const std::string folder = joinPath(work, "Φάκελος 日本語 🎮");
    ASSERT_TRUE(createPrivateFolder(folder.c_str()));
    ASSERT_TRUE(extractResource(101, joinPath(folder, toolName()).c_str()));
    setWorkDir(folder.c_str());
    int32_t result = -5;
    run("push \"Αθήνα και Σπάρτη\" \"日本のゲーム\" \"🎮 Arcade ✨\"", &result);
    EXPECT_GE(result, 0) << "the tool ran";
    const std::vector<SimInvocation> log = cabinet.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].folder, folder);
    EXPECT_EQ(log[1].arguments,
              (std::vector<std::string>{"push", "Αθήνα και Σπάρτη", "日本のゲーム", "🎮 Arcade ✨"}));
}

TEST_F(ToolRunner, AbsentArgumentTextRunsTheToolWithNoArguments) {
    char output[1024];
    EXPECT_EQ(runTool(toolName(), nullptr, output, sizeof output, 30000), 1);
    const std::vector<SimInvocation> log = cabinet.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[1].arguments.empty());
}

TEST_F(ToolRunner, ChildGetsNoStandardInput) {
    int32_t result = -5;
    EXPECT_EQ(run("read-stdin", &result, 1024, 10000), toolText("stdin: 0 bytes\n"));
    EXPECT_EQ(result, 0);
}

TEST_F(ToolRunner, QuotedArgumentsArriveWhole) {
    cabinet.setLink("ready");
    int32_t result = -5;
    run("push \"C:\\games\\A Disc\" /sdcard/roms/", &result);
    const std::vector<SimInvocation> log = cabinet.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].arguments,
              (std::vector<std::string>{"push", "C:\\games\\A Disc", "/sdcard/roms/"}));
}

TEST_F(ToolRunner, WithoutTheToolNothingStarts) {
    appState.adbReady = false;
    char output[64] = "Success";
    EXPECT_EQ(runAdb("devices", output, sizeof output, 5000), -1);
    EXPECT_STREQ(output, "");
    EXPECT_EQ(runAdb("devices", output, 0, 5000), -1);
    EXPECT_EQ(cabinet.log().size(), 1u);
}

TEST_F(ToolRunner, FirstCommandStartsTheServerAndLaterOnesDoNot) {
    runAdb("kill-server", nullptr, 0, 0);
    char output[1024];
    runAdb("kill-server", output, sizeof output, 30000);
    cabinet.setLink("none");
    int32_t result = -5;
    EXPECT_EQ(run("devices", &result), daemonLines + toolText("List of devices attached\n\n"));
    EXPECT_EQ(run("devices", &result), toolText("List of devices attached\n\n"));
}

// A server started by one call inherits whatever handles are inheritable at that moment and
// outlives it. Another call's pipe must never be among them, or that call waits for the server.
TEST_F(ToolRunner, ConcurrentCallsDoNotHoldEachOtherUp) {
    cabinet.setLink("ready");
    cabinet.write("server-lifetime-ms", "20000\n");
    cabinet.addFault("devices\t*\tdelay\t300");
    std::atomic<uint64_t> slowest{0};
    auto timed = [&](const char *arguments, uint32_t limit) {
        char output[4096];
        const uint64_t start = wallMilliseconds();
        runAdb(arguments, output, sizeof output, limit);
        const uint64_t took = wallMilliseconds() - start;
        uint64_t seen = slowest.load();
        while (took > seen && !slowest.compare_exchange_weak(seen, took)) {
        }
    };
    for (int round = 0; round < 3; round++) {
        std::thread starter([&] {
            for (int i = 0; i < 3; i++) {
                timed("kill-server", 8000);
                timed("start-server", 8000);
            }
        });
        for (int i = 0; i < 3; i++)
            timed("devices", 8000);
        starter.join();
    }
    EXPECT_LT(slowest.load(), 5000u) << "a call waited for another call's server";
}

} // namespace
