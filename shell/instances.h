// The table that instances of one logon share, so that a file already
// followed elsewhere only brings that instance to the front.
#pragma once
#include <windows.h>

// Whether another instance follows path and took it over (it then comes to the front).
bool AnotherInstanceTookOver(const wchar_t* path);
void EnterInstanceTable(HWND window);
void LeaveInstanceTable(HWND window);
