#include "cabinet/payload.h"

#include <atomic>
#include <cstdio>

#include "app/app_state.h"
#include "app/clock.h"
#include "platform/platform.h"

struct PackageFile {
    uint16_t resourceId;
    const char *fileName;
};

static const PackageFile packageFiles[] = {
    {emulatorPackageResource, "Emulator.apk"},
    {launcherPackageResource, "Launcher.apk"},
};

static bool isExecutableResource(uint16_t id) {
    for (int i = 0; i < platformToolFileCount; i++)
        if (platformToolFiles[i].resourceId == id)
            return platformToolFiles[i].executable;
    return false;
}

const char cannotRunToolText[] = "Cannot run adb from the\ntemporary folder.";

// The causes of a failed unpacking that the user can do something about.
enum class UnpackProblem { None, PathTooLong, CannotRunTool };
static std::atomic<UnpackProblem> latestProblem{UnpackProblem::None};

static bool failUnpacking(UnpackProblem problem) {
    latestProblem.store(problem);
    return false;
}

const char *unpackFailureText(const char *otherwise) {
    switch (latestProblem.load()) {
    case UnpackProblem::PathTooLong:
        return platformPathTooLongText;
    case UnpackProblem::CannotRunTool:
        return cannotRunToolText;
    default:
        return otherwise;
    }
}

// A path that does not fit is refused rather than cut: a cut one names another file.
static bool formatWorkPath(char *path, const char *workDir, const char *name) {
    const int length = snprintf(path, pathSize, "%s%c%s", workDir, platformPathSeparator, name);
    return length >= 0 && static_cast<size_t>(length) < pathSize;
}

// Whether every payload file's path in the work folder fits its buffer, so that no folder is made
// that could not hold them all.
static bool payloadPathsFit(const char *workDir) {
    char path[pathSize];
    for (int i = 0; i < platformToolFileCount; i++)
        if (!formatWorkPath(path, workDir, platformToolFiles[i].fileName))
            return false;
    for (const PackageFile &package : packageFiles)
        if (!formatWorkPath(path, workDir, package.fileName))
            return false;
    return true;
}

// Forms the work folder's name in the first place from which the tool can run. Neither a place
// nor a name that does not fit its buffer is cut: the user is told to choose a shorter one.
static UnpackProblem nameWorkFolder(char *workDir) {
    bool placeCannotRunTool = false;
    for (int i = 0; i < platformWorkPlaceCount; i++) {
        char place[pathSize];
        const PlaceLookup lookup = workFolderPlace(i, true, place, sizeof place);
        if (lookup == PlaceLookup::TooLong)
            return UnpackProblem::PathTooLong;
        if (lookup == PlaceLookup::Unavailable)
            continue;
        if (!folderCanRunPrograms(place)) {
            placeCannotRunTool = true;
            continue;
        }
        // The process's id keeps two copies started in the same millisecond apart, and tells
        // the folders of earlier runs from this run's.
        const int length = snprintf(workDir, pathSize, "%s%s%u_%u", place, workFolderPrefix,
                                    tickCount(), currentProcessId());
        if (length < 0 || static_cast<size_t>(length) >= pathSize || !payloadPathsFit(workDir))
            return UnpackProblem::PathTooLong;
        return UnpackProblem::None;
    }
    // Without any place at all no name is formed.
    workDir[0] = '\0';
    return placeCannotRunTool ? UnpackProblem::CannotRunTool : UnpackProblem::None;
}

bool extractResource(uint16_t id, const char *path) {
    const void *data = nullptr;
    uint32_t size = 0;
    if (!resourceBytes(id, &data, &size) || data == nullptr || size == 0)
        return false;
    bool opened = false;
    return writeWholeFile(path, data, size, isExecutableResource(id), &opened);
}

bool prepareAdb() {
    if (appState.adbReady.load())
        return true;
    char workDir[pathSize];
    copyWorkDir(workDir, sizeof workDir);
    if (workDir[0] == '\0') {
        const UnpackProblem problem = nameWorkFolder(workDir);
        if (problem != UnpackProblem::None)
            return failUnpacking(problem);
        if (workDir[0] == '\0')
            return failUnpacking(UnpackProblem::None);
        setWorkDir(workDir);
        // The name is kept even when the folder cannot be made: later calls then fail at the
        // first file instead of naming yet another folder.
        if (!createPrivateFolder(workDir))
            return failUnpacking(UnpackProblem::None);
    }
    char path[pathSize];
    for (int i = 0; i < platformToolFileCount; i++) {
        if (!formatWorkPath(path, workDir, platformToolFiles[i].fileName))
            return failUnpacking(UnpackProblem::PathTooLong);
        if (!extractResource(platformToolFiles[i].resourceId, path))
            return failUnpacking(UnpackProblem::None);
    }
    latestProblem.store(UnpackProblem::None);
    appState.adbReady.store(true);
    return true;
}

bool preparePackages() {
    if (appState.packagesReady.load())
        return true;
    if (!prepareAdb())
        return false;
    char workDir[pathSize];
    copyWorkDir(workDir, sizeof workDir);
    char path[pathSize];
    for (const PackageFile &package : packageFiles) {
        if (!formatWorkPath(path, workDir, package.fileName))
            return failUnpacking(UnpackProblem::PathTooLong);
        if (!extractResource(package.resourceId, path))
            return failUnpacking(UnpackProblem::None);
    }
    latestProblem.store(UnpackProblem::None);
    appState.packagesReady.store(true);
    return true;
}

static bool deleteUndottedFile(const char *name, bool isFolder, void *context) {
    (void)isFolder; // a folder's deletion simply fails, and the folder then stays
    if (name[0] == '.')
        return true;
    char path[pathSize];
    if (formatWorkPath(path, static_cast<const char *>(context), name))
        deleteFile(path);
    return true;
}

void removeWorkDir() {
    char workDir[pathSize];
    copyWorkDir(workDir, sizeof workDir);
    if (workDir[0] == '\0')
        return;
    listFolder(workDir, deleteUndottedFile, workDir);
    removeFolder(workDir);
    clearWorkDirIf(workDir);
}
