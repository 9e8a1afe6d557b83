// How big a disc folder is, and how long its copy may take.
#pragma once

#include <cstdint>

// Every file's bytes below the folder, sub-folders included (to a depth no disc folder reaches).
uint64_t folderBytes(const char *folder);

// A folder's copy may take 20 minutes, or one second per megabyte (10^6 bytes) when that is
// longer, so that a large folder is not cut short.
uint32_t pushLimitMs(uint64_t bytes);
