#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"

// Once the cabinet is found the restore cannot fail: uninstalling what is not there leaves the
// cabinet's own software in place, which is the aim.
uint32_t restoreWorker(void *unused) {
    (void)unused;
    char output[8192];
    setOperationStage(Preparing);
    setStatusText("%s", "Preparing...");
    if (!prepareAdb()) {
        failOperation("Could not unpack adb.");
        return 0;
    }

    setOperationStage(StartingServer);
    runAdb("start-server", output, sizeof output, 30000);
    if (!waitForCabinet(90000)) {
        failOperation(noCabinetText);
        return 0;
    }
    setStatusText("%s", "Restoring original software...");
    runAdb("shell am force-stop com.arcade", output, sizeof output, 20000);
    runAdb("shell am force-stop com.zezuz.oneupvantormd17", output, sizeof output, 20000);
    runAdb("uninstall com.zezuz.oneupvantormd17", output, sizeof output, 180000);
    runAdb("uninstall com.arcade", output, sizeof output, 180000);
    runAdb("shell am start -n com.arcade/.activity.VantorHomeActivity", output, sizeof output,
           30000);

    setStatusText("%s", "Restored.\nThe cabinet is back to\nits original software.");
    // Cleaned up before the stage says Done, so that the next click starts from a clean slate.
    removeWorkDir();
    appState.packagesReady.store(false);
    appState.adbReady.store(false);
    setOperationStage(Done);
    return 0;
}
