#include "platform/win32/instance.h"

static HINSTANCE instanceHandle;

// Without an entry point of ours (the tests), the executable's own module is the instance.
HINSTANCE programInstance() { return instanceHandle ? instanceHandle : GetModuleHandleA(nullptr); }

void rememberProgramInstance(HINSTANCE instance) { instanceHandle = instance; }
