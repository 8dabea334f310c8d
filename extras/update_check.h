// The update check and the donation page.
#pragma once
#include <windows.h>

void OpenDonationPage(HWND window);  // 1905
void ToggleAutoCheck(HWND window);   // 1906
void StartUpdateCheck(HWND window);  // 1907

// Starts a check whose progress and result replace the link control's text;
// the thread's handle, or null when it could not be started.
HANDLE StartUpdateThread(HWND link);
