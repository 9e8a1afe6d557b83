// The system's own modal box, implemented once per platform.
#pragma once

#include <cstdint>

int32_t systemMessageBox(void *owner, const char *text, const char *caption, uint32_t type);
