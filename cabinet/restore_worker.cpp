#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "cabinet/operation_steps.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"
#include "cabinet/tool_runner.h"

// The modification is gone when the cabinet, asked again, names its own launcher and no installed
// update of it. A cabinet that never had the modification passes too, whatever the uninstalls
// said. Otherwise the restore fails with the tool's words: the launcher's uninstall's when the
// cabinet answered, else the query's own (the link dropped, say).
static bool modificationGone(const char *serial, const char *uninstallWords) {
    char answer[1024];
    const int32_t result =
        runAdbOn(serial, "shell pm path com.arcade", answer, sizeof answer, 20000);
    const bool answered = classifyPackageAnswer(result, answer) == PackageAnswer::Cabinet;
    if (answered && strstr(answer, "/data/app") == nullptr)
        return true;
    char message[512];
    snprintf(message, sizeof message, "Restore failed.\n%.300s",
             answered || answer[0] == '\0' ? uninstallWords : answer);
    failOperation(message);
    return false;
}

uint32_t restoreWorker(void *unused) {
    (void)unused;
    char output[8192];
    setOperationStage(Preparing);
    setStatusText("%s", "Preparing...");
    if (!prepareAdb()) {
        failOperation(unpackFailureText("Could not unpack adb."));
        return 0;
    }

    char serial[serialSize];
    if (!startServerAndWaitForCabinet(output, sizeof output, serial, sizeof serial))
        return 0;
    setStatusText("%s", "Restoring original software...");
    stopCabinetApps(serial, output, sizeof output);
    runAdbOn(serial, "uninstall com.zezuz.oneupvantormd17", output, sizeof output, 180000);
    runAdbOn(serial, "uninstall com.arcade", output, sizeof output, 180000);
    char uninstallWords[301];
    snprintf(uninstallWords, sizeof uninstallWords, "%s", output);
    startCabinetHome(serial, output, sizeof output);
    if (!modificationGone(serial, uninstallWords))
        return 0;
    finishOperation("Restored.\nThe cabinet is back to\nits original software.");
    return 0;
}
