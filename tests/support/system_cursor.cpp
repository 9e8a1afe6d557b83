#include "tests/support/system_cursor.h"

#ifdef _WIN32
#include <windows.h>

void moveSystemCursor(int x, int y) { SetCursorPos(x, y); }

#else
#include <X11/Xlib.h>

// Another client of the X server moves the pointer, as the server does for a real mouse: no
// event of SDL's own tells it where the pointer went.
void moveSystemCursor(int x, int y) {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XSync(display, False);
    XCloseDisplay(display);
}

#endif
