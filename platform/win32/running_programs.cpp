// Other processes, as far as the work folders of earlier runs need to know of them.
#include <cstdio>
#include <cstring>
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include "platform/platform.h"

uint32_t currentProcessId() { return GetCurrentProcessId(); }

bool processIsRunning(uint32_t id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED; // somebody else's, and so alive
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// The folder as the system names a running program's file: with its long names, where the
// temporary folder may be given with short ones.
static void longFolderName(const char *folder, char *name, DWORD size) {
    const DWORD length = GetLongPathNameA(folder, name, size);
    if (length == 0 || length >= size)
        snprintf(name, size, "%s", folder);
}

bool programRunsFromFolder(const char *folder) {
    char name[MAX_PATH];
    longFolderName(folder, name, sizeof name);
    const size_t length = strlen(name);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found;
         more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (process == nullptr)
            continue;
        char program[2 * MAX_PATH];
        DWORD size = sizeof program;
        if (QueryFullProcessImageNameA(process, 0, program, &size))
            found = _strnicmp(program, name, length) == 0 && program[length] == '\\';
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}
