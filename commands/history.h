// The recent files list of the File menu: the last ten files opened, newest
// first, kept in AppSettings.history and stored after every change.
#pragma once
#include <windows.h>

#include <string>

#include "core/history.h"

// The core's AddToHistoryList on AppSettings.history, then the menu and the store.
void AddToHistory(const wchar_t* path);
// A view of several files is one entry: their shown paths joined by "|",
// which no path holds, shown in the menu as the title names the view. The
// entry of the view as it was before its files changed goes (replaced).
void AddViewToHistory(const wchar_t* replaced);
// The entry naming the view's files now; empty for a single file or a set too long for an entry.
std::wstring ViewHistoryEntry();
// The entries of the History submenu, from the list.
void RebuildHistoryMenu();

void ClearHistory(HWND window);                  // 1121: all but the newest
void OpenHistoryEntry(HWND window, int index);   // 1130..1139, newest first
