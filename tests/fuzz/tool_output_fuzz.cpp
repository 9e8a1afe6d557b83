// Arbitrary bytes as the tool's answers and as status texts: nothing may read or write out of
// bounds, and what comes out keeps its promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cabinet/adb_trace.h"
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

// The tool's output handed over in pieces whose sizes the input picks: the bytes kept are the
// same whatever the pieces, never more than the output holds, and never a trace line's.
void traceReader(const std::string &bytes, uint8_t pieceByte, uint8_t capacityByte) {
    const size_t piece = 1 + pieceByte % 97;
    const size_t capacity = capacityByte % 2 == 0 ? 8191 : capacityByte;
    std::string outputs[2];
    for (int pass = 0; pass < 2; pass++) {
        TraceReader reader;
        startTrace(&reader);
        std::string output(capacity, '\0');
        size_t position = 0;
        const size_t step = pass == 0 ? piece : bytes.size() + 1;
        for (size_t at = 0; at < bytes.size(); at += step) {
            const size_t count = bytes.size() - at < step ? bytes.size() - at : step;
            const size_t read =
                readTrace(&reader, bytes.data() + at, count, &output[0], capacity, &position);
            check(position <= capacity);
            if (read < count) {
                check(position == capacity);
                break;
            }
        }
        endTrace(&reader, &output[0], capacity, &position);
        check(position <= capacity);
        outputs[pass] = output.substr(0, position);
        check(outputs[pass].find("] writex: fd=") == std::string::npos ||
              bytes.find("] writex: fd=") != std::string::npos);
    }
    check(outputs[0] == outputs[1]);
    traceLineFileBytes(bytes.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);
    const std::string terminated = text.substr(0, text.find('\0'));
    deviceList(terminated);
    statusLines(terminated, data[0], data[1]);
    traceReader(text, data[0], data[1]);
    return 0;
}
