#include "cabinet/probe.h"

#include <cstring>

#include "cabinet/tool_runner.h"

static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Finds `word` inside the line [begin, end).
static bool lineContains(const char *begin, const char *end, const char *word) {
    const size_t length = strlen(word);
    for (const char *at = begin; at + length <= end; at++)
        if (memcmp(at, word, length) == 0)
            return true;
    return false;
}

LinkState classifyDeviceList(const char *output) {
    LinkState result = NoCabinet;
    const char *p = output;
    while (*p != '\0') {
        while (isLineEnd(*p))
            p++; // a run of line-end characters is one separator
        const char *begin = p;
        while (*p != '\0' && !isLineEnd(*p))
            p++;
        const char *end = p;
        if (begin == end || memchr(begin, '\t', static_cast<size_t>(end - begin)) == nullptr)
            continue; // the heading, and anything else that is not a device line
        if (lineContains(begin, end, "\tdevice"))
            return Ready;
        if (lineContains(begin, end, "\tunauthorized"))
            result = Unauthorized;
        else if (lineContains(begin, end, "\toffline"))
            result = Offline;
    }
    return result;
}

LinkState probeCabinet() {
    char output[4096];
    if (runAdb("devices", output, sizeof output, 15000) < 0)
        return NoCabinet;
    return classifyDeviceList(output);
}
