#include "cabinet/tool_runner.h"

#include <cstdio>

#include "app/app_state.h"
#include "cabinet/adb_trace.h"
#include "cabinet/transfer_progress.h"
#include "platform/platform.h"

constexpr int commandLineSize = 2048;
constexpr int serialVariableSize = 256;
constexpr uint32_t measureEveryMs = 250;
constexpr uint32_t traceBatchMs = 10;

static void emptyOutput(char *output, int32_t size) {
    if (output != nullptr && size > 0)
        output[0] = '\0';
}

// A run whose transfer is measured: adb's trace of its writes to its server, read out of its own
// output, or where the trace shows no file data (a streamed install writes its package untraced),
// the bytes the tool has read.
struct Measure {
    TransferProgress *progress;
    uint64_t runTotal;
    TraceReader trace;
};

static void measure(Measure *measured, ChildProcess *child) {
    uint64_t bytes = measured->trace.fileBytes;
    if (bytes == 0) {
        const int64_t read = childBytesRead(child);
        bytes = read > 0 ? static_cast<uint64_t>(read) : 0;
    }
    measureTransfer(measured->progress, bytes, measured->runTotal, monotonicMilliseconds());
}

// The user's own ANDROID_SERIAL would send every command to whatever device it names, and their
// own ADB_TRACE would mix adb's trace into its answers: neither reaches the tool. A run pinned to
// a device gets that device's serial instead, and a measured run the trace of its writes.
static int32_t runToolWith(const char *tool, const char *serial, Measure *measured,
                           const char *arguments, char *output, int32_t size,
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
    char serialVariable[serialVariableSize] = "ANDROID_SERIAL";
    if (serial != nullptr && serial[0] != '\0')
        snprintf(serialVariable, sizeof serialVariable, "ANDROID_SERIAL=%s", serial);
    const char *const environmentChanges[] = {serialVariable,
                                              measured ? "ADB_TRACE=rwx" : "ADB_TRACE", nullptr};

    // The deadline runs on the system's clock: a tool's time is real time even when the
    // program's own waits are being driven by a test clock.
    const uint64_t deadline = monotonicMilliseconds() + timeLimitMs;
    ChildProcess child;
    if (!startChild(commandLine, workDir, environmentChanges, &child)) {
        emptyOutput(output, size);
        return -1;
    }

    const size_t capacity = size > 0 ? static_cast<size_t>(size) - 1 : 0;
    size_t position = 0;
    bool limitPassed = false;
    char scratch[65536]; // a batch of trace lines at a time
    if (measured)
        startTrace(&measured->trace);
    while (position < capacity) {
        const uint64_t now = monotonicMilliseconds();
        if (now >= deadline) {
            limitPassed = true;
            break;
        }
        uint32_t waitMs = static_cast<uint32_t>(deadline - now);
        if (measured && waitMs > measureEveryMs)
            waitMs = measureEveryMs;
        // A measured run's output passes through the trace reader on its way to the buffer.
        char *into = measured ? scratch : output + position;
        const size_t room = measured ? sizeof scratch : capacity - position;
        const int32_t count = readChildOutput(&child, into, static_cast<int32_t>(room), waitMs);
        if (count == childReadTimedOut) {
            if (measured)
                measure(measured, &child);
            continue; // the deadline is looked at above
        }
        if (count <= 0)
            break; // the output has closed or a read failed
        if (!measured) {
            position += static_cast<size_t>(count);
            continue;
        }
        readTrace(&measured->trace, scratch, static_cast<size_t>(count), output, capacity,
                  &position);
        measure(measured, &child);
        // adb writes a trace line at a time: reading them in batches spares a wake-up for each,
        // which would take processor time from adb and its server on a small machine.
        sleepMilliseconds(traceBatchMs);
    }
    if (measured)
        endTrace(&measured->trace, output, capacity, &position);
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
    return runToolWith(tool, nullptr, nullptr, arguments, output, size, timeLimitMs);
}

static bool toolUnpacked(char *output, int32_t size) {
    if (appState.adbReady.load())
        return true;
    emptyOutput(output, size);
    return false;
}

int32_t runAdbOn(const char *serial, const char *arguments, char *output, int32_t size,
                 uint32_t timeLimitMs) {
    if (!toolUnpacked(output, size))
        return -1;
    return runToolWith(platformToolFiles[0].fileName, serial, nullptr, arguments, output, size,
                       timeLimitMs);
}

int32_t runAdb(const char *arguments, char *output, int32_t size, uint32_t timeLimitMs) {
    return runAdbOn(nullptr, arguments, output, size, timeLimitMs);
}

int32_t runAdbMeasured(const char *serial, const char *arguments, char *output, int32_t size,
                       uint32_t timeLimitMs, TransferProgress *progress, uint64_t runTotal) {
    if (!toolUnpacked(output, size))
        return -1;
    Measure measured;
    measured.progress = progress;
    measured.runTotal = runTotal;
    return runToolWith(platformToolFiles[0].fileName, serial, &measured, arguments, output, size,
                       timeLimitMs);
}
