// On Linux the temporary folder is shared between users: a work folder that somebody else made
// first, at the name we are about to use, must never be used.
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "tests/support/test_environment.h"

namespace {

class WorkFolderRefusal : public ::testing::Test {
  protected:
    std::string temporary;
    std::string expected;
    void SetUp() override {
        resetAppState();
        temporary = scratchFolder("refusal-temp");
        useTemporaryFolder(temporary);
        VirtualClock::install(4242);
        expected = temporary + "/" + workFolderName(4242);
    }
    void TearDown() override {
        VirtualClock::uninstall();
        resetAppState();
        removeTree(temporary);
    }
    void expectRefused() {
        EXPECT_FALSE(prepareAdb());
        EXPECT_FALSE(appState.adbReady);
        EXPECT_FALSE(pathExists(expected + "/adb")) << "nothing may be written into it";
    }
};

TEST_F(WorkFolderRefusal, FolderOpenToOthers) {
    ASSERT_EQ(mkdir(expected.c_str(), 0777), 0);
    ASSERT_EQ(chmod(expected.c_str(), 0777), 0);
    expectRefused();
}

TEST_F(WorkFolderRefusal, LinkToAFolder) {
    const std::string elsewhere = scratchFolder("refusal-elsewhere");
    chmod(elsewhere.c_str(), 0700);
    ASSERT_EQ(symlink(elsewhere.c_str(), expected.c_str()), 0);
    expectRefused();
    EXPECT_FALSE(pathExists(elsewhere + "/adb"));
    removeTree(elsewhere);
}

TEST_F(WorkFolderRefusal, FileInItsPlace) {
    writeFile(expected, "not a folder");
    expectRefused();
}

TEST_F(WorkFolderRefusal, FolderOfAnotherUser) {
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    ASSERT_EQ(mkdir(expected.c_str(), 0700), 0);
    ASSERT_EQ(chown(expected.c_str(), 65534, 65534), 0);
    expectRefused();
}

TEST_F(WorkFolderRefusal, OurOwnPrivateFolderIsReused) {
    ASSERT_EQ(mkdir(expected.c_str(), 0700), 0);
    EXPECT_TRUE(prepareAdb());
    EXPECT_TRUE(pathExists(expected + "/adb"));
    removeWorkDir();
}

} // namespace
