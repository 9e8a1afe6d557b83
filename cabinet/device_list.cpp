#include "cabinet/device_list.h"

#include <cstdio>
#include <cstring>

static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Finds `word` inside the line [begin, end).
static bool lineContains(const char *begin, const char *end, const char *word) {
    const size_t length = strlen(word);
    for (const char *at = begin; at + length <= end; at++)
        if (memcmp(at, word, length) == 0)
            return true;
    return false;
}

static DeviceState lineState(const char *begin, const char *end) {
    if (lineContains(begin, end, "\tdevice"))
        return DeviceState::Usable;
    if (lineContains(begin, end, "\tunauthorized") || lineContains(begin, end, "\tauthorizing"))
        return DeviceState::Unauthorized;
    if (lineContains(begin, end, "\toffline"))
        return DeviceState::Offline;
    if (lineContains(begin, end, "\tno permissions"))
        return DeviceState::NoPermission;
    return DeviceState::Other;
}

static LinkState linkOf(DeviceState state) {
    switch (state) {
    case DeviceState::Usable:
        return Ready;
    case DeviceState::Unauthorized:
        return Unauthorized;
    case DeviceState::Offline:
        return Offline;
    case DeviceState::NoPermission:
        return NoPermission;
    case DeviceState::Other:
        break;
    }
    return NoCabinet;
}

void parseDeviceList(const char *output, DeviceList *list) {
    list->waiting = NoCabinet;
    list->count = 0;
    bool usable = false;
    const char *p = output;
    while (*p != '\0') {
        while (isLineEnd(*p))
            p++; // a run of line-end characters is one separator
        const char *begin = p;
        while (*p != '\0' && !isLineEnd(*p))
            p++;
        const char *end = p;
        const void *tab = memchr(begin, '\t', static_cast<size_t>(end - begin));
        if (begin == end || tab == nullptr)
            continue; // the heading, and anything else that is not a device line
        const DeviceState state = lineState(begin, end);
        if (state == DeviceState::Usable)
            usable = true;
        else if (state != DeviceState::Other)
            list->waiting = linkOf(state);
        if (list->count < maxListedDevices) {
            ListedDevice &device = list->devices[list->count++];
            snprintf(device.serial, sizeof device.serial, "%.*s",
                     static_cast<int>(static_cast<const char *>(tab) - begin), begin);
            device.state = state;
        }
    }
    list->summary = usable ? Ready : list->waiting;
}
