#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/linux/user_folders.h"
#include "platform/platform.h"

void temporaryFolder(char *path, size_t size) {
    const char *folder = getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0')
        folder = "/tmp";
    size_t length = 0;
    while (folder[length] != '\0')
        length++;
    const bool hasSeparator = folder[length - 1] == '/';
    snprintf(path, size, "%s%s", folder, hasSeparator ? "" : "/");
}

// The folder with a separator at its end, unless it has one already.
static PlaceLookup placeWithSeparator(const char *folder, char *path, size_t size) {
    const size_t length = strlen(folder);
    const bool hasSeparator = length > 0 && folder[length - 1] == '/';
    const int written = snprintf(path, size, "%s%s", folder, hasSeparator ? "" : "/");
    return written >= 0 && static_cast<size_t>(written) < size ? PlaceLookup::Found
                                                               : PlaceLookup::TooLong;
}

PlaceLookup runtimeFolder(char *path, size_t size) {
    const char *folder = getenv("XDG_RUNTIME_DIR");
    if (folder == nullptr || folder[0] != '/')
        return PlaceLookup::Unavailable;
    return placeWithSeparator(folder, path, size);
}

static bool makeFolderIfMissing(const char *path) {
    return mkdir(path, 0700) == 0 || errno == EEXIST;
}

PlaceLookup programCacheFolder(bool create, char *path, size_t size) {
    const char *home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd *user = getpwuid(geteuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/')
        return PlaceLookup::Unavailable;
    char cache[4096];
    char folder[4096];
    snprintf(cache, sizeof cache, "%s/.cache", home);
    if (snprintf(folder, sizeof folder, "%s/quillmere", cache) >= static_cast<int>(sizeof folder))
        return PlaceLookup::TooLong;
    if (create && (!makeFolderIfMissing(cache) || !makeFolderIfMissing(folder)))
        return PlaceLookup::Unavailable;
    if (pathKind(folder) != PathKind::Folder)
        return PlaceLookup::Unavailable;
    return placeWithSeparator(folder, path, size);
}

// The temporary folder first; then the user's runtime folder and cache, which are the user's
// alone, for a temporary folder mounted so that no program may run from it.
const int platformWorkPlaceCount = 3;

PlaceLookup workFolderPlace(int index, bool create, char *path, size_t size) {
    switch (index) {
    case 0: {
        const char *folder = getenv("TMPDIR");
        return placeWithSeparator(folder != nullptr && folder[0] != '\0' ? folder : "/tmp", path,
                                  size);
    }
    case 1:
        return runtimeFolder(path, size);
    case 2:
        return programCacheFolder(create, path, size);
    default:
        return PlaceLookup::Unavailable;
    }
}

bool folderCanRunPrograms(const char *path) {
    struct statvfs info;
    if (statvfs(path, &info) != 0)
        return true; // a folder that is not there is reported when it cannot be made
    return (info.f_flag & ST_NOEXEC) == 0;
}

bool isPrivateFolder(const char *path) {
    // Another local user can create any name in a shared temporary folder before us. Only a real
    // folder (not a link) that is ours and closed to everybody else may be used.
    struct stat info;
    if (lstat(path, &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 07777) == 0700;
}

bool createPrivateFolder(const char *path) {
    if (mkdir(path, 0700) == 0)
        return chmod(path, 0700) == 0; // whatever the umask took away
    return errno == EEXIST && isPrivateFolder(path);
}

bool writeWholeFile(const char *path, const void *data, uint32_t size, bool executable,
                    bool *opened) {
    const int file =
        open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, executable ? 0700 : 0600);
    *opened = file >= 0;
    if (file < 0)
        return false;
    // write() may take less than asked for (it stops at 2 GiB, or at a signal); go on until all
    // bytes are down or the disk refuses.
    const char *bytes = static_cast<const char *>(data);
    size_t left = size;
    while (left > 0) {
        const ssize_t written = write(file, bytes, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        bytes += written;
        left -= static_cast<size_t>(written);
    }
    const bool closed = close(file) == 0;
    return left == 0 && closed;
}

bool deleteFile(const char *path) { return unlink(path) == 0; }

bool removeFolder(const char *path) { return rmdir(path) == 0; }

bool listFolder(const char *path, FolderVisitor visit, void *context) {
    DIR *folder = opendir(path);
    if (folder == nullptr)
        return false;
    const int folderDescriptor = dirfd(folder);
    while (const dirent *entry = readdir(folder)) {
        struct stat info;
        const bool isFolder =
            fstatat(folderDescriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode);
        if (!visit(entry->d_name, isFolder, context))
            break;
    }
    closedir(folder);
    return true;
}

PathKind pathKind(const char *path) {
    struct stat info;
    if (stat(path, &info) != 0)
        return PathKind::Missing;
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::File;
}

bool fileSize(const char *path, uint64_t *size) {
    struct stat info;
    if (stat(path, &info) != 0)
        return false;
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool executablePath(char *path, size_t size) {
    if (size == 0)
        return false;
    const ssize_t length = readlink("/proc/self/exe", path, size);
    if (length < 0 || static_cast<size_t>(length) >= size) {
        path[0] = '\0'; // a path that filled the buffer may have been cut
        return false;
    }
    path[length] = '\0';
    return true;
}
