// The Linux entry point; the program takes no arguments.
#include "app/startup.h"

int main() { return runProgram(); }
