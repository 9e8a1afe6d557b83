// What the cabinet tool says about the connected devices.
#pragma once

#include <cstdint>

enum LinkState : int32_t {
    NoCabinet = 0,
    Ready = 1,
    Unauthorized = 2,
    Offline = 3,
};

// Classifies a device list: a usable device anywhere wins; without one, the last unauthorised or
// offline device decides; lines without a tab, and states we do not know, are ignored.
LinkState classifyDeviceList(const char *output);

// Runs one "devices" query. Safe on two threads at once: nothing is shared between calls.
LinkState probeCabinet();
