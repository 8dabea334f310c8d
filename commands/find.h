// Find in the view and Go to row.
#pragma once
#include <windows.h>

void ShowFindDialog(HWND window);   // 1204
void FindNextRow(HWND window);      // 1205
void ShowGoToRowDialog(HWND window);  // 1206
