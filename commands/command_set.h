// The command dispatcher and the input paths that end in commands: the
// context menu, Ctrl+wheel, dropped files and menu help.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Carries out a command; source is the high word of WM_COMMAND (1 from an
// accelerator). control is the notifying control, or null.
void ExecuteCommand(HWND window, int command, int source, HWND control);

// WM_CONTEXTMENU reaching the main window; false when it is not the view's.
bool HandleContextMenu(HWND window, HWND target, int x, int y);
// Where the keyboard's context menu opens: under the row, a quarter in.
POINT KeyboardMenuPoint(const RECT& rowOnScreen);

// Ctrl+wheel: which command and how many times; none without Ctrl.
struct WheelSteps {
  int command;
  int count;
};
WheelSteps WheelStepsFor(int delta, bool ctrlHeld);
void HandleWheel(HWND window, int delta, bool ctrlHeld);

void HandleDroppedFiles(HWND window, HDROP drop);
void HandleMenuSelect(HWND window, WPARAM wparam, LPARAM lparam);

// Copy: the rows, each followed by CR LF, then a terminator.
std::wstring ClipboardTextOf(const std::vector<std::wstring>& rows);
// Font size steps keep the height within 8 to 96.
int LargerFontHeight(int height);
int SmallerFontHeight(int height);

// The custom colours of the background dialog, kept until the program ends.
COLORREF* CustomColours();
