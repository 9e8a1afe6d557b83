// One copy at a time on Windows: a named mutex in the user's session, which the system removes
// when the last copy holding it ends in any way.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/instance.h"

static HANDLE heldMutex = nullptr;

bool claimOnlyCopy() {
    if (heldMutex != nullptr)
        return true;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\ArdwynQuillmere");
    if (mutex == nullptr)
        return true; // the system cannot tell: run as the only copy
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    heldMutex = mutex;
    return true;
}

void releaseOnlyCopy() {
    if (heldMutex != nullptr)
        CloseHandle(heldMutex);
    heldMutex = nullptr;
}

bool raiseOtherCopy() {
    // The other copy may have made its mutex a moment ago and not have its window yet.
    for (int attempt = 0; attempt < 100; attempt++) {
        HWND window = FindWindowA(windowClassName, nullptr);
        if (window != nullptr) {
            if (IsIconic(window))
                ShowWindow(window, SW_RESTORE);
            SetForegroundWindow(window);
            return true;
        }
        Sleep(100);
    }
    return false;
}
