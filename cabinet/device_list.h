// Reading the tool's list of connected devices.
#pragma once

#include <cstddef>

#include "cabinet/probe.h"

constexpr int maxListedDevices = 16;

enum class DeviceState { Usable, Unauthorized, Offline, NoPermission, Other };

struct ListedDevice {
    char serial[serialSize]; // the text before the tab, cut to fit
    DeviceState state;
};

struct DeviceList {
    LinkState summary; // what the whole list says, as classifyDeviceList gives it
    LinkState waiting; // what the devices that are not usable say, as if they were alone
    int count;         // the first maxListedDevices device lines
    ListedDevice devices[maxListedDevices];
};

// Splits the output into lines at runs of line-end characters; every line that holds a tab is a
// device line. A state is matched as a word right after a tab anywhere in the line: "device" is
// usable, "unauthorized" and "authorizing" wait for the user's consent on the device, "offline",
// and "no permissions" (Linux: the USB device cannot be opened by this user); anything else is
// ignored. The summary: a usable device anywhere wins; without one, the last line in one of the
// other known states decides (`waiting`); otherwise no cabinet.
void parseDeviceList(const char *output, DeviceList *list);
