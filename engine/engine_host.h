// What the engine is handed by the window that hosts it: the windows it draws
// into and the few calls through which it tells the rest of the program that
// something changed. Unset calls are skipped.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/matching.h"

// What the engine takes from the settings; the host fills it from its own.
struct EngineOptions {
  uint32_t kbLimit = 256;        // read from the end of a file when it is opened
  uint32_t linesLimit = 2048;    // rows the view keeps
  uint32_t rowLength = 80;       // wrapped at, with wrapLines
  bool wrapLines = true;
  bool cutEmpty = false;         // the empty-row restriction
  const HighlightRule* rules = nullptr;  // kMaxRules slots, or none
  bool levelColors = true;       // rows read and drawn with their lines' levels
  bool fileNames = true;         // a merged view draws each row's file's name before it
};

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
  void (*viewEmptied)() = nullptr;               // a load, close, erase or truncation empties the view
  bool (*cleanFullScreen)() = nullptr;           // scroll bars hidden by the full-screen mode
  void (*showError)(UINT messageId, DWORD error) = nullptr;  // message box for a failed operation
  void (*readOptions)(EngineOptions* options) = nullptr;     // the settings as they are now
  const wchar_t* (*localizedText)(UINT id) = nullptr;        // a string in the UI language, or null
};

extern EngineHost engineHost;

// The host's options as they are now; the defaults without a host.
EngineOptions CurrentEngineOptions();
// Hands the options that rows are built with to the core: at every load and poll.
void TakeEngineOptions();
inline const wchar_t* HostText(UINT id) { return engineHost.localizedText ? engineHost.localizedText(id) : nullptr; }

// Message ids the engine reports failures with.
enum : UINT {
  kMsgOpenFailed = 34,
  kMsgEraseFailed = 39,
  kMsgFileInView = 182,
  kMsgViewFull = 183,
};
