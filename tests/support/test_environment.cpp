#include "tests/support/test_environment.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/app_state.h"
#include "app/clock.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

static std::string runFolder() {
    static const std::string folder = [] {
        const fs::path base = fs::temp_directory_path() /
#ifdef _WIN32
                              ("quillmere-tests-" + std::to_string(GetCurrentProcessId()));
#else
                              ("quillmere-tests-" + std::to_string(getpid()));
#endif
        fs::remove_all(base);
        fs::create_directories(base);
        return base.string();
    }();
    return folder;
}

std::string scratchFolder(const std::string &name) {
    const fs::path folder = fs::path(runFolder()) / name;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    return folder.string();
}

std::string folderNameForThisRun() {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    static std::map<std::string, int> runs;
    const int run = ++runs[std::string(test->test_suite_name()) + "." + test->name()];
    return run == 1 ? test->name() : test->name() + ("-" + std::to_string(run));
}

void removeTree(const std::string &path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool pathExists(const std::string &path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> folderNames(const std::string &path) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const fs::directory_entry &entry : fs::directory_iterator(path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string joinPath(const std::string &folder, const std::string &name) {
    return folder + platformPathSeparator + name;
}

uint32_t childProcessId(const ChildProcess &child) {
#ifdef _WIN32
    return GetProcessId(static_cast<HANDLE>(child.process));
#else
    return static_cast<uint32_t>(reinterpret_cast<intptr_t>(child.process));
#endif
}

void PrivateUserFolders::useOwn() {
#ifndef _WIN32
    hadHome = getenv("HOME") != nullptr;
    savedHome = hadHome ? getenv("HOME") : "";
    hadRuntime = getenv("XDG_RUNTIME_DIR") != nullptr;
    savedRuntime = hadRuntime ? getenv("XDG_RUNTIME_DIR") : "";
    const std::string name = folderNameForThisRun();
    runtime = scratchFolder("runtime-" + name);
    chmod(runtime.c_str(), 0700);
    home = scratchFolder("home-" + name);
    setEnvironment("XDG_RUNTIME_DIR", runtime.c_str());
    setEnvironment("HOME", home.c_str());
#endif
}

void PrivateUserFolders::restore() {
#ifndef _WIN32
    setEnvironment("HOME", hadHome ? savedHome.c_str() : nullptr);
    setEnvironment("XDG_RUNTIME_DIR", hadRuntime ? savedRuntime.c_str() : nullptr);
#endif
}

std::string workFolderName(uint32_t ticks) {
    return "Quillmere_" + std::to_string(ticks) + "_" + std::to_string(currentProcessId());
}

void setEnvironment(const char *name, const char *value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, value);
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

#ifdef _WIN32
static const char *const temporaryVariables[] = {"TMP", "TEMP"};
#else
static const char *const temporaryVariables[] = {"TMPDIR"};
#endif
// The variables as the test run found them, taken before the first test changes them.
static bool temporaryVariablesKept = false;
static std::map<std::string, std::pair<bool, std::string>> keptTemporaryVariables;

void useTemporaryFolder(const std::string &path) {
    if (!temporaryVariablesKept) {
        for (const char *name : temporaryVariables) {
            const char *value = getenv(name);
            keptTemporaryVariables[name] = {value != nullptr, value ? value : ""};
        }
        temporaryVariablesKept = true;
    }
    for (const char *name : temporaryVariables)
        setEnvironment(name, path.c_str());
}

void restoreTemporaryFolder() {
    for (const auto &kept : keptTemporaryVariables)
        setEnvironment(kept.first.c_str(),
                       kept.second.first ? kept.second.second.c_str() : nullptr);
}

void resetAppState() {
    appState.appRunning = true;
    appState.pollerRunning = true;
    appState.operationStage = Idle;
    appState.workerThread = nullptr;
    appState.cabinetReady = false;
    appState.modInstalled = false;
    setCabinetSerial("");
    appState.adbReady = false;
    appState.packagesReady = false;
    setWorkDir("");
    setStatusText("%s", initialStatusText);
    setProgressText("");
}

std::atomic<uint32_t> VirtualClock::now{0};
std::atomic<uint32_t> VirtualClock::sleeps{0};

static uint32_t virtualTick() { return VirtualClock::now.load(); }
static void virtualSleep(uint32_t ms) {
    VirtualClock::sleeps++;
    VirtualClock::now += ms;
}

void VirtualClock::install(uint32_t start) {
    now = start;
    sleeps = 0;
    replaceClock({virtualTick, virtualSleep});
}

void VirtualClock::uninstall() { replaceClock({nullptr, nullptr}); }

uint64_t wallMilliseconds() { return monotonicMilliseconds(); }

bool processAlive(unsigned long pid) {
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return false;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    // A process that has ended but is not yet reaped is a zombie: no longer running.
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(") ");
    return close != std::string::npos && stat[close + 2] != 'Z' && stat[close + 2] != 'X';
#endif
}

#include <condition_variable>
#include <mutex>

static std::mutex steppedLock;
static std::condition_variable steppedChange;
static int steppedSleepsBegun = 0;
static int steppedReleases = 0;
static bool steppedOpen = false;

static uint32_t steppedTick() { return VirtualClock::now.load(); }

static void steppedSleep(uint32_t ms) {
    std::unique_lock<std::mutex> hold(steppedLock);
    steppedSleepsBegun++;
    steppedChange.notify_all();
    steppedChange.wait(hold, [] { return steppedOpen || steppedReleases > 0; });
    if (!steppedOpen)
        steppedReleases--;
    VirtualClock::now += ms;
}

void SteppedClock::install() {
    std::lock_guard<std::mutex> hold(steppedLock);
    steppedSleepsBegun = 0;
    steppedReleases = 0;
    steppedOpen = false;
    VirtualClock::now = 0;
    replaceClock({steppedTick, steppedSleep});
}

void SteppedClock::uninstall() {
    {
        std::lock_guard<std::mutex> hold(steppedLock);
        steppedOpen = true;
    }
    steppedChange.notify_all();
    replaceClock({nullptr, nullptr});
}

bool SteppedClock::waitForSleeps(int count) {
    std::unique_lock<std::mutex> hold(steppedLock);
    return steppedChange.wait_for(hold, std::chrono::seconds(30),
                                  [count] { return steppedSleepsBegun >= count; });
}

void SteppedClock::releaseOne() {
    {
        std::lock_guard<std::mutex> hold(steppedLock);
        steppedReleases++;
    }
    steppedChange.notify_all();
}

void fillDiskLeaving(const std::string &disk, uint64_t room) {
    const std::string filler = joinPath(disk, "filler");
    removeTree(filler);
    const std::string block(64 * 1024, 'f');
    FILE *out = fopen(filler.c_str(), "wb");
    if (out == nullptr)
        return;
    uint64_t filled = 0;
    while (fwrite(block.data(), 1, block.size(), out) == block.size() && fflush(out) == 0)
        filled += block.size();
    fclose(out);
    filled = readFile(filler).size();
    writeFile(filler, std::string(filled > room ? filled - room : 0, 'f'));
}

std::string useSmallDisk() {
    const char *disk = getenv("QUILLMERE_SMALL_DISK");
    if (disk == nullptr || disk[0] == '\0')
        return "";
    removeTree(joinPath(disk, "filler"));
    useTemporaryFolder(std::string(disk) + platformPathSeparator);
    return disk;
}
