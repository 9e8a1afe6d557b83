// Putting one argument into a command line so that the Windows rules read it back whole.
#pragma once

#include <cstddef>

// Writes `text` in double quotes into `out` (bounded to `size`, always terminated). A quote in
// the text is escaped, and backslashes are doubled where they stand before a quote; text without
// quotes or a trailing backslash comes out as "text" unchanged.
void quoteArgument(const char *text, char *out, size_t size);
