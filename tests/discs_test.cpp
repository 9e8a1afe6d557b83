// The disc folders beside the executable and what the cabinet receives of them.
#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/disc_sizes.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/cabinet_fixture.h"
#include "tests/support/discs_folder.h"
#include "tests/support/test_environment.h"

namespace {

using Lines = std::vector<std::vector<std::string>>;
const std::vector<std::string> makeFolders =
    words("shell mkdir -p /sdcard/roms/system /sdcard/roms/saves");

class Discs : public CabinetTest {
  protected:
    DiscsFolder discs;
    void SetUp() override {
        CabinetTest::SetUp();
        discs.remove();
        cabinet.setLink("ready");
        ASSERT_TRUE(prepareAdb());
        setStatusText("%s", "Installing launcher...\n(150 MB, please wait)");
        clearRecording();
    }
    void TearDown() override {
        discs.remove();
        CabinetTest::TearDown();
    }
};

TEST_F(Discs, NoFolderSendsNothingAndMakesNoFolders) {
    EXPECT_TRUE(pushDiscs(simCabinetSerial));
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(recorded().texts.empty());
    // A file named discs is no folder either.
    writeFile(discs.path, "not a folder");
    EXPECT_TRUE(pushDiscs(simCabinetSerial));
    EXPECT_TRUE(commands().empty());
}

TEST_F(Discs, OnlyFilesMakesTheFoldersAndSendsNothing) {
    discs.addFile("readme.txt", "plain files are not sent");
    EXPECT_TRUE(pushDiscs(simCabinetSerial));
    EXPECT_EQ(commands(), Lines{makeFolders});
    EXPECT_TRUE(recorded().texts.empty()) << "the launcher text stays";
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
}

TEST_F(Discs, EachSubFolderIsOnePushAfterItsText) {
    discs.addFolder("Shooters", {{"one.bin", "1"}, {"two.bin", std::string(70000, '2')}});
    discs.addFolder("Puzzle", {{"p.iso", "p"}});
    discs.addFolder(".hidden", {{"secret.bin", "never sent"}});
    discs.addFile("notes.txt", "not sent");
    EXPECT_TRUE(pushDiscs(simCabinetSerial));
    Lines expected = {makeFolders};
    const Lines pushes = discs.expectedPushes();
    expected.insert(expected.end(), pushes.begin(), pushes.end());
    EXPECT_EQ(pushes.size(), 2u);
    EXPECT_EQ(commands(), expected);
    std::vector<std::string> texts;
    for (const std::string &name : discs.folderOrder())
        texts.push_back("Copying discs...\n" + name + "\n(this can take a while)");
    EXPECT_EQ(recorded().texts, texts);
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
}

TEST_F(Discs, LongNameIsCutInTheTextButSentWhole) {
    const std::string name = std::string(35, 'L') + std::string(35, 'n');
    discs.addFolder(name, {{"x.bin", "x"}});
    EXPECT_TRUE(pushDiscs(simCabinetSerial));
    ASSERT_EQ(recorded().texts.size(), 1u);
    EXPECT_EQ(recorded().texts[0],
              "Copying discs...\n" + name.substr(0, 60) + "\n(this can take a while)");
    EXPECT_EQ(commands().back(), discs.expectedPushes().back());
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
}

// Every name reaches the tool as one argument, and no percent sign is taken as a conversion.
TEST_F(Discs, AwkwardNamesArriveAsOneArgument) {
    std::vector<std::string> names = {"Space Harrier II", "100% Complete", "%s%n%%",
                                      "Caf\xe9 Racer", "semi;colon&amp"};
#ifndef _WIN32
    names.push_back("trailing dot.");
    names.push_back("The \"Best\" Of");
    names.push_back("ends in backslash\\");
    names.push_back("tab\there");
#endif
    for (const std::string &name : names)
        discs.addFolder(name, {{"game.bin", name}});
    EXPECT_TRUE(pushDiscs(simCabinetSerial));
    Lines expected = {makeFolders};
    const Lines pushes = discs.expectedPushes();
    expected.insert(expected.end(), pushes.begin(), pushes.end());
    EXPECT_EQ(commands(), expected);
    EXPECT_EQ(pushes.size(), names.size());
    for (const std::string &text : recorded().texts)
        EXPECT_EQ(text.find("Copying discs...\n"), 0u) << text;
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
}

// A folder that does not arrive ends the copy there: the operation fails with the folder's name
// and adb's own words, and no later folder is sent.
TEST_F(Discs, FolderThatDoesNotArriveFailsTheCopyWithAdbsWords) {
    struct FailureCase {
        const char *name;
        const char *fault; // the answer to the first push: exit code, then the words
        const char *words;
    };
    const FailureCase cases[] = {
        {"storage full",
         "1\tadb: error: failed to copy 'a.bin' to '/sdcard/roms/A/a.bin': remote "
         "write failed: No space left on device\\n",
         "adb: error: failed to copy 'a.bin' to '/sdcard/roms/A/a.bin': remote write failed: No "
         "space left on device\n"},
        {"link dropped", "1\terror: closed\\n", "error: closed\n"},
        {"failure words with exit code 0", "0\tadb: error: connect failed: closed\\n",
         "adb: error: connect failed: closed\n"},
        {"exit code alone", "1\t", ""},
    };
    discs.addFolder("First", {{"a.bin", "a"}});
    discs.addFolder("Second", {{"b.bin", "b"}});
    const std::string first = discs.folderOrder().front();
    for (const FailureCase &c : cases) {
        cabinet.write("log", "");
        cabinet.write("faults", std::string("push\t1\tanswer\t") + c.fault + "\n");
        clearRecording();
        EXPECT_FALSE(pushDiscs(simCabinetSerial)) << c.name;
        EXPECT_EQ(statusText(), "Copying discs failed.\n" + first + "\n" + toolText(c.words))
            << c.name;
        EXPECT_EQ(appState.operationStage.load(), Failed) << c.name;
        EXPECT_EQ(commands(), (Lines{makeFolders, discs.expectedPushes().front()})) << c.name;
    }
}

TEST_F(Discs, FolderNameAndWordsEnterTheTextCutAndAsPlainText) {
    const std::string name = std::string(60, 'N') + "%s%n";
    discs.addFolder(name, {{"a.bin", "a"}});
    const std::string words = "adb: error: %s %n " + std::string(400, 'w');
    cabinet.write("faults", "push\t1\tanswer\t1\t" + words + "\n");
    EXPECT_FALSE(pushDiscs(simCabinetSerial));
    EXPECT_EQ(statusText(),
              "Copying discs failed.\n" + name.substr(0, 60) + "\n" + words.substr(0, 300));
}

// The copy's time limit grows with the folder; the sizes are the files' own, sub-folders included.
TEST_F(Discs, LimitIsTwentyMinutesOrOneSecondPerMegabyte) {
    const std::pair<uint64_t, uint32_t> limits[] = {
        {0, 1200000u},
        {1200000000u, 1200000u},
        {1500000000u, 1500000u},
        {64000000000u, 64000000u},
        {UINT64_MAX, 0xFFFFFFFEu},
    };
    for (const auto &limit : limits)
        EXPECT_EQ(pushLimitMs(limit.first), limit.second) << limit.first;

    discs.addFolder("Sized", {{"a.bin", std::string(1000, 'a')}, {"b.bin", "bb"}});
    const std::string inner = joinPath(joinPath(discs.path, "Sized"), "Inner");
    createPrivateFolder(inner.c_str());
    writeFile(joinPath(inner, "c.bin"), std::string(70000, 'c'));
    EXPECT_EQ(folderBytes(joinPath(discs.path, "Sized").c_str()), 71002u);
    EXPECT_EQ(folderBytes(joinPath(discs.path, "missing").c_str()), 0u);
}

} // namespace
