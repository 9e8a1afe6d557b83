// Injected misbehaviour read from STATE/faults.
#pragma once

#include <string>
#include <vector>

#include "state.h"

struct Fault {
    std::string action;
    std::vector<std::string> args;
};

// Finds the first line whose prefix starts commandLine and uses it up once. Lock held.
bool takeFault(const State &st, const std::string &commandLine, Fault &fault);
// Turns \n \r \t \\ into their bytes.
std::string decodeEscapes(const std::string &text);
