// Bookmarks from the View menu, the gutter and the view's context menu.
#pragma once
#include <windows.h>

void ToggleBookmarkAtCaret();           // 1220, Ctrl+F2: the line of the row with the focus
void ToggleBookmarkOfRow(int row);      // a click in the gutter
void GoToBookmark(bool forward);        // 1221 F2, 1222 Shift+F2
void ClearBookmarks();                  // 1223, Ctrl+Shift+F2
void CopyBookmarkedLines(HWND window);  // 1224
// What the gutter shows changed: it is painted again.
void RepaintBookmarks();
