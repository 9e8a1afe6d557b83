#include "tests/support/png_writer.h"

#include <cstdint>

static uint32_t crc32(const std::string &bytes) {
    uint32_t crc = 0xffffffffu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

static void putBig32(std::string *out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((value >> shift) & 0xff));
}

static void chunk(std::string *file, const char *type, const std::string &data) {
    putBig32(file, static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    *file += typed;
    putBig32(file, crc32(typed));
}

std::string pngFile(int width, int height, int bitDepth, int colourType,
                    const std::vector<unsigned char> &rows) {
    const int channels = colourType == 0 ? 1 : colourType == 2 ? 3 : 4;
    const size_t rowBytes = static_cast<size_t>(width) * channels * (bitDepth / 8);
    std::string raw;
    for (int y = 0; y < height; y++) {
        raw.push_back('\0'); // no filter
        raw.append(reinterpret_cast<const char *>(rows.data()) + y * rowBytes, rowBytes);
    }
    // zlib stream of stored blocks, then the Adler-32 of the raw bytes.
    std::string zlib = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
        const bool last = at + length >= raw.size();
        zlib.push_back(last ? '\x01' : '\x00');
        zlib.push_back(static_cast<char>(length & 0xff));
        zlib.push_back(static_cast<char>(length >> 8));
        zlib.push_back(static_cast<char>(~length & 0xff));
        zlib.push_back(static_cast<char>((~length >> 8) & 0xff));
        zlib += raw.substr(at, length);
        if (last)
            break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(&zlib, (b << 16) | a);

    std::string header;
    putBig32(&header, static_cast<uint32_t>(width));
    putBig32(&header, static_cast<uint32_t>(height));
    header += static_cast<char>(bitDepth);
    header += static_cast<char>(colourType);
    header += std::string("\0\0\0", 3);
    std::string file = "\x89PNG\r\n\x1a\n";
    chunk(&file, "IHDR", header);
    chunk(&file, "IDAT", zlib);
    chunk(&file, "IEND", "");
    return file;
}
