// The steps the install and the restore share.
#pragma once

#include <cstdint>

// Starts the adb server and waits up to 90 s for a ready cabinet; false (the operation failed)
// when none came.
bool startServerAndWaitForCabinet(char *output, int32_t outputSize);

// Stops the cabinet's launcher and emulator apps.
void stopCabinetApps(char *output, int32_t outputSize);

// Starts the cabinet's home screen again.
void startCabinetHome(char *output, int32_t outputSize);

// Ends the operation as a success: the text, then the clean-up, and only then the stage `Done`,
// so that a click the final stage allows never finds a second worker unpacking into the folder
// this one is removing.
void finishOperation(const char *successText);
