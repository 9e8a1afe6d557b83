#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "cabinet/command_quoting.h"
#include "cabinet/disc_sizes.h"
#include "cabinet/operations.h"
#include "cabinet/tool_runner.h"
#include "cabinet/transfer_progress.h"
#include "platform/platform.h"

constexpr size_t commandSize = 520;
static const char pathTooLongText[] = "Folder path too long.\nMove Quillmere to a\nshorter folder.";

struct DiscListing {
    const char *serial;
    const char *discsFolder;
    bool foldersMade;
    bool failed;
    TransferProgress progress; // of every disc folder together
    char output[4096];
};

// adb's own failure words begin a line of its answer; its success line begins with the folder's
// path instead.
static bool carriesFailureWords(const char *output) {
    for (const char *line = output; *line != '\0';) {
        if (strncmp(line, "error:", 6) == 0 || strncmp(line, "adb: error:", 11) == 0 ||
            strncmp(line, "adb: failed", 11) == 0)
            return true;
        const char *end = strchr(line, '\n');
        if (end == nullptr)
            break;
        line = end + 1;
    }
    return false;
}

// Ends the copy, and with it the install, as failed: no later folder is sent.
static bool stopCopy(DiscListing *listing, const char *message) {
    failOperation(message);
    listing->failed = true;
    return false;
}

// The cabinet's folders are made once, as soon as the listing is open, whatever it holds.
static void makeCabinetFolders(DiscListing *listing) {
    if (listing->foldersMade)
        return;
    listing->foldersMade = true;
    runAdbOn(listing->serial, "shell mkdir -p /sdcard/roms/system /sdcard/roms/saves",
             listing->output, sizeof listing->output, 20000);
}

static bool isDiscFolder(const char *name, bool isFolder) { return isFolder && name[0] != '.'; }

struct DiscTotal {
    const char *discsFolder;
    uint64_t bytes;
};

static bool addDiscFolderBytes(const char *name, bool isFolder, void *context) {
    DiscTotal *total = static_cast<DiscTotal *>(context);
    char path[commandSize];
    if (isDiscFolder(name, isFolder) &&
        snprintf(path, sizeof path, "%s%c%s", total->discsFolder, platformPathSeparator, name) <
            static_cast<int>(sizeof path))
        total->bytes += folderBytes(path);
    return true;
}

static bool pushDiscFolder(const char *name, bool isFolder, void *context) {
    DiscListing *listing = static_cast<DiscListing *>(context);
    makeCabinetFolders(listing);
    if (!isDiscFolder(name, isFolder))
        return true;
    setStatusText("Copying discs...\n%.60s\n(this can take a while)", name);
    char path[commandSize];
    char quoted[commandSize];
    char command[commandSize];
    const int pathLength =
        snprintf(path, sizeof path, "%s%c%s", listing->discsFolder, platformPathSeparator, name);
    quoteArgument(path, quoted, sizeof quoted);
    const int commandLength = snprintf(command, sizeof command, "push %s /sdcard/roms/", quoted);
    // A cut path would send the wrong folder, or none: refused, never cut.
    if (pathLength >= static_cast<int>(sizeof path) || strlen(quoted) + 1 >= sizeof quoted ||
        commandLength >= static_cast<int>(sizeof command))
        return stopCopy(listing, pathTooLongText);
    const uint64_t bytes = folderBytes(path);
    const int32_t result =
        runAdbMeasured(listing->serial, command, listing->output, sizeof listing->output,
                       pushLimitMs(bytes), &listing->progress, bytes);
    if (result == 0 && !carriesFailureWords(listing->output)) {
        endTransferRun(&listing->progress, bytes);
        return true;
    }
    char message[512];
    snprintf(message, sizeof message, "Copying discs failed.\n%.60s\n%.300s", name,
             listing->output);
    return stopCopy(listing, message);
}

bool pushDiscs(const char *serial) {
    char folder[pathSize] = "";
    char discs[pathSize];
    if (!executablePath(folder, sizeof folder)) {
        failOperation(pathTooLongText);
        return false;
    }
    if (char *last = strrchr(folder, platformPathSeparator))
        *last = '\0'; // no separator at all: the whole path is taken as the folder
    if (snprintf(discs, sizeof discs, "%s%cdiscs", folder, platformPathSeparator) >=
        static_cast<int>(sizeof discs)) {
        failOperation(pathTooLongText);
        return false;
    }
    if (pathKind(discs) != PathKind::Folder)
        return true;
    // Every folder's local size is walked before the first push, so that the figure on the
    // progress line counts towards one total and never goes back between folders.
    DiscTotal total = {discs, 0};
    listFolder(discs, addDiscFolderBytes, &total);
    DiscListing listing;
    listing.serial = serial;
    listing.discsFolder = discs;
    listing.foldersMade = false;
    listing.failed = false;
    beginTransfer(&listing.progress, total.bytes);
    if (listFolder(discs, pushDiscFolder, &listing))
        makeCabinetFolders(&listing);
    if (!listing.failed && listing.progress.total > 0)
        showTransferDone(&listing.progress);
    return !listing.failed;
}
