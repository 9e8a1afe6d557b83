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
    /* adbReady */ {false},
    /* packagesReady */ {false},
    /* workDir */ "",
    /* pollerThread */ {nullptr},
};

static std::mutex statusTextGuard;
static std::mutex workDirGuard;

void setStatusText(const char *format, ...) {
    std::lock_guard<std::mutex> hold(statusTextGuard);
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(appState.statusText, sizeof appState.statusText, format, arguments);
    va_end(arguments);
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
