#include "commands/settings_dialogs.h"

// These settings dialogs are not built yet: their commands do nothing.
void ShowRowLengthDialog(HWND) {}
void ShowSizeLimitDialog(HWND) {}
void ShowAppSettingsDialog(HWND) {}
