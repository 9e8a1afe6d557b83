// The disc folders beside the executable and what the cabinet receives of them.
#include <gtest/gtest.h>
#include <string>

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
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
    pushDiscs();
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(recorded().texts.empty());
    // A file named discs is no folder either.
    writeFile(discs.path, "not a folder");
    pushDiscs();
    EXPECT_TRUE(commands().empty());
}

TEST_F(Discs, OnlyFilesMakesTheFoldersAndSendsNothing) {
    discs.addFile("readme.txt", "plain files are not sent");
    pushDiscs();
    EXPECT_EQ(commands(), Lines{makeFolders});
    EXPECT_TRUE(recorded().texts.empty()) << "the launcher text stays";
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
}

TEST_F(Discs, EachSubFolderIsOnePushAfterItsText) {
    discs.addFolder("Shooters", {{"one.bin", "1"}, {"two.bin", std::string(70000, '2')}});
    discs.addFolder("Puzzle", {{"p.iso", "p"}});
    discs.addFolder(".hidden", {{"secret.bin", "never sent"}});
    discs.addFile("notes.txt", "not sent");
    pushDiscs();
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
    pushDiscs();
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
    pushDiscs();
    Lines expected = {makeFolders};
    const Lines pushes = discs.expectedPushes();
    expected.insert(expected.end(), pushes.begin(), pushes.end());
    EXPECT_EQ(commands(), expected);
    EXPECT_EQ(pushes.size(), names.size());
    for (const std::string &text : recorded().texts)
        EXPECT_EQ(text.find("Copying discs...\n"), 0u) << text;
    EXPECT_TRUE(discs.matchesCabinet(cabinet));
}

} // namespace
