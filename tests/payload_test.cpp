#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/test_environment.h"
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

std::string resourceText(uint16_t id) {
    const void *data = nullptr;
    uint32_t size = 0;
    if (!resourceBytes(id, &data, &size))
        return "";
    return std::string(static_cast<const char *>(data), size);
}

std::string workDir() {
    char path[pathSize];
    copyWorkDir(path, sizeof path);
    return path;
}

// The payload's file names in the order they are written: tool files, then the two packages.
std::vector<std::pair<uint16_t, std::string>> payloadFiles() {
    std::vector<std::pair<uint16_t, std::string>> files;
    for (int i = 0; i < platformToolFileCount; i++)
        files.push_back({platformToolFiles[i].resourceId, platformToolFiles[i].fileName});
    files.push_back({104, "Emulator.apk"});
    files.push_back({105, "Launcher.apk"});
    return files;
}

class Payload : public ::testing::Test {
  protected:
    std::string temporary;
    void SetUp() override {
        resetAppState();
        temporary = scratchFolder("payload-temp");
        useTemporaryFolder(temporary);
        VirtualClock::install(1000);
    }
    void TearDown() override {
        removeWorkDir();
        VirtualClock::uninstall();
        resetAppState();
        removeTree(temporary);
    }
};

TEST_F(Payload, PackagesBringTheToolAlongAndEveryFileHoldsItsResource) {
    ASSERT_TRUE(preparePackages());
    EXPECT_TRUE(appState.adbReady);
    EXPECT_TRUE(appState.packagesReady);
    EXPECT_EQ(workDir(), joinPath(temporary, workFolderName(1000)));
    std::vector<std::string> expected;
    for (const auto &file : payloadFiles()) {
        expected.push_back(file.second);
        const std::string written = readFile(joinPath(workDir(), file.second));
        EXPECT_EQ(written.size(), resourceText(file.first).size()) << file.second;
        EXPECT_TRUE(written == resourceText(file.first)) << file.second;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderNames(workDir()), expected);
#ifndef _WIN32
    struct stat tool;
    ASSERT_EQ(stat(joinPath(workDir(), "adb").c_str(), &tool), 0);
    EXPECT_EQ(tool.st_mode & 0777, 0700u) << "the tool must be executable, and ours alone";
    struct stat folder;
    ASSERT_EQ(stat(workDir().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
#endif
}

TEST_F(Payload, SecondCallTouchesNothing) {
    ASSERT_TRUE(prepareAdb());
    const std::string tool = joinPath(workDir(), platformToolFiles[0].fileName);
    writeFile(tool, "changed by the test");
    VirtualClock::now += 5000;
    EXPECT_TRUE(prepareAdb());
    EXPECT_EQ(readFile(tool), "changed by the test");

    ASSERT_TRUE(preparePackages());
    const std::string launcher = joinPath(workDir(), "Launcher.apk");
    removeTree(launcher);
    EXPECT_TRUE(preparePackages());
    EXPECT_FALSE(pathExists(launcher));
    EXPECT_EQ(workDir(), joinPath(temporary, workFolderName(1000)));
}

TEST_F(Payload, EmptyOrMissingResourceWritesNoFile) {
    const std::string folder = scratchFolder("payload-resources");
    const std::string empty = joinPath(folder, "empty.bin");
    const std::string missing = joinPath(folder, "missing.bin");
    EXPECT_FALSE(extractResource(900, empty.c_str()));
    EXPECT_FALSE(extractResource(999, missing.c_str()));
    EXPECT_TRUE(folderNames(folder).empty());
    // An existing file is replaced whole.
    const std::string greeting = joinPath(folder, "greeting.txt");
    writeFile(greeting, std::string(5000, 'q'));
    EXPECT_TRUE(extractResource(901, greeting.c_str()));
    EXPECT_EQ(readFile(greeting), "resource 901: a small file of known bytes\n");
    removeTree(folder);
}

TEST_F(Payload, FileThatCannotBeCreatedFails) {
    const std::string folder = scratchFolder("payload-blocked");
    const std::string inside = joinPath(joinPath(folder, "no-such-folder"), "file.bin");
    EXPECT_FALSE(extractResource(901, inside.c_str()));
    removeTree(folder);
}

TEST_F(Payload, FolderThatCannotBeMadeKeepsItsNameAndLaterCallsFail) {
    const std::string missingParent = joinPath(temporary, "gone");
    useTemporaryFolder(missingParent + platformPathSeparator);
    EXPECT_FALSE(prepareAdb());
    const std::string named = workDir();
    EXPECT_EQ(named, joinPath(missingParent, workFolderName(1000)));
    EXPECT_FALSE(appState.adbReady);
    VirtualClock::now += 1000;
    EXPECT_FALSE(preparePackages());
    EXPECT_EQ(workDir(), named) << "no second name is formed while the first is kept";
    EXPECT_FALSE(pathExists(missingParent));
    setWorkDir("");
}

TEST_F(Payload, TwoOperationsUseTwoFolders) {
    ASSERT_TRUE(preparePackages());
    const std::string first = workDir();
    // A worker's successful end: folder removed, flags cleared.
    removeWorkDir();
    appState.packagesReady = false;
    appState.adbReady = false;
    EXPECT_FALSE(pathExists(first));
    EXPECT_EQ(workDir(), "");

    VirtualClock::now += 37;
    ASSERT_TRUE(prepareAdb());
    EXPECT_NE(workDir(), first);
    EXPECT_EQ(workDir(), joinPath(temporary, workFolderName(1037)));
}

TEST_F(Payload, RemovalKeepsDottedEntriesAndSubFolders) {
    ASSERT_TRUE(preparePackages());
    const std::string folder = workDir();
    writeFile(joinPath(folder, ".hidden"), "kept");
    scratchFolder("unused"); // make sure scratch names do not collide with the work folder
    std::string sub = joinPath(folder, "sub");
    removeTree(sub);
    ASSERT_TRUE(createPrivateFolder(sub.c_str()));
    writeFile(joinPath(folder, "plain.txt"), "deleted");

    removeWorkDir();
    EXPECT_EQ(workDir(), "");
    EXPECT_TRUE(pathExists(folder));
    EXPECT_EQ(folderNames(folder), (std::vector<std::string>{".hidden", "sub"}));
    // Nothing is tried again, and a second call is harmless.
    removeWorkDir();
    EXPECT_TRUE(pathExists(folder));
    removeTree(folder);
}

TEST_F(Payload, RemovalWithNoFolderDoesNothing) {
    removeWorkDir();
    removeWorkDir();
    EXPECT_EQ(workDir(), "");
    EXPECT_TRUE(folderNames(temporary).empty());
}

// A disk that fills up while the launcher package is written: the file stays as far as it got,
// the tool stays ready, and the next try writes both packages again into the same folder. The
// disk must be this run's alone (scripts/test mounts one per run): another process that fills or
// empties it between the filling and the writing changes the room the test counts on.
TEST_F(Payload, FullDiskLeavesPartialPackageAndRetryWritesBothAgain) {
    const std::string disk = useSmallDisk();
    if (disk.empty())
        GTEST_SKIP() << "set QUILLMERE_SMALL_DISK to a small file system (scripts/test does)";

    ASSERT_TRUE(prepareAdb());
    const std::string launcher = resourceText(105);
    const std::string emulator = resourceText(104);
    // Fill the disk until only the emulator package and half the launcher package still fit.
    fillDiskLeaving(disk, emulator.size() + launcher.size() / 2);

    EXPECT_FALSE(preparePackages());
    EXPECT_TRUE(appState.adbReady);
    EXPECT_FALSE(appState.packagesReady);
    const std::string partial = readFile(joinPath(workDir(), "Launcher.apk"));
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), launcher.size());
    EXPECT_TRUE(readFile(joinPath(workDir(), "Emulator.apk")) == emulator);

    const std::string folder = workDir();
    removeTree(joinPath(disk, "filler"));
    EXPECT_TRUE(preparePackages());
    EXPECT_EQ(workDir(), folder);
    EXPECT_TRUE(readFile(joinPath(folder, "Launcher.apk")) == launcher);
    EXPECT_TRUE(appState.packagesReady);
}

} // namespace
