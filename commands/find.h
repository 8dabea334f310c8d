// Find in the view and Go to row: both end in showing one row, selected, with
// a few rows of context above it.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <cstddef>

void ShowFindDialog(HWND window);     // 1204
void FindNextRow(HWND window);        // 1205, F3
void ShowGoToRowDialog(HWND window);  // 1206

// The Find dialog's "commdlg_FindReplace" message reaching the main window.
void HandleFindMessage(HWND window, const FINDREPLACEW* record);
// A newly opened file starts without a find text, so F3 waits for a new search.
void ForgetFindText();

// Selects row index alone and scrolls it to stand fifth from the top.
void ShowRow(int index);
