#include "state.h"

#include <chrono>
#include <thread>

#include "devices.h"
#include "files.h"

const char *const kDefaultSerial = "R58M12ABCDE";

namespace {

const long long kDemoBootMs = 4000;

std::string escapeField(const std::string &s) {
    std::string r;
    for (char c : s) {
        switch (c) {
        case '%':
            r += "%25";
            break;
        case '\t':
            r += "%09";
            break;
        case '\r':
            r += "%0D";
            break;
        case '\n':
            r += "%0A";
            break;
        default:
            r += c;
        }
    }
    return r;
}

} // namespace

State openState() {
    State st;
    std::string env;
    std::error_code ec;
    if (readEnv("CABINET_SIM_STATE", env) && !env.empty()) {
        st.dir = fs::absolute(toPath(env), ec);
        if (ec)
            st.dir = toPath(env);
    } else {
        st.demo = true;
        st.dir = systemTempFolder() / "cabinet-sim-demo";
    }
    fs::create_directories(st.dir, ec);
    readEnv("ANDROID_SERIAL", st.serial);
    return st;
}

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool folderGone(const fs::path &dir) {
    std::error_code ec;
    return fs::status(dir, ec).type() == fs::file_type::not_found;
}

bool waitFor(const fs::path &dir, long long ms) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(ms);
    for (;;) {
        if (folderGone(dir))
            return false;
        auto left = duration_cast<milliseconds>(end - steady_clock::now());
        if (left.count() <= 0)
            return true;
        std::this_thread::sleep_for(std::min(left, milliseconds(100)));
    }
}

long long defaultHangMs(const State &st) { return readNumberFile(st.dir / "hang-ms", 600000); }

bool lockState(const fs::path &dir) {
    using namespace std::chrono;
    const fs::path lock = dir / ".lock";
    const auto giveUp = steady_clock::now() + seconds(30);
    for (;;) {
        std::error_code ec;
        if (fs::create_directory(lock, ec))
            return true;
        if (folderGone(dir) || steady_clock::now() > giveUp)
            return false;
        // A holder that died leaves the folder behind; after 5 s it is taken over.
        auto stamp = fs::last_write_time(lock, ec);
        if (!ec && fs::file_time_type::clock::now() - stamp > seconds(5)) {
            fs::remove(lock, ec);
            if (ec && fs::exists(lock))
                return true;
            continue;
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
}

void unlockState(const fs::path &dir) {
    std::error_code ec;
    fs::remove(dir / ".lock", ec);
}

void appendLog(const State &st, const std::vector<std::string> &args) {
    // FOLDER \t SERIAL, then \t and each argument: a line without arguments has one tab.
    std::string line = escapeField(currentFolder()) + "\t" + escapeField(st.serial);
    for (const std::string &arg : args)
        line += "\t" + escapeField(arg);
    appendFile(st.dir / "log", line + "\n");
}

void recordProcess(const fs::path &dir, const char *role) {
    appendFile(dir / "pids", std::to_string(processId()) + " " + role + "\n");
}

std::string currentLink(const State &st) {
    std::string text;
    readFile(st.dir / "link", text);
    std::string word = firstWord(text);
    if (word.empty())
        word = "none";
    if (st.demo && word == "none") {
        long long reset = readNumberFile(st.dir / "demo-reset", -1);
        if (reset < 0)
            writeFile(st.dir / "demo-reset", std::to_string(nowMs()));
        else if (nowMs() >= reset + kDemoBootMs) {
            word = "ready";
            setLink(st, word);
        }
    }
    return word;
}

void setLink(const State &st, const std::string &word) { writeFile(st.dir / "link", word); }

bool takeQueuedLink(const State &st, std::string &word) {
    const fs::path queue = st.dir / "link-queue";
    std::string text;
    if (!readFile(queue, text))
        return false;
    std::vector<std::string> lines = split(text, '\n');
    for (size_t i = 0; i < lines.size(); ++i) {
        word = firstWord(lines[i]);
        if (word.empty())
            continue;
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(i) + 1);
        writeFile(queue, join(lines, "\n"));
        return true;
    }
    return false;
}

bool validPackageName(const std::string &name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

void resetDemo(const State &st) {
    std::error_code ec;
    setLink(st, "none");
    // A fresh cabinet each time, and no stale copies piling up in the temporary folder.
    fs::remove_all(st.dir / "packages", ec);
    fs::remove_all(st.dir / "installed", ec);
    fs::remove_all(st.dir / "sdcard", ec);
    ensurePackages(defaultDevice(st));
    writeFile(st.dir / "demo-reset", std::to_string(nowMs()));
}
