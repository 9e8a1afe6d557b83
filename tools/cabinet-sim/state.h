// The simulated cabinet's state folder: lock, log, link, packages and storage.
#pragma once

#include <string>
#include <vector>

#include "proc.h"

struct State {
    fs::path dir;
    bool demo = false;
    std::string serial;       // ANDROID_SERIAL as this process got it; empty when unset
    long long dropAfter = -1; // a `drop` fault: the link drops after this many bytes of data
};

// From CABINET_SIM_STATE, else the demo folder in the system temporary folder; created.
State openState();
// The serial of the device whose files are the state folder's own packages/, installed/, sdcard/.
extern const char *const kDefaultSerial;

long long nowMs();
bool folderGone(const fs::path &dir);
// Sleeps in 100 ms steps; false as soon as the folder has gone.
bool waitFor(const fs::path &dir, long long ms);
long long defaultHangMs(const State &st);

// mkdir-based mutex shared by every process on the folder.
bool lockState(const fs::path &dir);
void unlockState(const fs::path &dir);

// The functions below expect the lock to be held.
void appendLog(const State &st, const std::vector<std::string> &args);
std::string currentLink(const State &st);
void setLink(const State &st, const std::string &word);
bool takeQueuedLink(const State &st, std::string &word);
void resetDemo(const State &st);
// Every simulator process says who it is in STATE/pids: "PID ROLE" (client, server, hold).
void recordProcess(const fs::path &dir, const char *role);

bool validPackageName(const std::string &name);
