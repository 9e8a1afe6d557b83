#include "platform/platform.h"

const char platformPathSeparator = '\\';

// adb.exe loads its two USB libraries from its own folder.
const ToolFile platformToolFiles[] = {
    {101, "adb.exe", true},
    {102, "AdbWinApi.dll", false},
    {103, "AdbWinUsbApi.dll", false},
};
const int platformToolFileCount = 3;
