#include "platform/platform.h"

const char platformPathSeparator = '\\';

// adb.exe loads its two USB libraries from its own folder.
const ToolFile platformToolFiles[] = {
    {101, "adb.exe", true},
    {102, "AdbWinApi.dll", false},
    {103, "AdbWinUsbApi.dll", false},
};
const int platformToolFileCount = 3;

// The system takes the temporary folder from TMP, then TEMP; users know the latter.
const char platformPathTooLongText[] =
    "Temporary folder path\ntoo long. Set TEMP to\na shorter folder.";
