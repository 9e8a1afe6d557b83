#include "cabinet/status_poller.h"

#include <cstring>

#include "app/app_state.h"
#include "app/clock.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"
#include "cabinet/tool_runner.h"

static const char *linkText(LinkState link) {
    switch (link) {
    case Unauthorized:
        return "Cabinet found, not authorised.\nOn the cabinet, tap\n\"Allow USB debugging\".";
    case Offline:
        return "Cabinet is offline.\nUnplug and replug the\nUSB cable.";
    default:
        return initialStatusText;
    }
}

// One pass: probe, then ask where the launcher package lives. Every write is refused once an
// operation has been requested, even when the click came in the middle of this pass.
static void pollOnce() {
    const LinkState link = probeCabinet();
    if (!reportCabinetReadyWhileIdle(link == Ready))
        return;
    if (link != Ready) {
        reportStatusTextWhileIdle(linkText(link));
        return;
    }
    char output[1024];
    const int32_t result = runAdb("shell pm path com.arcade", output, sizeof output, 20000);
    // An installed update of the launcher lives under /data/app; the cabinet's own copy does not.
    const bool installed = result >= 0 && strstr(output, "/data/app") != nullptr;
    reportModInstalledWhileIdle(
        installed, installed
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
