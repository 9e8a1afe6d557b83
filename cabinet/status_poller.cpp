#include "cabinet/status_poller.h"

#include "app/app_state.h"
#include "app/clock.h"
#include "cabinet/link_texts.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"

static bool noOperationYet() { return appState.operationStage.load() == Idle; }

// One pass: find the cabinet among the connected devices and ask where its launcher package
// lives. Every write is refused once an operation has been requested, even when the click came in
// the middle of this pass, and no device is asked anything more after the click.
static void pollOnce() {
    CabinetSearch found;
    findCabinet(nullptr, noOperationYet, &found);
    const bool ready = found.link == Ready;
    if (!reportCabinetReadyWhileIdle(ready, ready ? found.serial : ""))
        return;
    if (!ready) {
        reportStatusTextWhileIdle(linkStatusText(found.link));
        return;
    }
    reportModInstalledWhileIdle(
        found.modificationFound,
        found.modificationFound
            ? "Cabinet detected.\nThis mod is installed.\nPress RESTORE to undo it."
            : "Cabinet detected.\nPress INSTALL to begin.");
}

uint32_t statusPoller(void *unused) {
    (void)unused;
    // A failure leaves adbReady clear, and every probe then finds no cabinet. When the user can
    // mend the cause, the passes say what to do instead of waiting for a cabinet for ever.
    const char *unpackProblem = prepareAdb() ? nullptr : unpackFailureText(nullptr);
    while (appState.pollerRunning.load()) {
        if (appState.operationStage.load() == Idle) {
            if (unpackProblem != nullptr)
                reportStatusTextWhileIdle(unpackProblem);
            else
                pollOnce();
        }
        sleepFor(1200);
    }
    return 0;
}
