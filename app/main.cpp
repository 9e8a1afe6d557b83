// The program's entry point. Until the window arrives it unpacks the cabinet tool, asks it once
// for the connected devices, shows the answer and cleans up again.
#include <cstdio>

#include "app/app_state.h"
#include "cabinet/payload.h"
#include "cabinet/tool_runner.h"

int main() {
    if (!prepareAdb()) {
        printf("Could not unpack adb.\n");
        removeWorkDir();
        return 1;
    }
    char output[4096];
    const int32_t result = runAdb("devices", output, sizeof output, 15000);
    printf("devices (result %d):\n%s", result, output);
    removeWorkDir();
    return 0;
}
