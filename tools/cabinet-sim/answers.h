// The commands the simulator answers; each returns the exit code.
#pragma once

#include <string>
#include <vector>

#include "state.h"

using Args = std::vector<std::string>;

// The link as a one-device command sees it, and the error adb prints for it ("" when ready).
std::string linkNow(const State &st);
std::string deviceProblem(const std::string &link);
// What a command that first asks for the device's features prints when `problem` stops it.
std::string featureSetFailure(const std::string &problem);

int cmdDevices(const State &st);
int cmdShell(const State &st, const Args &args);
int cmdInstall(const State &st, const Args &args);
int cmdUninstall(const State &st, const Args &args);
int cmdPush(const State &st, const Args &args);
int cmdReadStdin();
int cmdUnknown(const Args &args);
