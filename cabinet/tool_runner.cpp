#include "cabinet/tool_runner.h"

#include <cstdio>

#include "app/app_state.h"
#include "platform/platform.h"

constexpr int commandLineSize = 2048;
constexpr int serialVariableSize = 256;

static void emptyOutput(char *output, int32_t size) {
    if (output != nullptr && size > 0)
        output[0] = '\0';
}

// The user's own ANDROID_SERIAL would send every command to whatever device it names, so it never
// reaches the tool; a run pinned to a device gets that device's serial instead.
static int32_t runPinnedTool(const char *tool, const char *serial, const char *arguments,
                             char *output, int32_t size, uint32_t timeLimitMs) {
    char workDir[pathSize];
    copyWorkDir(workDir, sizeof workDir);
    char commandLine[commandLineSize];
    snprintf(commandLine, sizeof commandLine, "\"%s%c%s\" %s", workDir, platformPathSeparator, tool,
             arguments ? arguments : "");
    char serialVariable[serialVariableSize] = "ANDROID_SERIAL";
    if (serial != nullptr && serial[0] != '\0')
        snprintf(serialVariable, sizeof serialVariable, "ANDROID_SERIAL=%s", serial);
    const char *const environmentChanges[] = {serialVariable, nullptr};

    // The deadline runs on the system's clock: a tool's time is real time even when the
    // program's own waits are being driven by a test clock.
    const uint64_t deadline = monotonicMilliseconds() + timeLimitMs;
    ChildProcess child;
    if (!startChild(commandLine, workDir, environmentChanges, &child)) {
        emptyOutput(output, size);
        return -1;
    }

    int32_t position = 0;
    bool limitPassed = false;
    while (position < size - 1) {
        const uint64_t now = monotonicMilliseconds();
        if (now >= deadline) {
            limitPassed = true;
            break;
        }
        const int32_t count = readChildOutput(&child, output + position, size - 1 - position,
                                              static_cast<uint32_t>(deadline - now));
        if (count == childReadTimedOut) {
            limitPassed = true;
            break;
        }
        if (count <= 0)
            break; // the output has closed or a read failed
        position += count;
    }
    if (size > 0)
        output[position] = '\0';
    closeChildOutput(&child);

    // Past the limit nothing the run started may act any more, even when the child itself has
    // ended and left something behind that holds its output open.
    const uint64_t now = monotonicMilliseconds();
    return finishChild(&child, now < deadline ? static_cast<uint32_t>(deadline - now) : 0,
                       limitPassed);
}

int32_t runTool(const char *tool, const char *arguments, char *output, int32_t size,
                uint32_t timeLimitMs) {
    return runPinnedTool(tool, nullptr, arguments, output, size, timeLimitMs);
}

int32_t runAdbOn(const char *serial, const char *arguments, char *output, int32_t size,
                 uint32_t timeLimitMs) {
    if (!appState.adbReady.load()) {
        emptyOutput(output, size);
        return -1;
    }
    return runPinnedTool(platformToolFiles[0].fileName, serial, arguments, output, size,
                         timeLimitMs);
}

int32_t runAdb(const char *arguments, char *output, int32_t size, uint32_t timeLimitMs) {
    return runAdbOn(nullptr, arguments, output, size, timeLimitMs);
}
