// The stretch a view holds: browsing anywhere in the file, the rows before
// the first and after the last, and the watch of a browsing view's file.
#include "engine/follower_parts.h"

#include <algorithm>
#include <cstring>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_bookmarks.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"

using namespace follower;

namespace follower {

// Counts the lines written since browsing began, a bounded stretch per poll.
constexpr uint64_t kWatchBytesPerPoll = uint64_t(4) << 20;
// Loading the rows above the view, the start of the line before is looked
// for this far back at most, and a line is read again from its start this
// far at most: the window waits for both.
constexpr uint64_t kMostLineBytes = uint64_t(256) << 20;
constexpr double kEarlierSearchMs = 100;

// From following to browsing: what was read so far stays watched from where
// it stopped.
void EnterBrowsing(FollowedFile& f) {
  if (f.browsing) return;
  f.browsing = true;
  f.watchedEnd = f.filePosition;
  memcpy(f.watchedTail, f.tail, f.tailCount);
  f.watchedTailCount = f.tailCount;
  f.linesArrived = 0;
}

// Feeding goes on from the row at place, of a line fed before: from the last
// checkpoint inside that line before it, else from the line's start, the
// units up to it decoded and passed by. False when the line's start is not
// known. The checkpoints past the one taken go: feeding pushes them again.
bool ResumeFeedingAt(FollowedFile& f, RowPlace place) {
  uint64_t from = 0, unit = 0;
  size_t kept = f.checkpoints.size();
  while (kept > 0 && !(f.checkpoints[kept - 1].line == place.line && f.checkpoints[kept - 1].unit <= place.unit) &&
         !UsableFor(f.checkpoints[kept - 1], place.line))
    --kept;
  if (kept == 0) return false;
  const LineCheckpoint& checkpoint = f.checkpoints[kept - 1];
  if (checkpoint.line == place.line) {  // a line starts where none of it was decoded yet
    from = checkpoint.offset, unit = checkpoint.unit;
  } else if (!LineStartOf(f, place.line, &from)) {
    return false;
  }
  f.checkpoints.resize(kept);
  ResetPendingRow();
  ForgetReadState(f);
  ResumeLineAt(place);
  f.unitsToSkip = place.unit - unit;
  SeekTo(f, from);
  f.readPosition = from;
  return true;
}

void CountArrivedLines(FollowedFile& f, uint64_t size) {
  uint64_t to = std::min(size, f.watchedEnd + kWatchBytesPerPoll);
  uint32_t unit = CharsetUnitSize(f.charset.active);
  to -= (to - f.watchedEnd) % unit;
  if (to <= f.watchedEnd) return;
  f.linesArrived += CountLineBreaks(FollowedReader(f), f.watchedEnd, to, f.charset.active, byteBuffer, kChunkBytes);
  f.watchedEnd = to;
  f.watchedTailCount = size_t(std::min<uint64_t>(kTailCheckBytes, to));
  ReadFileAt(f.file, to - f.watchedTailCount, f.watchedTail, f.watchedTailCount);
  SeekTo(f, f.filePosition);
}

// The watch of a browsing view: a file cut or rewritten brings the view back
// to the end, as following would; a longer one adds to the new lines' count.
// False when the view went back to following, whose poll goes on.
bool PollWhileBrowsing(FollowedFile& f) {
  uint64_t size;
  if (!FileSize(f, &size)) return true;
  if (size < f.lastSize || size < f.watchedEnd ||
      (size > f.lastSize && !BytesStillBefore(f, f.watchedEnd, f.watchedTail, f.watchedTailCount))) {
    DropFileBookmarks(f);
    FollowTheEnd(f, false);  // a merged view: every file
    return false;
  }
  bool changed = size != f.lastSize;
  f.lastSize = size;
  if (changed && engineHost.refreshSize) engineHost.refreshSize();
  if (size > f.watchedEnd) {
    uint64_t before = f.linesArrived;
    CountArrivedLines(f, size);
    if (f.linesArrived != before && engineHost.refreshStatus) engineHost.refreshStatus();
  }
  if (!FollowRenamedFile(f)) CheckHorizontalScrollBar();
  return true;
}

// After a load: what it changed shown, and the checkpoints it left behind
// the view's first line forgotten, as at the end of a poll (browsing, a load
// is what reads).
void RefreshAfterStretch(FollowedFile& f) {
  PruneCheckpoints(f);
  if (engineHost.refreshSize) engineHost.refreshSize();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  if (TakeWidestRowChange()) UpdateHorizontalExtent();
  if (engineHost.fileChanged) engineHost.fileChanged();
}

uint64_t StretchEndOf(FollowedFile& f) {
  if (f.file == INVALID_HANDLE_VALUE) return 0;
  if (f.browsing) return f.stretchEnd;
  uint64_t end;
  return LineStartOf(f, LinesFed(), &end) ? end : f.filePosition;
}

uint64_t StretchStartOf(FollowedFile& f) {
  const RowView& view = CurrentRowView();
  uint64_t start;
  bool known = f.file != INVALID_HANDLE_VALUE && ViewRows() && ViewLinesKnown(view);
  // Inside its first line, the stretch starts where that line does.
  if (f.file != INVALID_HANDLE_VALUE && f.browsing && !(known && ViewRowPlace(0).unit > 0)) return f.browseStart;
  if (known && LineStartOf(f, ViewRowLine(0), &start)) return start;
  return StretchEndOf(f);
}

// The batch's row that holds unit `unit` of line `line`: the last of that
// line's rows starting at or before it; else the first row after it (the
// line hidden, say). BatchedRows() when none has come yet; *complete tells
// whether a row after it has come, so that no later row can hold it.
size_t BatchRowHolding(RowPlace target, bool* complete) {
  size_t after = FirstBatchedRowFrom({target.line, target.unit + 1});
  *complete = after < BatchedRows();
  if (after > 0 && BatchRowLine(after - 1) == target.line) return after - 1;
  return after;
}

// Where feeding for the rows before the line at start begins: at most the
// rows' worth of lines back, within the kb limit's bytes.
uint64_t StartOfLinesBefore(FollowedFile& f, uint64_t start, size_t lines) {
  uint32_t charset = f.charset.active;
  uint64_t floor = AlignedToUnit(f, start - std::min(start - f.dataStart, KbLimitBytes()));
  uint64_t from = StartOfLastLines(f.file, floor, start, charset, lines);
  if (from == floor && floor > f.dataStart) from = std::min(FindFirstWholeLine(f.file, floor, charset), start);
  return from;
}

// Loads the stretch from where feeding stands: until the batch holds the row
// of target with up to rowsBefore rows before it and limit rows from there,
// or the end. Reaching the end, the view follows again; else the
// stretch stops after limit rows, however far into a line. Returns the row
// of target among those loaded (the view's, when it was empty), -1 for none;
// *dropped whether rows before the first went.
int LoadStretch(FollowedFile& f, RowPlace target, size_t rowsBefore, uint64_t size, size_t limit, bool* dropped) {
  limit = std::max<size_t>(limit, 1);
  rowsBefore = std::min(rowsBefore, limit - 1);  // the row itself stays
  size_t capacity = RowCapacity();
  bool atEnd = false, complete = false;
  size_t held = BatchedRows();
  KeepBatchFront(true);
  for (;;) {
    held = BatchRowHolding(target, &complete);
    // The rows before it that are not needed go as they come: memory stays
    // within a few times the limit however long the lines.
    size_t first = held > rowsBefore ? held - rowsBefore : 0;
    if (first > 0) DropFirstBatchedRows(first), held -= first, *dropped = true;
    // One row past the limit tells where the stretch ends.
    if (atEnd || (complete && BatchedRows() > limit)) break;
    atEnd = ReadAndFeedChunk(f, capacity) == 0;
  }
  if (!atEnd && f.filePosition >= size && f.carryCount == 0) atEnd = ReadAndFeedChunk(f, capacity) == 0;
  KeepBatchFront(false);
  if (atEnd && BatchedRows() <= limit) {
    // The stretch reaches the end: following goes on from here.
    f.browsing = false;
    f.linesArrived = 0;
    f.lastSize = size;
    EndOfPoll();
  } else {
    f.stretchEndPlace = BatchRowPlace(limit);
    if (!LineStartOf(f, f.stretchEndPlace.line, &f.stretchEnd)) f.stretchEnd = f.filePosition;
    DropBatchedRowsFrom(limit);
    ResetPendingRow();
    ForgetReadState(f);
    FlushRowsTo(CurrentRowView(), false, false);
  }
  RefreshAfterStretch(f);
  return held < ViewRows() ? int(held) : -1;
}

int ShowLineIn(FollowedFile& f, uint64_t lineStart, uint64_t unit, int rowsBefore) {
  uint64_t size;
  if (f.file == INVALID_HANDLE_VALUE || !FileSize(f, &size)) return -1;
  TakeEngineOptions();
  uint32_t charset = f.charset.active;
  lineStart = AlignedToUnit(f, std::clamp(lineStart, f.dataStart, size));
  size_t before = size_t(std::max(rowsBefore, 0));
  uint64_t from = before > 0 ? StartOfLinesBefore(f, lineStart, before) : lineStart;
  EnterBrowsing(f);  // what following read stays watched from where it stopped
  EndDrain(f);
  EmptyView(true);
  ResetPendingRow();
  ForgetReadState(f);
  StartCheckpoints(f, from);
  RowPlace target{LinesFed() + CountLineBreaks(FollowedReader(f), from, lineStart, charset, byteBuffer, kChunkBytes),
                  unit};
  SeekTo(f, from);
  f.readPosition = from;
  bool dropped = false;
  int row = LoadStretch(f, target, before, size, std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1), &dropped);
  // The stretch starts with the lines the filters hide before its first row,
  // unless rows before it went.
  f.browseStart = from;
  if (dropped && ViewRows() && !LineStartOf(f, ViewRowLine(0), &f.browseStart)) f.browseStart = from;
  return row;
}

ViewPlace TakeViewPlace() {
  const RowView& view = CurrentRowView();
  HWND list = engineHost.view;
  return ViewPlace{view.topIndex(view.context), list ? SendMessageW(list, LB_GETCARETINDEX, 0, 0) : LB_ERR};
}

// Selects row alone, the caret on it.
void SelectOnlyRow(LRESULT row) {
  HWND list = engineHost.view;
  if (!list) return;
  SendMessageW(list, LB_SETCARETINDEX, WPARAM(row), FALSE);
  SendMessageW(list, LB_SETSEL, FALSE, -1);
  SendMessageW(list, LB_SETSEL, TRUE, row);
}

// The place again, shift rows down (up when negative); with selectCaret the
// caret row is then the only one selected.
void RestoreViewPlace(const ViewPlace& place, int shift, bool selectCaret) {
  const RowView& view = CurrentRowView();
  view.setTopIndex(view.context, std::max(0, place.top + shift));
  if (!engineHost.view || place.caret == LB_ERR) return;
  LRESULT caret = std::max<LRESULT>(0, place.caret + shift);
  if (selectCaret) SelectOnlyRow(caret);
  else SendMessageW(engineHost.view, LB_SETCARETINDEX, WPARAM(caret), FALSE);
}

// Where the stretch before the line at start begins: no more than the kb
// limit's worth back, unless a single line is longer; and, where every line
// makes a row, half the lines limit of lines back. start itself when the line
// before is longer than kMostLineBytes.
uint64_t StartOfEarlierStretch(FollowedFile& f, uint64_t start, size_t half) {
  uint32_t charset = f.charset.active;
  uint64_t from = start - std::min(start - f.dataStart, KbLimitBytes());
  if (from > f.dataStart) from = std::min(FindFirstWholeLine(f.file, AlignedToUnit(f, from), charset), start);
  if (!CurrentLineFilters().count && !CurrentEngineOptions().cutEmpty && from < start)
    from = std::max(from, StartOfLastLines(f.file, from, start, charset, half));
  if (from < start) return from;
  uint64_t floor = AlignedToUnit(f, start - std::min(start - f.dataStart, kMostLineBytes));
  from = StartOfLastLines(f.file, floor, start, charset, 1);
  return from == floor && floor > f.dataStart ? start : from;
}

// Feeds the whole lines in [from, to) as the lines from firstLine on, keeping
// the last keep rows; true when rows before those went.
bool FeedStretch(FollowedFile& f, uint64_t from, uint64_t to, uint64_t firstLine, size_t keep) {
  ResetPendingRow();
  ForgetReadState(f);
  SetLinesFed(firstLine);
  SeekTo(f, from);
  size_t capacity = RowCapacity();
  size_t marked = f.checkpoints.size();
  bool dropped = false;
  KeepBatchFront(true);
  while (f.filePosition < to && ReadAndFeedChunk(f, capacity, to - f.filePosition) > 0)
    if (BatchedRows() > keep) DropFirstBatchedRows(BatchedRows() - keep), dropped = true;
  KeepBatchFront(false);
  f.checkpoints.resize(marked);  // they hold only the lines read in order
  return dropped;
}

// The rows of the line that starts at lineStart before the row at `before`,
// the last keep of them: from the line's start, unless the view's rows lie
// more than kMostLineBytes into it; then from a checkpoint inside it, rows
// starting afresh there and the last one cut where the view's first starts.
void FeedLineBefore(FollowedFile& f, uint64_t lineStart, RowPlace before, size_t keep) {
  size_t capacity = RowCapacity();
  uint64_t from = lineStart, unit = 0;
  uint64_t wanted = uint64_t(keep) * capacity;  // units enough for keep rows
  for (auto it = f.checkpoints.rbegin(); it != f.checkpoints.rend() && it->line >= before.line; ++it) {
    if (it->line != before.line || it->unit > before.unit) continue;
    if (it->offset - lineStart <= kMostLineBytes) break;
    if (it->unit + wanted <= before.unit || it->unit == 0) {
      from = it->offset, unit = it->unit;
      break;
    }
  }
  size_t marked = f.checkpoints.size();
  ResetPendingRow();
  ForgetReadState(f);
  ResumeLineAt({before.line, unit});
  f.unitsToFeed = before.unit - unit;
  SeekTo(f, from);
  KeepBatchFront(true);
  while (f.unitsToFeed > 0 && ReadAndFeedChunk(f, capacity) > 0)
    if (BatchedRows() > keep) DropFirstBatchedRows(BatchedRows() - keep);
  EndPendingRow();
  if (BatchedRows() > keep) DropFirstBatchedRows(BatchedRows() - keep);
  KeepBatchFront(false);
  f.unitsToFeed = kNoUnitLimit;
  f.checkpoints.resize(marked);
}

}  // namespace follower

bool Browsing() { return followed.file != INVALID_HANDLE_VALUE && followed.browsing; }

uint64_t StretchEnd() { return StretchEndOf(followed); }

uint64_t StretchEndUnit() { return followed.file != INVALID_HANDLE_VALUE && followed.browsing ? followed.stretchEndPlace.unit : 0; }

uint64_t StretchStart() { return StretchStartOf(followed); }

uint64_t StretchStartUnit() {
  FollowedFile& f = followed;
  const RowView& view = CurrentRowView();
  return f.file != INVALID_HANDLE_VALUE && ViewRows() && ViewLinesKnown(view) ? ViewRowPlace(0).unit : 0;
}

// A merged view holds the tails of its files: stretches of one file alone
// would leave the others' lines of the same span out.
int ShowLineAt(uint64_t lineStart, uint64_t unit, int rowsBefore) {
  return Merging() ? -1 : ShowLineIn(followed, lineStart, unit, rowsBefore);
}

bool LoadEarlierRows() {
  FollowedFile& f = followed;
  const RowView& view = CurrentRowView();
  if (f.file == INVALID_HANDLE_VALUE) return false;
  if (Merging()) return LoadEarlierMergedRows();
  if (f.continuing) EndOfPoll(), EndDrain(f);
  if (!ViewLinesKnown(view)) return false;
  TakeEngineOptions();
  size_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t half = std::max<size_t>(limit / 2, 1);
  uint32_t charset = f.charset.active;
  // Following, the first line may have lost its first rows to the row limit:
  // they come first, before the lines before it.
  RowPlace first = ViewRows() ? ViewRowPlace(0) : RowPlace{LinesFed(), 0};
  uint64_t lineStart;
  if (!LineStartOf(f, first.line, &lineStart)) return false;
  uint64_t start = f.browsing && first.unit == 0 ? f.browseStart : lineStart;
  if (first.unit == 0 && start <= f.dataStart) return false;
  RowPlace endNow = f.browsing ? f.stretchEndPlace : RowPlace{LinesFed(), 0};
  uint64_t endOffsetNow = StretchEndOf(f);
  ViewPlace place = TakeViewPlace();

  // Following goes on after this as if nothing had been read meanwhile.
  bool following = !f.browsing;
  uint8_t savedCarry[kMaxCarryBytes], savedTail[kTailCheckBytes];
  size_t savedCarryCount = f.carryCount, savedTailCount = f.tailCount;
  uint64_t savedPosition = f.filePosition, savedRead = f.readPosition;
  memcpy(savedCarry, f.carry, f.carryCount);
  memcpy(savedTail, f.tail, f.tailCount);
  if (following) SaveRowStream();

  DiscardBatchedRows();
  if (first.unit > 0) FeedLineBefore(f, lineStart, first, half);
  // Stretch after stretch back, while the filters hide all they hold.
  uint64_t from = start, fromLine = first.line;
  bool earlierLines = !HasBatchedRows() && start > f.dataStart, rowsWent = false;
  LARGE_INTEGER began = Now();
  while (earlierLines) {
    uint64_t to = from;
    from = StartOfEarlierStretch(f, to, half);
    if (from >= to) break;  // the line before is too long to look through
    fromLine -= CountLineBreaks(FollowedReader(f), from, to, charset, byteBuffer, kChunkBytes);
    DiscardBatchedRows();
    rowsWent = FeedStretch(f, from, to, fromLine, half);
    if (HasBatchedRows() || from <= f.dataStart || MillisecondsSince(began) >= kEarlierSearchMs) break;
  }
  if (from < start) {
    f.checkpoints.push_front({from, fromLine, true, 0});
    ++f.linesEpoch;
    f.browseStart = from;
    if (rowsWent && HasBatchedRows() && BatchRowPlace(0).unit == 0) LineStartOf(f, BatchRowLine(0), &f.browseStart);
  }
  size_t newRows = BatchedRows();
  bool moved = newRows > 0 || from < start;

  SuspendViewRedraw();
  RowPlace dropped;
  size_t inserted = PrependRowsTo(view, limit, &dropped);
  memcpy(f.tail, savedTail, savedTailCount);
  f.tailCount = savedTailCount;
  f.filePosition = savedPosition;
  // A view that keeps its last rows still ends at the file's end, unless no
  // row came in to tell where the stretch now starts.
  if (moved && (dropped.line != kNoLine || newRows == 0)) {
    EnterBrowsing(f);
    f.stretchEndPlace = dropped.line != kNoLine ? dropped : endNow;
    if (dropped.line == kNoLine || !LineStartOf(f, dropped.line, &f.stretchEnd)) f.stretchEnd = endOffsetNow;
  }
  if (following && !f.browsing) {
    RestoreRowStream();
    memcpy(f.carry, savedCarry, savedCarryCount);
    f.carryCount = savedCarryCount;
    f.readPosition = savedRead;
  } else {
    ResetPendingRow();
    ForgetReadState(f);
    SetLinesFed(ViewRows() ? ViewRowLine(ViewRows() - 1) + 1 : first.line);
  }
  SeekTo(f, savedPosition);
  RestoreViewPlace(place, int(inserted), false);
  ResumeViewRedraw();
  RefreshAfterStretch(f);
  return moved;
}

bool LoadLaterRows() {
  if (Merging()) return LoadLaterMergedRows();
  FollowedFile& f = followed;
  const RowView& view = CurrentRowView();
  uint64_t size;
  if (f.file == INVALID_HANDLE_VALUE || !f.browsing || !ViewLinesKnown(view) || !FileSize(f, &size)) return false;
  TakeEngineOptions();
  size_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t rows = ViewRows();
  // The last half of the view's rows stay, at the top now, and the rows after
  // them follow, read on from where the stretch stopped.
  size_t kept = rows > limit / 2 ? rows - limit / 2 : 0;
  ViewPlace place = TakeViewPlace();
  if (!ResumeFeedingAt(f, f.stretchEndPlace)) return false;
  SuspendViewRedraw();
  DiscardBatchedRows();
  RemoveFirstViewRows(view, kept);
  bool dropped = false;
  LoadStretch(f, f.stretchEndPlace, 0, size, limit - ViewRows(), &dropped);
  if (f.browsing && ViewRows()) LineStartOf(f, ViewRowLine(0), &f.browseStart);
  RestoreViewPlace(place, -int(kept), true);
  ResumeViewRedraw();
  return true;
}

void LoadStartOfFile() {
  FollowedFile& f = followed;
  if (f.file == INVALID_HANDLE_VALUE) return;
  if (Merging()) return LoadStartOfMergedFiles();
  ShowLineIn(f, f.dataStart, 0, 0);
  const RowView& view = CurrentRowView();
  view.setTopIndex(view.context, 0);
  SelectOnlyRow(0);
}

void FollowEndAgain() { FollowTheEnd(followed, true); }

uint64_t LinesArrivedWhileBrowsing() {
  uint64_t arrived = 0;
  for (uint32_t i = 0; i < viewFileCount; ++i)
    if (viewFiles[i]->browsing) arrived += viewFiles[i]->linesArrived;
  return arrived;
}
