// Commands that flip a setting shown as a check mark, and the charset choice
// shown as a radio mark. Each writes its setting at once.
#pragma once
#include <windows.h>

#include <cstdint>

// Flips the setting and sets the check mark of command to match; returns the
// new state. The setting decides, not the mark: the clean full screen takes
// the menu off the window, and marks cannot follow while it is away.
bool ToggleCheckedSetting(HWND window, int command, uint32_t* setting);

void ToggleStatusBar(HWND window);   // 1403
void ToggleWrapLines(HWND window);   // 1407
void ToggleCutEmpty(HWND window);    // 1408
void ToggleAutodetect(HWND window);  // 1319
void SelectCharset(HWND window, int command);  // 1301..1310
