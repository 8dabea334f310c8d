#include "commands/history.h"

// The recent files list is not built yet: these commands do nothing.
void ClearHistory(HWND) {}
void OpenHistoryEntry(HWND, int) {}
