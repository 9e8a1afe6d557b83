#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/discs_folder.h"
#include "tests/support/test_environment.h"

namespace {

using Lines = std::vector<std::vector<std::string>>;

const char doneText[] = "Done!\nPicking a game goes black\nfor a moment - press START.";
const char installCompleteText[] =
    "The cabinet is ready. You can unplug the USB cable.\r\n\r\nOne thing to expect:\r\n\r\n"
    "When you pick a game the screen goes BLACK for a moment\r\nwhile the controls screen loads. "
    "That is normal - press a\r\nbutton on the panel (START) to begin playing.";

std::string resourceText(uint16_t id) {
    const void *data = nullptr;
    uint32_t size = 0;
    resourceBytes(id, &data, &size);
    return std::string(static_cast<const char *>(data), size);
}

Lines installLines(const Lines &discLines) {
    Lines lines = {words("start-server"),
                   words("devices"),
                   words("shell am force-stop com.arcade"),
                   words("shell am force-stop com.zezuz.oneupvantormd17"),
                   words("install -r Emulator.apk"),
                   words("install -r Launcher.apk")};
    lines.insert(lines.end(), discLines.begin(), discLines.end());
    lines.push_back(words("shell am start -n com.arcade/.activity.VantorHomeActivity"));
    return lines;
}

class Install : public CabinetTest {
  protected:
    DiscsFolder discs;
    void SetUp() override {
        CabinetTest::SetUp();
        discs.remove();
        cabinet.setLink("ready");
        setCabinetSerial(simCabinetSerial); // as the poller leaves it when it shows the button
    }
    void TearDown() override {
        discs.remove();
        CabinetTest::TearDown();
    }
};

TEST_F(Install, WholeSequenceStagesAndTexts) {
    discs.addFolder("Arcade Classics", {{"game.bin", "abc"}});
    discs.addFolder("Racing", {{"a.iso", std::string(3000, 'r')}, {"b.cue", "cue"}});
    void *window = reinterpret_cast<void *>(0x1234);
    appState.windowHandle = window;

    installWorker(nullptr);

    std::vector<SimInvocation> log = cabinet.log();
    ASSERT_FALSE(log.empty());
    const std::string work = log.front().folder;
    for (const SimInvocation &invocation : log)
        EXPECT_EQ(invocation.folder, work) << "every run starts in the work folder";
    EXPECT_EQ(work, joinPath(temporary, workFolderName(5000)));
    const Lines pushes = discs.expectedPushes();
    ASSERT_EQ(pushes.size(), 2u);
    Lines expected = {words("shell mkdir -p /sdcard/roms/system /sdcard/roms/saves")};
    expected.insert(expected.end(), pushes.begin(), pushes.end());
    EXPECT_EQ(commands(), installLines(expected));

    const Recording seen = recorded();
    EXPECT_EQ(seen.stages, (std::vector<OperationStage>{Preparing, StartingServer,
                                                        InstallingEmulator, InstallingLauncher,
                                                        CopyingDiscs, StartingCabinet, Done}));
    std::vector<std::string> texts = {"Preparing files...", "Installing emulator...",
                                      "Installing launcher...\n(150 MB, please wait)"};
    for (const std::string &name : discs.folderOrder())
        texts.push_back("Copying discs...\n" + name + "\n(this can take a while)");
    texts.push_back("Starting the cabinet...");
    texts.push_back(doneText);
    EXPECT_EQ(seen.texts, texts);

    // What the cabinet received, and what is left here.
    EXPECT_TRUE(cabinet.read("installed/com.zezuz.oneupvantormd17.apk") == resourceText(104));
    EXPECT_TRUE(cabinet.read("installed/com.arcade.apk") == resourceText(105));
    EXPECT_EQ(cabinet.read("packages/com.arcade"), "data");
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
    expectWorkFolderRemoved(work);
    EXPECT_EQ(workDir(), "");
    EXPECT_FALSE(appState.adbReady);
    EXPECT_FALSE(appState.packagesReady);
    EXPECT_EQ(appState.operationStage.load(), Done);
    EXPECT_EQ(statusText(), doneText);

    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_EQ(seen.boxes[0].owner, window);
    EXPECT_EQ(seen.boxes[0].caption, "Install complete");
    EXPECT_EQ(seen.boxes[0].text, installCompleteText);
    EXPECT_EQ(seen.boxes[0].type, messageBoxOk | messageBoxIconInformation);
    appState.windowHandle = nullptr;
}

// On a real cabinet the launcher's 168 MB take minutes to install: a tool that answers only after
// several seconds is waited for, not given up on.
TEST_F(Install, SlowLauncherInstallIsWaitedFor) {
    cabinet.addFault("install -r Launcher.apk\t1\tdelay\t6000");
    installWorker(nullptr);
    EXPECT_EQ(appState.operationStage.load(), Done);
    EXPECT_EQ(statusText(), doneText);
    EXPECT_TRUE(cabinet.read("installed/com.arcade.apk") == resourceText(105));
    EXPECT_EQ(commands().back(),
              words("shell am start -n com.arcade/.activity.VantorHomeActivity"));
}

TEST_F(Install, SuccessAnywhereInTheAnswerCounts) {
    cabinet.addFault("install -r Emulator.apk\t*\tanswer\t1\tlots of noise\\nthen Success in "
                     "the middle\\nand more");
    installWorker(nullptr);
    EXPECT_EQ(appState.operationStage.load(), Done);
}

struct FailureCase {
    const char *package;
    const char *heading;
    std::vector<OperationStage> stages;
};

// The answer is longer than 300 characters and holds conversions that must stay plain text.
TEST_F(Install, FailedInstallShowsTheFirst300CharactersOfTheAnswer) {
    const std::string noise = "adb: failed to install %s: Failure [%n %% INSTALL_FAILED] ";
    std::string answer;
    while (answer.size() < 400)
        answer += noise + "\\n";
    const FailureCase cases[] = {
        {"Emulator.apk",
         "Emulator install failed.\n",
         {Preparing, StartingServer, InstallingEmulator, Failed}},
        {"Launcher.apk",
         "Launcher install failed.\n",
         {Preparing, StartingServer, InstallingEmulator, InstallingLauncher, Failed}},
    };
    for (const FailureCase &c : cases) {
        resetAppState();
        VirtualClock::now += 1000; // a new operation, a new folder
        clearRecording();
        cabinet.write("faults",
                      std::string("install -r ") + c.package + "\t1\tanswer\t1\t" + answer + "\n");
        installWorker(nullptr);
        std::string shown;
        while (shown.size() < 400)
            shown += toolText(noise + "\n");
        EXPECT_EQ(statusText(), c.heading + shown.substr(0, 300)) << c.package;
        EXPECT_EQ(recorded().stages, c.stages) << c.package;
        EXPECT_TRUE(recorded().boxes.empty());
        // Nothing is undone: the folder and the flags stay, and the cabinet is not restarted.
        EXPECT_TRUE(appState.packagesReady);
        EXPECT_TRUE(pathExists(workDir()));
        EXPECT_NE(commands().back(),
                  words("shell am start -n com.arcade/.activity.VantorHomeActivity"));
        removeWorkDir();
    }
}

TEST_F(Install, RetryAfterAFailureReusesTheWrittenPayload) {
    cabinet.addFault("install -r Launcher.apk\t1\tanswer\t1\tadb: failed to install Launcher.apk: "
                     "Performing Streamed Install\\n");
    installWorker(nullptr);
    ASSERT_EQ(appState.operationStage.load(), Failed);
    ASSERT_EQ(statusText(),
              "Launcher install failed.\n" +
                  toolText("adb: failed to install Launcher.apk: Performing Streamed Install\n"));
    const std::string folder = workDir();
    // Mark the package in place: a retry that unpacked again would overwrite the mark.
    writeFile(joinPath(folder, "Launcher.apk"), "marked by the test");
    VirtualClock::now += 60000;

    ASSERT_TRUE(beginOperation());
    installWorker(nullptr);
    EXPECT_EQ(appState.operationStage.load(), Done);
    EXPECT_EQ(cabinet.read("installed/com.arcade.apk"), "marked by the test");
    expectWorkFolderRemoved(folder);
}

// The server start, the force-stops, the folder creation and the home start are sent and their
// answers ignored: none of them stops the install.
TEST_F(Install, IgnoredStepsThatFailDoNotStopIt) {
    discs.addFolder("One", {{"a.bin", "1"}});
    const char *faults[] = {
        "start-server\t*\tanswer\t1\tADB server didn't ACK\\n* failed to start daemon\\n",
        "shell am force-stop\t*\tanswer\t1\terror: device offline\\n",
        "shell mkdir\t*\tanswer\t1\tmkdir: '/sdcard/roms/system': Read-only file system\\n",
        "shell am start\t*\tanswer\t1\terror: closed\\n",
    };
    for (const char *fault : faults) {
        resetAppState();
        VirtualClock::now += 1000; // a new operation, a new folder
        cabinet.write("faults", std::string(fault) + "\n");
        installWorker(nullptr);
        EXPECT_EQ(appState.operationStage.load(), Done) << fault;
        EXPECT_EQ(statusText(), doneText) << fault;
    }
}

// A disc folder that does not arrive is no success: no home screen, no "Done!", no box, and a
// click runs the whole install again.
TEST_F(Install, FolderThatDoesNotArriveEndsTheInstallAndAClickRetries) {
    discs.addFolder("Racing", {{"a.iso", std::string(3000, 'r')}});
    cabinet.addFault(
        "push\t1\tanswer\t1\tadb: error: failed to copy 'a.iso' to "
        "'/sdcard/roms/Racing/a.iso': remote write failed: No space left on device\\n");
    installWorker(nullptr);
    EXPECT_EQ(statusText(), "Copying discs failed.\nRacing\n" +
                                toolText("adb: error: failed to copy 'a.iso' to "
                                         "'/sdcard/roms/Racing/a.iso': remote write failed: No "
                                         "space left on device\n"));
    Recording seen = recorded();
    EXPECT_EQ(seen.stages,
              (std::vector<OperationStage>{Preparing, StartingServer, InstallingEmulator,
                                           InstallingLauncher, CopyingDiscs, Failed}));
    EXPECT_TRUE(seen.boxes.empty());
    for (const std::string &text : seen.texts)
        EXPECT_NE(text, doneText);
    EXPECT_EQ(commands().back(), discs.expectedPushes().back()) << "the home screen stays off";
    EXPECT_TRUE(pathExists(workDir())) << "the payload stays for a retry";

    clearRecording();
    ASSERT_TRUE(beginOperation());
    installWorker(nullptr);
    EXPECT_EQ(appState.operationStage.load(), Done);
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
    EXPECT_EQ(recorded().boxes.size(), 1u);
}

// With a phone plugged in beside the cabinet, and the user's own ANDROID_SERIAL naming the phone,
// everything still goes to the cabinet alone: every run that reaches a device is pinned to it.
TEST_F(Install, PhoneBesideTheCabinetGetsNothing) {
    cabinet.write("devices", "PHONE1 ready phone\nR58M12ABCDE ready cabinet\n");
    setEnvironment("ANDROID_SERIAL", "PHONE1");
    discs.addFolder("Racing", {{"a.iso", std::string(3000, 'r')}});
    installWorker(nullptr);
    VirtualClock::now += 1000; // a new operation, a new folder
    ASSERT_TRUE(beginOperation());
    restoreWorker(nullptr);
    setEnvironment("ANDROID_SERIAL", nullptr);

    EXPECT_EQ(statusText(), "Restored.\nThe cabinet is back to\nits original software.");
    EXPECT_EQ(recorded().boxes.size(), 1u) << "the install completed";
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
    EXPECT_TRUE(cabinet.read("installed/com.arcade.apk") == resourceText(105));
    EXPECT_FALSE(pathExists(joinPath(cabinet.folder, "device-PHONE1"))) << "nothing on the phone";
    for (const SimInvocation &run : cabinet.log()) {
        const bool server = run.arguments == words("start-server");
        const bool list = run.arguments == words("devices");
        EXPECT_EQ(run.serial, server || list ? "" : simCabinetSerial) << run.arguments[0];
    }
}

// The progress line follows each package and the disc copy, each to 100% once it has succeeded,
// and is gone once the bytes stop: the simulator takes 1 MB a second here.
TEST_F(Install, ProgressLineFollowsEachLongStep) {
    discs.addFolder("One", {{"a.bin", std::string(700000, 'a')}});
    discs.addFolder("Two", {{"b.bin", std::string(800000, 'b')}});
    cabinet.write("transfer-rate", "1000000\n");
    installWorker(nullptr);
    ASSERT_EQ(appState.operationStage.load(), Done);
    const std::vector<std::string> lines = recorded().progress;
    auto position = [&](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    const long emulatorDone = position("0.2 of 0.2 MB - 100%");
    const long launcherDone = position("1.0 of 1.0 MB - 100%");
    const long discsDone = position("1.5 of 1.5 MB - 100%");
    ASSERT_LT(emulatorDone, launcherDone);
    ASSERT_LT(launcherDone, discsDone);
    ASSERT_LT(discsDone, static_cast<long>(lines.size()));
    EXPECT_EQ(lines.back(), "") << "cleared before the home screen starts";
    // While the discs travel, both folders count towards one figure that only grows.
    int discLines = 0;
    for (long i = launcherDone + 1; i < discsDone; i++) {
        if (lines[i].empty())
            continue;
        discLines++;
        EXPECT_NE(lines[i].find(" of 1.5 MB - "), std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].find("100%"), std::string::npos) << lines[i];
    }
    EXPECT_GE(discLines, 2);
#ifndef _WIN32
    // The launcher's bytes are counted as the tool reads them (the system tells on Linux).
    int launcherLines = 0;
    for (long i = emulatorDone + 1; i < launcherDone; i++)
        launcherLines += lines[i].find(" of 1.0 MB - ") != std::string::npos;
    EXPECT_GE(launcherLines, 2);
#endif
}

TEST_F(Install, NoCabinetWithinTheWaitFails) {
    cabinet.setLink("unauthorized");
    installWorker(nullptr);
    EXPECT_EQ(appState.operationStage.load(), Failed);
    EXPECT_EQ(statusText(), noCabinetText);
    const Recording seen = recorded();
    EXPECT_EQ(seen.texts.front(), "Preparing files...");
    EXPECT_EQ(seen.texts[1],
              "Waiting for authorisation...\nOn the cabinet, tap\n\"Allow USB debugging\".");
    EXPECT_EQ(commands().back(), words("devices"));
    EXPECT_TRUE(pathExists(workDir())) << "the payload stays for a retry";
}

TEST_F(Install, TemporaryFolderThatCannotBeWrittenClaimsNothing) {
    useTemporaryFolder(joinPath(temporary, "missing") + platformPathSeparator);
    installWorker(nullptr);
    EXPECT_EQ(statusText(), "Could not unpack files.\nIs there free disk space?");
    EXPECT_EQ(recorded().stages, (std::vector<OperationStage>{Preparing, Failed}));
    EXPECT_TRUE(commands().empty());
    EXPECT_FALSE(appState.adbReady);
}

TEST_F(Install, FullDiskDuringThePackagesClaimsNothing) {
    const std::string disk = useSmallDisk();
    if (disk.empty())
        GTEST_SKIP() << "set QUILLMERE_SMALL_DISK to a small file system (scripts/test does)";
    ASSERT_TRUE(prepareAdb()); // as the poller does at start-up
    fillDiskLeaving(disk, resourceText(104).size() / 2);

    installWorker(nullptr);
    removeTree(joinPath(disk, "filler"));
    EXPECT_EQ(statusText(), "Could not unpack files.\nIs there free disk space?");
    EXPECT_EQ(recorded().stages, (std::vector<OperationStage>{Preparing, Failed}));
    EXPECT_TRUE(commands().empty()) << "nothing is sent to the cabinet";
    EXPECT_TRUE(appState.adbReady);
    EXPECT_FALSE(appState.packagesReady);
}

} // namespace
