#include "tests/support/cabinet_fixture.h"

#include <mutex>
#include <sstream>

#include "cabinet/payload.h"
#include "platform/platform.h"
#include "tests/support/test_environment.h"

static std::mutex recordingLock;
static Recording recording;

static void recordText(const char *text) {
    std::lock_guard<std::mutex> hold(recordingLock);
    recording.texts.push_back(text);
}

static void recordProgress(const char *text) {
    std::lock_guard<std::mutex> hold(recordingLock);
    recording.progress.push_back(text);
}

static void recordStage(OperationStage stage) {
    std::lock_guard<std::mutex> hold(recordingLock);
    recording.stages.push_back(stage);
}

static int32_t recordBox(void *owner, const char *text, const char *caption, uint32_t type) {
    std::lock_guard<std::mutex> hold(recordingLock);
    recording.boxes.push_back({owner, text, caption, type});
    return messageBoxChoseOk;
}

Recording recorded() {
    std::lock_guard<std::mutex> hold(recordingLock);
    return recording;
}

void clearRecording() {
    std::lock_guard<std::mutex> hold(recordingLock);
    recording = Recording();
}

void CabinetTest::SetUp() {
    resetAppState();
    const std::string name = folderNameForThisRun();
    temporary = scratchFolder("temp-" + name);
    useTemporaryFolder(temporary);
    cabinet = SimCabinet::create(name);
    VirtualClock::install(5000);
    clearRecording();
    observeState({recordText, recordStage, recordProgress});
    replaceMessageBox(recordBox);
}

void CabinetTest::TearDown() {
    observeState({nullptr, nullptr, nullptr});
    replaceMessageBox(nullptr);
    removeWorkDir();
    cabinet.destroy();
    VirtualClock::uninstall();
    resetAppState();
    restoreTemporaryFolder();
    removeTree(temporary);
}

std::string CabinetTest::workDir() const {
    char path[pathSize];
    copyWorkDir(path, sizeof path);
    return path;
}

std::vector<std::vector<std::string>> CabinetTest::commands() const {
    std::vector<std::vector<std::string>> lines;
    for (const SimInvocation &invocation : cabinet.log())
        lines.push_back(invocation.arguments);
    return lines;
}

std::vector<std::string> words(const std::string &line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        out.push_back(word);
    return out;
}

std::string statusText() {
    char text[statusTextSize];
    copyStatusText(text, sizeof text);
    return text;
}

void expectWorkFolderRemoved(const std::string &folder) {
#ifdef _WIN32
    if (pathExists(folder)) {
        const std::vector<std::string> left = folderNames(folder);
        EXPECT_EQ(left, std::vector<std::string>{"adb.exe"}) << folder;
    }
#else
    EXPECT_FALSE(pathExists(folder)) << folder;
#endif
}
