// The steps the install and the restore share. Every run that reaches the cabinet is pinned to
// the serial the wait found, so that nothing lands on another device plugged in beside it.
#pragma once

#include <cstddef>
#include <cstdint>

// Starts the adb server and waits up to 90 s for the cabinet, whose serial it writes to `serial`;
// false (the operation failed) when none came.
bool startServerAndWaitForCabinet(char *output, int32_t outputSize, char *serial,
                                  size_t serialCapacity);

// Stops the cabinet's launcher and emulator apps.
void stopCabinetApps(const char *serial, char *output, int32_t outputSize);

// Starts the cabinet's home screen again.
void startCabinetHome(const char *serial, char *output, int32_t outputSize);

// Ends the operation as a success: the text, then the clean-up, and only then the stage `Done`,
// so that a click the final stage allows never finds a second worker unpacking into the folder
// this one is removing.
void finishOperation(const char *successText);
