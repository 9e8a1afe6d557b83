#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool createPrivateFolder(const char *path) {
    if (mkdir(path, 0700) == 0)
        return chmod(path, 0700) == 0; // whatever the umask took away
    if (errno != EEXIST)
        return false;
    // Another local user can create any name in a shared temporary folder before us. Only a real
    // folder (not a link) that is ours and closed to everybody else may be used.
    struct stat info;
    if (lstat(path, &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 07777) == 0700;
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
