#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "cabinet/command_quoting.h"
#include "cabinet/operations.h"
#include "cabinet/tool_runner.h"
#include "platform/platform.h"

constexpr size_t commandSize = 520;

struct DiscListing {
    const char *discsFolder;
    bool foldersMade;
    char output[4096];
};

// The cabinet's folders are made once, as soon as the listing is open, whatever it holds.
static void makeCabinetFolders(DiscListing *listing) {
    if (listing->foldersMade)
        return;
    listing->foldersMade = true;
    runAdb("shell mkdir -p /sdcard/roms/system /sdcard/roms/saves", listing->output,
           sizeof listing->output, 20000);
}

static bool pushDiscFolder(const char *name, bool isFolder, void *context) {
    DiscListing *listing = static_cast<DiscListing *>(context);
    makeCabinetFolders(listing);
    if (name[0] == '.' || !isFolder)
        return true;
    setStatusText("Copying discs...\n%.60s\n(this can take a while)", name);
    char path[commandSize];
    snprintf(path, sizeof path, "%s%c%s", listing->discsFolder, platformPathSeparator, name);
    char quoted[commandSize];
    quoteArgument(path, quoted, sizeof quoted);
    char command[commandSize];
    snprintf(command, sizeof command, "push %s /sdcard/roms/", quoted);
    runAdb(command, listing->output, sizeof listing->output, 1200000);
    return true;
}

void pushDiscs() {
    char folder[pathSize] = "";
    executablePath(folder, sizeof folder);
    if (char *last = strrchr(folder, platformPathSeparator))
        *last = '\0'; // no separator at all: the whole path is taken as the folder
    char discs[pathSize];
    snprintf(discs, sizeof discs, "%s%cdiscs", folder, platformPathSeparator);
    if (pathKind(discs) != PathKind::Folder)
        return;
    DiscListing listing;
    listing.discsFolder = discs;
    listing.foldersMade = false;
    if (listFolder(discs, pushDiscFolder, &listing))
        makeCabinetFolders(&listing);
}
