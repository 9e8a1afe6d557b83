#include <windows.h>

#include "platform/system_message_box.h"

int32_t systemMessageBox(void *owner, const char *text, const char *caption, uint32_t type) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}
