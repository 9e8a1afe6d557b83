// What the cabinet tool says about the connected devices, and which of them is the cabinet.
#pragma once

#include <cstddef>
#include <cstdint>

enum LinkState : int32_t {
    NoCabinet = 0,
    Ready = 1,
    Unauthorized = 2,
    Offline = 3,
    NoPermission = 4,    // a device this user may not open (Linux without the udev rule)
    NotACabinet = 5,     // only devices that answered as something else, a phone say
    SeveralCabinets = 6, // more than one cabinet at once: which one is meant cannot be told
};

// Classifies a device list: a usable device anywhere wins; without one, the last unauthorised
// (or still authorising), offline or unopenable device decides; lines without a tab, and states
// we do not know, are ignored.
LinkState classifyDeviceList(const char *output);

// A device's serial as the tool lists it, and as a run is pinned to it.
constexpr size_t serialSize = 128;

// The one usable device that is the cabinet, told apart from the others by its launcher package.
struct CabinetSearch {
    LinkState link;
    char serial[serialSize]; // the cabinet's serial, when `link` is Ready
    bool modificationFound;  // the cabinet's launcher is an installed update (Ready only)
};

// Runs "devices", then asks each usable device where its launcher package lives
// ("shell pm path com.arcade", pinned to that device): a device that names a package path is a
// cabinet, one that answers without one is not (a phone), and one whose query failed is taken as
// the cabinet it may be. A usable device whose serial is `knownSerial` (the cabinet found
// before; null or empty for none) is taken without asking again. Devices that are not usable
// count only when no usable device could be the cabinet, so that a phone beside an unauthorised
// cabinet changes nothing. `stillWanted` (null: always) is asked before the devices are asked: once
// it says no, nothing more is run and the result is NoCabinet.
void findCabinet(const char *knownSerial, bool (*stillWanted)(), CabinetSearch *found);

// The answer to "shell pm path com.arcade": a cabinet names its launcher's package path.
enum class PackageAnswer { Cabinet, NotACabinet, NoAnswer };
PackageAnswer classifyPackageAnswer(int32_t result, const char *output);
