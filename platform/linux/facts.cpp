#include "platform/platform.h"

const char platformPathSeparator = '/';

// Linux's adb needs no libraries beside it.
const ToolFile platformToolFiles[] = {
    {101, "adb", true},
};
const int platformToolFileCount = 1;

// Programs here take their temporary folder from TMPDIR.
const char platformPathTooLongText[] =
    "Temporary folder path\ntoo long. Set TMPDIR to\na shorter folder.";
