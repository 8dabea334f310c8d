// Open (1101): the system's Open dialog, then the follower opens the choice.
#pragma once
#include <windows.h>
#include <commdlg.h>

void ShowOpenDialog(HWND window);

// Server-core editions, whose Open dialog is the older one.
bool IsServerCoreProduct(DWORD productType);
bool RunsOnServerCore(DWORD majorVersion);

// The record handed to GetOpenFileNameW; name holds kPathUnits units.
void PrepareOpenDialog(HWND window, OPENFILENAMEW* dialog, wchar_t* name, DWORD majorVersion,
                       bool serverCore);
// "Log files (*.log)", "*.log", "All files", "*.*", each NUL-terminated, then a NUL.
const wchar_t* OpenDialogFilter();
