// The recent files list of the File menu: the last ten files opened, newest
// first, kept in AppSettings.history and stored after every change.
#pragma once
#include <windows.h>

#include "core/history.h"

// The core's AddToHistoryList on AppSettings.history, then the menu and the store.
void AddToHistory(const wchar_t* path);
// The entries of the History submenu, from the list.
void RebuildHistoryMenu();

void ClearHistory(HWND window);                  // 1121: all but the newest
void OpenHistoryEntry(HWND window, int index);   // 1130..1139, newest first
