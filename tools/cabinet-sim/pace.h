// The link's speed: with STATE/transfer-rate (bytes per second), push and install move their file
// bytes no faster than that; without it, at once.
#pragma once

#include <cstdint>

#include "state.h"

void startPace(const State &st);
// Waits until `bytes` more are due at the rate, counted from startPace; false once the state
// folder has gone, so that a slow copy ends with the test that started it.
bool paceBytes(std::uintmax_t bytes);
