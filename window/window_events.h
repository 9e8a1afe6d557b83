// What the window does with each message it cares about, written once for every platform. The
// platform's message code turns its own messages into these calls.
#pragma once

#include <cstdint>

// The close and destroy messages: the poller is told to stop, the work folder goes at once, and
// the main loop ends after its current pass.
void handleCloseMessage();

// The new client size, each as the 16-bit word the message carries.
void handleSizeMessage(uint32_t widthWord, uint32_t heightWord);

// A key press; only Escape (27) does anything.
constexpr uint32_t escapeKey = 27;
void handleKeyDown(uint32_t key);

// A cursor move to the client position (x, y), origin top-left, y down.
void handleMouseMove(uint32_t xWord, uint32_t yWord);

// A press or release of either mouse button.
void handleButtonDown();
void handleButtonUp();
