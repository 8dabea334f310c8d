// The recent files list of the File menu.
#pragma once
#include <windows.h>

void ClearHistory(HWND window);                  // 1121
void OpenHistoryEntry(HWND window, int index);   // 1130..1139, newest first
