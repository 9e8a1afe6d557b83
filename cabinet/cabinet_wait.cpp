#include <cstdio>

#include "app/app_state.h"
#include "app/clock.h"
#include "cabinet/link_texts.h"
#include "cabinet/operations.h"
#include "cabinet/probe.h"
#include "cabinet/transfer_progress.h"

const char noCabinetText[] =
    "No cabinet found.\nCheck the USB cable and\nthat USB debugging is on.";

static const char *waitingText(LinkState link) {
    switch (link) {
    case Unauthorized:
        return "Waiting for authorisation...\nOn the cabinet, tap\n\"Allow USB debugging\".";
    case NoPermission:
    case NotACabinet:
    case SeveralCabinets:
        return linkStatusText(link); // what the user has to do is the same as before the click
    default:
        return "Waiting for cabinet...\nConnect USB and enable\nUSB debugging.";
    }
}

bool waitForCabinet(uint32_t limitMs, char *serial, size_t serialCapacity) {
    const uint32_t start = tickCount();
    for (;;) {
        // The cabinet found before (by the poller, or an earlier operation) is taken as it is
        // listed, without asking again; any other device must first say that it is the cabinet.
        char known[cabinetSerialSize];
        copyCabinetSerial(known, sizeof known);
        CabinetSearch found;
        findCabinet(known, nullptr, &found);
        if (found.link == Ready) {
            setCabinetSerial(found.serial);
            snprintf(serial, serialCapacity, "%s", found.serial);
            return true;
        }
        setStatusText("%s", waitingText(found.link));
        // Unsigned difference: right across the wrap of the tick counter.
        if (static_cast<uint32_t>(tickCount() - start) > limitMs)
            return false;
        sleepFor(1000);
    }
}

void failOperation(const char *message) {
    clearTransfer(); // no step moves bytes any more
    setStatusText("%s", message);
    setOperationStage(Failed);
}
