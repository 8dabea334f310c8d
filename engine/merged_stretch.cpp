// Browsing a view of several files: the view always holds the exact merge of
// every file over the span of time it shows. Each file keeps where its lines
// in that span start and end (browseStart, stretchEnd: whole lines; a file
// with no line in the span has both where its lines after the span begin).
// Rows above or below the view are read from every file at once, merged,
// and as many taken as the view keeps; the view holds whole lines only.
#include "engine/follower_parts.h"

#include <algorithm>
#include <vector>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"

using namespace follower;

namespace follower {
namespace {

// What reading one file forward gave.
struct FileRead {
  bool read = false;
  uint64_t end = 0;      // where the whole lines read end
  uint64_t endLine = 0;  // the ordinal of the line that starts there
  bool atEnd = false;    // nothing but an unfinished line lies after end
};

size_t LinesLimitNow() { return std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1); }

bool Readable(const FollowedFile& f) { return f.file != INVALID_HANDLE_VALUE; }

// Rows at the view's top that continue a line begun above it go: a file's
// part of the span starts at a line's start.
void DropTopLinePart(const RowView& view) {
  size_t rows = 0;
  while (rows < ViewRows() && ViewRowPlace(rows).unit > 0) ++rows;
  RemoveFirstViewRows(view, rows);
}

// The start of a view line of f, or fallback when the checkpoints lost it.
uint64_t LineStartOr(FollowedFile& f, uint64_t line, uint64_t fallback) {
  uint64_t start;
  return LineStartOf(f, line, &start) ? start : fallback;
}

// Reads f's lines from `from` on (numbered from fromLine, the lines before
// carrying stamp) until more than rows of its rows are batched or its end.
// The line read only in part gives no rows: it starts where reading goes on.
// Feeding f goes on at `from`, a line's start: numbered fromLine, the lines
// before it carrying stamp.
void FeedFrom(FollowedFile& f, uint64_t from, uint64_t fromLine, int64_t stamp) {
  SelectFile(f);
  ResetPendingRow();
  ForgetReadState(f);
  SetLinesFed(fromLine);
  SetStreamRunningStamp(stamp);
  SeekTo(f, from);
  f.readPosition = from;
}

FileRead ReadForward(FollowedFile& f, uint64_t from, uint64_t fromLine, int64_t stamp, size_t rows) {
  FileRead read{true};
  FeedFrom(f, from, fromLine, stamp);
  size_t before = BatchedRows(), capacity = RowCapacity();
  KeepBatchFront(true);
  while (BatchedRows() - before <= rows)
    if (ReadAndFeedChunk(f, capacity) == 0) {
      read.atEnd = true;
      break;
    }
  KeepBatchFront(false);
  read.endLine = LinesFed();
  size_t kept = BatchedRows();
  while (kept > before && BatchRowPlace(kept - 1).line == read.endLine) --kept;
  DropBatchedRowsFrom(kept);
  read.end = LineStartOr(f, read.endLine, f.filePosition);
  ResetPendingRow();
  return read;
}

// Feeds f's whole lines in [from, to), numbered from fromLine, keeping none
// of the checkpoints the reads leave: they are counted from `from`.
void ReadBetween(FollowedFile& f, uint64_t from, uint64_t to, uint64_t fromLine, int64_t stamp) {
  FeedFrom(f, from, fromLine, stamp);
  size_t capacity = RowCapacity(), marked = f.checkpoints.size();
  KeepBatchFront(true);
  while (f.filePosition < to && ReadAndFeedChunk(f, capacity, to - f.filePosition) > 0) {}
  KeepBatchFront(false);
  f.checkpoints.resize(marked);
}

// From following: each file's part of the view is where it starts and ends.
// A line still being written leaves its rows: it is read again when whole.
void EnterMergedBrowsing(const RowView& view) {
  if (followed.browsing) return;
  if (HasBatchedRows()) FlushRows();
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    EndDrain(f);
    if (!Readable(f)) continue;
    SelectFile(f);
    RemoveViewRowsOf(view, f.index, LinesFed());
  }
  DropTopLinePart(view);
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    if (!Readable(f)) continue;
    SelectFile(f);
    f.stretchEnd = StretchEndOf(f);
    f.stretchEndPlace = RowPlace{LinesFed(), 0};
    RowPlace first;
    f.browseStart = FirstViewRowOf(f.index, &first) ? LineStartOr(f, first.line, f.stretchEnd) : f.stretchEnd;
    EnterBrowsing(f);
  }
  SelectFile(followed);
}

// After a load: each file's part of the view starts at its first row, or
// where its part ends when it has none.
void TakeStartsFromView() {
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    RowPlace first;
    if (Readable(f)) f.browseStart = FirstViewRowOf(f.index, &first) ? LineStartOr(f, first.line, f.stretchEnd) : f.stretchEnd;
  }
}

// The batch's rows from `from` on go past the view's end: each file's part
// ends at the line of its first such row, or where its reading ended.
// Returns whether every file's part now reaches its end.
bool TakeEndsFromBatch(size_t from, const std::vector<FileRead>& reads) {
  bool reachesEnd = true;
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    if (!Readable(f) || !reads[i].read) continue;
    size_t row = from;
    while (row < BatchedRows() && BatchRowPlace(row).file != i) ++row;
    if (row < BatchedRows()) {
      uint64_t line = BatchRowPlace(row).line;
      f.stretchEnd = LineStartOr(f, line, reads[i].end);
      f.stretchEndPlace = RowPlace{line, 0};
      reachesEnd = false;
    } else {
      f.stretchEnd = reads[i].end;
      f.stretchEndPlace = RowPlace{reads[i].endLine, 0};
      reachesEnd = reachesEnd && reads[i].atEnd;
    }
  }
  return reachesEnd;
}

// Every file's part reached its end: the view follows again from there, each
// file read on from its unfinished line.
void FollowOnFromEnds(const std::vector<FileRead>& reads) {
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    f.browsing = false;
    f.linesArrived = 0;
    if (!Readable(f) || !reads[i].read) continue;
    SelectFile(f);
    ResetPendingRow();
    ForgetReadState(f);
    RowPlace last;
    SetStreamRunningStamp(LastViewRowOf(f.index, &last) ? last.stamp : StampCarriedTo(f, reads[i].end));
    SeekTo(f, reads[i].end);
    f.readPosition = reads[i].end;
    while (!f.checkpoints.empty() && f.checkpoints.back().offset > reads[i].end) f.checkpoints.pop_back();
    f.checkpoints.push_back({reads[i].end, reads[i].endLine, true, 0});
    FileSize(f, &f.lastSize);
  }
  SelectFile(followed);
  if (engineHost.window) SetTimer(engineHost.window, kPollTimer, kPollInterval, nullptr);
}

void RefreshAfterMergedLoad() {
  for (uint32_t i = 0; i < viewFileCount; ++i)
    if (Readable(*viewFiles[i])) SelectFile(*viewFiles[i]), PruneCheckpoints(*viewFiles[i]);
  SelectFile(followed);
  RefreshAfterStretch(followed);
}

// Whether any file has lines before its part of the view.
bool EarlierLinesExist() {
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    if (!Readable(f)) continue;
    SelectFile(f);
    RowPlace first;
    uint64_t start = f.browsing ? f.browseStart
                     : FirstViewRowOf(f.index, &first) ? LineStartOr(f, first.line, f.dataStart + 1)
                                                       : StretchEndOf(f);
    if (first.unit > 0 || start > f.dataStart) return SelectFile(followed), true;
  }
  SelectFile(followed);
  return false;
}

}  // namespace

bool LoadEarlierMergedRows() {
  const RowView& view = CurrentRowView();
  if (!ViewLinesKnown(view) || !EarlierLinesExist()) return false;
  TakeEngineOptions();
  size_t limit = LinesLimitNow(), half = std::max<size_t>(limit / 2, 1);
  ViewPlace place = TakeViewPlace();
  SuspendViewRedraw();
  size_t rowsBefore = ViewRows();
  EnterMergedBrowsing(view);
  int shift = int(ViewRows()) - int(rowsBefore);
  DiscardBatchedRows();
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    if (!Readable(f) || f.browseStart <= f.dataStart) continue;
    uint64_t to = f.browseStart, from = StartOfEarlierStretch(f, to, half);
    if (from >= to) continue;  // the line before is too long to look through
    SelectFile(f);
    RowPlace first;
    uint64_t toLine;
    if (FirstViewRowOf(f.index, &first)) {
      toLine = first.line;
    } else {
      StartCheckpoints(f, to);
      toLine = LinesFed();
    }
    uint64_t fromLine =
        toLine - CountLineBreaks(FollowedReader(f), from, to, f.charset.active, byteBuffer, kChunkBytes);
    ReadBetween(f, from, to, fromLine, StampCarriedTo(f, from));
    f.checkpoints.push_front({from, fromLine, true, 0});
    ++f.linesEpoch;
  }
  SortBatchByTime();
  size_t rows = BatchedRows();
  if (rows == 0) {
    RestoreViewPlace(place, shift, false);
    ResumeViewRedraw();
    SelectFile(followed);
    return false;
  }
  // The last half of them, whole lines.
  size_t first = rows > half ? rows - half : 0;
  while (first > 0 && BatchRowPlace(first).unit > 0) --first;
  DropFirstBatchedRows(first);
  // The view keeps what fits under them, whole lines; each file whose rows
  // go at the bottom ends where they start.
  size_t added = BatchedRows(), keep = limit > added ? limit - added : 0;
  if (keep < ViewRows()) {
    while (keep > 0 && ViewRowPlace(keep).unit > 0) --keep;
    for (uint32_t i = 0; i < viewFileCount; ++i) {
      FollowedFile& f = *viewFiles[i];
      for (size_t row = keep; row < ViewRows(); ++row)
        if (RowPlace place = ViewRowPlace(row); place.file == i) {
          f.stretchEnd = LineStartOr(f, place.line, f.stretchEnd);
          f.stretchEndPlace = RowPlace{place.line, 0};
          break;
        }
    }
    RemoveLastViewRows(view, ViewRows() - keep);
  }
  RowPlace dropped;
  size_t inserted = PrependRowsTo(view, ~size_t(0), &dropped);
  TakeStartsFromView();
  RestoreViewPlace(place, shift + int(inserted), false);
  ResumeViewRedraw();
  RefreshAfterMergedLoad();
  return true;
}

bool LoadLaterMergedRows() {
  const RowView& view = CurrentRowView();
  if (!followed.browsing || !ViewLinesKnown(view)) return false;
  TakeEngineOptions();
  size_t limit = LinesLimitNow(), half = std::max<size_t>(limit / 2, 1);
  ViewPlace place = TakeViewPlace();
  SuspendViewRedraw();
  DiscardBatchedRows();
  std::vector<FileRead> reads(viewFileCount);
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    if (!Readable(f)) continue;
    SelectFile(f);
    uint64_t from = f.stretchEnd;
    RowPlace last;
    if (LastViewRowOf(f.index, &last)) {
      while (f.checkpoints.size() > 1 && f.checkpoints.back().offset > from) f.checkpoints.pop_back();
      f.checkpoints.push_back({from, last.line + 1, true, 0});
      reads[i] = ReadForward(f, from, last.line + 1, last.stamp, half);
    } else {
      StartCheckpoints(f, from);
      reads[i] = ReadForward(f, from, LinesFed(), StampCarriedTo(f, from), half);
    }
  }
  SortBatchByTime();
  size_t rows = BatchedRows(), cut = std::min(rows, half);
  while (cut < rows && cut > 0 && BatchRowPlace(cut).unit > 0) ++cut;  // whole lines
  bool reachesEnd = TakeEndsFromBatch(cut, reads);
  DropBatchedRowsFrom(cut);
  size_t before = ViewRows();
  FlushRowsTo(view, false, true);
  DropTopLinePart(view);
  int removed = int(before + cut) - int(ViewRows());
  if (reachesEnd) FollowOnFromEnds(reads);
  TakeStartsFromView();
  RestoreViewPlace(place, -removed, true);
  ResumeViewRedraw();
  RefreshAfterMergedLoad();
  return true;
}

int ShowMergedAt(const uint64_t* lineStarts, int64_t stamp, size_t rowsBefore, const MergedTarget* target) {
  const RowView& view = CurrentRowView();
  TakeEngineOptions();
  size_t limit = LinesLimitNow();
  rowsBefore = std::min(rowsBefore, limit - 1);
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    EndDrain(*viewFiles[i]);
    if (Readable(*viewFiles[i])) EnterBrowsing(*viewFiles[i]);  // what following read stays watched
  }
  EmptyView(true);
  std::vector<FileRead> reads(viewFileCount);
  uint64_t targetLine = kNoLine;
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    uint64_t size;
    if (!Readable(f) || !FileSize(f, &size)) continue;
    uint64_t at = AlignedToUnit(f, std::clamp(lineStarts[i], f.dataStart, size));
    uint64_t from = rowsBefore > 0 ? StartOfLinesBefore(f, at, rowsBefore) : at;
    SelectFile(f);
    StartCheckpoints(f, from);
    if (target && target->file == i)
      targetLine = LinesFed() + CountLineBreaks(FollowedReader(f), from, at, f.charset.active, byteBuffer, kChunkBytes);
    reads[i] = ReadForward(f, from, LinesFed(), StampCarriedTo(f, from), limit + rowsBefore);
  }
  SortBatchByTime();
  size_t rows = BatchedRows(), first = 0;
  while (first < rows && BatchRowPlace(first).stamp < stamp) ++first;
  // A line asked for: the last of its rows starting at or before the unit.
  for (size_t row = 0; target && row < rows; ++row)
    if (RowPlace place = BatchRowPlace(row); place.file == target->file && place.line == targetLine && place.unit <= target->unit)
      first = row;
  size_t targetRow = first;
  first = targetRow > rowsBefore ? targetRow - rowsBefore : 0;
  while (first > 0 && first < rows && BatchRowPlace(first).unit > 0) --first;
  size_t cut = std::min(rows, first + limit);
  while (cut < rows && cut > first + 1 && BatchRowPlace(cut).unit > 0) --cut;
  bool reachesEnd = TakeEndsFromBatch(cut, reads);
  DropBatchedRowsFrom(cut);
  DropFirstBatchedRows(first);
  FlushRowsTo(view, false, ViewRedrawSuspended());
  if (reachesEnd) FollowOnFromEnds(reads);
  TakeStartsFromView();
  RefreshAfterMergedLoad();
  return targetRow < rows && targetRow - first < ViewRows() ? int(targetRow - first) : -1;
}

void LoadStartOfMergedFiles() {
  std::vector<uint64_t> starts(viewFileCount);
  for (uint32_t i = 0; i < viewFileCount; ++i) starts[i] = viewFiles[i]->dataStart;
  ShowMergedAt(starts.data(), kNoStamp, 0, nullptr);
  const RowView& view = CurrentRowView();
  view.setTopIndex(view.context, 0);
  SelectOnlyRow(0);
}

}  // namespace follower
