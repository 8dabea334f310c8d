// The notification-area icon shown while the window is minimized to the tray.
#pragma once
#include <windows.h>

void SetTrayIcons(const HICON frames[10]);
void RemoveTrayIcon(HWND window);
