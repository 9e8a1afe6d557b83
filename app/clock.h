// The tick count and the sleep the program's own waits use. They are the system's by default;
// tests put a virtual clock in their place so that long waits run in no real time.
#pragma once

#include <cstdint>

uint32_t tickCount();
void sleepFor(uint32_t ms);

struct ClockFunctions {
    uint32_t (*tickCount)();
    void (*sleep)(uint32_t ms);
};
// Passing null members restores the system's functions.
void replaceClock(ClockFunctions functions);
