#include "cabinet/disc_sizes.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

constexpr size_t walkPathSize = 4096;
constexpr int deepestFolder = 32;

struct FolderWalk {
    const char *folder;
    int depth;
    uint64_t bytes;
};

static bool addEntryBytes(const char *name, bool isFolder, void *context) {
    FolderWalk *walk = static_cast<FolderWalk *>(context);
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return true;
    char path[walkPathSize];
    if (snprintf(path, sizeof path, "%s%c%s", walk->folder, platformPathSeparator, name) >=
        static_cast<int>(sizeof path))
        return true; // nothing the tool could reach either
    if (isFolder) {
        if (walk->depth < deepestFolder) {
            FolderWalk inner = {path, walk->depth + 1, 0};
            listFolder(path, addEntryBytes, &inner);
            walk->bytes += inner.bytes;
        }
        return true;
    }
    uint64_t size = 0;
    if (fileSize(path, &size))
        walk->bytes += size;
    return true;
}

uint64_t folderBytes(const char *folder) {
    FolderWalk walk = {folder, 0, 0};
    listFolder(folder, addEntryBytes, &walk);
    return walk.bytes;
}

uint32_t pushLimitMs(uint64_t bytes) {
    const uint64_t perMegabyte = bytes / 1000;
    const uint64_t limit = perMegabyte > 1200000 ? perMegabyte : 1200000;
    return limit < 0xFFFFFFFEu ? static_cast<uint32_t>(limit) : 0xFFFFFFFEu;
}
