#include "app/app_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "window/help_text.h"

const char initialStatusText[] =
    "Waiting for cabinet...\nEnable USB debugging and\nconnect a USB cable.";

// Constant-initialised: every value is in place before any code of ours runs.
AppState appState = {
    /* appRunning */ {true},
    /* pollerRunning */ {true},
    /* windowWidth */ 626,
    /* windowHeight */ 626,
    /* statusText */ "Waiting for cabinet...\nEnable USB debugging and\nconnect a USB cable.",
    /* progressText */ "",
    /* helpVideoUrl */ helpVideoUrlText,
    /* helpText */ helpTextLines,
    /* windowHandle */ {nullptr},
    /* deviceContext */ {nullptr},
    /* glContext */ {nullptr},
    /* mouseX */ 0,
    /* mouseYUp */ 0,
    /* dragging */ false,
    /* hoverClose */ false,
    /* hoverSound */ false,
    /* dragOffsetX */ 0,
    /* dragOffsetY */ 0,
    /* hoverPrimary */ false,
    /* hoverHelp */ false,
    /* soundMuted */ false,
    /* operationStage */ {Idle},
    /* workerThread */ {nullptr},
    /* cabinetReady */ {false},
    /* modInstalled */ {false},
    /* cabinetSerial */ "",
    /* adbReady */ {false},
    /* packagesReady */ {false},
    /* workDir */ "",
    /* pollerThread */ {nullptr},
};

static std::mutex statusTextGuard;
static std::mutex workDirGuard;
static std::mutex cabinetSerialGuard;
static std::atomic<void (*)(const char *)> statusTextObserver{nullptr};
static std::atomic<void (*)(OperationStage)> stageObserver{nullptr};
static std::atomic<void (*)(const char *)> progressTextObserver{nullptr};

// Call with the status text's guard held.
static void writeStatusText(const char *format, va_list arguments) {
    vsnprintf(appState.statusText, sizeof appState.statusText, format, arguments);
    if (void (*observer)(const char *) = statusTextObserver.load())
        observer(appState.statusText);
}

static void writeStatusTextF(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void writeStatusTextF(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    writeStatusText(format, arguments);
    va_end(arguments);
}

void setStatusText(const char *format, ...) {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    va_list arguments;
    va_start(arguments, format);
    writeStatusText(format, arguments);
    va_end(arguments);
}

void setOperationStage(OperationStage stage) {
    appState.operationStage.store(stage);
    if (void (*observer)(OperationStage) = stageObserver.load())
        observer(stage);
}

bool beginOperation() {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    const OperationStage stage = appState.operationStage.load();
    if (stage != Idle && stage != Done && stage != Failed)
        return false;
    setOperationStage(Preparing);
    writeStatusTextF("%s", "Preparing...");
    return true;
}

bool reportCabinetReadyWhileIdle(bool ready, const char *serial) {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    if (appState.operationStage.load() != Idle)
        return false;
    appState.cabinetReady.store(ready);
    setCabinetSerial(serial);
    return true;
}

bool reportModInstalledWhileIdle(bool installed, const char *text) {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    if (appState.operationStage.load() != Idle)
        return false;
    appState.modInstalled.store(installed);
    writeStatusTextF("%s", text);
    return true;
}

bool reportStatusTextWhileIdle(const char *text) {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    if (appState.operationStage.load() != Idle)
        return false;
    writeStatusTextF("%s", text);
    return true;
}

void observeState(StateObserver observer) {
    statusTextObserver.store(observer.statusTextWritten);
    stageObserver.store(observer.stageWritten);
    progressTextObserver.store(observer.progressTextWritten);
}

void setProgressText(const char *text) {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    snprintf(appState.progressText, sizeof appState.progressText, "%s", text);
    if (void (*observer)(const char *) = progressTextObserver.load())
        observer(appState.progressText);
}

void copyProgressText(char *out, size_t size) {
    if (size == 0)
        return;
    std::lock_guard<std::mutex> hold(statusTextGuard);
    snprintf(out, size, "%s", appState.progressText);
}

void copyStatusText(char *out, size_t size) {
    if (size == 0)
        return;
    std::lock_guard<std::mutex> hold(statusTextGuard);
    snprintf(out, size, "%s", appState.statusText);
}

void copyWorkDir(char *out, size_t size) {
    if (size == 0)
        return;
    std::lock_guard<std::mutex> hold(workDirGuard);
    snprintf(out, size, "%s", appState.workDir);
}

void setWorkDir(const char *path) {
    std::lock_guard<std::mutex> hold(workDirGuard);
    snprintf(appState.workDir, sizeof appState.workDir, "%s", path);
}

void clearWorkDirIf(const char *path) {
    std::lock_guard<std::mutex> hold(workDirGuard);
    if (strcmp(appState.workDir, path) == 0)
        appState.workDir[0] = '\0';
}

void copyCabinetSerial(char *out, size_t size) {
    if (size == 0)
        return;
    std::lock_guard<std::mutex> hold(cabinetSerialGuard);
    snprintf(out, size, "%s", appState.cabinetSerial);
}

void setCabinetSerial(const char *serial) {
    std::lock_guard<std::mutex> hold(cabinetSerialGuard);
    snprintf(appState.cabinetSerial, sizeof appState.cabinetSerial, "%s", serial);
}
