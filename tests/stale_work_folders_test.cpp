// Work folders of earlier runs, with real processes holding some of them: a copy that still runs,
// and a tool server started from the folder.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "cabinet/stale_work_folders.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

const char *toolName() { return platformToolFiles[0].fileName; }

class StaleWorkFolders : public CabinetTest {
  protected:
    std::string tools;
    std::vector<ChildProcess> children;
    void SetUp() override {
        CabinetTest::SetUp();
        userFolders.useOwn();
        tools = scratchFolder("stale-tools-" + folderNameForThisRun());
        ASSERT_TRUE(extractResource(101, joinPath(tools, toolName()).c_str()));
    }
    void TearDown() override {
        cabinet.destroy(); // every simulator waiting on the cabinet ends
        for (ChildProcess &child : children)
            finishChild(&child, 10000, false);
        userFolders.restore();
        CabinetTest::TearDown();
    }
    std::string quoted(const std::string &path) { return "\"" + path + "\""; }
    // Starts the simulator from `program` with `arguments`; the child is waited for at the end.
    uint32_t start(const std::string &program, const std::string &arguments,
                   const std::string &folder) {
        ChildProcess child;
        EXPECT_TRUE(startChild((quoted(program) + " " + arguments).c_str(), folder.c_str(), nullptr,
                               &child));
        children.push_back(child);
        return childProcessId(child);
    }
    // Reads what the child says until it closes its output (a tool whose output is gone may be
    // ended by the system before it has done its work), then waits for its end.
    int32_t finishReading(ChildProcess *child) {
        char output[1024];
        while (readChildOutput(child, output, sizeof output, 30000) > 0) {
        }
        return finishChild(child, 30000, false);
    }
    // The id of a process that has ended.
    uint32_t endedProcessId() {
        ChildProcess child;
        EXPECT_TRUE(startChild(
            (quoted(joinPath(tools, toolName())) + " --hold 0 " + quoted(cabinet.folder)).c_str(),
            tools.c_str(), nullptr, &child));
        const uint32_t id = childProcessId(child);
        EXPECT_EQ(finishReading(&child), 0);
        return id;
    }
    // A work folder as a run leaves it: the tool and a package.
    std::string leftFolder(const std::string &place, const std::string &name) {
        const std::string folder = joinPath(place, name);
        EXPECT_TRUE(createPrivateFolder(folder.c_str()));
        EXPECT_TRUE(extractResource(101, joinPath(folder, toolName()).c_str()));
        writeFile(joinPath(folder, "Emulator.apk"), "package");
        return folder;
    }

    // The places a work folder may be made in are the test's own: on Linux the runtime folder
    // and the cache below HOME besides the temporary folder.
    PrivateUserFolders userFolders;
};

struct FolderCase {
    std::string name;
    bool stays;
    const char *why;
};

TEST_F(StaleWorkFolders, RemovesOnlyWhatNothingHolds) {
    const std::string ended = std::to_string(endedProcessId());
    // A copy that still runs: a process that lives until the cabinet's folder goes.
    const std::string running = std::to_string(
        start(joinPath(tools, toolName()), "--hold 120000 " + quoted(cabinet.folder), tools));
    const std::string mine = std::to_string(currentProcessId());
    const std::vector<FolderCase> cases = {
        {"Quillmere_100_" + ended, false, "its run has ended"},
        {"Quillmere_101_" + running, true, "the copy that made it still runs"},
        {"Quillmere_102_" + ended, true, "a tool server runs from it"},
        {"Quillmere_103_" + mine, true, "it is this run's"},
        {"Quillmere_104", true, "not a name this program gives"},
        {"Quillmere_x_" + ended, true, "not a name this program gives"},
        {"Quillmere_105_" + ended + "_1", true, "not a name this program gives"},
    };
    for (const FolderCase &c : cases)
        leftFolder(temporary, c.name);
    // A plain file of a folder's name is no folder.
    writeFile(joinPath(temporary, "Quillmere_106_" + ended), "a file");
    // The server, started from its folder as "start-server" starts it, outlives its client.
    cabinet.write("server-lifetime-ms", "120000\n");
    const std::string serverFolder = joinPath(temporary, "Quillmere_102_" + ended);
    start(joinPath(serverFolder, toolName()), "start-server", serverFolder);
    ASSERT_EQ(finishReading(&children.back()), 0);
    children.pop_back();

    removeStaleWorkFolders();

    for (const FolderCase &c : cases)
        EXPECT_EQ(pathExists(joinPath(temporary, c.name)), c.stays) << c.name << ": " << c.why;
    EXPECT_EQ(folderNames(joinPath(temporary, "Quillmere_102_" + ended)),
              (std::vector<std::string>{"Emulator.apk", toolName()}))
        << "a folder in use is left whole";
    EXPECT_TRUE(pathExists(joinPath(temporary, "Quillmere_106_" + ended)));
}

#ifndef _WIN32

TEST_F(StaleWorkFolders, EveryPlaceIsCleanedAndOnlyPrivateFoldersAreTouched) {
    const std::string ended = std::to_string(endedProcessId());
    const std::string inRuntime = leftFolder(userFolders.runtime, "Quillmere_200_" + ended);
    const std::string openToOthers = leftFolder(temporary, "Quillmere_201_" + ended);
    chmod(openToOthers.c_str(), 0755);
    std::string othersOwn;
    if (geteuid() == 0) { // giving a folder away needs root
        othersOwn = leftFolder(temporary, "Quillmere_202_" + ended);
        ASSERT_EQ(chown(othersOwn.c_str(), 65534, 65534), 0);
    }

    removeStaleWorkFolders();

    EXPECT_FALSE(pathExists(inRuntime)) << "the runtime folder is a place of ours too";
    EXPECT_TRUE(pathExists(openToOthers)) << "not a folder this program made";
    if (!othersOwn.empty()) {
        EXPECT_TRUE(pathExists(othersOwn)) << "another user's folder";
    }
}

#endif

} // namespace
