// What the commands and dialogs reach of the main window, which stands above
// them: the centring of the next window or dialog, the dialog that takes the
// dialog keys, and the calls the window fills in when it is created. Calls
// not filled in (no main window) do nothing.
#pragma once
#include <windows.h>

// One-shot flags of the centring hooks: the next window created, or the next
// dialog initialised, is centred over its parent.
extern bool centerNextWindow;
extern bool centerNextDialog;
// The window whose dialog keys the loop handles: the main window, or the find
// dialog while it is open.
extern HWND dialogFocusWindow;

struct MainFrameCalls {
  void (*applyViewFont)() = nullptr;        // a new font from AppSettings.font
  void (*applyViewBackground)() = nullptr;  // a new brush from AppSettings.background
  void (*relayout)(HWND window) = nullptr;  // after bars were shown or hidden
  void (*toggleFullScreen)(HWND window) = nullptr;
  void (*handleEscape)(HWND window) = nullptr;
  // Starts an update check that reports into the link; null when none started.
  HANDLE (*startUpdateCheck)(HWND link) = nullptr;
};

extern MainFrameCalls mainFrame;

inline void ApplyViewFont() { if (mainFrame.applyViewFont) mainFrame.applyViewFont(); }
inline void ApplyViewBackground() { if (mainFrame.applyViewBackground) mainFrame.applyViewBackground(); }
inline void RelayoutMainWindow(HWND window) { if (mainFrame.relayout) mainFrame.relayout(window); }
inline void ToggleFullScreen(HWND window) { if (mainFrame.toggleFullScreen) mainFrame.toggleFullScreen(window); }
inline void HandleEscape(HWND window) { if (mainFrame.handleEscape) mainFrame.handleEscape(window); }
