// adb's trace read out of its own output. The captures in tests/data/adb-trace are Debian's adb 29
// with ADB_TRACE=rwx against the emulated cabinet, standard output and error on one pipe: a push
// of a folder with nested files (two sent as DATA chunks, three small ones inside their SEND), a
// streamed install (whose data adb writes without a trace line) and a push that started the
// server and found no device.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "cabinet/adb_trace.h"
#include "platform/platform.h"

namespace {

std::string capture(uint16_t id) {
    const void *data = nullptr;
    uint32_t size = 0;
    EXPECT_TRUE(resourceBytes(id, &data, &size)) << id;
    return std::string(static_cast<const char *>(data), size);
}

const uint16_t pushCapture = 910;
const uint16_t installCapture = 911;
const uint16_t noServerCapture = 912;

struct Read {
    std::string output;
    uint64_t fileBytes;
    uint32_t traceLines;
};

// Feeds the bytes in pieces of `piece` bytes, as a pipe may hand them over.
Read readAll(const std::string &bytes, size_t piece, size_t capacity = 8191) {
    TraceReader reader;
    startTrace(&reader);
    std::vector<char> output(capacity + 1);
    size_t position = 0;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const size_t count = std::min(piece, bytes.size() - at);
        if (readTrace(&reader, bytes.data() + at, count, output.data(), capacity, &position) <
            count)
            break; // the output is full: nothing more is read
    }
    endTrace(&reader, output.data(), capacity, &position);
    return {std::string(output.data(), position), reader.fileBytes, reader.traceLines};
}

TEST(AdbTrace, EachLineShowsTheFileBytesItCarries) {
    const std::string time = "adb D 12-11 13:23:25 22687 22687 adb_io.cpp:107] ";
    const std::pair<std::string, uint64_t> lines[] = {
        {time + "writex: fd=6 len=65536 44415441f8ff000038b4e652e44da7f2 DATA....8..R.M.. "
                "[truncated]",
         65528},
        {time + "writex: fd=6 len=8952 44415441f0220000d26c1ee1ac17edaa DATA.\"...l...... "
                "[truncated]",
         8944},
        // A small file goes whole in one write: SEND, its 41-byte path, DATA, 2048 bytes, DONE.
        {time + "writex: fd=6 len=2113 53454e44290000002f7364636172642f SEND).../sdcard/ "
                "[truncated]",
         2048},
        // A large file's SEND carries no data.
        {time + "writex: fd=6 len=43 53454e44230000002f7364636172642f SEND#.../sdcard/ [truncated]",
         0},
        {time + "writex: fd=6 len=8 444f4e454df91b6b DONEM..k", 0},
        {time + "writex: fd=6 len=8 5155495400000000 QUIT....", 0},
        {time + "writex: fd=6 len=16 30303063686f73743a76657273696f6e 000chost:version", 0},
        {"adb D 12-11 13:23:25 22687 22687 adb_io.cpp:97] readx: fd=6 wanted=8 got=8 "
         "4f4b415900000000 OKAY....",
         0},
        {"adb D 12-11 13:23:25 22687 22687 adb_client.cpp:329] adb_connect: service: sync:", 0},
        // As the Windows tool ends its lines.
        {time + "writex: fd=6 len=65536 44415441f8ff000038b4e652e44da7f2 DATA....8..R.M.. "
                "[truncated]\r",
         65528},
        // Cut or garbled lines show nothing.
        {time + "writex: fd=6 len=65536 444154", 0},
        {time + "writex: fd=6 len= 44415441f8ff000038b4e652e44da7f2", 0},
        {time + "writex: fd=6 len=4 44415441f8ff0000", 0},
        {time + "writex: fd=6 len=20 53454e44ffffff7f2f7364636172642f", 0},
    };
    for (const auto &line : lines)
        EXPECT_EQ(traceLineFileBytes(line.first.c_str()), line.second) << line.first;
}

TEST(AdbTrace, CapturesKeepOnlyAdbsOwnWordsAndCountTheData) {
    struct CaptureCase {
        uint16_t id;
        std::string output;
        uint64_t fileBytes;
        uint32_t traceLines;
    };
    const CaptureCase cases[] = {
        {pushCapture,
         "discs/Racing/: 4 files pushed, 0 skipped. 38.3 MB/s (207582 bytes in 0.005s)\n",
         140000 + 2048 + 65528 + 6, 48},
        {installCapture, "Performing Streamed Install\nSuccess\n", 0, 28},
        {noServerCapture,
         "* daemon not running; starting now at tcp:15199\n* daemon started successfully\n"
         "adb: error: failed to get feature set: no devices/emulators found\n",
         0, 10},
    };
    for (const CaptureCase &c : cases) {
        const std::string bytes = capture(c.id);
        // Whatever pieces the pipe hands over, the same comes out.
        for (size_t piece :
             {size_t(1), size_t(2), size_t(3), size_t(7), size_t(61), size_t(4096)}) {
            const Read read = readAll(bytes, piece);
            EXPECT_EQ(read.output, c.output) << c.id << " in pieces of " << piece;
            EXPECT_EQ(read.fileBytes, c.fileBytes) << c.id << " in pieces of " << piece;
            EXPECT_EQ(read.traceLines, c.traceLines) << c.id;
        }
    }
}

TEST(AdbTrace, WhatIsNotTraceIsKeptAsItCame) {
    const std::string trace = "adb D 12-11 13:23:25 22687 22687 adb_io.cpp:107] writex: fd=6 "
                              "len=65536 44415441f8ff000038b4e652e44da7f2 DATA....8..R.M..\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"adb: error: failed to copy 'a' to 'b': remote No space left on device\r\n",
         "adb: error: failed to copy 'a' to 'b': remote No space left on device\r\n"},
        {"adb Done\nadb D nothing\nadb D\n", "adb Done\nadb D nothing\nadb D\n"},
        {"\n\n" + trace + "\n", "\n\n\n"},
        {"no line end at all", "no line end at all"},
        {"ad", "ad"},
        // A trace that stops part-way through a line leaves nothing behind.
        {"Success\n" + trace.substr(0, 90), "Success\n"},
        {"Success\nadb D 1", "Success\n"},
    };
    for (const auto &c : cases) {
        const Read read = readAll(c.first, 5);
        EXPECT_EQ(read.output, c.second) << c.first;
    }
    EXPECT_EQ(readAll(trace + trace.substr(0, 90), 1).fileBytes, 65528u)
        << "the cut line counts not";
}

TEST(AdbTrace, OutputThatFillsStopsTheReading) {
    const std::string bytes = capture(noServerCapture);
    const Read read = readAll(bytes, 13, 60);
    EXPECT_EQ(
        read.output,
        std::string(
            "* daemon not running; starting now at tcp:15199\n* daemon started successfully\n")
            .substr(0, 60));
}

} // namespace
