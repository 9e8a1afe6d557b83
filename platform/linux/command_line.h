// Splitting a command line into arguments by the Windows rules, so that the program forms one
// command line text for both platforms and every argument arrives as the Windows tool would see it.
#pragma once

#include <cstddef>

// Splits `line` into at most `maxArguments` arguments, each copied as a terminated text into
// `storage` and pointed to from `arguments`; the list ends with a null pointer. Returns the count,
// or -1 when the storage or the pointer list is too small.
int splitCommandLine(const char *line, char *storage, size_t storageSize, char **arguments,
                     int maxArguments);
