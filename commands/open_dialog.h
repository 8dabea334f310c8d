// Open (1101): the system's Open dialog, then the follower opens the choice.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

// Opens the files chosen: several as one view.
void ShowOpenDialog(HWND window);
// The system's Open dialog letting several files be chosen; their full paths,
// none when it was cancelled.
std::vector<std::wstring> ChooseFiles(HWND owner);
// What the dialog hands back in its name buffer: one full path, or a folder
// and the names chosen in it, each ended by a NUL, then a NUL.
std::vector<std::wstring> ChosenPaths(const wchar_t* chosen, size_t capacity);

// Server-core editions, whose Open dialog is the older one.
bool IsServerCoreProduct(DWORD productType);
bool RunsOnServerCore(DWORD majorVersion);

// The record handed to GetOpenFileNameW; name holds kPathUnits units.
void PrepareOpenDialog(HWND window, OPENFILENAMEW* dialog, wchar_t* name, DWORD majorVersion,
                       bool serverCore);
// "Log files (*.log)", "*.log", "All files", "*.*", each NUL-terminated, then a NUL.
const wchar_t* OpenDialogFilter();
