// The main window: class "W", hosting the view list box, the status bar and
// the progress bar; lays them out, switches full screen, runs the closing
// sequence and drives the follower from timer 1.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr wchar_t kMainWindowClass[] = L"W";
constexpr DWORD kStatusBarStyle = 0x46000900;
// Owner-drawn for the highlight rules' colours, its strings kept.
constexpr DWORD kViewStyle = 0x46311941 | LBS_OWNERDRAWFIXED;
constexpr DWORD kProgressStyle = 0x46000000;
constexpr DWORD kDefaultFrameStyle = 0xCF0000;
constexpr DWORD kDefaultFrameExStyle = 0x11;

// How the window is created: the TESSEL_* variables, or the defaults.
struct WindowPlacementRequest {
  DWORD style = kDefaultFrameStyle;
  DWORD exStyle = kDefaultFrameExStyle;
  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  int width = CW_USEDEFAULT;
  int height = CW_USEDEFAULT;
};

bool RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance, const WindowPlacementRequest& request = {},
                      HMENU menu = nullptr);
HFONT ViewFont();
HBRUSH ViewBackgroundBrush();

// The right edges of the nine status parts for a client width and a DPI scale;
// the last is -1. Returns the width taken by parts 1 to 8.
int ComputeStatusPartEdges(int clientWidth, double scale, int edges[9]);

// The last row counts as visible when it lies within the view's page.
bool LastRowVisible(HWND view);

bool IsFullScreen(HWND window);
bool IsCleanFullScreen();
// The view's vertical scroll bar, a control beside the overview.
HWND ViewScrollBar();

