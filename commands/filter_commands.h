// The line filter's commands: the Filter dialog and clearing the filter.
#pragma once
#include <windows.h>

void ShowFilterDialog(HWND window);  // Ctrl+L
void ClearLineFilter(HWND window);   // Ctrl+Shift+L
