#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "cabinet/operation_steps.h"
#include "cabinet/operations.h"
#include "cabinet/payload.h"
#include "cabinet/probe.h"
#include "cabinet/tool_runner.h"
#include "cabinet/transfer_progress.h"
#include "platform/platform.h"

static const char installCompleteText[] =
    "The cabinet is ready. You can unplug the USB cable.\r\n\r\nOne thing to expect:\r\n\r\n"
    "When you pick a game the screen goes BLACK for a moment\r\nwhile the controls screen loads. "
    "That is normal - press a\r\nbutton on the panel (START) to begin playing.";

// The size of a package file in the work folder; 0 when it cannot be read.
static uint64_t packageBytes(const char *fileName) {
    char workDir[pathSize];
    copyWorkDir(workDir, sizeof workDir);
    char path[pathSize];
    snprintf(path, sizeof path, "%s%c%s", workDir, platformPathSeparator, fileName);
    uint64_t bytes = 0;
    return fileSize(path, &bytes) ? bytes : 0;
}

// Installs one package, with its progress line; on an answer without "Success", fails the
// operation with the first 300 characters of what the tool said.
static bool installPackage(const char *serial, const char *arguments, const char *fileName,
                           uint32_t limitMs, const char *failedHeading, char *output,
                           int32_t outputSize) {
    TransferProgress progress;
    const uint64_t bytes = packageBytes(fileName);
    beginTransfer(&progress, bytes);
    runAdbMeasured(serial, arguments, output, outputSize, limitMs, &progress, bytes);
    if (strstr(output, "Success") != nullptr) {
        showTransferDone(&progress);
        return true;
    }
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

    char serial[serialSize];
    if (!startServerAndWaitForCabinet(output, sizeof output, serial, sizeof serial))
        return 0;
    stopCabinetApps(serial, output, sizeof output);

    setOperationStage(InstallingEmulator);
    setStatusText("%s", "Installing emulator...");
    if (!installPackage(serial, "install -r Emulator.apk", "Emulator.apk", 300000,
                        "Emulator install failed.", output, sizeof output))
        return 0;

    setOperationStage(InstallingLauncher);
    setStatusText("%s", "Installing launcher...\n(150 MB, please wait)");
    if (!installPackage(serial, "install -r Launcher.apk", "Launcher.apk", 900000,
                        "Launcher install failed.", output, sizeof output))
        return 0;

    setOperationStage(CopyingDiscs);
    if (!pushDiscs(serial))
        return 0; // a folder that did not arrive: no home screen, no success

    setOperationStage(StartingCabinet);
    clearTransfer();
    setStatusText("%s", "Starting the cabinet...");
    startCabinetHome(serial, output, sizeof output);
    finishOperation("Done!\nPicking a game goes black\nfor a moment - press START.");

    showMessageBox(appState.windowHandle.load(), installCompleteText, "Install complete",
                   messageBoxOk | messageBoxIconInformation);
    return 0;
}
