// The executable's instance handle, as the entry point was given it.
#pragma once

#include <windows.h>

HINSTANCE programInstance();
void rememberProgramInstance(HINSTANCE instance);

// The class of the program's window, by which a second copy finds the first.
extern const char windowClassName[];
