#include "app/app_state.h"
#include "app/clock.h"
#include "cabinet/operations.h"
#include "cabinet/probe.h"

const char noCabinetText[] =
    "No cabinet found.\nCheck the USB cable and\nthat USB debugging is on.";

bool waitForCabinet(uint32_t limitMs) {
    const uint32_t start = tickCount();
    for (;;) {
        const LinkState link = probeCabinet();
        if (link == Ready)
            return true;
        if (link == Unauthorized)
            setStatusText("%s", "Waiting for authorisation...\nOn the cabinet, tap\n\"Allow USB "
                                "debugging\".");
        else
            setStatusText("%s", "Waiting for cabinet...\nConnect USB and enable\nUSB debugging.");
        // Unsigned difference: right across the wrap of the tick counter.
        if (static_cast<uint32_t>(tickCount() - start) > limitMs)
            return false;
        sleepFor(1000);
    }
}

void failOperation(const char *message) {
    setStatusText("%s", message);
    setOperationStage(Failed);
}
