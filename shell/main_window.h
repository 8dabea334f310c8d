// The main window: class "W", hosting the view list box and the progress bar,
// driving the follower from timer 1.
#pragma once
#include <windows.h>

constexpr wchar_t kMainWindowClass[] = L"W";
constexpr DWORD kViewStyle = 0x46311941;
constexpr DWORD kProgressStyle = 0x46000000;

bool RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
HFONT ViewFont();

// The last row counts as visible when it lies within the view's page.
bool LastRowVisible(HWND view);

// Message box for a failed user operation: the message, then the system's text.
void ShowSystemError(HWND owner, UINT messageId, DWORD error);
