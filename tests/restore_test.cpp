#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/test_environment.h"

namespace {

using Lines = std::vector<std::vector<std::string>>;
const char restoredText[] = "Restored.\nThe cabinet is back to\nits original software.";

class Restore : public CabinetTest {
  protected:
    void SetUp() override {
        CabinetTest::SetUp();
        cabinet.setLink("ready");
        setCabinetSerial(simCabinetSerial); // as the poller leaves it when it shows the button
    }
};

TEST_F(Restore, WholeSequenceTakesTheModificationOff) {
    // The cabinet as an install leaves it.
    cabinet.write("packages/com.arcade", "data\n");
    cabinet.write("packages/com.zezuz.oneupvantormd17", "data\n");
    restoreWorker(nullptr);

    EXPECT_EQ(
        commands(),
        (Lines{words("start-server"), words("devices"), words("shell am force-stop com.arcade"),
               words("shell am force-stop com.zezuz.oneupvantormd17"),
               words("uninstall com.zezuz.oneupvantormd17"), words("uninstall com.arcade"),
               words("shell am start -n com.arcade/.activity.VantorHomeActivity"),
               words("shell pm path com.arcade")}));
    const Recording seen = recorded();
    EXPECT_EQ(seen.stages, (std::vector<OperationStage>{Preparing, StartingServer, Done}));
    EXPECT_EQ(seen.texts, (std::vector<std::string>{
                              "Preparing...", "Restoring original software...", restoredText}));
    EXPECT_TRUE(seen.boxes.empty());
    EXPECT_EQ(cabinet.read("packages/com.arcade"), "system");
    EXPECT_EQ(workDir(), "");
    EXPECT_FALSE(appState.adbReady);
    expectWorkFolderRemoved(cabinet.log().front().folder);
}

TEST_F(Restore, ReportsSuccessEvenWhenBothUninstallsFail) {
    restoreWorker(nullptr); // a factory cabinet: nothing to uninstall
    EXPECT_EQ(statusText(), restoredText);
    EXPECT_EQ(appState.operationStage.load(), Done);
}

// "Restored." only when the cabinet, asked afterwards, no longer has the modification.
TEST_F(Restore, ModificationStillThereFailsWithTheUninstallsWords) {
    cabinet.write("packages/com.arcade", "data\n");
    cabinet.write("packages/com.zezuz.oneupvantormd17", "data\n");
    cabinet.addFault(
        "uninstall com.arcade\t1\tanswer\t1\tFailure [DELETE_FAILED_DEVICE_POLICY_MANAGER]\\n");
    restoreWorker(nullptr);
    EXPECT_EQ(statusText(),
              "Restore failed.\n" + toolText("Failure [DELETE_FAILED_DEVICE_POLICY_MANAGER]\n"));
    EXPECT_EQ(recorded().stages, (std::vector<OperationStage>{Preparing, StartingServer, Failed}));
    EXPECT_EQ(commands().back(), words("shell pm path com.arcade"));
    EXPECT_TRUE(appState.adbReady) << "the tool stays unpacked for a retry";

    // The cabinet no longer answering is no success either; its words are shown.
    resetAppState();
    VirtualClock::now += 1000; // a new operation, a new folder
    setCabinetSerial(simCabinetSerial);
    cabinet.write("packages/com.arcade", "data\n");
    cabinet.addFault("shell pm path\t1\tanswer\t1\terror: device offline\\n");
    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), "Restore failed.\n" + toolText("error: device offline\n"));
    EXPECT_EQ(appState.operationStage.load(), Failed);
}

TEST_F(Restore, NoCabinetFails) {
    cabinet.setLink("offline");
    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), noCabinetText);
    EXPECT_EQ(appState.operationStage.load(), Failed);
    EXPECT_TRUE(appState.adbReady) << "the tool stays unpacked for a retry";
}

TEST_F(Restore, ToolThatCannotBeUnpackedFails) {
    useTemporaryFolder(joinPath(temporary, "missing") + platformPathSeparator);
    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), "Could not unpack adb.");
    EXPECT_EQ(recorded().stages, (std::vector<OperationStage>{Preparing, Failed}));
    EXPECT_TRUE(commands().empty());
}

// adb's uninstall waits for a device for ever when there is none; the limit still ends the call.
TEST_F(Restore, UninstallThatHangsIsBoundedByItsLimit) {
    cabinet.setLink("none");
    ASSERT_TRUE(prepareAdb());
    char output[8192];
    const uint64_t start = wallMilliseconds();
    EXPECT_EQ(runAdb("uninstall com.arcade", output, sizeof output, 1500), 259);
    EXPECT_LT(wallMilliseconds() - start, 10000u);
    EXPECT_NE(std::string(output).find("- waiting for device -"), std::string::npos);
}

} // namespace
