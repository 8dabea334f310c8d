// What the engine is handed by the window that hosts it: the windows it draws
// into and the few calls through which it tells the rest of the program that
// something changed. Unset calls are skipped.
#pragma once
#include <windows.h>

struct EngineHost {
  HWND window = nullptr;    // owner of timer 1 and the menu
  HWND view = nullptr;      // the list box holding the rows
  HWND progress = nullptr;  // progress bar for long reads
  HWND statusBar = nullptr; // the status bar, written by the status texts
  HMENU menu = nullptr;     // the main menu, also while full screen has taken it off
  void (*refreshStatus)() = nullptr;             // status texts after rows or state changed
  void (*refreshSize)() = nullptr;               // size pane, after every size check
  void (*fileChanged)() = nullptr;               // title and menu states after open or close
  void (*fileOpened)(const wchar_t* name) = nullptr;  // history list, find text
  void (*advanceTray)() = nullptr;               // tray animation frame, when minimized there
  void (*ruleAlert)() = nullptr;                 // a row of an alert rule reached the view
  bool (*cleanFullScreen)() = nullptr;           // scroll bars hidden by the full-screen mode
  void (*showError)(UINT messageId, DWORD error) = nullptr;  // message box for a failed operation
};

extern EngineHost engineHost;

// Message ids the engine reports failures with.
enum : UINT {
  kMsgOpenFailed = 34,
  kMsgEraseFailed = 39,
};
