#include "tests/support/cabinet_sim_state.h"

#include <filesystem>
#include <sstream>
#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/platform.h"
#include "tests/support/test_environment.h"

SimCabinet SimCabinet::create(const std::string &name) {
    SimCabinet cabinet{scratchFolder("cabinet-" + name)};
    setEnvironment("CABINET_SIM_STATE", cabinet.folder.c_str());
    return cabinet;
}

// Every waiting simulator ends once its state folder is gone. On Windows a file that a simulator
// has open at that moment cannot be removed, so the removal is tried again for a few seconds.
void SimCabinet::destroy() const {
    for (int attempt = 0; attempt < 100 && pathExists(folder); attempt++) {
        if (attempt > 0)
            sleepMilliseconds(50);
        removeTree(folder);
    }
    setEnvironment("CABINET_SIM_STATE", nullptr);
}

void SimCabinet::setLink(const std::string &word) const { write("link", word + "\n"); }

void SimCabinet::addFault(const std::string &line) const {
    write("faults", read("faults") + line + "\n");
}

// A name may lie in a folder of the state ("packages/com.arcade") that the simulator has not
// made yet.
void SimCabinet::write(const std::string &name, const std::string &bytes) const {
    const std::string path = joinPath(folder, name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFile(path, bytes);
}

std::string SimCabinet::read(const std::string &name) const {
    return readFile(joinPath(folder, name));
}

static std::string unescape(const std::string &field) {
    std::string out;
    for (size_t i = 0; i < field.size(); i++) {
        if (field[i] == '%' && i + 2 < field.size()) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += field[i];
        }
    }
    return out;
}

// A line is FOLDER \t SERIAL, then \t and each argument (escaped with %XX).
std::vector<SimInvocation> SimCabinet::log() const {
    std::vector<SimInvocation> invocations;
    std::istringstream lines(read("log"));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == '\t')
                fields.emplace_back();
            else
                fields.back() += c;
        }
        SimInvocation invocation;
        invocation.folder = unescape(fields[0]);
        if (fields.size() > 1)
            invocation.serial = unescape(fields[1]);
        for (size_t i = 2; i < fields.size(); i++)
            invocation.arguments.push_back(unescape(fields[i]));
        invocations.push_back(invocation);
    }
    return invocations;
}

unsigned long SimCabinet::lastProcess(const std::string &role) const {
    unsigned long last = 0;
    std::istringstream lines(read("pids"));
    unsigned long pid = 0;
    std::string said;
    while (lines >> pid >> said)
        if (said == role)
            last = pid;
    return last;
}

std::string toolText(const std::string &lines) {
#ifdef _WIN32
    std::string out;
    for (char c : lines) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
#else
    return lines;
#endif
}

std::string asLogged(const std::string &ansi) {
#ifdef _WIN32
    wchar_t wide[1024];
    const int count = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, 1024);
    char utf8[4096];
    WideCharToMultiByte(CP_UTF8, 0, wide, count, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
#else
    return ansi;
#endif
}
