// The executable's instance handle, as the entry point was given it.
#pragma once

#include <windows.h>

HINSTANCE programInstance();
void rememberProgramInstance(HINSTANCE instance);
