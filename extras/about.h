// The version history and About dialogs.
#pragma once
#include <windows.h>

void ShowVersionHistory(HWND window);  // 1908
void ShowAbout(HWND window);           // 1909
