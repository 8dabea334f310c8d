// The recent files list of the File menu: the last ten files opened, newest
// first, kept in AppSettings.history and stored after every change.
#pragma once
#include <windows.h>

#include <cstddef>

// A file was opened under this name: it goes to the top (moving up if it is
// there already, compared exactly); an eleventh name pushes out the oldest.
void AddToHistory(const wchar_t* path);
// The entries of the History submenu, from the list.
void RebuildHistoryMenu();
// The menu text of entry index: "&<index> <path>" with the path's ampersands
// doubled, so that they show instead of marking a mnemonic.
void HistoryMenuText(int index, const wchar_t* path, wchar_t* text, size_t capacity);

void ClearHistory(HWND window);                  // 1121: all but the newest
void OpenHistoryEntry(HWND window, int index);   // 1130..1139, newest first
