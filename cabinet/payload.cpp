#include "cabinet/payload.h"

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

static void formatWorkPath(char *path, const char *workDir, const char *name) {
    snprintf(path, pathSize, "%s%c%s", workDir, platformPathSeparator, name);
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
        char temporary[pathSize];
        temporaryFolder(temporary, sizeof temporary);
        snprintf(workDir, sizeof workDir, "%sQuillmere_%u", temporary, tickCount());
        setWorkDir(workDir);
        // The name is kept even when the folder cannot be made: later calls then fail at the
        // first file instead of naming yet another folder.
        if (!createPrivateFolder(workDir))
            return false;
    }
    char path[pathSize];
    for (int i = 0; i < platformToolFileCount; i++) {
        formatWorkPath(path, workDir, platformToolFiles[i].fileName);
        if (!extractResource(platformToolFiles[i].resourceId, path))
            return false;
    }
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
        formatWorkPath(path, workDir, package.fileName);
        if (!extractResource(package.resourceId, path))
            return false;
    }
    appState.packagesReady.store(true);
    return true;
}

static bool deleteUndottedFile(const char *name, bool isFolder, void *context) {
    (void)isFolder; // a folder's deletion simply fails, and the folder then stays
    if (name[0] == '.')
        return true;
    char path[pathSize];
    formatWorkPath(path, static_cast<const char *>(context), name);
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
