// The dialogs of row length, file size restriction and application settings.
// Each dialog only reads and checks its values; the command that ran it
// applies them, stores them and does what must follow.
#pragma once
#include <windows.h>

#include <cstdint>

void ShowRowLengthDialog(HWND window);    // 1401
void ShowSizeLimitDialog(HWND window);    // 1406
void ShowAppSettingsDialog(HWND window);  // 1409

// A number field as the user left it: decimal digits, with the locale's digit
// grouping that the kB up-down writes ("70,000", "70 000") skipped. Too large
// a number gives UINT32_MAX, so it clamps to the top of its range; no digits
// or any other character give 0.
uint32_t ReadGroupedNumber(const wchar_t* text, const wchar_t* groupSeparator);
