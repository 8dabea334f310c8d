// The gutter: a strip of its own at the left of the view's rows, outside the
// list box's client area (its non-client area), so that it never scrolls
// sideways with long rows. A bookmarked line is marked beside its first row;
// a click there toggles the line's bookmark without touching the selection.
#pragma once
#include <windows.h>

#include <cstdint>

constexpr COLORREF kBookmarkColour = RGB(0, 120, 215);

// In a view of several files each row shows its file's colour in the
// gutter's leftmost pixels: sixteen hues apart from each other, from the
// level colours (red, amber) and from the bookmarks' blue, mid-dark enough to
// stand out on a light background and light enough on a dark one.
constexpr int kFileBarPixels = 3;
constexpr COLORREF kFileBarColours[16] = {
    RGB(46, 139, 87),   RGB(148, 103, 189), RGB(23, 170, 190),  RGB(140, 86, 75),
    RGB(214, 96, 184),  RGB(128, 128, 128), RGB(160, 160, 30),  RGB(20, 60, 140),
    RGB(0, 128, 128),   RGB(90, 60, 150),   RGB(80, 180, 240),  RGB(100, 170, 20),
    RGB(160, 40, 120),  RGB(90, 90, 50),    RGB(60, 200, 160),  RGB(180, 140, 220)};
inline COLORREF FileBarColour(uint32_t file) { return kFileBarColours[file % 16]; }

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
