#include <cstdio>
#include <windows.h>

#include "platform/platform.h"

// Between a pipe's creation and the close of this process's copy of its write end, that end is
// inheritable. The handle list keeps other children from getting it; holding this lock across the
// window as well keeps it safe where a system ignores handle lists.
static SRWLOCK spawnLock = SRWLOCK_INIT;

bool startChild(const char *commandLine, const char *currentFolder, ChildProcess *child) {
    char line[4096];
    snprintf(line, sizeof line, "%s", commandLine);

    AcquireSRWLockExclusive(&spawnLock);
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ReleaseSRWLockExclusive(&spawnLock);
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // No input: the empty device rather than a null handle, which Wine fills with its own
    // standard input, so that a tool that reads would wait on somebody else's terminal.
    HANDLE noInput = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr);
    if (noInput == INVALID_HANDLE_VALUE)
        noInput = nullptr;
    HANDLE inherited[2] = {writeEnd, noInput};

    // Only the pipe's write end (and the empty input) may reach the child: adb hands every handle
    // it inherits on to the server it starts, which outlives it, and a leaked write end would keep
    // another caller's read open for as long as that server runs.
    alignas(8) unsigned char listStorage[256];
    SIZE_T listSize = sizeof listStorage;
    auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listStorage);
    const bool haveList =
        InitializeProcThreadAttributeList(attributes, 1, 0, &listSize) &&
        UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  (noInput ? 2 : 1) * sizeof(HANDLE), nullptr, nullptr);

    STARTUPINFOEXA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.StartupInfo.cb = haveList ? sizeof startup : sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = noInput;
    startup.StartupInfo.hStdOutput = writeEnd;
    startup.StartupInfo.hStdError = writeEnd;
    startup.lpAttributeList = haveList ? attributes : nullptr;

    PROCESS_INFORMATION started;
    ZeroMemory(&started, sizeof started);
    const DWORD flags = CREATE_NO_WINDOW | (haveList ? EXTENDED_STARTUPINFO_PRESENT : 0);
    const BOOL created = CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, flags, nullptr,
                                        currentFolder && currentFolder[0] ? currentFolder : nullptr,
                                        &startup.StartupInfo, &started);
    if (haveList)
        DeleteProcThreadAttributeList(attributes);
    CloseHandle(writeEnd);
    if (noInput)
        CloseHandle(noInput);
    ReleaseSRWLockExclusive(&spawnLock);

    if (!created) {
        CloseHandle(readEnd);
        return false;
    }
    child->process = started.hProcess;
    child->thread = started.hThread;
    child->output = reinterpret_cast<intptr_t>(readEnd);
    return true;
}

// An anonymous pipe has no timed read, so the pipe is asked what it holds and read only then.
int32_t readChildOutput(ChildProcess *child, char *buffer, int32_t capacity, uint32_t waitMs) {
    HANDLE output = reinterpret_cast<HANDLE>(child->output);
    if (output == nullptr || capacity <= 0)
        return 0;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    DWORD pause = 1;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr))
            return 0; // every writer has closed the pipe
        if (available > 0) {
            DWORD count = 0;
            const DWORD wanted =
                available < static_cast<DWORD>(capacity) ? available : static_cast<DWORD>(capacity);
            if (!ReadFile(output, buffer, wanted, &count, nullptr) || count == 0)
                return 0;
            return static_cast<int32_t>(count);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return childReadTimedOut;
        const ULONGLONG left = deadline - now;
        Sleep(static_cast<DWORD>(left < pause ? left : pause));
        if (pause < 10)
            pause *= 2;
    }
}

void closeChildOutput(ChildProcess *child) {
    if (child->output != 0)
        CloseHandle(reinterpret_cast<HANDLE>(child->output));
    child->output = 0;
}

int32_t finishChild(ChildProcess *child, uint32_t waitMs) {
    closeChildOutput(child);
    WaitForSingleObject(child->process, waitMs);
    DWORD code = 0;
    int32_t result = -1;
    if (GetExitCodeProcess(child->process, &code))
        result = static_cast<int32_t>(code);
    CloseHandle(child->process);
    CloseHandle(child->thread);
    return result;
}
