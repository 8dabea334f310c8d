#include "extras/update_check.h"

// The update check is not built yet: these commands do nothing.
void OpenDonationPage(HWND) {}
void ToggleAutoCheck(HWND) {}
void StartUpdateCheck(HWND) {}
HANDLE StartUpdateThread(HWND) { return nullptr; }
