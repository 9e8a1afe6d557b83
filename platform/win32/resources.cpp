#include <windows.h>

#include "platform/platform.h"

bool resourceBytes(uint16_t id, const void **data, uint32_t *size) {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10)); // RT_RCDATA
    if (found == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(self, found);
    if (loaded == nullptr)
        return false;
    *data = LockResource(loaded);
    *size = SizeofResource(self, found);
    return true;
}
