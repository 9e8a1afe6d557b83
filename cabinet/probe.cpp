#include "cabinet/probe.h"

#include <cstdio>
#include <cstring>

#include "cabinet/device_list.h"
#include "cabinet/tool_runner.h"
#include "platform/platform.h"

LinkState classifyDeviceList(const char *output) {
    DeviceList list;
    parseDeviceList(output, &list);
    return list.summary;
}

// A query that did not run, ran out of time or was refused by the tool ("error: ...", a device
// that went away in between) says nothing about what the device is.
PackageAnswer classifyPackageAnswer(int32_t result, const char *output) {
    if (result < 0 || result == childStillRunning || strstr(output, "error:") != nullptr)
        return PackageAnswer::NoAnswer;
    return strstr(output, "package:") != nullptr ? PackageAnswer::Cabinet
                                                 : PackageAnswer::NotACabinet;
}

struct Candidate {
    const char *serial;
    bool modificationFound;
};

static void takeCandidate(const Candidate &candidate, CabinetSearch *found) {
    found->link = Ready;
    snprintf(found->serial, sizeof found->serial, "%s", candidate.serial);
    found->modificationFound = candidate.modificationFound;
}

void findCabinet(const char *knownSerial, bool (*stillWanted)(), CabinetSearch *found) {
    found->link = NoCabinet;
    found->serial[0] = '\0';
    found->modificationFound = false;
    char output[4096];
    if (runAdb("devices", output, sizeof output, 15000) < 0)
        return;
    DeviceList list;
    parseDeviceList(output, &list);
    if (stillWanted != nullptr && !stillWanted())
        return;

    const bool known = knownSerial != nullptr && knownSerial[0] != '\0';
    for (int i = 0; known && i < list.count; i++) {
        if (list.devices[i].state == DeviceState::Usable &&
            strcmp(list.devices[i].serial, knownSerial) == 0) {
            takeCandidate({knownSerial, false}, found);
            return;
        }
    }

    Candidate cabinets[maxListedDevices];
    Candidate unanswered[maxListedDevices];
    int cabinetCount = 0;
    int unansweredCount = 0;
    int usableCount = 0;
    for (int i = 0; i < list.count; i++) {
        const ListedDevice &device = list.devices[i];
        if (device.state != DeviceState::Usable)
            continue;
        usableCount++;
        char answer[1024];
        const int32_t result =
            runAdbOn(device.serial, "shell pm path com.arcade", answer, sizeof answer, 20000);
        // An installed update of the launcher lives under /data/app; the cabinet's own copy
        // does not.
        const Candidate candidate = {device.serial,
                                     result >= 0 && strstr(answer, "/data/app") != nullptr};
        switch (classifyPackageAnswer(result, answer)) {
        case PackageAnswer::Cabinet:
            cabinets[cabinetCount++] = candidate;
            break;
        case PackageAnswer::NoAnswer:
            unanswered[unansweredCount++] = candidate;
            break;
        case PackageAnswer::NotACabinet:
            break;
        }
    }
    // Cabinets that said so come first; only without one may a device that did not answer be
    // the cabinet.
    const Candidate *candidates = cabinetCount > 0 ? cabinets : unanswered;
    const int candidateCount = cabinetCount > 0 ? cabinetCount : unansweredCount;
    if (candidateCount == 1) {
        takeCandidate(candidates[0], found);
        return;
    }
    if (candidateCount > 1) {
        found->link = SeveralCabinets;
        return;
    }
    // No usable device is the cabinet: the others tell what the cabinet is waiting for.
    if (list.waiting != NoCabinet)
        found->link = list.waiting;
    else
        found->link = usableCount > 0 ? NotACabinet : NoCabinet;
}
