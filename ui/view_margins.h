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
// Picked for the largest least distance between any two (CIELAB 35), at least
// 45 from red, amber and the bookmarks' blue, lightness 38 to 70.
constexpr COLORREF kFileBarColours[16] = {
    RGB(240, 20, 140), RGB(0, 180, 0),    RGB(0, 100, 120),   RGB(0, 80, 240),
    RGB(160, 80, 0),   RGB(140, 180, 120), RGB(240, 0, 240),  RGB(200, 140, 180),
    RGB(200, 120, 240), RGB(160, 180, 0), RGB(120, 100, 80),  RGB(180, 40, 60),
    RGB(100, 100, 0),  RGB(120, 0, 240),  RGB(20, 120, 20),   RGB(0, 180, 180)};
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
