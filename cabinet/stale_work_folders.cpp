#include "cabinet/stale_work_folders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "platform/platform.h"

// The process id in a work folder's name "Quillmere_TICKS_PID"; 0 when the name is not one of
// ours.
static uint32_t makerOfFolder(const char *name) {
    const size_t prefixLength = sizeof workFolderPrefix - 1;
    if (strncmp(name, workFolderPrefix, prefixLength) != 0)
        return 0;
    const char *ticks = name + prefixLength;
    size_t digits = strspn(ticks, "0123456789");
    if (digits == 0 || digits > 10 || ticks[digits] != '_')
        return 0;
    const char *process = ticks + digits + 1;
    digits = strspn(process, "0123456789");
    if (digits == 0 || digits > 10 || process[digits] != '\0')
        return 0;
    const unsigned long long id = strtoull(process, nullptr, 10);
    return id <= 0xFFFFFFFFu ? static_cast<uint32_t>(id) : 0;
}

static bool formatPath(char *path, const char *folder, const char *name) {
    const int length = snprintf(path, pathSize, "%s%c%s", folder, platformPathSeparator, name);
    return length >= 0 && static_cast<size_t>(length) < pathSize;
}

static bool deleteUndottedFile(const char *name, bool isFolder, void *context) {
    char path[pathSize];
    if (!isFolder && name[0] != '.' && formatPath(path, static_cast<const char *>(context), name))
        deleteFile(path);
    return true;
}

static void removeIfStale(const char *folder, uint32_t maker) {
    if (maker == currentProcessId() || processIsRunning(maker) || !isPrivateFolder(folder) ||
        programRunsFromFolder(folder))
        return;
    // The tool goes first: Windows refuses to delete a program file that still runs, which keeps
    // the folder whole when a server was missed above.
    char tool[pathSize];
    if (!formatPath(tool, folder, platformToolFiles[0].fileName))
        return;
    if (pathKind(tool) != PathKind::Missing && !deleteFile(tool))
        return;
    listFolder(folder, deleteUndottedFile, const_cast<char *>(folder));
    removeFolder(folder);
}

// Our folders found in one place, noted first and removed after the listing, which removal would
// otherwise disturb. Any beyond the first 64 wait for the next start.
struct PlaceListing {
    const char *place;
    char folders[64][pathSize];
    int count;
};

static PlaceListing listing;

static bool noteOurFolder(const char *name, bool isFolder, void *context) {
    PlaceListing *found = static_cast<PlaceListing *>(context);
    if (isFolder && makerOfFolder(name) != 0 &&
        found->count < static_cast<int>(sizeof found->folders / sizeof found->folders[0])) {
        const int length =
            snprintf(found->folders[found->count], pathSize, "%s%s", found->place, name);
        if (length >= 0 && static_cast<size_t>(length) < pathSize)
            found->count++;
    }
    return true;
}

void removeStaleWorkFolders() {
    for (int i = 0; i < platformWorkPlaceCount; i++) {
        char place[pathSize];
        if (workFolderPlace(i, false, place, sizeof place) != PlaceLookup::Found)
            continue;
        listing.place = place;
        listing.count = 0;
        listFolder(place, noteOurFolder, &listing);
        for (int j = 0; j < listing.count; j++) {
            const char *folder = listing.folders[j];
            removeIfStale(folder, makerOfFolder(strrchr(folder, platformPathSeparator) + 1));
        }
    }
}
