#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "cabinet/operation_steps.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"
#include "platform/platform.h"

static const char installCompleteText[] =
    "The cabinet is ready. You can unplug the USB cable.\r\n\r\nOne thing to expect:\r\n\r\n"
    "When you pick a game the screen goes BLACK for a moment\r\nwhile the controls screen loads. "
    "That is normal - press a\r\nbutton on the panel (START) to begin playing.";

// Installs one package; on an answer without "Success", fails the operation with the first 300
// characters of what the tool said.
static bool installPackage(const char *arguments, uint32_t limitMs, const char *failedHeading,
                           char *output, int32_t outputSize) {
    runAdb(arguments, output, outputSize, limitMs);
    if (strstr(output, "Success") != nullptr)
        return true;
    char message[512];
    snprintf(message, sizeof message, "%s\n%.300s", failedHeading, output);
    failOperation(message);
    return false;
}

uint32_t installWorker(void *unused) {
    (void)unused;
    char output[8192];
    setOperationStage(Preparing);
    setStatusText("%s", "Preparing files...");
    if (!preparePackages()) {
        failOperation(unpackFailureText("Could not unpack files.\nIs there free disk space?"));
        return 0;
    }

    if (!startServerAndWaitForCabinet(output, sizeof output))
        return 0;
    stopCabinetApps(output, sizeof output);

    setOperationStage(InstallingEmulator);
    setStatusText("%s", "Installing emulator...");
    if (!installPackage("install -r Emulator.apk", 300000, "Emulator install failed.", output,
                        sizeof output))
        return 0;

    setOperationStage(InstallingLauncher);
    setStatusText("%s", "Installing launcher...\n(150 MB, please wait)");
    if (!installPackage("install -r Launcher.apk", 900000, "Launcher install failed.", output,
                        sizeof output))
        return 0;

    setOperationStage(CopyingDiscs);
    pushDiscs();

    setOperationStage(StartingCabinet);
    setStatusText("%s", "Starting the cabinet...");
    startCabinetHome(output, sizeof output);
    finishOperation("Done!\nPicking a game goes black\nfor a moment - press START.");

    showMessageBox(appState.windowHandle.load(), installCompleteText, "Install complete",
                   messageBoxOk | messageBoxIconInformation);
    return 0;
}
