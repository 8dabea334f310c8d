// Associating the program with ".log" and ".txt" files.
#pragma once
#include <windows.h>

void ShowAssociationsDialog(HWND window);  // 1405
