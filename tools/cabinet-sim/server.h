// The background server that adb keeps running between commands.
#pragma once

#include <string>

#include "state.h"

// Refreshes a running server's expiry, or announces and starts a new one. Lock held.
void ensureServer(const State &st);
// Lock held.
void killServer(const State &st);

// Hidden modes of the executable.
int runServer(const std::string &stateArg, std::string token);
int runHold(const std::string &msArg, const std::string &stateArg);
