// Prints how fast the 168 MB launcher package is written out of the executable, next to a plain
// copy of the same bytes from one file to another on the same disk.
#include <chrono>
#include <cstdio>
#include <string>

#include "cabinet/payload.h"
#include "platform/platform.h"

static double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static bool copyFile(const std::string &from, const std::string &to) {
    FILE *in = fopen(from.c_str(), "rb");
    FILE *out = fopen(to.c_str(), "wb");
    bool good = in != nullptr && out != nullptr;
    static char block[1 << 20];
    while (good) {
        const size_t count = fread(block, 1, sizeof block, in);
        if (count == 0)
            break;
        good = fwrite(block, 1, count, out) == count;
    }
    if (in)
        fclose(in);
    if (out)
        good = fclose(out) == 0 && good;
    return good;
}

int main() {
    const void *data = nullptr;
    uint32_t size = 0;
    if (!resourceBytes(105, &data, &size) || size == 0) {
        printf("the benchmark's launcher-sized resource is missing\n");
        return 1;
    }
    char folder[260];
    temporaryFolder(folder, sizeof folder);
    const std::string extracted = std::string(folder) + "quillmere-bench-extracted.bin";
    const std::string copied = std::string(folder) + "quillmere-bench-copied.bin";
    const double megabytes = size / 1e6;
    printf("payload extraction benchmark: %u bytes (%.1f MB) into %s\n", size, megabytes, folder);

    const int rounds = 5;
    double extractBest = 1e9, copyBest = 1e9, extractSum = 0, copySum = 0;
    for (int round = 0; round < rounds; round++) {
        auto start = std::chrono::steady_clock::now();
        if (!extractResource(105, extracted.c_str())) {
            printf("extraction failed\n");
            return 1;
        }
        const double extractTime = secondsSince(start);
        start = std::chrono::steady_clock::now();
        if (!copyFile(extracted, copied)) {
            printf("copy failed\n");
            return 1;
        }
        const double copyTime = secondsSince(start);
        extractBest = extractTime < extractBest ? extractTime : extractBest;
        copyBest = copyTime < copyBest ? copyTime : copyBest;
        extractSum += extractTime;
        copySum += copyTime;
        deleteFile(copied.c_str());
        deleteFile(extracted.c_str());
    }
    printf("  extractResource : best %7.1f ms (%6.0f MB/s), mean %7.1f ms\n", extractBest * 1e3,
           megabytes / extractBest, extractSum / rounds * 1e3);
    printf("  plain file copy : best %7.1f ms (%6.0f MB/s), mean %7.1f ms\n", copyBest * 1e3,
           megabytes / copyBest, copySum / rounds * 1e3);
    return 0;
}
