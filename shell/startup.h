// Program start-up and the message loop, and the process-wide values they own.
#pragma once
#include <windows.h>

// One-shot flags of the centring hooks: the next window created, or the next
// dialog initialised, is centred over its parent.
extern bool centerNextWindow;
extern bool centerNextDialog;
// The window whose dialog keys the loop handles: the main window, or the find
// dialog while it is open.
extern HWND dialogFocusWindow;
// One tooltip shared by the dialogs for their control help.
extern HWND trackingTooltip;
void CreateTrackingTooltip(HWND mainWindow);
void HideTrackingTooltip();

// Runs the program: main window, the file of the command line, the message
// loop. Returns the process exit code.
int RunTessel(HINSTANCE instance, int showCommand);
