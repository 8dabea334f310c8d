#include "commands/bookmark_commands.h"

#include <algorithm>
#include <vector>

#include "commands/clipboard_copy.h"
#include "commands/find.h"
#include "commands/overview.h"
#include "core/merge_order.h"
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
  RowPlace place = row >= 0 ? ViewRowPlace(size_t(row)) : RowPlace{};
  if (row < 0 || size_t(row) >= KnownRows() || !ViewLineStart(place, &lineStart)) {
    MessageBeep(MB_OK);
    return;
  }
  if (ToggleLineBookmark(place.file, lineStart) == Toggled::kFull) MessageBeep(MB_OK);
  RepaintBookmarks();
}

void ToggleBookmarkAtCaret() { ToggleBookmarkOfRow(CaretRow()); }

namespace {

// A merged view: the next bookmarked row past the caret in the view, else of
// the files' first bookmarks past their parts of the view, the next in time.
int NextMergedBookmarkRow(bool forward) {
  int caret = CaretRow(), rows = int(KnownRows());
  for (int row = caret + (forward ? 1 : -1); rows > 0 && row >= 0 && row < rows; row += forward ? 1 : -1)
    if (RowPlace place = ViewRowPlace(size_t(row)); place.unit == 0 && ViewLineBookmarked(place)) return row;
  uint32_t chosenFile = 0;
  const Bookmark* chosen = nullptr;
  int64_t chosenStamp = 0;
  for (uint32_t file = 0; file < ViewFileCount(); ++file) {
    uint64_t start, startUnit, end;
    if (!ViewFileSpan(file, &start, &startUnit, &end)) continue;
    const BookmarkSet& marks = FileBookmarks(file);
    const Bookmark* mark = forward ? (end > 0 ? NextBookmark(marks, end - 1) : marks.items.empty() ? nullptr : &marks.items[0])
                                   : PreviousBookmark(marks, start);
    if (!mark) continue;
    int64_t stamp = ViewFileLineStamp(file, mark->offset);
    bool earlier = stamp < chosenStamp;
    if (!chosen || (stamp != chosenStamp && earlier == forward)) chosen = mark, chosenFile = file, chosenStamp = stamp;
  }
  return chosen ? ShowViewFileLine(chosenFile, chosen->offset, 0, 4) : -1;
}

}  // namespace

void GoToBookmark(bool forward) {
  if (ViewMerges()) {
    int row = NextMergedBookmarkRow(forward);
    if (row < 0) MessageBeep(MB_OK);
    else ShowRow(row);
    RepaintBookmarks();
    return;
  }
  const BookmarkSet& marks = FileBookmarks();
  int caret = CaretRow();
  uint64_t here = 0;
  bool placed = caret >= 0 && ViewLineStart(ViewRowPlace(size_t(caret)), &here);
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
  int row = ViewLineOfBookmark(0, mark->offset, &line) ? FirstRowFrom(line) : -1;
  if (row < 0) row = ShowLineAt(mark->offset, 0, 4);
  if (row < 0) MessageBeep(MB_OK);
  else ShowRow(row);
  RepaintBookmarks();
}

void ClearBookmarks() {
  ClearFileBookmarks();
  RepaintBookmarks();
}

// Every file's bookmarked lines, in the order the view merges them (each
// file's own order, its lines keyed by their stamps as they come).
void CopyBookmarkedLines(HWND window) {
  if (!AnyViewBookmarks()) {
    MessageBeep(MB_OK);
    return;
  }
  struct MarkedLine {
    MergeKey key;
    std::vector<TextUnit> text;
  };
  std::vector<MarkedLine> lines;
  for (uint32_t file = 0; file < ViewFileCount(); ++file) {
    LineKeyer keyer;
    keyer.file = file;
    keyer.hint = YearHintOf(ViewFileHandle(file));
    for (const Bookmark& mark : FileBookmarks(file).items) {
      MarkedLine line;
      if (!DecodeLineAt(ViewFileReader(file), mark.offset, ViewFileCharset(file).active, SystemConversions(), &line.text))
        continue;
      line.key = KeyLine(&keyer, line.text.data(), line.text.size());
      lines.push_back(std::move(line));
    }
  }
  std::stable_sort(lines.begin(), lines.end(), [](const MarkedLine& a, const MarkedLine& b) { return a.key < b.key; });
  std::vector<wchar_t> text;
  for (const MarkedLine& line : lines) {
    text.insert(text.end(), line.text.begin(), line.text.end());
    text.push_back(L'\r');
    text.push_back(L'\n');
  }
  CopyTextToClipboard(window, text.data(), text.size());
}
