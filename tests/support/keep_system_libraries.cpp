// Keeps the system's GL driver, and the X and sound libraries SDL loads by itself, loaded for the
// whole test run. Each test window closes its display connection and SDL, which unloads them; the
// memory they never free would then be reported by the leak checker with no module to name it by,
// past any suppression.
#ifndef _WIN32
#include <dlfcn.h>

namespace {
struct KeepSystemLibraries {
    KeepSystemLibraries() {
        const char *const libraries[] = {
            "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
            "libX11.so.6",      "libX11-xcb.so.1",
            "libXext.so.6",     "libXcursor.so.1",
            "libXinerama.so.1", "libXi.so.6",
            "libXrandr.so.2",   "libXss.so.1",
            "libXxf86vm.so.1",  "libdbus-1.so.3",
            "libasound.so.2",
        };
        for (const char *library : libraries)
            dlopen(library, RTLD_NOW | RTLD_NODELETE);
    }
} keepSystemLibraries;
} // namespace
#endif
