// The simulated cabinet's state folder: lock, log, link, packages and storage.
#pragma once

#include <string>
#include <vector>

#include "proc.h"

struct State {
    fs::path dir;
    bool demo = false;
};

// From CABINET_SIM_STATE, else the demo folder in the system temporary folder; created.
State openState();

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
void ensurePackages(const State &st);
std::string packageLocation(const State &st, const std::string &name);
void setPackageLocation(const State &st, const std::string &name, const std::string &where);
void resetDemo(const State &st);

bool validPackageName(const std::string &name);
// Maps /sdcard/... on the cabinet into the state folder; false for any other place.
bool sdcardPath(const State &st, const std::string &remote, fs::path &local);
