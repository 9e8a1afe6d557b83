// The devices plugged in, and the one a one-device command goes to.
#pragma once

#include <string>
#include <vector>

#include "state.h"

struct Device {
    std::string serial;
    std::string link;          // ready, unauthorized, offline, authorizing, nopermissions
    std::string kind;          // cabinet or phone
    fs::path home;             // packages/, installed/, sdcard/ and the push budgets
    unsigned long long id = 0; // the server's transport id
};

// Why a one-device command found no device to talk to.
enum class Refusal {
    None,
    NotFound,
    MoreThanOne,
    Unauthorized,
    Offline,
    Authorizing,
    NoPermission
};

struct Target {
    Refusal refusal = Refusal::None;
    std::string problem; // adb's words for the refusal, without "error: " and the line end
    Device device;
};

// The device whose files are the state folder's own, as a cabinet.
Device defaultDevice(const State &st);
// STATE/devices when it is there (SERIAL STATE [KIND] a line), else the link word's devices.
// Lock held.
std::vector<Device> listDevices(const State &st);
// The device ANDROID_SERIAL names, else the only one; takes the lock.
Target pickTarget(const State &st);
// The link to the device drops: it is no longer listed. Lock held.
void dropDevice(const State &st, const Device &device);

// The device-side files of the devices. Lock held where they write.
void ensurePackages(const Device &device);
std::string packageLocation(const Device &device, const std::string &name);
void setPackageLocation(const Device &device, const std::string &name, const std::string &where);
void removePackage(const Device &device, const std::string &name);
// Maps /sdcard/... on the device into its folder; false for any other place.
bool sdcardPath(const Device &device, const std::string &remote, fs::path &local);
