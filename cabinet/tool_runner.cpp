#include "cabinet/tool_runner.h"

#include <cstdio>

#include "app/app_state.h"
#include "platform/platform.h"

constexpr int commandLineSize = 2048;

static void emptyOutput(char *output, int32_t size) {
    if (output != nullptr && size > 0)
        output[0] = '\0';
}

int32_t runTool(const char *tool, const char *arguments, char *output, int32_t size,
                uint32_t timeLimitMs) {
    char workDir[pathSize];
    copyWorkDir(workDir, sizeof workDir);
    // Tools run only from the work folder: without one, a path of the tool's bare name would
    // start whatever lies at the root of the current drive, or in the current folder.
    if (workDir[0] == '\0') {
        emptyOutput(output, size);
        return -1;
    }
    char commandLine[commandLineSize];
    snprintf(commandLine, sizeof commandLine, "\"%s%c%s\" %s", workDir, platformPathSeparator, tool,
             arguments ? arguments : "");

    // The deadline runs on the system's clock: a tool's time is real time even when the
    // program's own waits are being driven by a test clock.
    const uint64_t deadline = monotonicMilliseconds() + timeLimitMs;
    ChildProcess child;
    if (!startChild(commandLine, workDir, &child)) {
        emptyOutput(output, size);
        return -1;
    }

    int32_t position = 0;
    while (position < size - 1) {
        const uint64_t now = monotonicMilliseconds();
        if (now >= deadline)
            break;
        const int32_t count = readChildOutput(&child, output + position, size - 1 - position,
                                              static_cast<uint32_t>(deadline - now));
        if (count <= 0)
            break; // the output has closed, a read failed, or the time is up
        position += count;
    }
    if (size > 0)
        output[position] = '\0';
    closeChildOutput(&child);

    const uint64_t now = monotonicMilliseconds();
    return finishChild(&child, now < deadline ? static_cast<uint32_t>(deadline - now) : 0);
}

int32_t runAdb(const char *arguments, char *output, int32_t size, uint32_t timeLimitMs) {
    if (!appState.adbReady.load()) {
        emptyOutput(output, size);
        return -1;
    }
    return runTool(platformToolFiles[0].fileName, arguments, output, size, timeLimitMs);
}
