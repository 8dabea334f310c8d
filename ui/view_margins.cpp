#include "ui/view_margins.h"

#include <algorithm>

#include "engine/file_bookmarks.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "ui/highlight_view.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

// The view's client area in its window's coordinates.
RECT ClientInWindow(HWND view) {
  RECT window{}, client{};
  GetWindowRect(view, &window);
  GetClientRect(view, &client);
  MapWindowPoints(view, nullptr, reinterpret_cast<POINT*>(&client), 2);
  OffsetRect(&client, -window.left, -window.top);
  return client;
}

int RowHeight(HWND view) { return std::max<int>(int(SendMessageW(view, LB_GETITEMHEIGHT, 0, 0)), 1); }

// Whether the view's row is the first row of a bookmarked line.
bool StartsMarkedLine(size_t row) {
  RowPlace place = ViewRowPlace(row);
  return place.unit == 0 && ViewLineBookmarked(place);
}

}  // namespace

int GutterWidth() { return MulDiv(14, ScreenDpi(), 96); }

void MakeRoomForGutter(HWND, WPARAM wparam, LPARAM lparam) {
  RECT* client = wparam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam)->rgrc[0] : reinterpret_cast<RECT*>(lparam);
  client->left = std::min(client->left + GutterWidth(), client->right);
}

RECT GutterRect(HWND view) {
  RECT client = ClientInWindow(view);
  return RECT{client.left - GutterWidth(), client.top, client.left, client.bottom};
}

void PaintGutter(HWND view) {
  RECT gutter = GutterRect(view);
  if (gutter.right <= gutter.left || gutter.left < 0 || !IsWindowVisible(view)) return;
  HDC dc = GetWindowDC(view);
  if (!dc) return;
  COLORREF background = Blend(COLORREF(AppSettings.background), COLORREF(AppSettings.textColor), 1);
  HBRUSH fill = CreateSolidBrush(background);
  FillRect(dc, &gutter, fill);
  // Below it, beside the horizontal bar, is painted by no one else.
  if (GetWindowLongPtrW(view, GWL_STYLE) & WS_HSCROLL) {
    RECT corner{gutter.left, gutter.bottom, gutter.right, gutter.bottom + GetSystemMetrics(SM_CYHSCROLL)};
    FillRect(dc, &corner, fill);
  }
  DeleteObject(fill);
  // The rows' count and places agree while the list box holds the rows' record.
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  if (size_t(count) == ViewRows()) {
    int height = RowHeight(view), top = int(SendMessageW(view, LB_GETTOPINDEX, 0, 0));
    int size = std::max(std::min<int>(height, gutter.right - gutter.left) - 4, 3);
    HBRUSH mark = CreateSolidBrush(kBookmarkColour);
    HGDIOBJ oldBrush = SelectObject(dc, mark), oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    bool bars = ViewMerges();
    int barWidth = std::min<int>(MulDiv(kFileBarPixels, ScreenDpi(), 96), gutter.right - gutter.left);
    for (int row = std::max(top, 0), y = gutter.top; row < count && y < gutter.bottom; ++row, y += height) {
      if (bars) {
        RECT bar{gutter.left, y, gutter.left + barWidth, std::min<int>(y + height, gutter.bottom)};
        SetBkColor(dc, FileBarColour(ViewRowPlace(size_t(row)).file));
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &bar, nullptr, 0, nullptr);
      }
      if (!StartsMarkedLine(size_t(row))) continue;
      int left = gutter.left + (gutter.right - gutter.left - size) / 2, upper = y + (height - size) / 2;
      RoundRect(dc, left, upper, left + size + 1, upper + size + 1, size / 2, size / 2);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(mark);
  }
  ReleaseDC(view, dc);
}

int GutterRowAt(HWND view, POINT screen) {
  RECT window{}, gutter = GutterRect(view);
  GetWindowRect(view, &window);
  POINT at{screen.x - window.left, screen.y - window.top};
  if (!PtInRect(&gutter, at)) return -1;
  LRESULT row = SendMessageW(view, LB_GETTOPINDEX, 0, 0) + (at.y - gutter.top) / RowHeight(view);
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  return row >= 0 && row < count ? int(row) : -1;
}
