// Running a tool from the work folder with its output captured and its time bounded.
#pragma once

#include <cstdint>

struct TransferProgress;

// Runs `tool` from the work folder with `arguments` (absent counts as empty), the work folder as
// its current folder and no input. The output buffer receives at most size - 1 bytes of what the
// child wrote to standard output and error, then a NUL. The time limit bounds the whole call,
// reading included; a child still running at the limit is ended, with what it started (a server
// that detached itself excepted), before the call returns 259. Returns the child's exit code,
// 259 at the limit, or -1 when it could not be started or its exit code cannot be read. Without a
// work folder nothing is started: -1 with an empty output.
int32_t runTool(const char *tool, const char *arguments, char *output, int32_t size,
                uint32_t timeLimitMs);

// runTool for the cabinet tool, once it has been unpacked: until then -1 with an empty output,
// and nothing is started. The tool picks the device itself (it refuses when several are
// connected).
int32_t runAdb(const char *arguments, char *output, int32_t size, uint32_t timeLimitMs);

// runAdb pinned to one device by its serial (the tool reads it from ANDROID_SERIAL), so that the
// argument line stays the same whatever else is connected. A null or empty serial pins nothing.
int32_t runAdbOn(const char *serial, const char *arguments, char *output, int32_t size,
                 uint32_t timeLimitMs);

// runAdbOn for a run that sends a file or folder of `runTotal` bytes, its share of the step that
// `progress` follows: adb traces its writes (ADB_TRACE=rwx), the trace is taken out of the output
// (which holds exactly what adb printed besides) and counted, and the progress line follows at
// least once a second while bytes move. It never reaches the run's total by itself.
int32_t runAdbMeasured(const char *serial, const char *arguments, char *output, int32_t size,
                       uint32_t timeLimitMs, TransferProgress *progress, uint64_t runTotal);
