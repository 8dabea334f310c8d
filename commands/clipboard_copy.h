// Copy (1202): the selected rows to the clipboard as Unicode text.
#pragma once
#include <windows.h>

// Each selected row followed by CR LF. Nothing selected leaves the clipboard
// emptied; a failure is reported with the system's reason.
void CopySelectedRows(HWND window);
// Replaces the clipboard's content with the text, units long; reported alike.
void CopyTextToClipboard(HWND window, const wchar_t* text, size_t units);
