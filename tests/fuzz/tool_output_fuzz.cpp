// Arbitrary bytes as the tool's answers and as status texts: nothing may read or write out of
// bounds, and what comes out keeps its promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cabinet/device_list.h"
#include "render/status_layout.h"

namespace {

void check(bool holds) {
    if (!holds)
        abort();
}

float unitWidth(const char *text) {
    float width = 0;
    for (const char *p = text; *p != '\0'; p++)
        width += static_cast<signed char>(*p) >= 32 ? 1.0f + static_cast<float>(*p % 3) : 0.0f;
    return width;
}

void deviceList(const std::string &text) {
    DeviceList list;
    parseDeviceList(text.c_str(), &list);
    check(list.count >= 0 && list.count <= maxListedDevices);
    for (int i = 0; i < list.count; i++)
        check(memchr(list.devices[i].serial, '\0', sizeof list.devices[i].serial) != nullptr);
    check(list.summary == Ready || list.summary == list.waiting);
}

void statusLines(const std::string &text, uint8_t widthByte, uint8_t linesByte) {
    const float blockWidth = static_cast<float>(widthByte % 64);
    const int maxLines = linesByte % (maxStatusLines + 1);
    StatusLayout layout;
    layOutStatusText(text.c_str(), blockWidth, maxLines, unitWidth, &layout);
    check(layout.count >= 0 && layout.count <= maxLines);
    for (int i = 0; i < layout.count; i++) {
        const char *line = layout.lines[i];
        check(memchr(line, '\0', statusLineBytes) != nullptr);
        check(strchr(line, '\n') == nullptr);
        // A line wider than the block is a single glyph that fits nowhere, or the cut's dots.
        const size_t length = strlen(line);
        const bool dots =
            i == layout.count - 1 && length >= 3 && strcmp(line + length - 3, "...") == 0;
        check(unitWidth(line) <= blockWidth || dots || length <= 1 ||
              length == statusLineBytes - 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);
    const std::string terminated = text.substr(0, text.find('\0'));
    deviceList(terminated);
    statusLines(terminated, data[0], data[1]);
    return 0;
}
