// Find in the view and Go to row: both end in showing one row, selected, with
// a few rows of context above it. With "Whole file" a search that runs out of
// loaded rows goes on through the file on disk in a thread of its own.
#pragma once
#include <windows.h>

#include <cstddef>

void ShowFindDialog(HWND window);     // 1204
void FindNextRow(HWND window);        // 1205, F3
void ShowGoToRowDialog(HWND window);  // 1206

// A newly opened file starts without a find text, so F3 waits for a new search.
void ForgetFindText();

// The search through the file reports its progress and its end to the main
// window with this message, wparam the search's number.
constexpr UINT kFileSearchMessage = WM_APP + 4;
void HandleFileSearchMessage(WPARAM number);
// Stops a search through the file and forgets it; false when none runs.
bool CancelFileSearch();
bool FileSearchRunning();

// The text in the Find box with its options; false while it is empty.
struct FindQuery;
bool FindBoxQuery(FindQuery* query);

// Selects row index alone and scrolls it to stand fifth from the top.
void ShowRow(int index);
