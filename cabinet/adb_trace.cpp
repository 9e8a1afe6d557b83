#include "cabinet/adb_trace.h"

#include <cstdlib>
#include <cstring>

namespace {

enum TraceState { AtLineStart = 0, InText = 1, InTrace = 2 };

// A trace line begins "adb D " (or "adb V ") and its date; no line of adb's own output does.
constexpr int prefixLength = 7;

bool startsLikeTrace(const char *line, int length) {
    for (int k = 0; k < length; k++) {
        const char c = line[k];
        const bool fits = k < 4    ? c == "adb "[k]
                          : k == 4 ? c == 'D' || c == 'V'
                          : k == 5 ? c == ' '
                                   : c >= '0' && c <= '9';
        if (!fits)
            return false;
    }
    return true;
}

// Appends what fits; false when not all of it did.
bool keep(const char *bytes, size_t count, char *output, size_t capacity, size_t *position) {
    const size_t room = capacity - *position;
    const size_t taken = count < room ? count : room;
    memcpy(output + *position, bytes, taken);
    *position += taken;
    return taken == count;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint32_t littleEndian32(const unsigned char *bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

} // namespace

void startTrace(TraceReader *reader) {
    reader->state = AtLineStart;
    reader->held = 0;
    reader->line[0] = '\0';
    reader->fileBytes = 0;
    reader->traceLines = 0;
}

uint64_t traceLineFileBytes(const char *line) {
    const char *write = strstr(line, "] writex: fd=");
    if (write == nullptr)
        return 0;
    const char *lengthField = strstr(write, " len=");
    if (lengthField == nullptr)
        return 0;
    char *end = nullptr;
    const uint64_t length = strtoull(lengthField + 5, &end, 10);
    if (end == lengthField + 5 || *end != ' ')
        return 0;
    // The first eight bytes written, as hexadecimal.
    unsigned char head[8];
    for (int i = 0; i < 8; i++) {
        const int high = hexDigit(end[1 + 2 * i]);
        const int low = high < 0 ? -1 : hexDigit(end[2 + 2 * i]);
        if (low < 0)
            return 0;
        head[i] = static_cast<unsigned char>(high << 4 | low);
    }
    if (memcmp(head, "DATA", 4) == 0)
        return length >= 8 ? length - 8 : 0;
    if (memcmp(head, "SEND", 4) == 0) {
        // SEND, its path's length and path; then DATA with the file and DONE, 8 bytes each.
        const uint64_t request = 8 + static_cast<uint64_t>(littleEndian32(head + 4));
        return length >= request + 16 ? length - request - 16 : 0;
    }
    return 0;
}

size_t readTrace(TraceReader *reader, const char *bytes, size_t count, char *output,
                 size_t capacity, size_t *position) {
    for (size_t i = 0; i < count; i++) {
        const char c = bytes[i];
        switch (reader->state) {
        case AtLineStart:
            reader->line[reader->held++] = c;
            if (c != '\n' && startsLikeTrace(reader->line, reader->held)) {
                if (reader->held == prefixLength)
                    reader->state = InTrace;
                break;
            }
            // adb's own line: what was held goes out as it came.
            if (!keep(reader->line, static_cast<size_t>(reader->held), output, capacity,
                      position)) {
                reader->held = 0;
                return i + 1;
            }
            reader->held = 0;
            reader->state = c == '\n' ? AtLineStart : InText;
            break;
        case InText:
            if (*position >= capacity)
                return i;
            output[(*position)++] = c;
            if (c == '\n')
                reader->state = AtLineStart;
            break;
        default: // InTrace
            if (reader->held < traceLineBytes - 1)
                reader->line[reader->held++] = c;
            if (c == '\n') {
                reader->line[reader->held] = '\0';
                reader->fileBytes += traceLineFileBytes(reader->line);
                reader->traceLines++;
                reader->held = 0;
                reader->state = AtLineStart;
            }
            break;
        }
    }
    return count;
}

void endTrace(TraceReader *reader, char *output, size_t capacity, size_t *position) {
    if (reader->state == AtLineStart)
        keep(reader->line, static_cast<size_t>(reader->held), output, capacity, position);
    reader->held = 0;
    reader->state = AtLineStart;
}
