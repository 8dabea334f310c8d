#include "commands/bookmark_commands.h"

#include <vector>

#include "commands/clipboard_copy.h"
#include "commands/find.h"
#include "commands/overview.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_bookmarks.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "ui/view_margins.h"

namespace {

// The view's rows, while the rows' record of the view holds them.
size_t KnownRows() {
  HWND view = engineHost.view;
  LRESULT count = view ? SendMessageW(view, LB_GETCOUNT, 0, 0) : 0;
  return count > 0 && size_t(count) == ViewRows() ? size_t(count) : 0;
}

int CaretRow() {
  LRESULT caret = engineHost.view ? SendMessageW(engineHost.view, LB_GETCARETINDEX, 0, 0) : LB_ERR;
  return caret == LB_ERR || caret < 0 || size_t(caret) >= KnownRows() ? -1 : int(caret);
}

// The first row of the view's line, or of the first line after it that the
// filters show; -1 when the view does not hold the line's start.
int FirstRowFrom(uint64_t line) {
  size_t rows = KnownRows();
  if (rows == 0 || RowPlace{line, 0} < ViewRowPlace(0) || ViewRowLine(rows - 1) < line) return -1;
  for (size_t row = 0; row < rows; ++row)
    if (ViewRowLine(row) >= line) return int(row);
  return -1;
}

}  // namespace

void RepaintBookmarks() {
  if (engineHost.view) PaintGutter(engineHost.view);
  RefreshOverview();
}

void ToggleBookmarkOfRow(int row) {
  uint64_t lineStart;
  if (row < 0 || size_t(row) >= KnownRows() || !ViewLineStart(ViewRowLine(size_t(row)), &lineStart)) {
    MessageBeep(MB_OK);
    return;
  }
  if (ToggleLineBookmark(lineStart) == Toggled::kFull) MessageBeep(MB_OK);
  RepaintBookmarks();
}

void ToggleBookmarkAtCaret() { ToggleBookmarkOfRow(CaretRow()); }

void GoToBookmark(bool forward) {
  const BookmarkSet& marks = FileBookmarks();
  int caret = CaretRow();
  uint64_t here = 0;
  bool placed = caret >= 0 && ViewLineStart(ViewRowLine(size_t(caret)), &here);
  if (!placed) here = forward ? StretchStart() : StretchEnd();
  const Bookmark* mark = nullptr;
  if (!forward) mark = PreviousBookmark(marks, here);
  else if (placed || here > 0) mark = NextBookmark(marks, placed ? here : here - 1);
  else if (!marks.items.empty()) mark = &marks.items[0];
  if (!mark) {
    MessageBeep(MB_OK);
    return;
  }
  uint64_t line;
  int row = ViewLineOfBookmark(mark->offset, &line) ? FirstRowFrom(line) : -1;
  if (row < 0) row = ShowLineAt(mark->offset, 0, 4);
  if (row < 0) MessageBeep(MB_OK);
  else ShowRow(row);
  RepaintBookmarks();
}

void ClearBookmarks() {
  ClearFileBookmarks();
  RepaintBookmarks();
}

void CopyBookmarkedLines(HWND window) {
  const BookmarkSet& marks = FileBookmarks();
  if (marks.items.empty()) {
    MessageBeep(MB_OK);
    return;
  }
  std::vector<wchar_t> text;
  std::vector<TextUnit> line;
  for (const Bookmark& mark : marks.items) {
    if (!DecodeLineAt(FollowedBytesReader(), mark.offset, FollowedCharset().active, SystemConversions(), &line)) continue;
    text.insert(text.end(), line.begin(), line.end());
    text.push_back(L'\r');
    text.push_back(L'\n');
  }
  CopyTextToClipboard(window, text.data(), text.size());
}
