// The command dispatcher and the input paths that end in commands: the
// context menu, Ctrl+wheel, dropped files and menu help.
#pragma once
#include <windows.h>
#include <shellapi.h>

// Carries out a command; source is the high word of WM_COMMAND (1 from an
// accelerator). control is the notifying control, or null.
void ExecuteCommand(HWND window, int command, int source, HWND control);
// Whether the dispatcher carries out the command id; others do nothing.
bool IsKnownCommand(int command);

// WM_CONTEXTMENU reaching the main window; false when it is not the view's.
bool HandleContextMenu(HWND window, HWND target, int x, int y);
// Where the keyboard's context menu opens: under the row, a quarter in.
POINT KeyboardMenuPoint(const RECT& rowOnScreen);
// The screen point of a context-menu request on the view; (-1, -1) is the
// keyboard's, placed under the current row.
POINT ContextMenuPoint(HWND view, int x, int y);
// The popup of menu 2000, loaded on first use and kept.
HMENU ViewContextMenu();

// Ctrl+wheel: which command and how many times; none without Ctrl.
struct WheelSteps {
  int command;
  int count;
};
WheelSteps WheelStepsFor(int delta, bool ctrlHeld);
void HandleWheel(HWND window, int delta, bool ctrlHeld);

// A drop list block: its header, then the names from its offset on, each
// terminated, ending in an empty name, all within size bytes.
bool IsSoundDropList(const void* block, size_t size);
void HandleDroppedFiles(HWND window, HDROP drop);

// Menu help: the string shown for a WM_MENUSELECT (0 for none), and the
// status bar's one-pane mode that shows it.
UINT MenuHelpStringId(WPARAM wparam, LPARAM lparam, HMENU menuBar);
void HandleMenuSelect(HWND window, WPARAM wparam, LPARAM lparam);
void LeaveMenuHelp();

// Font size steps keep the height within 8 to 96.
int LargerFontHeight(int height);
int SmallerFontHeight(int height);

// The 16 custom colours of the background dialog, kept until the program ends.
COLORREF* CustomColours();
