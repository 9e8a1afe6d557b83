// The program's probe, poller pass, install and restore with Debian's real adb client and server
// in between, talking the wire protocol to the emulated cabinet.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/clock.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"
#include "cabinet/status_poller.h"
#include "cabinet/tool_runner.h"
#include "cabinet/transfer_progress.h"
#include "platform/platform.h"
#include "tests/adb_cabinet/real_adb.h"
#include "tests/support/discs_folder.h"
#include "tests/support/test_environment.h"

namespace fs = std::filesystem;

namespace {

const char installText[] = "Cabinet detected.\nPress INSTALL to begin.";
const char restoreText[] = "Cabinet detected.\nThis mod is installed.\nPress RESTORE to undo it.";
const char doneText[] = "Done!\nPicking a game goes black\nfor a moment - press START.";
const char restoredText[] = "Restored.\nThe cabinet is back to\nits original software.";
const char notACabinetText[] =
    "This device is not a cabinet.\nConnect the cabinet and\nunplug other devices.";
const char severalCabinetsText[] = "More than one cabinet.\nConnect one cabinet\nat a time.";
const char noCabinetText[] =
    "No cabinet found.\nCheck the USB cable and\nthat USB debugging is on.";
const char launcher[] = "com.arcade";
const char emulator[] = "com.zezuz.oneupvantormd17";

std::string resourceText(uint16_t id) {
    const void *data = nullptr;
    uint32_t size = 0;
    resourceBytes(id, &data, &size);
    return std::string(static_cast<const char *>(data), size);
}

// Every plain file below `root`, by its path relative to it, with its bytes.
std::map<std::string, std::string> filesBelow(const std::string &root) {
    std::map<std::string, std::string> files;
    std::error_code ignored;
    for (fs::recursive_directory_iterator it(root, ignored), end; it != end; it.increment(ignored))
        if (it->is_regular_file())
            files[fs::relative(it->path(), root).generic_string()] = readFile(it->path().string());
    return files;
}

// The services a device was asked to open after it had heard `before`, other than the question
// every connected device is asked: where its launcher package lives.
std::vector<std::string> servicesBeyondTheQuestion(const EmulatedCabinet &device,
                                                   const std::string &before) {
    const std::string heard = device.services();
    std::vector<std::string> others;
    if (heard.compare(0, before.size(), before) != 0)
        return {"(the services heard before are gone)"};
    static const std::string question = ":pm path com.arcade";
    size_t begin = before.size();
    while (begin < heard.size()) {
        const size_t end = heard.find('\n', begin);
        const std::string line = heard.substr(begin, end - begin);
        if (line.size() < question.size() ||
            line.compare(line.size() - question.size(), question.size(), question) != 0)
            others.push_back(line);
        if (end == std::string::npos)
            break;
        begin = end + 1;
    }
    return others;
}

// `text` matched as it is, in a regular expression.
// What the program's probe makes of the devices, as the poller and the operations ask.
LinkState probedLink() {
    CabinetSearch found;
    findCabinet(nullptr, nullptr, &found);
    return found.link;
}

std::string literal(const std::string &text) {
    static const std::string special = "\\^$.|?*+()[]{}";
    std::string out;
    for (char c : text) {
        if (special.find(c) != std::string::npos)
            out += '\\';
        out += c;
    }
    return out;
}

// A clock whose first sleep runs `onFirstSleep` (the owner acting while the program waits).
std::function<void()> onFirstSleep;
uint32_t hookedTick() { return VirtualClock::now.load(); }
void hookedSleep(uint32_t ms) {
    VirtualClock::now += ms;
    if (onFirstSleep) {
        const std::function<void()> act = onFirstSleep;
        onFirstSleep = nullptr;
        act();
    }
}

class RealAdb : public RealAdbTest {
  protected:
    DiscsFolder discs;
    void SetUp() override {
        RealAdbTest::SetUp();
        discs.remove();
    }
    void TearDown() override {
        discs.remove();
        RealAdbTest::TearDown();
    }
    // One pass of the status poller, on its own thread, as the running program makes it.
    void pollerPass() {
        appState.operationStage = Idle;
        appState.pollerRunning = true;
        SteppedClock::install();
        void *poller = startThread(statusPoller, nullptr);
        ASSERT_NE(poller, nullptr);
        EXPECT_TRUE(SteppedClock::waitForSleeps(1));
        appState.pollerRunning = false;
        SteppedClock::uninstall();
        EXPECT_TRUE(waitForThread(poller, 30000));
        VirtualClock::install(5000);
    }
    void plugInReady() {
        plugIn();
        ASSERT_TRUE(waitForState("device")) << hostAdb("devices");
    }
    // The owner's own copy of the emulator, put on `device` with the test's adb, pinned to it: an
    // uninstall sent there by mistake would take it off.
    void installByHand(const EmulatedCabinet &device) {
        const std::string package = joinPath(scratchFolder("by-hand"), "Emulator.apk");
        writeFile(package, resourceText(emulatorPackageResource));
        EXPECT_EQ(
            hostAdbWith("ANDROID_SERIAL=" + device.serial(), "install -r \"" + package + "\""),
            "Performing Streamed Install\nSuccess\n");
        EXPECT_EQ(device.packagePlace(emulator), "data");
    }
    // A fresh cabinet in place of the one before, for a case of its own.
    void restartCabinet(const std::string &control) {
        fixture.stop();
        std::string error;
        ASSERT_TRUE(fixture.start(scratchFolder("cabinet-again"),
                                  joinPath(joinPath(home, ".android"), "adbkey.pub"), error))
            << error;
        fixture.control(control);
        resetAppState();
        clearRecording();
    }
};

TEST_F(RealAdb, ProbeFollowsTheCabinetThroughEachState) {
    ASSERT_TRUE(prepareAdb());
    // The first "devices" starts the server; the cabinet is not plugged in yet.
    EXPECT_EQ(probedLink(), NoCabinet);

    struct Case {
        const char *mode;
        const char *shown;
        LinkState link;
    };
    const Case cases[] = {
        {"ready", "device", Ready},
        {"unauthorized", "unauthorized", Unauthorized},
        {"offline", "offline", Offline},
        {"ready", "device", Ready},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        fixture.control(std::string("{\"mode\": \"") + c.mode + "\"}");
        unplug();
        plugIn();
        ASSERT_TRUE(waitForState(c.shown)) << hostAdb("devices");
        EXPECT_EQ(probedLink(), c.link);
    }
    unplug();
    EXPECT_EQ(probedLink(), NoCabinet);
}

TEST_F(RealAdb, AHostTheCabinetHasNotAllowedStaysUnauthorised) {
    plugInReady();
    // A second computer, with a key of its own, plugged into the same cabinet.
    const std::string other = "HOME=" + scratchFolder("home-other-computer") +
                              " ANDROID_ADB_SERVER_PORT=" + std::to_string(freePort());
    hostAdbWith(other, "connect " + fixture.serial());
    const std::string line = fixture.serial() + "\tunauthorized\n";
    bool refused = false;
    for (int i = 0; i < 300 && !refused; i++) {
        refused = hostAdbWith(other, "devices").find(line) != std::string::npos;
        if (!refused)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(refused) << hostAdbWith(other, "devices");
    hostAdbWith(other, "kill-server");
    // This test's own host is still let in.
    ASSERT_TRUE(prepareAdb());
    EXPECT_EQ(probedLink(), Ready);
}

struct FeatureCase {
    const char *name;
    const char *features; // the banner's features, as a JSON list
    const char *service;  // one service the host must have opened for it
};

class RealAdbFeatures : public RealAdb, public ::testing::WithParamInterface<FeatureCase> {};

TEST_P(RealAdbFeatures, InstallThenRestoreCarryTheFilesAndTheLabelFollows) {
    const FeatureCase &c = GetParam();
    fixture.control(std::string("{\"mode\": \"ready\", \"features\": ") + c.features + "}");
    discs.addFolder("Arcade Classics", {{"game.bin", "abc"}});
    discs.addFolder("Racing", {{"a.iso", std::string(300000, 'r')}, {"b.cue", "cue"}});
    discs.addFolder("Racing/tracks", {{"t1.bin", std::string(70000, 't')}});
    plugInReady();

    pollerPass();
    EXPECT_TRUE(appState.cabinetReady.load());
    EXPECT_FALSE(appState.modInstalled.load());
    EXPECT_EQ(statusText(), installText);

    installWorker(nullptr);
    EXPECT_EQ(statusText(), doneText);
    ASSERT_FALSE(recorded().stages.empty());
    EXPECT_EQ(recorded().stages.back(), Done);
    EXPECT_EQ(fixture.receivedPackage(1), resourceText(emulatorPackageResource));
    EXPECT_EQ(fixture.receivedPackage(2), resourceText(launcherPackageResource));
    EXPECT_EQ(fixture.packagePlace(launcher), "data");
    EXPECT_EQ(fixture.packagePlace(emulator), "data");
    EXPECT_NE(fixture.services().find(c.service), std::string::npos) << fixture.services();

    // The disc folders land as /sdcard/roms/NAME/..., beside the two folders the install makes.
    std::map<std::string, std::string> expected;
    for (const auto &file : filesBelow(discs.path))
        expected[file.first] = file.second;
    const std::string roms = joinPath(fixture.sdcard(), "roms");
    EXPECT_EQ(filesBelow(roms), expected);
    EXPECT_TRUE(fs::is_directory(joinPath(roms, "system")));
    EXPECT_TRUE(fs::is_directory(joinPath(roms, "saves")));

    pollerPass();
    EXPECT_TRUE(appState.modInstalled.load());
    EXPECT_EQ(statusText(), restoreText);

    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), restoredText);
    EXPECT_EQ(recorded().stages.back(), Done);
    EXPECT_EQ(fixture.packagePlace(launcher), "system");
    EXPECT_EQ(fixture.packagePlace(emulator), "system");

    pollerPass();
    EXPECT_FALSE(appState.modInstalled.load());
    EXPECT_EQ(statusText(), installText);
}

const FeatureCase featureCases[] = {
    {"StreamedInstallShellV2", "[\"shell_v2\", \"cmd\", \"fixed_push_mkdir\"]",
     "exec:cmd package 'install' '-r' -S 262144\n"},
    {"PushInstallPlainShell", "[\"fixed_push_mkdir\"]",
     "shell:pm 'install' '-r' '/data/local/tmp/Emulator.apk'\n"},
    {"FoldersMadeByShell", "[\"shell_v2\", \"cmd\"]",
     "shell,v2,TERM=xterm:mkdir '/sdcard' '/sdcard/roms' '/sdcard/roms/Racing/' "
     "'/sdcard/roms/Racing/tracks/'\n"},
};
INSTANTIATE_TEST_SUITE_P(Banners, RealAdbFeatures, ::testing::ValuesIn(featureCases),
                         [](const ::testing::TestParamInfo<FeatureCase> &param) {
                             return std::string(param.param.name);
                         });

// The same command line through the real adb and through the simulator: exit code and text.
std::string answer(const char *tool, const std::string &line) {
    char output[8192];
    const int32_t code = runTool(tool, line.c_str(), output, sizeof output, 20000);
    // A push reports its speed and time, which no two runs share.
    static const std::regex timing(R"([0-9.]+ [kMG]?B/s \(([0-9]+) bytes in [0-9.]+s\))");
    return std::to_string(code) + ": " + std::regex_replace(output, timing, "RATE ($1 bytes)");
}

TEST_F(RealAdb, SimulatorAnswersAsTheRealAdbDoes) {
    ASSERT_TRUE(preparePackages());
    const std::string sim = joinPath(workDir(), "cabinet-sim");
    fs::copy_file(CABINET_SIM_PATH, sim);
    fs::permissions(sim, fs::perms::owner_all);
    discs.addFolder("Racing", {{"a.iso", std::string(5000, 'r')}, {"b.cue", "cue"}});
    const std::string push = "push \"" + joinPath(discs.path, "Racing") + "\" /sdcard/roms/";
    // The real server stays up until it is told to end; so does the simulated one here.
    cabinet.write("server-lifetime-ms", "600000");
    answer("adb", "start-server");
    answer("cabinet-sim", "start-server");

    const std::vector<std::string> everyState = {
        "shell pm path com.arcade",
        "shell am force-stop com.arcade",
        "shell mkdir -p /sdcard/roms/system /sdcard/roms/saves",
        "install -r Emulator.apk",
        push,
        "shell am start -n com.arcade/.activity.VantorHomeActivity",
        "start-server",
    };
    struct Case {
        const char *mode; // the fixture's, or none: not plugged in
        const char *link; // the simulator's
        std::vector<std::string> lines;
    };
    std::vector<Case> cases = {
        {"none", "none", everyState},
        {"unauthorized", "unauthorized", everyState},
        {"offline", "offline", everyState},
        {"ready", "ready", everyState},
    };
    cases.back().lines.insert(cases.back().lines.end(),
                              {"shell pm path com.zezuz.oneupvantormd17", "install -r Launcher.apk",
                               "shell pm path com.arcade", "uninstall com.arcade",
                               "uninstall com.arcade", "shell pm path com.arcade",
                               "shell pm path com.nothing.here"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        cabinet.setLink(c.link);
        unplug();
        if (std::string(c.mode) != "none") {
            fixture.control(std::string("{\"mode\": \"") + c.mode + "\"}");
            plugIn();
            ASSERT_TRUE(waitForState(c.mode == std::string("ready") ? "device" : c.mode));
        }
        for (const std::string &line : c.lines)
            EXPECT_EQ(answer("cabinet-sim", line), answer("adb", line)) << line;
    }
    answer("cabinet-sim", "kill-server");
}

TEST_F(RealAdb, LauncherInstallFailuresShowAdbsOwnWords) {
    struct Case {
        const char *control;
        const char *text;
    };
    const Case cases[] = {
        // The cable comes out half-way through the launcher's bytes.
        {"{\"mode\": \"ready\", \"drop_during_install\": 2}",
         "Launcher install failed.\nadb: failed to install Launcher.apk: Performing Streamed "
         "Install\n"},
        // Room for the emulator's package, not for the launcher's.
        {"{\"mode\": \"ready\", \"storage_free\": 500000}",
         "Launcher install failed.\nadb: failed to install Launcher.apk: Failure "
         "[INSTALL_FAILED_INSUFFICIENT_STORAGE]\nPerforming Streamed Install\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.control);
        // A fresh cabinet for each case: the dropped link stays dropped.
        fixture.stop();
        std::string error;
        ASSERT_TRUE(fixture.start(scratchFolder("cabinet-failures"),
                                  joinPath(joinPath(home, ".android"), "adbkey.pub"), error))
            << error;
        fixture.control(c.control);
        resetAppState();
        clearRecording();
        plugInReady();

        installWorker(nullptr);
        EXPECT_EQ(statusText(), c.text);
        ASSERT_FALSE(recorded().stages.empty());
        EXPECT_EQ(recorded().stages.back(), Failed);
        EXPECT_EQ(fixture.receivedPackage(1), resourceText(emulatorPackageResource));
        EXPECT_EQ(fixture.packagePlace(emulator), "data");
        EXPECT_EQ(fixture.packagePlace(launcher), "system");
        removeWorkDir();
        unplug();
    }
}

TEST_F(RealAdb, AuthorisationDuringTheWaitLetsTheInstallGoOn) {
    fixture.control("{\"mode\": \"authorizing\"}");
    plugIn();
    ASSERT_TRUE(waitForState("unauthorized")) << hostAdb("devices");

    // While the program waits, the owner taps "Allow USB debugging" on the cabinet.
    bool allowed = false;
    onFirstSleep = [&] {
        fixture.control("{\"mode\": \"authorizing\", \"allow\": true}");
        allowed = waitForState("device");
    };
    replaceClock({hookedTick, hookedSleep});
    installWorker(nullptr);
    VirtualClock::install(5000);
    EXPECT_TRUE(allowed) << hostAdb("devices");

    const Recording seen = recorded();
    bool askedToTap = false;
    for (const std::string &text : seen.texts)
        askedToTap = askedToTap || text.find("Waiting for authorisation...") == 0;
    EXPECT_TRUE(askedToTap);
    EXPECT_EQ(statusText(), doneText);
    EXPECT_EQ(fixture.receivedPackage(2), resourceText(launcherPackageResource));
}

TEST_F(RealAdb, TwoDevicesAnswerEachThroughItsOwnSerial) {
    ASSERT_TRUE(startPhone());
    plugInReady();
    plugIn(phone);
    ASSERT_TRUE(waitForState(phone, "device")) << hostAdb("devices");
    const std::string toCabinet = "ANDROID_SERIAL=" + fixture.serial();
    const std::string toPhone = "ANDROID_SERIAL=" + phone.serial();

    struct Case {
        std::string environment;
        std::string said;
    };
    const Case cases[] = {
        {"", "error: more than one device/emulator\n"},
        {toCabinet, "package:/system/priv-app/ArcadeLauncher/ArcadeLauncher.apk\n"},
        {toPhone, ""},
        {"ANDROID_SERIAL=127.0.0.1:1", "error: device '127.0.0.1:1' not found\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(hostAdbWith(c.environment, "shell pm path com.arcade"), c.said) << c.environment;
    // `devices` lists both, whatever ANDROID_SERIAL names.
    const std::string listed = hostAdbWith(toPhone, "devices");
    EXPECT_NE(listed.find(fixture.serial() + "\tdevice\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(phone.serial() + "\tdevice\n"), std::string::npos) << listed;

    // What is sent to the phone lands on the phone alone.
    const std::string source = scratchFolder("phone-source");
    const std::string package = joinPath(source, "Emulator.apk");
    writeFile(package, resourceText(emulatorPackageResource));
    const std::string racing = joinPath(source, "Racing");
    fs::create_directories(racing);
    writeFile(joinPath(racing, "a.iso"), std::string(70000, 'r'));
    EXPECT_EQ(hostAdbWith(toPhone, "install -r \"" + package + "\""),
              "Performing Streamed Install\nSuccess\n");
    const std::string pushed = hostAdbWith(toPhone, "push \"" + racing + "\" /sdcard/roms/");
    EXPECT_NE(pushed.find("Racing/: 1 file pushed"), std::string::npos) << pushed;
    EXPECT_EQ(phone.packagesReceived(), 1);
    EXPECT_EQ(phone.packagePlace(emulator), "data");
    EXPECT_EQ(filesBelow(joinPath(phone.sdcard(), "roms")),
              (std::map<std::string, std::string>{{"Racing/a.iso", std::string(70000, 'r')}}));
    EXPECT_EQ(fixture.packagesReceived(), 0);
    EXPECT_TRUE(filesBelow(joinPath(fixture.sdcard(), "roms")).empty());
    // On a phone the package has no system copy to fall back to: it goes.
    EXPECT_EQ(hostAdbWith(toPhone, std::string("uninstall ") + emulator), "Success\n");
    EXPECT_EQ(phone.packagePlace(emulator), "");
    EXPECT_EQ(fixture.packagePlace(emulator), "system");
}

TEST_F(RealAdb, APushThatFailsPartWayLeavesTheFilesBeforeTheFailure) {
    // One file a folder, so that the order is fixed: adb sends a folder's files before its
    // sub-folders.
    const std::string disc = joinPath(scratchFolder("push-source"), "Disc");
    fs::create_directories(joinPath(joinPath(disc, "sub"), "deeper"));
    const std::string first(300000, 'f'), second(300000, 's'), third(70000, 't');
    writeFile(joinPath(disc, "first.bin"), first);
    writeFile(joinPath(disc, "sub/second.bin"), second);
    writeFile(joinPath(disc, "sub/deeper/third.bin"), third);
    const std::map<std::string, std::string> all = {{"Disc/first.bin", first},
                                                    {"Disc/sub/second.bin", second},
                                                    {"Disc/sub/deeper/third.bin", third}};
    const std::map<std::string, std::string> firstOnly = {{"Disc/first.bin", first}};
    const std::string failedAtSecond =
        "/Disc/sub/second.bin' to '/sdcard/roms/Disc/sub/second.bin': ";

    struct Case {
        const char *control;
        std::string said;
        std::map<std::string, std::string> arrived;
        const char *state; // the link's afterwards
    };
    const Case cases[] = {
        // Paced: the copy takes a moment, and arrives whole.
        {"{\"rate\": 4000000}", "Disc/: 3 files pushed, 0 skipped.", all, "device"},
        {"{\"sdcard_free\": 450000}",
         failedAtSecond + "remote write failed: No space left on device\n", firstOnly, "device"},
        {"{\"drop_during_push\": 450000}", failedAtSecond + "couldn't read from device\n",
         firstOnly, "offline"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.control);
        fixture.stop();
        std::string error;
        ASSERT_TRUE(fixture.start(scratchFolder("cabinet-push"),
                                  joinPath(joinPath(home, ".android"), "adbkey.pub"), error))
            << error;
        fixture.control(c.control);
        plugInReady();

        const std::string said = hostAdb("push \"" + disc + "\" /sdcard/roms/");
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(filesBelow(joinPath(fixture.sdcard(), "roms")), c.arrived);
        EXPECT_GE(fixture.takenIn(), static_cast<long long>(first.size()));
        EXPECT_TRUE(waitForState(c.state)) << hostAdb("devices");
        unplug();
    }
}

TEST_F(RealAdb, AnUninstallWhoseLinkDropsEndsWithoutAWord) {
    fixture.control("{\"mode\": \"ready\", \"drop_during_uninstall\": 2}");
    plugInReady();
    EXPECT_EQ(hostAdb("uninstall com.arcade"), "Failure [DELETE_FAILED_INTERNAL_ERROR]\n");
    // The second uninstall's service opens, then the cable comes out before it answers.
    EXPECT_EQ(hostAdb("uninstall com.arcade"), "");
    EXPECT_TRUE(waitForState("offline")) << hostAdb("devices");
    EXPECT_NE(fixture.controlText().find("\"gone\""), std::string::npos) << fixture.controlText();
    EXPECT_EQ(fixture.packagePlace(launcher), "system");
}

// The cabinet with other devices beside it, or with the user's own ANDROID_SERIAL naming one of
// them: the whole journey reaches the cabinet alone.
struct OnlyTheCabinetCase {
    const char *name;
    bool phonePlugged;       // the phone stays connected beside the cabinet
    bool usersSerialIsPhone; // the user's own environment names the phone in ANDROID_SERIAL
};

class RealAdbOnlyTheCabinet : public RealAdb,
                              public ::testing::WithParamInterface<OnlyTheCabinetCase> {};

TEST_P(RealAdbOnlyTheCabinet, InstallAndRestoreReachTheCabinetAlone) {
    const OnlyTheCabinetCase &c = GetParam();
    discs.addFolder("Racing", {{"a.iso", std::string(300000, 'r')}, {"b.cue", "cue"}});
    discs.addFolder("Racing/tracks", {{"t1.bin", std::string(70000, 't')}});
    ASSERT_TRUE(startPhone());
    plugInReady();
    plugIn(phone);
    ASSERT_TRUE(waitForState(phone, "device")) << hostAdb("devices");
    installByHand(phone);
    const std::string phoneHeard = phone.services();
    if (!c.phonePlugged)
        unplug(phone);
    if (c.usersSerialIsPhone)
        setEnvironment("ANDROID_SERIAL", phone.serial().c_str());

    pollerPass();
    EXPECT_TRUE(appState.cabinetReady.load());
    EXPECT_FALSE(appState.modInstalled.load());
    EXPECT_EQ(statusText(), installText);

    installWorker(nullptr);
    EXPECT_EQ(statusText(), doneText);
    ASSERT_FALSE(recorded().stages.empty());
    EXPECT_EQ(recorded().stages.back(), Done);
    ASSERT_EQ(recorded().boxes.size(), 1u);
    EXPECT_EQ(recorded().boxes[0].caption, "Install complete");
    EXPECT_EQ(fixture.receivedPackage(1), resourceText(emulatorPackageResource));
    EXPECT_EQ(fixture.receivedPackage(2), resourceText(launcherPackageResource));
    EXPECT_EQ(fixture.packagePlace(launcher), "data");
    EXPECT_EQ(fixture.packagePlace(emulator), "data");
    EXPECT_EQ(filesBelow(joinPath(fixture.sdcard(), "roms")), filesBelow(discs.path));

    pollerPass();
    EXPECT_TRUE(appState.modInstalled.load());
    EXPECT_EQ(statusText(), restoreText);

    restoreWorker(nullptr);
    EXPECT_EQ(statusText(), restoredText);
    EXPECT_EQ(recorded().stages.back(), Done);
    EXPECT_EQ(fixture.packagePlace(launcher), "system");
    EXPECT_EQ(fixture.packagePlace(emulator), "system");

    pollerPass();
    EXPECT_EQ(statusText(), installText);

    // The phone was only asked what it is: it has the owner's copy of the emulator and nothing
    // else.
    EXPECT_EQ(phone.packagesReceived(), 1);
    EXPECT_EQ(phone.packagePlace(emulator), "data");
    EXPECT_EQ(phone.packagePlace(launcher), "");
    EXPECT_TRUE(filesBelow(joinPath(phone.sdcard(), "roms")).empty());
    EXPECT_EQ(servicesBeyondTheQuestion(phone, phoneHeard), std::vector<std::string>{});
}

const OnlyTheCabinetCase onlyTheCabinetCases[] = {
    {"PhoneBeside", true, false},
    {"UsersSerialNamesAnUnpluggedPhone", false, true},
    {"UsersSerialNamesThePhoneBeside", true, true},
};
INSTANTIATE_TEST_SUITE_P(Devices, RealAdbOnlyTheCabinet, ::testing::ValuesIn(onlyTheCabinetCases),
                         [](const ::testing::TestParamInfo<OnlyTheCabinetCase> &param) {
                             return std::string(param.param.name);
                         });

// No single cabinet to work on: a phone alone, or two cabinets. The poller offers no button, and
// a worker started all the same (as only a test can) waits its time out and touches nothing.
struct NoCabinetCase {
    const char *name;
    const char *other;   // the device beside, or instead of, the cabinet: "phone" or "cabinet"
    bool cabinetPlugged; // the test's cabinet is connected too
    const char *shown;   // the status, before the click and while the worker waits
    uint32_t (*worker)(void *);
};

class RealAdbNoCabinet : public RealAdb, public ::testing::WithParamInterface<NoCabinetCase> {};

TEST_P(RealAdbNoCabinet, NoButtonAndAWorkerFindsNoCabinet) {
    const NoCabinetCase &c = GetParam();
    discs.addFolder("Racing", {{"a.iso", "iso"}});
    EmulatedCabinet &other = std::string(c.other) == "phone" ? phone : secondCabinet;
    ASSERT_TRUE(startDevice(other, c.other));
    std::vector<const EmulatedCabinet *> plugged = {&other};
    if (c.cabinetPlugged)
        plugged.push_back(&fixture);
    std::vector<std::string> heard;
    for (const EmulatedCabinet *device : plugged) {
        plugIn(*device);
        ASSERT_TRUE(waitForState(*device, "device")) << hostAdb("devices");
        installByHand(*device);
        heard.push_back(device->services());
    }

    pollerPass();
    EXPECT_FALSE(appState.cabinetReady.load());
    EXPECT_EQ(statusText(), c.shown);

    clearRecording();
    const uint32_t clicked = VirtualClock::now.load();
    c.worker(nullptr);
    EXPECT_EQ(statusText(), noCabinetText);
    EXPECT_GT(VirtualClock::now.load() - clicked, 90000u) << "it gave up before its wait";
    const Recording seen = recorded();
    ASSERT_FALSE(seen.stages.empty());
    EXPECT_EQ(seen.stages.back(), Failed);
    EXPECT_NE(std::find(seen.texts.begin(), seen.texts.end(), c.shown), seen.texts.end());
    EXPECT_TRUE(seen.boxes.empty());

    for (size_t i = 0; i < plugged.size(); i++) {
        SCOPED_TRACE(plugged[i]->serial());
        EXPECT_EQ(plugged[i]->packagesReceived(), 1);
        EXPECT_EQ(plugged[i]->packagePlace(emulator), "data");
        EXPECT_TRUE(filesBelow(joinPath(plugged[i]->sdcard(), "roms")).empty());
        EXPECT_EQ(servicesBeyondTheQuestion(*plugged[i], heard[i]), std::vector<std::string>{});
    }
}

const NoCabinetCase noCabinetCases[] = {
    {"PhoneAloneInstall", "phone", false, notACabinetText, installWorker},
    {"PhoneAloneRestore", "phone", false, notACabinetText, restoreWorker},
    {"TwoCabinetsInstall", "cabinet", true, severalCabinetsText, installWorker},
    {"TwoCabinetsRestore", "cabinet", true, severalCabinetsText, restoreWorker},
};
INSTANTIATE_TEST_SUITE_P(Devices, RealAdbNoCabinet, ::testing::ValuesIn(noCabinetCases),
                         [](const ::testing::TestParamInfo<NoCabinetCase> &param) {
                             return std::string(param.param.name);
                         });

TEST_F(RealAdb, AFolderThatDoesNotArriveFailsTheInstall) {
    // One file a folder, so that the order is fixed: adb sends a folder's files before its
    // sub-folders. The failure comes in the second file.
    discs.addFolder("Disc", {{"first.bin", std::string(300000, 'f')}});
    discs.addFolder("Disc/sub", {{"second.bin", std::string(300000, 's')}});
    discs.addFolder("Disc/sub/deeper", {{"third.bin", std::string(70000, 't')}});
    struct Case {
        const char *control;
        const char *words; // adb's, after the file's names
    };
    const Case cases[] = {
        {"{\"mode\": \"ready\", \"sdcard_free\": 450000}",
         "remote write failed: No space left on device"},
        {"{\"mode\": \"ready\", \"drop_during_push\": 450000}", "couldn't read from device"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.control);
        restartCabinet(c.control);
        plugInReady();

        installWorker(nullptr);
        // adb's error on standard error, then on standard output the progress it had made: the
        // whole push's share, then the file's.
        const std::regex said(
            literal("Copying discs failed.\nDisc\nadb: error: failed to copy '" + discs.path +
                    "/Disc/sub/second.bin' to '/sdcard/roms/Disc/sub/second.bin': " + c.words +
                    "\n") +
            R"(\[ *[0-9]+%\] /sdcard/roms/Disc/sub/second\.bin: [0-9]+%\n)");
        EXPECT_TRUE(std::regex_match(statusText(), said)) << statusText();
        const Recording seen = recorded();
        ASSERT_FALSE(seen.stages.empty());
        EXPECT_EQ(seen.stages.back(), Failed);
        EXPECT_NE(std::find(seen.stages.begin(), seen.stages.end(), CopyingDiscs),
                  seen.stages.end());
        EXPECT_EQ(std::find(seen.stages.begin(), seen.stages.end(), StartingCabinet),
                  seen.stages.end());
        EXPECT_EQ(std::find(seen.texts.begin(), seen.texts.end(), doneText), seen.texts.end());
        EXPECT_TRUE(seen.boxes.empty());
        EXPECT_EQ(fixture.services().find("am start"), std::string::npos) << fixture.services();
        // The packages went on before the discs; of the discs, the file before the failure.
        EXPECT_EQ(fixture.packagePlace(launcher), "data");
        EXPECT_EQ(
            filesBelow(joinPath(fixture.sdcard(), "roms")),
            (std::map<std::string, std::string>{{"Disc/first.bin", std::string(300000, 'f')}}));
        removeWorkDir();
        unplug();
    }
}

TEST_F(RealAdb, ARestoreWhoseLinkDropsIsNotReportedAsDone) {
    plugInReady();
    installWorker(nullptr);
    ASSERT_EQ(statusText(), doneText);
    // The cable comes out as the launcher's uninstall (the second) opens: adb prints nothing and
    // exits 0. (Out during the emulator's, the launcher's uninstall would wait for the offline
    // device until the program's limit, minutes of real time.)
    fixture.control("{\"mode\": \"ready\", \"drop_during_uninstall\": 2}");
    clearRecording();

    restoreWorker(nullptr);
    const std::string shown = statusText();
    EXPECT_EQ(shown.rfind("Restore failed.\n", 0), 0u) << shown;
    EXPECT_GT(shown.size(), std::string("Restore failed.\n").size()) << "without adb's words";
    const Recording seen = recorded();
    ASSERT_FALSE(seen.stages.empty());
    EXPECT_EQ(seen.stages.back(), Failed);
    EXPECT_EQ(std::find(seen.texts.begin(), seen.texts.end(), restoredText), seen.texts.end());
    EXPECT_NE(fixture.controlText().find("\"gone\""), std::string::npos) << fixture.controlText();
    // The emulator's update is gone; the launcher's, and so the modification, is still there.
    EXPECT_EQ(fixture.packagePlace(emulator), "system");
    EXPECT_EQ(fixture.packagePlace(launcher), "data");
}

// The percentage a progress line shows.
int percentOf(const std::string &line) {
    const size_t sign = line.find('%');
    const size_t start = line.rfind(' ', sign) + 1;
    return sign == std::string::npos ? -1 : std::stoi(line.substr(start, sign - start));
}

// The progress line through the real adb, with the cabinet slowed down: it moves while a folder
// and a package travel, adb's answers carry no trace line, and the trace counted the folder's
// bytes exactly. adb and its server run up to about 4 MB ahead of the cabinet, so the transfers
// are larger than that.
TEST_F(RealAdb, ProgressFollowsASlowCopyAndASlowInstall) {
    fixture.control("{\"mode\": \"ready\", \"rate\": 3000000}");
    plugInReady();
    ASSERT_TRUE(preparePackages());
    discs.addFolder("Slow", {{"a.bin", std::string(4000000, 'a')},
                             {"b.bin", std::string(4000000, 'b')},
                             {"note.txt", "hello\n"}});
    discs.addFolder("Slow/sub", {{"c.bin", std::string(4000000, 'c')}});
    const uint64_t folderBytes = 12000006;
    // A launcher of 16 MB: the stand-in's first line names it to the cabinet.
    char work[pathSize];
    copyWorkDir(work, sizeof work);
    const std::string launcherFile = joinPath(work, "Launcher.apk");
    const std::string standIn = resourceText(launcherPackageResource);
    writeFile(launcherFile, standIn.substr(0, standIn.find('\n') + 1) + std::string(16000000, 'l'));
    uint64_t packageBytes = 0;
    ASSERT_TRUE(fileSize(launcherFile.c_str(), &packageBytes));

    struct Transfer {
        std::string arguments;
        uint64_t bytes;
        std::string answer; // a pattern
        bool traced;        // a push's trace shows its data; a streamed install's does not
    };
    const Transfer transfers[] = {
        {"push \"" + joinPath(discs.path, "Slow") + "\" /sdcard/roms/", folderBytes,
         literal(discs.path + "/Slow/") +
             R"(: 4 files pushed, 0 skipped\. [0-9.]+ MB/s \(12000006 bytes in [0-9.]+s\)\n)",
         true},
        {"install -r Launcher.apk", packageBytes, "Performing Streamed Install\nSuccess\n", false},
    };
    for (const Transfer &t : transfers) {
        SCOPED_TRACE(t.arguments);
        clearRecording();
        TransferProgress progress;
        beginTransfer(&progress, t.bytes);
        char output[8192];
        const int32_t result = runAdbMeasured(fixture.serial().c_str(), t.arguments.c_str(), output,
                                              sizeof output, 300000, &progress, t.bytes);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(std::regex_match(output, std::regex(t.answer))) << output;
        if (t.traced)
            EXPECT_EQ(progress.runMeasured, t.bytes);
        else // the bytes the tool read: the package, and the little it read besides
            EXPECT_GE(progress.runMeasured, t.bytes);
        std::vector<std::string> lines;
        for (const std::string &line : recorded().progress)
            if (!line.empty())
                lines.push_back(line);
        EXPECT_GE(lines.size(), 4u) << "the line changed three times at least";
        for (size_t i = 1; i < lines.size(); i++)
            EXPECT_LE(percentOf(lines[i - 1]), percentOf(lines[i])) << "the figure only grows";
        for (const std::string &line : lines)
            EXPECT_EQ(line.find("100%"), std::string::npos) << line;
    }
    EXPECT_EQ(fixture.packagePlace(launcher), "data");
}

} // namespace
