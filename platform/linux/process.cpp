#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/command_line.h"
#include "platform/platform.h"

extern char **environ;

constexpr size_t commandLineStorage = 4096;
constexpr int maxArguments = 256;

// The child's environment: ours without the variables the changes name, then the changes that
// set one. Pointers into `environ` and into the changes, which outlive the spawn.
constexpr int maxEnvironmentEntries = 4096;

static bool sameName(const char *entry, const char *change) {
    for (;; entry++, change++) {
        const bool entryEnds = *entry == '=' || *entry == '\0';
        const bool changeEnds = *change == '=' || *change == '\0';
        if (entryEnds || changeEnds)
            return entryEnds && changeEnds;
        if (*entry != *change)
            return false;
    }
}

static bool childEnvironment(const char *const *changes, char **entries) {
    int count = 0;
    for (char **entry = environ; *entry != nullptr; entry++) {
        bool changed = false;
        for (const char *const *change = changes; change && *change; change++)
            changed = changed || sameName(*entry, *change);
        if (changed)
            continue;
        if (count + 1 >= maxEnvironmentEntries)
            return false;
        entries[count++] = *entry;
    }
    for (const char *const *change = changes; change && *change; change++) {
        if (strchr(*change, '=') == nullptr)
            continue; // a bare name only removes
        if (count + 1 >= maxEnvironmentEntries)
            return false;
        entries[count++] = const_cast<char *>(*change);
    }
    entries[count] = nullptr;
    return true;
}

bool startChild(const char *commandLine, const char *currentFolder,
                const char *const *environmentChanges, ChildProcess *child) {
    char storage[commandLineStorage];
    char *arguments[maxArguments];
    if (splitCommandLine(commandLine, storage, sizeof storage, arguments, maxArguments) < 1)
        return false;
    char *environment[maxEnvironmentEntries];
    if (!childEnvironment(environmentChanges, environment))
        return false;

    // Close-on-exec, so that a child started by another thread at the same moment never holds
    // this pipe open; only the dup2 below hands the write end on, to this child alone.
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    if (currentFolder != nullptr && currentFolder[0] != '\0')
        posix_spawn_file_actions_addchdir_np(&actions, currentFolder);

    // The child starts with no blocked signals and the default actions, whatever this program
    // has set for itself, and leads a process group of its own: what it starts stays in that
    // group (adb's server alone leaves it, for a session of its own), so that a run past its
    // limit can be ended whole.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    const int failed =
        posix_spawn(&pid, arguments[0], &actions, &attributes, arguments, environment);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed != 0) {
        close(pipeEnds[0]);
        return false;
    }
    child->process = reinterpret_cast<void *>(static_cast<intptr_t>(pid));
    child->thread = nullptr;
    child->job = nullptr;
    child->output = pipeEnds[0];
    return true;
}

int32_t readChildOutput(ChildProcess *child, char *buffer, int32_t capacity, uint32_t waitMs) {
    const int output = static_cast<int>(child->output);
    if (output < 0 || capacity <= 0)
        return 0;
    pollfd ready{output, POLLIN, 0};
    for (;;) {
        const int waiting = poll(&ready, 1, waitMs > 0x7fffffffu ? -1 : static_cast<int>(waitMs));
        if (waiting < 0 && errno == EINTR)
            continue;
        if (waiting == 0)
            return childReadTimedOut;
        if (waiting < 0)
            return 0;
        break;
    }
    for (;;) {
        const ssize_t count = read(output, buffer, static_cast<size_t>(capacity));
        if (count < 0 && errno == EINTR)
            continue;
        return count > 0 ? static_cast<int32_t>(count) : 0;
    }
}

int64_t childBytesRead(ChildProcess *child) {
    const pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(child->process));
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/io", static_cast<int>(pid));
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return -1;
    char text[512];
    const ssize_t count = read(file, text, sizeof text - 1);
    close(file);
    if (count <= 0)
        return -1;
    text[count] = '\0';
    // "rchar: N" is the first line: every byte the process's reads have returned.
    long long bytes = -1;
    return sscanf(text, "rchar: %lld", &bytes) == 1 ? bytes : -1;
}

void closeChildOutput(ChildProcess *child) {
    if (child->output >= 0)
        close(static_cast<int>(child->output));
    child->output = -1;
}

// Reaps the child if it has ended. The exit code of a child ended by a signal is reported the way
// a shell does (128 + the signal), never as success.
static bool reapChild(pid_t pid, int32_t *exitCode) {
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(pid, &status, WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped < 0) {
        *exitCode = -1;
        return true;
    }
    if (reaped == 0)
        return false;
    if (WIFEXITED(status))
        *exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        *exitCode = 128 + WTERMSIG(status);
    else
        *exitCode = -1;
    return true;
}

// Children that had not yet ended when they were last waited for. Each later finish reaps those
// that have ended since, so that they do not linger as zombies for the rest of the run.
constexpr int maxLeftChildren = 64;
static std::atomic<pid_t> leftChildren[maxLeftChildren];

static void reapLeftChildren() {
    for (std::atomic<pid_t> &slot : leftChildren) {
        const pid_t pid = slot.exchange(0);
        int32_t ignored;
        if (pid != 0 && !reapChild(pid, &ignored))
            slot.store(pid);
    }
}

static void rememberLeftChild(pid_t pid) {
    for (std::atomic<pid_t> &slot : leftChildren) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

// Whether the child has ended, without reaping it: until it is reaped its process id, and so its
// group's id, cannot be given to anybody else.
static bool hasEnded(pid_t pid) {
    siginfo_t info;
    info.si_pid = 0;
    int result;
    do {
        result = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    } while (result < 0 && errno == EINTR);
    return result < 0 || info.si_pid != 0; // an error: nothing left to wait for
}

// Polls until the child has ended or the time is up. Polling keeps this free of signal handlers,
// which would belong to the whole program.
static bool waitForEnd(pid_t pid, uint32_t waitMs) {
    const uint64_t deadline = monotonicMilliseconds() + waitMs;
    uint32_t pause = 1;
    for (;;) {
        if (hasEnded(pid))
            return true;
        const uint64_t now = monotonicMilliseconds();
        if (now >= deadline)
            return false;
        const uint64_t left = deadline - now;
        sleepMilliseconds(static_cast<uint32_t>(left < pause ? left : pause));
        if (pause < 20)
            pause *= 2;
    }
}

int32_t finishChild(ChildProcess *child, uint32_t waitMs, bool endWhatItStarted) {
    reapLeftChildren();
    closeChildOutput(child);
    const pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(child->process));
    const bool ended = waitForEnd(pid, waitMs);
    if (!ended || endWhatItStarted)
        kill(-pid, SIGKILL); // the whole group; the child is not reaped yet, so the group is ours
    int32_t exitCode = -1;
    if (ended) {
        reapChild(pid, &exitCode);
        return exitCode;
    }
    // A child in an uninterruptible wait ends only once that wait is over; it is reaped later.
    if (waitForEnd(pid, 5000))
        reapChild(pid, &exitCode);
    else
        rememberLeftChild(pid);
    return childStillRunning;
}
