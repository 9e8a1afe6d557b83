// Keeps the system's GL driver loaded for the whole test run. Each test window closes its display
// connection, which unloads the driver; the memory the driver never frees would then be reported
// by the leak checker with no module to name it by, past any suppression.
#ifndef _WIN32
#include <dlfcn.h>

namespace {
struct KeepGlDriver {
    KeepGlDriver() {
        dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
        dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
    }
} keepGlDriver;
} // namespace
#endif
