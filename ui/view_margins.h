// The gutter: a strip of its own at the left of the view's rows, outside the
// list box's client area (its non-client area), so that it never scrolls
// sideways with long rows. A bookmarked line is marked beside its first row;
// a click there toggles the line's bookmark without touching the selection.
#pragma once
#include <windows.h>

constexpr COLORREF kBookmarkColour = RGB(0, 120, 215);

int GutterWidth();
// WM_NCCALCSIZE of the view, after the list box's own: the client area gives
// the gutter its room.
void MakeRoomForGutter(HWND view, WPARAM wparam, LPARAM lparam);
// The gutter's rectangle in window coordinates of the view.
RECT GutterRect(HWND view);
// Paints the gutter as the view's rows now stand (after each paint of the
// view, and when the marks change).
void PaintGutter(HWND view);
// The row beside a screen point in the gutter; -1 when the point is not in
// it or no row is there.
int GutterRowAt(HWND view, POINT screen);
