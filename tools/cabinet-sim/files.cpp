#include "files.h"

#include <cerrno>
#include <cstdlib>
#ifdef _WIN32
#include <windows.h>
#endif

bool readFile(const fs::path &p, std::string &out) {
    FILE *f = openFile(p, "rb");
    if (f == nullptr)
        return false;
    out.clear();
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        out.append(buf, n);
    bool ok = ferror(f) == 0;
    fclose(f);
    return ok;
}

static bool putFile(const fs::path &p, const std::string &data, const char *mode) {
    FILE *f = openFile(p, mode);
    if (f == nullptr)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

bool writeFile(const fs::path &p, const std::string &data) { return putFile(p, data, "wb"); }
#ifdef _WIN32
// The C library appends by seeking to the end and then writing, so two simulator processes
// appending at once (a client and the server it started) can overwrite each other's line. A
// handle opened for appending only makes the system put every write at the end.
bool appendFile(const fs::path &p, const std::string &data) {
    HANDLE file = CreateFileW(p.wstring().c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == data.size();
}
#else
bool appendFile(const fs::path &p, const std::string &data) { return putFile(p, data, "ab"); }
#endif

bool copyFileBytes(const fs::path &from, const fs::path &to, std::uintmax_t &bytes) {
    bytes = 0;
    std::error_code ec;
    if (to.has_parent_path())
        fs::create_directories(to.parent_path(), ec);
    FILE *in = openFile(from, "rb");
    if (in == nullptr)
        return false;
    FILE *out = openFile(to, "wb");
    if (out == nullptr) {
        fclose(in);
        return false;
    }
    std::vector<char> buf(1 << 20);
    bool ok = true;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), in)) > 0) {
        if (fwrite(buf.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
        bytes += n;
    }
    ok = ok && ferror(in) == 0;
    fclose(in);
    return fclose(out) == 0 && ok;
}

std::string trim(const std::string &s) {
    const char *ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

std::string firstWord(const std::string &s) {
    std::string t = trim(s);
    return t.substr(0, t.find_first_of(" \t\r\n"));
}

std::vector<std::string> split(const std::string &s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = s.find(sep, start);
        if (at == std::string::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
}

std::string join(const std::vector<std::string> &parts, const std::string &sep) {
    std::string r;
    for (size_t i = 0; i < parts.size(); ++i)
        r += (i == 0 ? "" : sep) + parts[i];
    return r;
}

bool parseNumber(const std::string &s, long long &value) {
    std::string t = trim(s);
    if (t.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    value = v;
    return true;
}

long long readNumberFile(const fs::path &p, long long fallback) {
    std::string text;
    long long v;
    if (readFile(p, text) && parseNumber(text, v))
        return v;
    return fallback;
}
