// The window's four controls: which one the cursor is over, and what a press does.
#pragma once

#include <cstdint>

// Rewrites the four hover flags from the client position (x, y), origin top-left, y down.
void updateHover(int32_t x, int32_t y);

// Acts on a press of either button, by the hover flags of the last cursor move.
void handleClick();

// The help box, with the offer to open the video walkthrough.
void showHelp();
