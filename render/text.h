// Words in the window: one glyph atlas baked at start-up from the carried font, and text measured
// and drawn in window pixels (origin bottom-left, y up, y given for the baseline).
#pragma once

#include <cstddef>

// Bakes characters 32 to 127 at 32 pixels into the atlas and makes the text program and buffer.
void loadFont(const unsigned char *bytes, size_t length);

// Width of the text at the scale; only bytes 32 to 127 count.
float measureText(const char *text, float scale);

// Draws one line (bytes outside 32 to 127 are skipped) and returns the pen x after it.
float drawText(const char *text, float penX, float baselineY, float red, float green, float blue,
               float scale);

// Draws the text's lines, each `lineStep` below the one before; returns how many.
int drawTextLines(const char *text, float x, float y, float red, float green, float blue,
                  float scale, float lineStep);
