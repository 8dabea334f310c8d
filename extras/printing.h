// Printing of the view's rows: page setup and the print run.
#pragma once
#include <windows.h>

void ShowPrintSetup(HWND window);  // 1102
void PrintRows(HWND window);       // 1103
