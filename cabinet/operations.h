// The two things the program is for: putting the modification on the cabinet, and taking it off.
// Each runs on a worker thread of its own and reports through the stage and the status text.
#pragma once

#include <cstdint>

// Thread functions, started by the click on the primary button.
uint32_t installWorker(void *unused);
uint32_t restoreWorker(void *unused);

// Probes until a cabinet is ready (true) or the limit has passed (false), telling the user what
// to do while it waits.
bool waitForCabinet(uint32_t limitMs);

// Ends the operation as failed with `message` as the status text; nothing is undone.
void failOperation(const char *message);

// Sends each folder of the discs folder beside the executable to the cabinet.
void pushDiscs();

extern const char noCabinetText[];
