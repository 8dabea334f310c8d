#include "shell/tray_icon.h"

namespace {
HICON trayFrames[10];
}

// The tray icon is not built yet; its frames are loaded for it.
void SetTrayIcons(const HICON frames[10]) {
  for (int i = 0; i < 10; ++i) trayFrames[i] = frames[i];
}

void RemoveTrayIcon(HWND) {}
