// The dialogs of row length, file size restriction and application settings.
#pragma once
#include <windows.h>

void ShowRowLengthDialog(HWND window);    // 1401
void ShowSizeLimitDialog(HWND window);    // 1406
void ShowAppSettingsDialog(HWND window);  // 1409
