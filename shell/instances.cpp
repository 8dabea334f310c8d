#include "shell/instances.h"

// The shared table is not built yet: every instance runs on its own.
bool AnotherInstanceTookOver(const wchar_t*) { return false; }
void EnterInstanceTable(HWND) {}
void LeaveInstanceTable(HWND) {}
