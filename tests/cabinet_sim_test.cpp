// The cabinet simulator run as the tool it stands in for: a real child process, its answers, what
// landed on which device, its trace, and which of its processes outlive the client's group or job.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/cabinet_sim_state.h"
#include "tests/support/test_environment.h"

namespace fs = std::filesystem;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

// A file in the state folder after the command, and its bytes; null: it is not there.
struct Landed {
    const char *path;
    const char *bytes;
};

struct Answer {
    std::string output;
    int32_t code = -1;
};

const char *const kPhone = "PHONE0001";
const char *const kCabinetAndPhone = "R58M12ABCDE ready cabinet\nPHONE0001 ready phone\n";
const char *const kLauncherPath = "package:/system/priv-app/ArcadeLauncher/ArcadeLauncher.apk\n";

// The discs pushed: one file on each level, so that adb's order (a folder's files, then its
// subfolders') is the only possible one.
const Files kDiscs = {{"Racing/a.bin", std::string(3000, 'a')},
                      {"Racing/sub/b.bin", std::string(5000, 'b')},
                      {"Racing/sub/deeper/c.bin", std::string(100, 'c')}};

// Letters, so that the cases can hold the package as text.
std::string launcherBytes() {
    std::string bytes(200000, 'A');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
    return bytes;
}

void writeTree(const std::string &root, const Files &files) {
    for (const auto &file : files) {
        const std::string path = joinPath(root, file.first);
        fs::create_directories(fs::path(path).parent_path());
        writeFile(path, file.second);
    }
}

// A server that runs already (its file says so), so that answers hold only the command's words.
void pretendServerRuns(const SimCabinet &cabinet) {
    using namespace std::chrono;
    const auto now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    cabinet.write("server", std::to_string(now + 600000) + " already-running\n");
}

bool endsWithin(unsigned long pid, uint64_t ms) {
    const uint64_t end = wallMilliseconds() + ms;
    while (processAlive(pid)) {
        if (wallMilliseconds() > end)
            return false;
        sleepMilliseconds(20);
    }
    return true;
}

bool waitUntil(const std::function<bool()> &done, uint64_t ms) {
    const uint64_t end = wallMilliseconds() + ms;
    while (!done()) {
        if (wallMilliseconds() > end)
            return false;
        sleepMilliseconds(20);
    }
    return true;
}

class CabinetSim : public ::testing::Test {
  protected:
    std::string work;
    std::string tool;

    void SetUp() override {
        work = scratchFolder("sim " + folderNameForThisRun());
        tool = joinPath(work, platformToolFiles[0].fileName);
        ASSERT_TRUE(extractResource(101, tool.c_str()));
        writeTree(work, kDiscs);
        writeFile(joinPath(work, "Launcher.apk"), launcherBytes());
    }
    void TearDown() override {
        setEnvironment("ANDROID_SERIAL", nullptr);
        setEnvironment("ADB_TRACE", nullptr);
        removeTree(work);
    }

    bool start(const std::string &arguments, ChildProcess *child) const {
        return startChild(("\"" + tool + "\" " + arguments).c_str(), work.c_str(), nullptr, child);
    }

    Answer run(const std::string &arguments) const {
        Answer answer;
        ChildProcess child;
        if (!start(arguments, &child))
            return answer;
        char buffer[65536];
        int32_t count;
        while ((count = readChildOutput(&child, buffer, sizeof buffer, 30000)) > 0)
            answer.output.append(buffer, static_cast<size_t>(count));
        answer.code = finishChild(&child, 30000, false);
        return answer;
    }
};

// ---- Answers and where things land ------------------------------------------------------------

struct Case {
    const char *name;
    Files state;        // written into the state folder first
    const char *serial; // ANDROID_SERIAL; null: unset
    const char *line;
    const char *output; // with \n line ends
    int32_t code;
    std::vector<Landed> landed;
};

std::string noSuchDevice(const std::string &serial) { return "device '" + serial + "' not found"; }

const std::string kPushed = "Racing/: 3 files pushed, 0 skipped. 1.4 MB/s (8100 bytes in 0.132s)\n";

std::vector<Case> cases() {
    const std::string launcher = launcherBytes();
    const std::string phoneHome = std::string("device-") + kPhone + "/";
    static std::vector<std::string> keep; // the texts the cases point into
    auto text = [](const std::string &s) {
        keep.push_back(s);
        return keep.back().c_str();
    };
    keep.reserve(64);
    const char *phoneLauncher = text(phoneHome + "installed/com.arcade.apk");
    const char *phoneA = text(phoneHome + "sdcard/roms/Racing/a.bin");
    const char *phoneC = text(phoneHome + "sdcard/roms/Racing/sub/deeper/c.bin");
    const char *phonePackage = text(phoneHome + "packages/com.arcade");
    const char *launcherBytesText = text(launcher);
    const char *unknown = text("error: " + noSuchDevice("NOPE") + "\n");
    return {
        // Listing: every device in the file's order, whatever ANDROID_SERIAL says.
        {"ListsEveryDevice",
         {{"devices", "R58M12ABCDE ready cabinet\nPHONE0001 ready phone\nGONE00001 none phone\n"
                      "R58M12XYZ00 unauthorized cabinet\n"}},
         kPhone,
         "devices",
         "List of devices attached\nR58M12ABCDE\tdevice\nPHONE0001\tdevice\n"
         "R58M12XYZ00\tunauthorized\n\n",
         0,
         {}},
        // Without a serial, two devices are one too many.
        {"TwoDevicesWithoutSerial",
         {{"devices", kCabinetAndPhone}},
         nullptr,
         "shell pm path com.arcade",
         "error: more than one device/emulator\n",
         1,
         {}},
        {"InstallWithTwoDevices",
         {{"devices", kCabinetAndPhone}},
         nullptr,
         "install -r Launcher.apk",
         "error: more than one device/emulator\nPerforming Push Install\n"
         "adb: error: failed to get feature set: more than one device/emulator\n",
         255,
         {{"installed/com.arcade.apk", nullptr}, {phoneLauncher, nullptr}}},
        {"PushWithTwoDevices",
         {{"link", "two\n"}},
         nullptr,
         "push Racing /sdcard/roms/",
         "adb: error: failed to get feature set: more than one device/emulator\n",
         1,
         {{"sdcard/roms/Racing/a.bin", nullptr}}},
        // The wait for a device fails at once, for the same reason.
        {"UninstallWithTwoDevices",
         {{"devices", kCabinetAndPhone}, {"packages/com.arcade", "data\n"}},
         nullptr,
         "uninstall com.arcade",
         "error: more than one device/emulator\n- waiting for device -\n"
         "error: more than one device/emulator\n",
         1,
         {{"packages/com.arcade", "data\n"}}},
        {"EmptySerialCountsAsUnset",
         {{"devices", kCabinetAndPhone}},
         "",
         "shell pm path com.arcade",
         "error: more than one device/emulator\n",
         1,
         {}},
        {"PinnedToTheCabinet",
         {{"devices", kCabinetAndPhone}},
         "R58M12ABCDE",
         "shell pm path com.arcade",
         kLauncherPath,
         0,
         {}},
        // A phone has no launcher of the cabinet's.
        {"PinnedToThePhone",
         {{"devices", kCabinetAndPhone}},
         kPhone,
         "shell pm path com.arcade",
         "",
         1,
         {}},
        {"SerialNotConnected",
         {{"devices", kCabinetAndPhone}},
         "NOPE",
         "shell pm path com.arcade",
         unknown,
         1,
         {}},
        {"InstallWithSerialNotConnected",
         {{"devices", kCabinetAndPhone}},
         "NOPE",
         "install -r Launcher.apk",
         text("error: " + noSuchDevice("NOPE") + "\nPerforming Push Install\n" +
              "adb: error: failed to get feature set: " + noSuchDevice("NOPE") + "\n"),
         255,
         {{"installed/com.arcade.apk", nullptr}}},
        {"PushWithSerialNotConnected",
         {{"devices", kCabinetAndPhone}},
         "NOPE",
         "push Racing /sdcard/roms/",
         text("adb: error: failed to get feature set: " + noSuchDevice("NOPE") + "\n"),
         1,
         {{"sdcard/roms/Racing/a.bin", nullptr}}},
        // adb would wait for that device for ever; here hang-ms ends the wait.
        {"UninstallWithSerialNotConnected",
         {{"devices", kCabinetAndPhone}, {"hang-ms", "0\n"}},
         "NOPE",
         "uninstall com.arcade",
         text("error: " + noSuchDevice("NOPE") + "\n- waiting for device -\n"),
         1,
         {}},
        // What a pinned command does lands on that device only.
        {"InstallOnThePhone",
         {{"devices", kCabinetAndPhone}},
         kPhone,
         "install -r Launcher.apk",
         "Performing Streamed Install\nSuccess\n",
         0,
         {{phoneLauncher, launcherBytesText},
          {phonePackage, "user"},
          {"installed/com.arcade.apk", nullptr},
          {"packages/com.arcade", "system"}}},
        {"InstallOnTheCabinet",
         {{"devices", kCabinetAndPhone}},
         "R58M12ABCDE",
         "install -r Launcher.apk",
         "Performing Streamed Install\nSuccess\n",
         0,
         {{"installed/com.arcade.apk", launcherBytesText},
          {"packages/com.arcade", "data"},
          {phoneLauncher, nullptr}}},
        {"PushToThePhone",
         {{"devices", kCabinetAndPhone}},
         kPhone,
         "push Racing /sdcard/roms/",
         kPushed.c_str(),
         0,
         {{phoneA, text(std::string(3000, 'a'))},
          {phoneC, text(std::string(100, 'c'))},
          {"sdcard/roms/Racing/a.bin", nullptr}}},
        {"UninstallFromThePhone",
         {{"devices", kCabinetAndPhone}, {phonePackage, "user\n"}},
         kPhone,
         "uninstall com.arcade",
         "Success\n",
         0,
         {{phonePackage, nullptr}, {"packages/com.arcade", "system"}}},
        // The link word's two devices are both cabinets; the second keeps a folder of its own.
        {"SecondOfTwoCabinets",
         {{"link", "two\n"}},
         "R58M12FGHIJ",
         "install -r Launcher.apk",
         "Performing Streamed Install\nSuccess\n",
         0,
         {{"device-R58M12FGHIJ/installed/com.arcade.apk", launcherBytesText},
          {"device-R58M12FGHIJ/packages/com.arcade", "data"},
          {"installed/com.arcade.apk", nullptr}}},
        // adb passes over a device it may not open, and takes the other one.
        {"DeviceWithoutPermissionPassedOver",
         {{"devices", "PHONE0001 nopermissions phone\nR58M12ABCDE ready cabinet\n"}},
         nullptr,
         "shell pm path com.arcade",
         kLauncherPath,
         0,
         {}},
        // The storage fills in the second file: the first is there whole, the rest is not.
        {"StorageFillsPartWay",
         {{"link", "ready\n"}, {"storage-room", "4000\n"}},
         nullptr,
         "push Racing /sdcard/roms/",
         "adb: error: failed to copy 'Racing/sub/b.bin' to '/sdcard/roms/Racing/sub/b.bin': "
         "remote write failed: No space left on device\n"
         "[ 98%] /sdcard/roms/Racing/sub/b.bin: 100%\n",
         1,
         {{"sdcard/roms/Racing/a.bin", text(std::string(3000, 'a'))},
          {"sdcard/roms/Racing/sub/b.bin", nullptr},
          {"sdcard/roms/Racing/sub/deeper/c.bin", nullptr},
          {"storage-room", "1000\n"},
          {"link", "ready\n"}}},
        {"LinkDropsPartWay",
         {{"link", "ready\n"}, {"drop-after", "4000\n"}},
         nullptr,
         "push Racing /sdcard/roms/",
         "adb: error: failed to copy 'Racing/sub/b.bin' to '/sdcard/roms/Racing/sub/b.bin': "
         "couldn't read from device\n"
         "[ 98%] /sdcard/roms/Racing/sub/b.bin: 100%\n",
         1,
         {{"sdcard/roms/Racing/a.bin", text(std::string(3000, 'a'))},
          {"sdcard/roms/Racing/sub/b.bin", nullptr},
          {"sdcard/roms/Racing/sub/deeper/c.bin", nullptr},
          {"drop-after", nullptr},
          {"link", "none"}}},
        {"LinkDropsByFault",
         {{"link", "ready\n"}, {"faults", "push Racing\t1\tdrop\t0\n"}},
         nullptr,
         "push Racing /sdcard/roms/",
         "adb: error: failed to copy 'Racing/a.bin' to '/sdcard/roms/Racing/a.bin': "
         "couldn't read from device\n"
         "[ 37%] /sdcard/roms/Racing/a.bin: 100%\n",
         1,
         {{"sdcard/roms/Racing/a.bin", nullptr}, {"link", "none"}}},
        // A listed device whose link drops is no longer listed.
        {"PhoneLinkDropsPartWay",
         {{"devices", kCabinetAndPhone}, {phoneHome + "drop-after", "0\n"}},
         kPhone,
         "push Racing /sdcard/roms/",
         "adb: error: failed to copy 'Racing/a.bin' to '/sdcard/roms/Racing/a.bin': "
         "couldn't read from device\n"
         "[ 37%] /sdcard/roms/Racing/a.bin: 100%\n",
         1,
         {{phoneA, nullptr}, {"devices", "R58M12ABCDE ready cabinet\nPHONE0001 none phone\n"}}},
        {"UninstallLinkDrops",
         {{"link", "ready\n"},
          {"packages/com.arcade", "data\n"},
          {"faults", "uninstall com.arcade\t1\tdrop\n"}},
         nullptr,
         "uninstall com.arcade",
         "",
         0,
         {{"link", "none"}, {"packages/com.arcade", "data\n"}}},
        {"InstallLinkDrops",
         {{"link", "ready\n"}, {"faults", "install -r Launcher.apk\t1\tdrop\t70000\n"}},
         nullptr,
         "install -r Launcher.apk",
         "adb: failed to install Launcher.apk: Performing Streamed Install\n",
         1,
         {{"link", "none"}, {"installed/com.arcade.apk", nullptr}}},
    };
}

TEST_F(CabinetSim, AnswersAndWhereThingsLand) {
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun() + "-" + c.name);
        pretendServerRuns(cabinet);
        writeTree(cabinet.folder, c.state);
        setEnvironment("ANDROID_SERIAL", c.serial);
        const Answer answer = run(c.line);
        setEnvironment("ANDROID_SERIAL", nullptr);
        EXPECT_EQ(answer.output, toolText(c.output));
        EXPECT_EQ(answer.code, c.code);
        for (const Landed &landed : c.landed) {
            const std::string path = joinPath(cabinet.folder, landed.path);
            if (landed.bytes == nullptr)
                EXPECT_FALSE(pathExists(path)) << landed.path;
            else
                EXPECT_TRUE(cabinet.read(landed.path) == landed.bytes) << landed.path;
        }
        const std::vector<SimInvocation> log = cabinet.log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].serial, c.serial == nullptr ? "" : c.serial);
        cabinet.destroy();
    }
}

// ---- The log and the processes ------------------------------------------------------------

TEST_F(CabinetSim, LogCarriesTheSerialEachCommandSaw) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    pretendServerRuns(cabinet);
    cabinet.setLink("ready");
    run("devices");
    setEnvironment("ANDROID_SERIAL", kPhone);
    run("shell pm path com.arcade");
    setEnvironment("ANDROID_SERIAL", nullptr);
    run("start-server");
    const std::vector<SimInvocation> log = cabinet.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].serial, "");
    EXPECT_EQ(log[0].arguments, std::vector<std::string>{"devices"});
    EXPECT_EQ(log[1].serial, kPhone);
    EXPECT_EQ(log[1].arguments, (std::vector<std::string>{"shell", "pm", "path", "com.arcade"}));
    EXPECT_EQ(log[2].serial, "");
    EXPECT_EQ(log[2].folder, log[0].folder);
    cabinet.destroy();
}

// A long delay holds the launcher's install: the command has started (it is in the log) and
// says nothing until the state folder goes away, which ends every waiting simulator.
TEST_F(CabinetSim, DelayFaultHoldsTheLaunchersInstall) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    pretendServerRuns(cabinet);
    cabinet.setLink("ready");
    cabinet.addFault("install -r Launcher.apk\t1\tdelay\t600000");
    ChildProcess child;
    ASSERT_TRUE(start("install -r Launcher.apk", &child));
    EXPECT_TRUE(waitUntil([&] { return !cabinet.log().empty(); }, 30000));
    char buffer[256];
    EXPECT_EQ(readChildOutput(&child, buffer, sizeof buffer, 0), childReadTimedOut);
    EXPECT_FALSE(pathExists(joinPath(cabinet.folder, "installed")));
    cabinet.destroy();
    EXPECT_EQ(finishChild(&child, 30000, false), 1);
}

// ---- The trace ------------------------------------------------------------------------------

// A trace line without what differs between runs: the time, the ids and, past their first four
// bytes (a sync id or a length), the bytes dumped.
std::string comparable(const std::string &line, std::string *pid) {
    static const std::regex head(R"(^adb D \d\d-\d\d \d\d:\d\d:\d\d +(\d+) +\d+ (.*)$)");
    static const std::regex dump(R"(^(.*(?:len|got)=\d+ [0-9a-f]{0,8})[0-9a-f]* .*$)");
    std::smatch m;
    if (!std::regex_match(line, m, head))
        return "not a trace line: " + line;
    if (pid != nullptr)
        *pid = m[1];
    const std::string rest = m[2];
    return std::regex_match(rest, m, dump) ? std::string(m[1]) : rest;
}

std::vector<std::string> traceLines(const std::string &output, std::string *pid) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 6, "adb D ") == 0)
            lines.push_back(comparable(line, pid));
    }
    return lines;
}

// Debian's adb 29 recorded (tests/data/adb-trace/, carried as resources 913 to 917).
std::vector<std::string> recordedTrace(uint16_t id) {
    const void *data = nullptr;
    uint32_t size = 0;
    if (!resourceBytes(id, &data, &size))
        return {"resource " + std::to_string(id) + " missing"};
    return traceLines(std::string(static_cast<const char *>(data), size), nullptr);
}

// The same exchanges as recorded from Debian's adb 29: a 300000-byte file in a folder and a
// 1000-byte one a level down, pushed into an existing folder (the recording's paths have the same
// lengths); a 400036-byte package installed.
TEST_F(CabinetSim, TraceFollowsTheRealAdbsExchange) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    pretendServerRuns(cabinet);
    cabinet.setLink("ready");
    fs::create_directories(fs::path(cabinet.folder) / "sdcard" / "roms");
    writeTree(work, {{"Nested/big", std::string(300000, 'n')},
                     {"Nested/sub/one", std::string(1000, 'o')},
                     {"Launcher.apk", std::string(400036, 'l')}});
    struct Run {
        const char *trace;
        const char *line;
        uint16_t recording;
        const char *output;
    };
    const char *const installed = "Performing Streamed Install\nSuccess\n";
    const Run runs[] = {
        {"rwx", "push Nested /sdcard/roms/", 913,
         "Nested/: 2 files pushed, 0 skipped. 1.4 MB/s (301000 bytes in 0.132s)\n"},
        {"rwx", "install -r Launcher.apk", 914, installed},
        {"all", "install -r Launcher.apk", 915, installed},
        {"1", "install -r Launcher.apk", 915, installed},
        // A list, at blanks: the adb tag's lines and the sockets' are all that "all" shows here.
        {"rwx adb", "install -r Launcher.apk", 915, installed},
    };
    for (const Run &r : runs) {
        SCOPED_TRACE(std::string(r.trace) + " " + r.line);
        setEnvironment("ADB_TRACE", r.trace);
        const Answer answer = run(r.line);
        setEnvironment("ADB_TRACE", nullptr);
        EXPECT_EQ(answer.code, 0);
        std::string pid;
        std::vector<std::string> lines = traceLines(answer.output, &pid);
        std::vector<std::string> expected = recordedTrace(r.recording);
        // adb names the file it runs from.
        for (std::vector<std::string> *list : {&lines, &expected})
            for (std::string &line : *list)
                if (line.find("] Installed as ") != std::string::npos)
                    line = line.substr(0, line.find(" as ") + 4) + "...";
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(pid, std::to_string(cabinet.lastProcess("client")));
        // The answer itself comes after the trace, untouched.
        const std::string tail = toolText(r.output);
        EXPECT_EQ(answer.output.substr(answer.output.size() -
                                       std::min(answer.output.size(), tail.size())),
                  tail);
    }
    // A list with a comma is one flag adb does not know: it says so, and traces nothing.
    setEnvironment("ADB_TRACE", "adb,rwx");
    const Answer unknown = run("install -r Launcher.apk");
    setEnvironment("ADB_TRACE", nullptr);
    EXPECT_TRUE(traceLines(unknown.output, nullptr).empty());
    EXPECT_NE(unknown.output.find("adb_trace.cpp:142] Unknown trace flag: adb,rwx"),
              std::string::npos);
    cabinet.destroy();
}

// A push that fails ends its trace as adb's does: the failing file's answer read after the whole
// file went out (a FAIL with the device's words, or a closed connection), then QUIT. The
// recordings failed in a larger file, whose DONE the last lines leave out.
TEST_F(CabinetSim, TraceOfAFailedPushEndsAsAdbs) {
    struct Run {
        const char *file;
        const char *bytes;
        size_t lastLines;
        uint16_t recording;
    };
    const Run runs[] = {{"storage-room", "4000\n", 5, 916}, {"drop-after", "4000\n", 3, 917}};
    for (const Run &r : runs) {
        SCOPED_TRACE(r.file);
        const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun() + "-" + r.file);
        pretendServerRuns(cabinet);
        cabinet.setLink("ready");
        cabinet.write(r.file, r.bytes);
        setEnvironment("ADB_TRACE", "rwx");
        const Answer answer = run("push Racing /sdcard/roms/");
        setEnvironment("ADB_TRACE", nullptr);
        EXPECT_EQ(answer.code, 1);
        const std::vector<std::string> lines = traceLines(answer.output, nullptr);
        const std::vector<std::string> expected = recordedTrace(r.recording);
        ASSERT_GE(lines.size(), r.lastLines);
        ASSERT_GE(expected.size(), r.lastLines);
        EXPECT_EQ(
            std::vector<std::string>(lines.end() - static_cast<long>(r.lastLines), lines.end()),
            std::vector<std::string>(expected.end() - static_cast<long>(r.lastLines),
                                     expected.end()));
        // Then the error and the last progress line, after every trace line.
        EXPECT_NE(
            answer.output.find(toolText("QUIT....\nadb: error: failed to copy 'Racing/sub/b.bin'")),
            std::string::npos)
            << answer.output;
        cabinet.destroy();
    }
}

// At a slow pace each piece's trace line arrives while the copy goes on: the first piece's line
// is there long before the 300000 bytes can have moved at 1000 bytes a second.
TEST_F(CabinetSim, TraceLinesArriveAsThePushGoes) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    pretendServerRuns(cabinet);
    cabinet.setLink("ready");
    cabinet.write("transfer-rate", "1000\n");
    writeTree(work, {{"Slow/big", std::string(300000, 's')}});
    setEnvironment("ADB_TRACE", "rwx");
    ChildProcess child;
    ASSERT_TRUE(start("push Slow /sdcard/roms/", &child));
    setEnvironment("ADB_TRACE", nullptr);
    std::string output;
    const uint64_t end = wallMilliseconds() + 30000;
    while (output.find("writex: fd=6 len=65536 44415441") == std::string::npos &&
           wallMilliseconds() < end) {
        char buffer[4096];
        const int32_t count = readChildOutput(&child, buffer, sizeof buffer, 1000);
        if (count == 0)
            break;
        if (count > 0)
            output.append(buffer, static_cast<size_t>(count));
    }
    EXPECT_NE(output.find("writex: fd=6 len=65536 44415441"), std::string::npos) << output;
    EXPECT_EQ(output.find("QUIT"), std::string::npos);
    EXPECT_LT(fs::file_size(fs::path(cabinet.folder) / "sdcard" / "roms" / "Slow" / "big"),
              300000u);
    // Taking the state folder away ends the paced copy.
    cabinet.destroy();
    EXPECT_NE(finishChild(&child, 30000, false), childStillRunning);
}

#ifndef _WIN32
// At a slow pace the install reads the package a 64 KiB piece at a time: while the first piece
// waits for its time, the process has read that piece and not the rest of the 4 MB. (What else
// it reads, a sanitizer's runtime say, is small beside that.)
TEST_F(CabinetSim, PacedInstallReadsThePackageInPieces) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    pretendServerRuns(cabinet);
    cabinet.setLink("ready");
    cabinet.write("transfer-rate", "1000\n");
    writeFile(joinPath(work, "Launcher.apk"), std::string(4000000, 'L'));
    ChildProcess child;
    ASSERT_TRUE(start("install -r Launcher.apk", &child));
    const fs::path installed = fs::path(cabinet.folder) / "installed" / "com.arcade.apk";
    std::error_code ec;
    EXPECT_TRUE(waitUntil([&] { return fs::file_size(installed, ec) == 65536; }, 30000));
    const unsigned long pid = cabinet.lastProcess("client");
    const std::string io = readFile("/proc/" + std::to_string(pid) + "/io");
    const size_t at = io.find("rchar: ");
    ASSERT_NE(at, std::string::npos) << io;
    const unsigned long long read = std::stoull(io.substr(at + 7));
    EXPECT_GE(read, 65536u);
    EXPECT_LT(read, 1000000u);
    cabinet.destroy();
    EXPECT_NE(finishChild(&child, 30000, false), childStillRunning);
}
#endif

// ---- Who outlives the client's process group or job -------------------------------------------

// The client answers `devices` and leaves a holder of its output behind; the server it started
// stays up on its own. Returns the client's exit code.
#ifdef _WIN32
struct Job {
    HANDLE job = nullptr;
    bool start(const std::wstring &commandLine, const std::wstring &folder, bool breakawayOk) {
        job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ZeroMemory(&limits, sizeof limits);
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (breakawayOk ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        HANDLE nothing =
            CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        &inheritable, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nothing;
        PROCESS_INFORMATION started;
        std::wstring line = commandLine;
        const BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE,
                                       CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, folder.c_str(),
                                       &startup, &started);
        CloseHandle(nothing);
        if (!ok)
            return false;
        AssignProcessToJobObject(job, started.hProcess);
        ResumeThread(started.hThread);
        WaitForSingleObject(started.hProcess, 30000);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return true;
    }
    void end() {
        TerminateJobObject(job, 1);
        CloseHandle(job);
    }
};

std::wstring wide(const std::string &s) { return fs::path(s).wstring(); }
#endif

TEST_F(CabinetSim, HolderEndsWithTheClientsGroupAndTheServerDoesNot) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    cabinet.setLink("ready");
    cabinet.write("server-lifetime-ms", "600000");
    cabinet.addFault("devices\t1\thold\t600000");
#ifdef _WIN32
    Job job;
    ASSERT_TRUE(job.start(L"\"" + wide(tool) + L"\" devices", wide(work), true));
#else
    // The client leads a process group of its own, as the program starts each tool run.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    std::vector<std::string> words = {tool, "devices"};
    char *argv[] = {&words[0][0], &words[1][0], nullptr};
    pid_t client = 0;
    ASSERT_EQ(posix_spawn(&client, tool.c_str(), &actions, &attributes, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    int status = 0;
    waitpid(client, &status, 0);
#endif
    ASSERT_TRUE(waitUntil(
        [&] { return cabinet.lastProcess("hold") != 0 && cabinet.lastProcess("server") != 0; },
        30000));
    const unsigned long clientPid = cabinet.lastProcess("client");
    const unsigned long server = cabinet.lastProcess("server");
    const unsigned long hold = cabinet.lastProcess("hold");
    EXPECT_TRUE(processAlive(hold));
    EXPECT_TRUE(processAlive(server));
#ifdef _WIN32
    job.end();
#else
    EXPECT_EQ(clientPid, static_cast<unsigned long>(client));
    EXPECT_EQ(getpgid(static_cast<pid_t>(hold)), client);
    EXPECT_EQ(getsid(static_cast<pid_t>(server)), static_cast<pid_t>(server));
    kill(-client, SIGKILL);
#endif
    EXPECT_TRUE(endsWithin(hold, 30000));
    EXPECT_TRUE(processAlive(server));
    EXPECT_NE(clientPid, 0u);
    cabinet.destroy();
    EXPECT_TRUE(endsWithin(server, 30000));
}

#ifdef _WIN32
// A job that lets nothing break away refuses the server's way out: the server still starts, in
// the job.
TEST_F(CabinetSim, ServerStartsInsideAJobThatKeepsIt) {
    const SimCabinet cabinet = SimCabinet::create(folderNameForThisRun());
    cabinet.setLink("ready");
    // Nothing but the job's end can end it during the test.
    cabinet.write("server-lifetime-ms", "600000");
    Job job;
    ASSERT_TRUE(job.start(L"\"" + wide(tool) + L"\" devices", wide(work), false));
    ASSERT_TRUE(waitUntil([&] { return cabinet.lastProcess("server") != 0; }, 30000));
    const unsigned long server = cabinet.lastProcess("server");
    EXPECT_TRUE(processAlive(server));
    job.end();
    EXPECT_TRUE(endsWithin(server, 30000));
    cabinet.destroy();
}
#endif

} // namespace
