#include "cabinet/operation_steps.h"

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"

bool startServerAndWaitForCabinet(char *output, int32_t outputSize) {
    setOperationStage(StartingServer);
    runAdb("start-server", output, outputSize, 30000);
    if (waitForCabinet(90000))
        return true;
    failOperation(noCabinetText);
    return false;
}

void stopCabinetApps(char *output, int32_t outputSize) {
    runAdb("shell am force-stop com.arcade", output, outputSize, 20000);
    runAdb("shell am force-stop com.zezuz.oneupvantormd17", output, outputSize, 20000);
}

void startCabinetHome(char *output, int32_t outputSize) {
    runAdb("shell am start -n com.arcade/.activity.VantorHomeActivity", output, outputSize, 30000);
}

void finishOperation(const char *successText) {
    setStatusText("%s", successText);
    removeWorkDir();
    appState.packagesReady.store(false);
    appState.adbReady.store(false);
    setOperationStage(Done);
}
