#include <cstdio>
#include <windows.h>

#include "platform/platform.h"

void temporaryFolder(char *path, size_t size) {
    if (size == 0)
        return;
    path[0] = '\0';
    GetTempPathA(static_cast<DWORD>(size), path);
}

// The temporary folder is the user's own and programs may run from it: it is the only place.
const int platformWorkPlaceCount = 1;

PlaceLookup workFolderPlace(int index, bool create, char *path, size_t size) {
    (void)create;
    if (index != 0 || size == 0)
        return PlaceLookup::Unavailable;
    path[0] = '\0';
    // The length written without its NUL, or the size needed with it when the buffer is too small;
    // 0 when the setting names no folder, or one longer than any path may be.
    SetLastError(0);
    const DWORD length = GetTempPathA(static_cast<DWORD>(size), path);
    if (length == 0)
        return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? PlaceLookup::TooLong
                                                            : PlaceLookup::Unavailable;
    return length < size ? PlaceLookup::Found : PlaceLookup::TooLong;
}

bool folderCanRunPrograms(const char *path) {
    (void)path;
    return true;
}

bool isPrivateFolder(const char *path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The temporary folder is the user's own on Windows, so an existing folder is simply reused.
bool createPrivateFolder(const char *path) {
    return CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool writeWholeFile(const char *path, const void *data, uint32_t size, bool executable,
                    bool *opened) {
    (void)executable; // Windows runs a file by its name, not by a permission
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    *opened = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, data, size, &written, nullptr);
    CloseHandle(file);
    return wrote && written == size;
}

bool deleteFile(const char *path) { return DeleteFileA(path) != 0; }

bool removeFolder(const char *path) { return RemoveDirectoryA(path) != 0; }

bool listFolder(const char *path, FolderVisitor visit, void *context) {
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*", path);
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    do {
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!visit(entry.cFileName, isFolder, context))
            break;
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return true;
}

PathKind pathKind(const char *path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool fileSize(const char *path, uint64_t *size) {
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &attributes))
        return false;
    *size = (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    return true;
}

bool executablePath(char *path, size_t size) {
    if (size == 0)
        return false;
    const DWORD length = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
    return length > 0 && length < size;
}
