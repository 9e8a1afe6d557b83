// adb's trace of what it writes to its server (ADB_TRACE=rwx), read from the same pipe as its own
// output: the trace lines are taken out and counted, everything else is kept as adb wrote it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int traceLineBytes = 512;

// A trace line looks like
//   adb D 12-11 12:56:21  5310  5310 adb_io.cpp:107] writex: fd=6 len=65536 44415441f8ff... DATA...
// The file data goes out as the sync protocol's DATA chunks ("DATA" and a length, then the
// bytes), or, for a small file, in one write with its SEND request and DONE.
struct TraceReader {
    int state;                 // where in a line the reader stands
    int held;                  // bytes of the line held while it is told apart
    char line[traceLineBytes]; // the line so far
    uint64_t fileBytes;        // file data the trace has shown written so far
    uint32_t traceLines;       // trace lines taken out so far
};

void startTrace(TraceReader *reader);

// Reads `count` bytes of the tool's output. adb's own bytes are appended to `output` (whose
// capacity is `capacity` bytes, of which `*position` are used; nothing is written past it), trace
// lines are counted and dropped. Returns the bytes of `bytes` that were read: fewer than `count`
// only when the output has filled.
size_t readTrace(TraceReader *reader, const char *bytes, size_t count, char *output,
                 size_t capacity, size_t *position);

// The output has ended: a line still held that is not trace is adb's own, and is kept.
void endTrace(TraceReader *reader, char *output, size_t capacity, size_t *position);

// The file bytes one trace line shows written: the data of a DATA chunk, or the data inside a
// small file's SEND; 0 for any other line.
uint64_t traceLineFileBytes(const char *line);
