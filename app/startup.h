// The program's life on the UI thread: start-up, the main loop and the shutdown in their fixed
// order. Returns the exit code: 0 after a normal close, and when another copy runs already (which
// is brought to the front instead); 1 when start-up fails.
#pragma once

#include <cstdint>

int32_t runProgram();
