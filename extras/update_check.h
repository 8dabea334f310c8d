// The update check and the donation page.
#pragma once
#include <windows.h>

void OpenDonationPage(HWND window);  // 1905
void ToggleAutoCheck(HWND window);   // 1906
void StartUpdateCheck(HWND window);  // 1907
