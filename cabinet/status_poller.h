// The background thread that shows, without any action by the user, whether a cabinet is
// connected and whether the modification is on it.
#pragma once

#include <cstdint>

// Thread function; returns once `pollerRunning` has been cleared.
uint32_t statusPoller(void *unused);
