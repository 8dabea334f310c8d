// Program start-up and the message loop.
#pragma once
#include <windows.h>

// Runs the program: main window, the file of the command line, the message
// loop. Returns the process exit code.
int RunTessel(HINSTANCE instance, int showCommand);
