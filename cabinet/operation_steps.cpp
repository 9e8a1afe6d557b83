#include "cabinet/operation_steps.h"

#include "app/app_state.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"

bool startServerAndWaitForCabinet(char *output, int32_t outputSize, char *serial,
                                  size_t serialCapacity) {
    setOperationStage(StartingServer);
    runAdb("start-server", output, outputSize, 30000);
    if (waitForCabinet(90000, serial, serialCapacity))
        return true;
    failOperation(noCabinetText);
    return false;
}

void stopCabinetApps(const char *serial, char *output, int32_t outputSize) {
    runAdbOn(serial, "shell am force-stop com.arcade", output, outputSize, 20000);
    runAdbOn(serial, "shell am force-stop com.zezuz.oneupvantormd17", output, outputSize, 20000);
}

void startCabinetHome(const char *serial, char *output, int32_t outputSize) {
    runAdbOn(serial, "shell am start -n com.arcade/.activity.VantorHomeActivity", output,
             outputSize, 30000);
}

void finishOperation(const char *successText) {
    setStatusText("%s", successText);
    removeWorkDir();
    appState.packagesReady.store(false);
    appState.adbReady.store(false);
    setOperationStage(Done);
}
