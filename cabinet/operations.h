// The two things the program is for: putting the modification on the cabinet, and taking it off.
// Each runs on a worker thread of its own and reports through the stage and the status text.
#pragma once

#include <cstddef>
#include <cstdint>

// Thread functions, started by the click on the primary button.
uint32_t installWorker(void *unused);
uint32_t restoreWorker(void *unused);

// Probes until the cabinet is ready (true, with its serial in `serial`) or the limit has passed
// (false), telling the user what to do while it waits. A device that is not the cabinet, or
// several cabinets at once, are waited out like no cabinet.
bool waitForCabinet(uint32_t limitMs, char *serial, size_t serialCapacity);

// Ends the operation as failed with `message` as the status text; nothing is undone.
void failOperation(const char *message);

// Sends each folder of the discs folder beside the executable to the cabinet whose serial is
// given. True when every folder arrived (or there was none to send); otherwise the operation has
// failed with the folder's name and the tool's words.
bool pushDiscs(const char *serial);

extern const char noCabinetText[];
