// Other processes, as far as the work folders of earlier runs need to know of them.
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

#include "platform/platform.h"

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

bool processIsRunning(uint32_t id) {
    if (id == 0 || id > static_cast<uint32_t>(INT_MAX))
        return false;
    return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

// Every process's program file is named by /proc/PID/exe, even once the file has been deleted
// (the name then ends in " (deleted)"); processes of other users cannot be read, and their
// programs do not run from our private folders.
bool programRunsFromFolder(const char *folder) {
    char canonical[PATH_MAX];
    if (realpath(folder, canonical) == nullptr)
        snprintf(canonical, sizeof canonical, "%s", folder);
    const size_t length = strlen(canonical);
    DIR *processes = opendir("/proc");
    if (processes == nullptr)
        return false;
    bool found = false;
    while (const dirent *entry = readdir(processes)) {
        if (!isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        char link[300];
        snprintf(link, sizeof link, "/proc/%s/exe", entry->d_name);
        char program[PATH_MAX];
        const ssize_t count = readlink(link, program, sizeof program - 1);
        if (count <= 0)
            continue;
        program[count] = '\0';
        if (strncmp(program, canonical, length) == 0 && program[length] == '/') {
            found = true;
            break;
        }
    }
    closedir(processes);
    return found;
}
