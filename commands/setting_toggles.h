// Commands that flip a setting shown as a check mark, and the charset choice
// shown as a radio mark. Each writes its setting at once.
#pragma once
#include <windows.h>

#include <cstdint>

// Flips the setting and sets the check mark of command to match; returns the
// new state. The setting decides, not the mark, which a menu-less window
// (the clean full screen) might not show.
bool ToggleCheckedSetting(int command, uint32_t* setting);

void ToggleStatusBar(HWND window);  // 1403
void ToggleWrapLines();             // 1407
void ToggleCutEmpty();              // 1408
void ToggleLevelColors();           // 1411
void ToggleOverview(HWND window);   // 1412
void ToggleFileNames();             // 1413
void ToggleAutodetect();            // 1319
void SelectCharset(int command);    // 1301..1310
