// The commands the simulator answers; each returns the exit code.
#pragma once

#include <string>
#include <vector>

#include "devices.h"

using Args = std::vector<std::string>;

// Options come first; the operand is the last argument.
bool lastOperand(const Args &args, std::string &operand);

// "error: PROBLEM\n", as a command prints a refused device.
std::string refusalLine(const Target &target);
// Install, push and uninstall first ask the server for the device's features; these refusals
// already fail that question, and the command goes on to say so in its own way.
bool refusedAtFeatureQuery(const Target &target);
std::string featureSetFailure(const Target &target);

int cmdDevices(const State &st);
int cmdShell(const State &st, const Args &args);
int cmdInstall(const State &st, const Args &args);
int cmdUninstall(const State &st, const Args &args);
int cmdPush(const State &st, const Args &args);
int cmdReadStdin();
int cmdUnknown(const Args &args);
