#include "proc.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

void writeOut(const std::string &text) { fwrite(text.data(), 1, text.size(), stdout); }

void writeErr(const std::string &text) {
    fwrite(text.data(), 1, text.size(), stderr);
    fflush(stderr);
}

#ifdef _WIN32

struct CrtStartupInfo {
    int newMode;
};
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int glob,
                              CrtStartupInfo *info);

namespace {

std::string narrow(const std::wstring &w) {
    if (w.empty())
        return {};
    int len = static_cast<int>(w.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), len, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), len, &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring widen(const std::string &s) {
    if (s.empty())
        return {};
    int len = static_cast<int>(s.size());
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), len, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), len, &w[0], n);
    return w;
}

std::wstring selfExe() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

// Quoting that the C runtime's command-line split undoes exactly.
std::wstring quoteArg(const std::wstring &arg) {
    std::wstring r = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        r.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        r += c;
        slashes = 0;
    }
    r.append(slashes * 2, L'\\');
    r += L'"';
    return r;
}

HANDLE inheritableCopy(DWORD which) {
    HANDLE h = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return nullptr;
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, h, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

bool startSelf(std::wstring cmd, const fs::path &cwd, STARTUPINFOW &si, DWORD flags) {
    std::wstring exe = selfExe();
    cmd = quoteArg(exe) + L" " + cmd;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    // A temporary folder that a test has named and since removed is no place to start in.
    std::error_code ec;
    const wchar_t *folder = fs::is_directory(cwd, ec) ? cwd.c_str() : nullptr;
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, flags, nullptr, folder, &si,
                        &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

} // namespace

std::vector<std::string> programArgs(int argc, char **argv) {
    std::vector<std::string> args;
    int wargc = 0;
    wchar_t **wargv = nullptr;
    wchar_t **wenv = nullptr;
    CrtStartupInfo info = {0};
    if (__wgetmainargs(&wargc, &wargv, &wenv, 0, &info) == 0 && wargv != nullptr) {
        for (int i = 0; i < wargc; ++i)
            args.push_back(narrow(wargv[i]));
        return args;
    }
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    return args;
}

std::string selfPath() { return narrow(selfExe()); }
unsigned long processId() { return GetCurrentProcessId(); }
unsigned long threadId() { return GetCurrentThreadId(); }

std::string currentFolder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring w(n, L'\0');
    w.resize(GetCurrentDirectoryW(n, &w[0]));
    return narrow(w);
}

bool readEnv(const char *name, std::string &value) {
    std::wstring key = widen(name);
    DWORD n = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (n == 0)
        return false;
    std::wstring w(n, L'\0');
    w.resize(GetEnvironmentVariableW(key.c_str(), &w[0], n));
    value = narrow(w);
    return true;
}

fs::path systemTempFolder() {
    wchar_t buf[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 2, buf);
    if (n == 0 || n > MAX_PATH + 1)
        return fs::path(L"C:\\Windows\\Temp");
    return fs::path(std::wstring(buf, n));
}

fs::path toPath(const std::string &s) { return fs::path(widen(s)); }
std::string fromPath(const fs::path &p) { return narrow(p.wstring()); }
std::string fromPathSlashes(const fs::path &p) { return narrow(p.generic_wstring()); }
bool isSeparator(char c) { return c == '/' || c == '\\'; }

FILE *openFile(const fs::path &p, const char *mode) {
    // 'N': no handle of ours may leak into the server we start.
    std::wstring m = widen(std::string(mode) + "N");
    return _wfopen(p.c_str(), m.c_str());
}

void writeOutRaw(const std::string &bytes) {
    fflush(stdout);
    int fd = _fileno(stdout);
    int old = _setmode(fd, _O_BINARY);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
    if (old != -1)
        _setmode(fd, old);
}

void makeStdinBinary() { _setmode(_fileno(stdin), _O_BINARY); }

bool spawnServer(const fs::path &state, const std::string &token) {
    fflush(stdout);
    fflush(stderr);
    // Like adb: our own standard handles stay behind, every other inheritable handle goes along.
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (DWORD id : ids) {
        HANDLE h = GetStdHandle(id);
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    std::wstring cmd = L"--server " + quoteArg(state.wstring()) + L" " + quoteArg(widen(token));
    // A job that does not allow breaking away refuses the flag: then the server stays in it.
    return startSelf(cmd, state, si, DETACHED_PROCESS | CREATE_BREAKAWAY_FROM_JOB) ||
           startSelf(cmd, state, si, DETACHED_PROCESS);
}

bool spawnHold(long long ms, const fs::path &state) {
    fflush(stdout);
    fflush(stderr);
    HANDLE out = inheritableCopy(STD_OUTPUT_HANDLE);
    HANDLE err = inheritableCopy(STD_ERROR_HANDLE);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = err;
    std::wstring cmd = L"--hold " + std::to_wstring(ms) + L" " + quoteArg(state.wstring());
    // The temporary folder as its current folder, so it blocks deleting no test folder.
    bool ok = startSelf(cmd, systemTempFolder(), si, CREATE_NO_WINDOW);
    if (out != nullptr)
        CloseHandle(out);
    if (err != nullptr)
        CloseHandle(err);
    return ok;
}

#else

namespace {

std::string selfExe() {
    std::string buf(PATH_MAX, '\0');
    ssize_t n = readlink("/proc/self/exe", &buf[0], buf.size());
    if (n <= 0)
        return "/proc/self/exe";
    buf.resize(static_cast<size_t>(n));
    return buf;
}

bool startSelf(std::vector<std::string> args, const fs::path &cwd, bool detach) {
    fflush(stdout);
    fflush(stderr);
    std::string exe = selfExe();
    args.insert(args.begin(), exe);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid > 0)
        return true;
    // Child. Inherited descriptors other than the standard three stay open, as with adb.
    if (detach)
        setsid();
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        if (detach) {
            dup2(null, 1);
            dup2(null, 2);
        }
        if (null > 2)
            close(null);
    }
    if (chdir(cwd.c_str()) != 0) {
        // Staying in the inherited folder is harmless.
    }
    execv(exe.c_str(), argv.data());
    _exit(127);
}

} // namespace

std::vector<std::string> programArgs(int argc, char **argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::string selfPath() { return selfExe(); }
unsigned long processId() { return static_cast<unsigned long>(getpid()); }
unsigned long threadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

std::string currentFolder() {
    std::string buf(4096, '\0');
    while (getcwd(&buf[0], buf.size()) == nullptr) {
        if (buf.size() > (1u << 20))
            return ".";
        buf.resize(buf.size() * 2);
    }
    buf.resize(buf.find('\0'));
    return buf;
}

bool readEnv(const char *name, std::string &value) {
    const char *v = getenv(name);
    if (v == nullptr)
        return false;
    value = v;
    return true;
}

fs::path systemTempFolder() {
    const char *t = getenv("TMPDIR");
    return fs::path(t != nullptr && *t != '\0' ? t : "/tmp");
}

fs::path toPath(const std::string &s) { return fs::path(s); }
std::string fromPath(const fs::path &p) { return p.string(); }
std::string fromPathSlashes(const fs::path &p) { return p.generic_string(); }
bool isSeparator(char c) { return c == '/'; }

FILE *openFile(const fs::path &p, const char *mode) {
    // 'e' (close-on-exec): no descriptor of ours may leak into the server we start.
    return fopen(p.c_str(), (std::string(mode) + "e").c_str());
}

void writeOutRaw(const std::string &bytes) {
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

void makeStdinBinary() {}

bool spawnServer(const fs::path &state, const std::string &token) {
    return startSelf({"--server", state.string(), token}, state, true);
}

bool spawnHold(long long ms, const fs::path &state) {
    return startSelf({"--hold", std::to_string(ms), state.string()}, systemTempFolder(), false);
}

#endif
