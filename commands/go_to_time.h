// Go to time: shows the first row logged at or after a time the user types.
#pragma once
#include <windows.h>

void ShowGoToTimeDialog(HWND window);  // 1215
