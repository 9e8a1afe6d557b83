#include "app/app_state.h"
#include "cabinet/operation_steps.h"
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
        failOperation(unpackFailureText("Could not unpack adb."));
        return 0;
    }

    if (!startServerAndWaitForCabinet(output, sizeof output))
        return 0;
    setStatusText("%s", "Restoring original software...");
    stopCabinetApps(output, sizeof output);
    runAdb("uninstall com.zezuz.oneupvantormd17", output, sizeof output, 180000);
    runAdb("uninstall com.arcade", output, sizeof output, 180000);
    startCabinetHome(output, sizeof output);
    finishOperation("Restored.\nThe cabinet is back to\nits original software.");
    return 0;
}
