// Running a tool from the work folder with its output captured and its time bounded.
#pragma once

#include <cstdint>

// Runs `tool` from the work folder with `arguments` (absent counts as empty), the work folder as
// its current folder and no input. The output buffer receives at most size - 1 bytes of what the
// child wrote to standard output and error, then a NUL. The time limit bounds the whole call,
// reading included. Returns the child's exit code, 259 when it is still running at the limit (it
// goes on running), or -1 when it could not be started or its exit code cannot be read. Without a
// work folder nothing is started: -1 with an empty output.
int32_t runTool(const char *tool, const char *arguments, char *output, int32_t size,
                uint32_t timeLimitMs);

// runTool for the cabinet tool, once it has been unpacked: until then -1 with an empty output,
// and nothing is started.
int32_t runAdb(const char *arguments, char *output, int32_t size, uint32_t timeLimitMs);
