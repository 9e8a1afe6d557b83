// The simulated cabinet's state folder, as the tests write and read it.
#pragma once

#include <string>
#include <vector>

struct SimInvocation {
    std::string folder;                 // the simulator's current folder
    std::string serial;                 // ANDROID_SERIAL as it got it; empty when unset
    std::vector<std::string> arguments; // argv[1..]
};

struct SimCabinet {
    std::string folder;

    // A fresh state folder, named to the children by CABINET_SIM_STATE.
    static SimCabinet create(const std::string &name);
    // Removes the folder; every simulator process still waiting notices and ends.
    void destroy() const;

    void setLink(const std::string &word) const;
    void addFault(const std::string &line) const; // PREFIX \t COUNT \t ACTION [\t ARG...]
    void write(const std::string &name, const std::string &bytes) const;
    std::string read(const std::string &name) const;
    std::vector<SimInvocation> log() const;
    // The id of the last simulator process of a role ("client", "server", "hold") that said it
    // started; 0 when none has.
    unsigned long lastProcess(const std::string &role) const;
};

// A name as the simulator logs it: the Windows build works in UTF-8, as adb.exe does, and logs
// the program's ANSI text converted.
std::string asLogged(const std::string &ansi);

// The tool's text as it arrives: the Windows build writes CR LF line ends.
std::string toolText(const std::string &lines);
