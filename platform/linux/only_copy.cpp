// One copy at a time on Linux: a lock on a file in the user's private runtime folder, which the
// system lets go when the copy ends in any way. The file names the holder's process, by which the
// next copy finds the window to raise.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/linux/user_folders.h"
#include "platform/platform.h"
// Last: X's headers define short macros (None, Success, ...).
#include <X11/Xatom.h>
#include <X11/Xlib.h>

static int heldLock = -1;

static bool lockFilePath(char *path, size_t size) {
    char folder[4096];
    if (runtimeFolder(folder, sizeof folder) != PlaceLookup::Found &&
        programCacheFolder(true, folder, sizeof folder) != PlaceLookup::Found)
        return false;
    return snprintf(path, size, "%squillmere.lock", folder) < static_cast<int>(size);
}

bool claimOnlyCopy() {
    if (heldLock >= 0)
        return true;
    char path[4096];
    if (!lockFilePath(path, sizeof path))
        return true; // nowhere to keep a lock: run as the only copy
    const int file = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0)
        return true;
    if (flock(file, LOCK_EX | LOCK_NB) != 0) {
        const bool heldByAnother = errno == EWOULDBLOCK;
        close(file);
        return !heldByAnother;
    }
    char holder[32];
    const int length = snprintf(holder, sizeof holder, "%u\n", currentProcessId());
    if (ftruncate(file, 0) != 0 || pwrite(file, holder, static_cast<size_t>(length), 0) != length) {
        // The lock holds all the same; only the raising of this window by a later copy suffers.
    }
    heldLock = file;
    return true;
}

void releaseOnlyCopy() {
    if (heldLock >= 0)
        close(heldLock);
    heldLock = -1;
}

// The process that holds the lock, as its file names it; 0 while it has not written it yet.
static uint32_t lockHolder() {
    char path[4096];
    if (!lockFilePath(path, sizeof path))
        return 0;
    const int file = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0)
        return 0;
    char text[32] = "";
    const ssize_t count = pread(file, text, sizeof text - 1, 0);
    close(file);
    if (count <= 0)
        return 0;
    text[count] = '\0';
    return static_cast<uint32_t>(strtoul(text, nullptr, 10));
}

static bool windowBelongsTo(Display *display, Window window, Atom processAtom, uint32_t process) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *value = nullptr;
    bool matches = false;
    if (XGetWindowProperty(display, window, processAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &value) == Success &&
        value != nullptr && format == 32 && count == 1)
        matches = static_cast<uint32_t>(*reinterpret_cast<unsigned long *>(value)) == process;
    if (value != nullptr)
        XFree(value);
    if (!matches)
        return false;
    // The process may show a box too; the main window is the one with the program's title.
    char *name = nullptr;
    matches = XFetchName(display, window, &name) != 0 && name != nullptr &&
              strcmp(name, "Quillmere") == 0;
    if (name != nullptr)
        XFree(name);
    return matches;
}

// Searches the windows below `parent`; a window manager puts each client inside a frame of its
// own, so the program's window may sit a few levels down.
static Window findProgramWindow(Display *display, Window parent, Atom processAtom, uint32_t process,
                                int depth) {
    Window root = 0;
    Window above = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &above, &children, &count) == 0)
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; i++) {
        if (windowBelongsTo(display, children[i], processAtom, process))
            found = children[i];
        else if (depth > 0)
            found = findProgramWindow(display, children[i], processAtom, process, depth - 1);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

// Maps the window again if it was minimised and raises it; a window manager is asked to make it
// the active window as well.
static void bringForward(Display *display, Window window) {
    XMapRaised(display, window);
    XEvent activate;
    memset(&activate, 0, sizeof activate);
    activate.xclient.type = ClientMessage;
    activate.xclient.window = window;
    activate.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    activate.xclient.format = 32;
    activate.xclient.data.l[0] = 1; // asked for by an application
    activate.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &activate);
    XFlush(display);
}

bool raiseOtherCopy() {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    const Atom processAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window window = 0;
    // The other copy may have taken the lock a moment ago and not have its window yet.
    for (int attempt = 0; attempt < 100 && window == 0; attempt++) {
        const uint32_t holder = lockHolder();
        if (holder != 0)
            window = findProgramWindow(display, DefaultRootWindow(display), processAtom, holder, 3);
        if (window == 0)
            sleepMilliseconds(100);
    }
    if (window != 0)
        bringForward(display, window);
    XCloseDisplay(display);
    return window != 0;
}
