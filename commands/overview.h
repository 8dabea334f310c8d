// The overview: a strip as wide as a scroll bar between the view's rows and
// its scroll bar that maps the loaded rows from top to bottom. It marks the
// bookmarks, the error and warning rows, the rows a rule colours and the rows
// holding the text in the Find box, and outlines the rows on screen; a click
// or a drag moves the view there. Only the bands that change are repainted.
#pragma once
#include <windows.h>

HWND CreateOverview(HWND parent, HINSTANCE instance);
// Its width in the main window's layout: 0 while Display, Overview is off.
int OverviewWidth();
// After the view's rows, their marks or the find text may have changed.
void RefreshOverview();
// After the view painted: at once, unless the view's many rows make the
// refresh costly and one was made a moment ago; then a moment later.
void RefreshOverviewSoon();
