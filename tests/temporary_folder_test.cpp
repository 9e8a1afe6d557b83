// The temporary folder as owners' PCs have it: a path too long for the work folder's files, and
// (Linux) a file system from which no program may run.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/status_poller.h"
#include "cabinet/tool_runner.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

const char moreRoomText[] = "Could not unpack files.\nIs there free disk space?";

// The names the work folder holds once the install has unpacked everything.
std::vector<std::string> payloadNames() {
    std::vector<std::string> names = {"Emulator.apk", "Launcher.apk"};
    for (int i = 0; i < platformToolFileCount; i++)
        names.push_back(platformToolFiles[i].fileName);
    std::sort(names.begin(), names.end());
    return names;
}

size_t longestPayloadName() {
    size_t longest = 0;
    for (const std::string &name : payloadNames())
        longest = std::max(longest, name.size());
    return longest;
}

// A folder below `base` whose path, with the separator the system puts at its end, is `length`
// characters long; made on the disk only when `make` is set.
std::string placeOfLength(const std::string &base, size_t length, bool make) {
    std::string path = base;
    size_t room = length - 1 - path.size(); // each part adds a separator and its name
    while (room > 0) {
        const size_t part = room <= 101 ? room : (room - 101 >= 2 ? 101 : 99);
        path += platformPathSeparator + std::string(part - 1, 'd');
        room -= part;
    }
    if (make)
        std::filesystem::create_directories(path);
    return path + platformPathSeparator;
}

// Polls once and stops: the text a pass writes, with the poller's own first call of prepareAdb.
std::string firstPollerText() {
    SteppedClock::install();
    void *poller = startThread(statusPoller, nullptr);
    EXPECT_NE(poller, nullptr);
    EXPECT_TRUE(SteppedClock::waitForSleeps(1));
    const std::string text = statusText();
    appState.pollerRunning = false;
    SteppedClock::uninstall();
    EXPECT_TRUE(waitForThread(poller, 30000));
    return text;
}

using LongTemporaryFolder = CabinetTest;

struct LengthCase {
    const char *what;
    size_t placeLength; // 0: the longest that still fits every payload file's path
    int extra;          // added to the length
    bool fits;
};

TEST_F(LongTemporaryFolder, PathThatDoesNotFitIsRefusedNeverCut) {
    const size_t workName = workFolderName(5000).size();
    // The work folder's longest file path is then exactly 259 characters.
    const size_t longestThatFits = pathSize - 1 - (workName + 1 + longestPayloadName());
    const LengthCase cases[] = {
        {"the longest that fits", 0, 0, true},   {"one character more", 0, 1, false},
        {"236 characters", 236, 0, false},       {"246 characters", 246, 0, false},
        {"longer than any path", 300, 0, false},
    };
    for (const LengthCase &c : cases) {
        const size_t length = (c.placeLength ? c.placeLength : longestThatFits) + c.extra;
        const bool make = length < 248; // the system makes no folder of a longer path
        const std::string place =
            placeOfLength(scratchFolder("long-" + std::to_string(length)), length, make);
        ASSERT_EQ(place.size(), length);
        resetAppState();
        useTemporaryFolder(place);

        EXPECT_EQ(prepareAdb(), c.fits) << c.what;
        EXPECT_EQ(preparePackages(), c.fits) << c.what;
        if (c.fits) {
            EXPECT_EQ(workDir(), place + workFolderName(5000)) << c.what;
            EXPECT_EQ(folderNames(workDir()), payloadNames()) << c.what;
            removeWorkDir();
        } else {
            EXPECT_EQ(workDir(), "") << c.what << ": no folder is named";
            EXPECT_STREQ(unpackFailureText(moreRoomText), platformPathTooLongText) << c.what;
            if (make) {
                EXPECT_TRUE(folderNames(place).empty()) << c.what << ": nothing is written";
            }
        }
    }
}

TEST_F(LongTemporaryFolder, OperationsAndThePollerSayWhatToDo) {
    const std::string place = placeOfLength(scratchFolder("long-246"), 246, true);
    useTemporaryFolder(place);
    installWorker(nullptr);
    EXPECT_EQ(statusText(), platformPathTooLongText);
    EXPECT_EQ(recorded().stages, (std::vector<OperationStage>{Preparing, Failed}));

    resetAppState();
    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), platformPathTooLongText);

    resetAppState();
    EXPECT_EQ(firstPollerText(), platformPathTooLongText) << "instead of waiting for a cabinet";
    EXPECT_FALSE(appState.cabinetReady);
    EXPECT_TRUE(commands().empty()) << "no tool ran";
    EXPECT_TRUE(folderNames(place).empty());
}

TEST_F(LongTemporaryFolder, OtherFailuresKeepTheirTexts) {
    // A path that fits, after one that did not: a full disk or a missing folder is no longer
    // taken for a long path.
    useTemporaryFolder(placeOfLength(scratchFolder("long-246"), 246, true));
    EXPECT_FALSE(prepareAdb());
    resetAppState();
    useTemporaryFolder(joinPath(temporary, "missing") + platformPathSeparator);
    installWorker(nullptr);
    EXPECT_EQ(statusText(), moreRoomText);
    resetAppState();
    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), "Could not unpack adb.");
    resetAppState();
    EXPECT_EQ(firstPollerText(), initialStatusText);
}

#ifndef _WIN32

// A temporary folder mounted noexec, as hardened systems have it: the tool is written where it
// can run, or the user is told.
class NoexecTemporaryFolder : public CabinetTest {
  protected:
    std::string disk;
    bool mounted = false;
    PrivateUserFolders userFolders;
    void SetUp() override {
        CabinetTest::SetUp();
        userFolders.useOwn();
        if (geteuid() != 0)
            GTEST_SKIP() << "mounting a noexec file system needs root (scripts/test runs as root)";
        disk = scratchFolder("noexec-disk");
        ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID | MS_NODEV,
                        "size=16m,mode=0700"),
                  0)
            << strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        removeWorkDir();
        if (mounted)
            umount2(disk.c_str(), MNT_DETACH);
        userFolders.restore();
        CabinetTest::TearDown();
    }
    // A private folder on the noexec disk, or (runs set) on the ordinary one.
    std::string folder(const std::string &name, bool runs) {
        const std::string path = runs ? scratchFolder("exec-" + name) : joinPath(disk, name);
        mkdir(path.c_str(), 0700);
        chmod(path.c_str(), 0700);
        return path;
    }
};

struct PlaceCase {
    const char *what;
    bool runtimeSet;
    bool runtimeRuns;
    bool homeRuns;
    const char *expectedPlace; // "runtime", "cache" or "" (refused)
};

TEST_F(NoexecTemporaryFolder, ToolGoesWhereItCanRun) {
    const PlaceCase cases[] = {
        {"the runtime folder", true, true, false, "runtime"},
        {"no runtime folder: the cache", false, false, true, "cache"},
        {"the runtime folder is noexec too: the cache", true, false, true, "cache"},
        {"nowhere", true, false, false, ""},
    };
    const std::string temporaryOnDisk = folder("tmp", false);
    for (const PlaceCase &c : cases) {
        resetAppState();
        useTemporaryFolder(temporaryOnDisk);
        const std::string runtime = folder(std::string("runtime-") + c.what, c.runtimeRuns);
        const std::string home = folder(std::string("home-") + c.what, c.homeRuns);
        setEnvironment("XDG_RUNTIME_DIR", c.runtimeSet ? runtime.c_str() : nullptr);
        setEnvironment("HOME", home.c_str());
        const size_t logged = cabinet.log().size();

        const bool unpacked = prepareAdb();
        EXPECT_TRUE(folderNames(temporaryOnDisk).empty()) << c.what;
        if (std::string(c.expectedPlace).empty()) {
            EXPECT_FALSE(unpacked) << c.what;
            EXPECT_EQ(workDir(), "") << c.what;
            EXPECT_STREQ(unpackFailureText(moreRoomText), cannotRunToolText) << c.what;
            continue;
        }
        ASSERT_TRUE(unpacked) << c.what;
        const std::string place = std::string(c.expectedPlace) == "runtime"
                                      ? runtime
                                      : joinPath(joinPath(home, ".cache"), "quillmere");
        EXPECT_EQ(workDir(), joinPath(place, workFolderName(5000))) << c.what;
        struct stat info;
        ASSERT_EQ(stat(place.c_str(), &info), 0) << c.what;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << c.what;
        // The tool really runs from there.
        char output[4096];
        EXPECT_GE(runAdb("devices", output, sizeof output, 30000), 0) << c.what;
        const std::vector<SimInvocation> log = cabinet.log();
        ASSERT_GT(log.size(), logged) << c.what;
        EXPECT_EQ(log.back().folder, workDir()) << c.what;
        removeWorkDir();
    }
}

TEST_F(NoexecTemporaryFolder, PollerSaysTheToolCannotRun) {
    useTemporaryFolder(folder("tmp", false));
    setEnvironment("XDG_RUNTIME_DIR", folder("runtime", false).c_str());
    setEnvironment("HOME", folder("home", false).c_str());
    EXPECT_EQ(firstPollerText(), "Cannot run adb from the\ntemporary folder.");
    EXPECT_FALSE(appState.cabinetReady);
    EXPECT_TRUE(commands().empty());
}

#endif

} // namespace
