#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

#include "platform/platform.h"

// Between a pipe's creation and the close of this process's copy of its write end, that end is
// inheritable. The handle list keeps other children from getting it; holding this lock across the
// window as well keeps it safe where a system ignores handle lists.
static SRWLOCK spawnLock = SRWLOCK_INIT;

// Whether the environment entry "NAME=VALUE" names the variable of `change` ("NAME=VALUE" or
// "NAME"); Windows compares names without regard to case.
static bool sameName(const wchar_t *entry, const std::wstring &change) {
    const size_t nameLength = change.find(L'=');
    const std::wstring name = change.substr(0, nameLength);
    const wchar_t *equals = wcschr(entry + (entry[0] == L'=' ? 1 : 0), L'=');
    const size_t entryLength = equals ? static_cast<size_t>(equals - entry) : wcslen(entry);
    return entryLength == name.size() &&
           CompareStringOrdinal(entry, static_cast<int>(entryLength), name.c_str(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

static std::wstring widened(const char *text) {
    const int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(count > 0 ? static_cast<size_t>(count) : 1, L'\0');
    if (count > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], count);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// The child's environment block: ours without the variables the changes name, then the changes
// that set one. Wide, so that no value passes through a code page on the way.
static std::wstring childEnvironment(const char *const *changes) {
    std::vector<std::wstring> wideChanges;
    for (const char *const *change = changes; *change; change++)
        wideChanges.push_back(widened(*change));
    std::wstring block;
    wchar_t *own = GetEnvironmentStringsW();
    for (const wchar_t *entry = own; entry && *entry; entry += wcslen(entry) + 1) {
        bool changed = false;
        for (const std::wstring &change : wideChanges)
            changed = changed || sameName(entry, change);
        if (!changed)
            block.append(entry).push_back(L'\0');
    }
    if (own)
        FreeEnvironmentStringsW(own);
    for (const std::wstring &change : wideChanges)
        if (change.find(L'=') != std::wstring::npos)
            block.append(change).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// A job of the child's own, which what it starts joins too, so that a run past its limit can be
// ended whole. A process that asks to leave it may (adb's server detaches itself).
static HANDLE jobForChild() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

bool startChild(const char *commandLine, const char *currentFolder,
                const char *const *environmentChanges, ChildProcess *child) {
    char line[4096];
    snprintf(line, sizeof line, "%s", commandLine);
    std::wstring environment;
    if (environmentChanges != nullptr)
        environment = childEnvironment(environmentChanges);

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
    // Suspended until it is in its job, so that nothing it starts can escape the job unasked.
    const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED |
                        (haveList ? EXTENDED_STARTUPINFO_PRESENT : 0) |
                        (environmentChanges ? CREATE_UNICODE_ENVIRONMENT : 0);
    const BOOL created =
        CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, flags,
                       environmentChanges ? static_cast<void *>(&environment[0]) : nullptr,
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
    // Without a job (a system without nested jobs) a run past its limit ends the child alone.
    HANDLE job = jobForChild();
    if (job != nullptr && !AssignProcessToJobObject(job, started.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(started.hThread);
    child->process = started.hProcess;
    child->thread = started.hThread;
    child->job = job;
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

int64_t childBytesRead(ChildProcess *child) {
    IO_COUNTERS counters;
    if (!GetProcessIoCounters(child->process, &counters))
        return -1;
    return static_cast<int64_t>(counters.ReadTransferCount);
}

void closeChildOutput(ChildProcess *child) {
    if (child->output != 0)
        CloseHandle(reinterpret_cast<HANDLE>(child->output));
    child->output = 0;
}

int32_t finishChild(ChildProcess *child, uint32_t waitMs, bool endWhatItStarted) {
    closeChildOutput(child);
    const bool ended = WaitForSingleObject(child->process, waitMs) == WAIT_OBJECT_0;
    if (!ended || endWhatItStarted) {
        if (child->job != nullptr)
            TerminateJobObject(child->job, 1);
        else if (!ended)
            TerminateProcess(child->process, 1);
    }
    int32_t result = childStillRunning;
    if (ended) {
        DWORD code = 0;
        result = GetExitCodeProcess(child->process, &code) ? static_cast<int32_t>(code) : -1;
    } else {
        WaitForSingleObject(child->process, 5000);
    }
    if (child->job != nullptr)
        CloseHandle(child->job);
    CloseHandle(child->process);
    CloseHandle(child->thread);
    return result;
}
