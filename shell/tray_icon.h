// The notification-area icon of a main window minimized with "tray minimize"
// on: added at minimize with the file in its tip, one animation frame further
// after every poll that brought rows, removed a double-click time after the
// window is restored and at closing.
#pragma once
#include <windows.h>
#include <shellapi.h>

constexpr UINT kTrayCallbackMessage = WM_USER + 3;
constexpr UINT_PTR kTrayRemoveTimer = 5;  // removal after restoring
constexpr UINT_PTR kTrayHideTimer = 6;    // hiding the minimized window on Windows 4.x

// Frames "TRAY0" to "TRAY9" and menu 2001 in the UI language, Restore its
// default item.
void LoadTrayResources();
// A fresh record for the main window being created; no icon is shown.
void InitTrayIcon(HWND window);

// The main window hands these messages over.
void HandleTrayMinimize(HWND window);                // SC_MINIMIZE; default processing follows
void HandleTrayRestore(HWND window);                 // WM_QUERYOPEN, which is then allowed
void HandleTrayTimer(HWND window, UINT_PTR id);      // timers 5 and 6
void HandleTrayCallback(HWND window, WPARAM id, LPARAM mouse);
void HandleTaskbarCreated(HWND window);
LRESULT HandleShellHook(HWND window, WPARAM code, LPARAM data);
void AdvanceTrayFrame();                             // after a poll that appended rows
void MarkTrayAlert();                                // a row of an alert rule arrived
// Flashes the taskbar button while the window (or one of its dialogs) is not
// in the foreground, and marks the tray icon's tip when minimized there.
void AlertRuleMatch();
void RemoveTrayIcon(HWND window);

// What the shell was last given, and which frame its icon is (-1 for none).
const NOTIFYICONDATAW& TrayIconRecord();
int TrayFrameIndex();
