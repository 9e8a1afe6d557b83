// A fresh simulated cabinet, temporary folder and virtual clock for each test of the cabinet
// link, with every status text, stage and message box recorded in order.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "tests/support/cabinet_sim_state.h"

// The serial the simulator lists its cabinet under.
constexpr char simCabinetSerial[] = "R58M12ABCDE";

struct RecordedBox {
    void *owner;
    std::string text;
    std::string caption;
    uint32_t type;
};

struct Recording {
    std::vector<std::string> texts;
    std::vector<std::string> progress; // every write of the progress line
    std::vector<OperationStage> stages;
    std::vector<RecordedBox> boxes;
};

// What has been recorded so far (a copy, taken under the recorder's lock).
Recording recorded();
void clearRecording();

class CabinetTest : public ::testing::Test {
  protected:
    std::string temporary;
    SimCabinet cabinet;
    void SetUp() override;
    void TearDown() override;
    // The work folder as it is now.
    std::string workDir() const;
    // The argument lists the simulator logged, and the folders it ran in.
    std::vector<std::vector<std::string>> commands() const;
};

// After a successful operation the work folder is removed. On Windows the tool's server, started
// from the work folder, keeps its program file (and so the folder) until it ends, as adb.exe's
// server does; everything else must be gone.
void expectWorkFolderRemoved(const std::string &folder);

// Splits a line without quotes at its blanks, e.g. "shell am force-stop com.arcade".
std::vector<std::string> words(const std::string &line);
std::string statusText();
