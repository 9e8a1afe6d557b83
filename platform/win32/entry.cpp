// The Windows entry point. Only the instance is used; the command line and show mode are not.
#include <windows.h>

#include "app/startup.h"
#include "platform/win32/instance.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    rememberProgramInstance(instance);
    return runProgram();
}
