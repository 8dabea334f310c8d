#include "core/rows.h"

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

#include "core/filter_stack.h"

namespace {


constexpr size_t kFilterLineUnits = kMaxMatchUnits;
RowOptions rowOptions;
LineFilters lineFilters{};
FilterStack filterStack;
size_t widestRow = 0;
bool widestRowGrew = false;

// Finished rows of the current poll, NUL-terminated back to back.
std::vector<TextUnit> batchText;
std::vector<size_t> batchStarts;
std::vector<RowPlace> batchPlaces;  // each batched row's line and first unit
std::deque<RowPlace> viewPlaces;    // each view row's
bool batchFrontKept = false;
// Levels are read as rows go to the view, in order: only the rows that can
// reach it are read, not every line of a large tail. A row goes on its line's
// level; a line's first row decides it.
struct LevelReading {
  LevelCarry carry;
  uint64_t line = kNoLine;  // the last line decided
  LogLevel level = LogLevel::kNone;
  bool stated = false;
  bool fresh = true;  // no row read yet: the host tells what the lines before carry
};
LevelsBefore levelsBefore = nullptr;

// One file's lines on their way to rows: the row being built, the filters'
// pending verdict on the line being fed, where in the file's lines feeding
// stands, and the levels read of the rows it gave.
enum class LineVerdict { kPending, kShown, kHidden };
struct RowStream {
  TextUnit pendingRow[kMaxRowUnits + 1];
  size_t pendingLength = 0;
  uint32_t emptyRun = 0;
  LineVerdict lineVerdict = LineVerdict::kPending;
  TextUnit heldLine[kFilterLineUnits];  // the start of a line the filter has not decided on
  size_t heldLength = 0;
  uint64_t linesFed = kFirstLineOrdinal;
  uint64_t unitOfLine = 0;     // units of the line the rows have taken so far
  uint64_t rowStartUnit = 0;   // where in its line the row being built starts
  uint64_t unitsIntoLine = 0;  // units of the line fed so far, rows built or not
  LevelReading levelReading;   // of the rows appended; a stretch put above reads on its own
  // Merging: the running stamp, the head of the line being fed as far as it
  // came in earlier feeds, whether that line is keyed yet, and the first row
  // since a load.
  LineKeyer keyer;
  bool lineKeyed = false;
  size_t waitingRows = 0;  // rows of the line batched before it was keyed
  bool cutAbove = false;
  bool hasFirstRow = false;
  RowPlace firstRow;
};
// Merging, a row of a line whose head has not all come in yet (a row
// narrower than a stamp's reach, the rest of the line still being written)
// waits in the batch with this stamp: it sorts last and is not flushed.
constexpr int64_t kWaitingStamp = INT64_MAX;

RowStream streams[kMaxViewFiles];
RowStream* stream = &streams[0];
uint32_t streamFile = 0;
bool merging = false;
bool viewTopCut = false;  // merging: rows went from the view's top
uint32_t viewLevelLines[kLogLevels] = {};

// Keeps viewLevelLines as rows enter (+1) and leave (-1) the view.
template <typename Iterator>
void CountViewLevels(Iterator first, Iterator last, int sign) {
  for (; first != last; ++first)
    if (first->levelStated && first->unit == 0) viewLevelLines[size_t(first->level)] += uint32_t(sign);
}

void EraseFirstViewPlaces(size_t count) {
  count = std::min(count, viewPlaces.size());
  CountViewLevels(viewPlaces.begin(), viewPlaces.begin() + ptrdiff_t(count), -1);
  viewPlaces.erase(viewPlaces.begin(), viewPlaces.begin() + ptrdiff_t(count));
}

constexpr size_t kRowsBetweenTimeChecks = 16;

size_t LinesLimit() { return std::max<uint32_t>(rowOptions.linesLimit, 1); }

// While following is blocked the view may outgrow the limit, up to this.
size_t BlockedCeiling() { return 2 * LinesLimit(); }

// Rows that can never reach the view are dropped as the batch grows, so a
// huge poll holds at most a few times the limit in memory.
// Forgets the first rows of the batch.
void DropBatchFront(size_t rows) {
  size_t offset = batchStarts[rows];
  batchText.erase(batchText.begin(), batchText.begin() + ptrdiff_t(offset));
  batchStarts.erase(batchStarts.begin(), batchStarts.begin() + ptrdiff_t(rows));
  batchPlaces.erase(batchPlaces.begin(), batchPlaces.begin() + ptrdiff_t(rows));
  for (size_t& start : batchStarts) start -= offset;
}

// Forgets the batched rows from row on.
void DropBatchBack(size_t row) {
  if (row >= batchStarts.size()) return;
  batchText.resize(batchStarts[row]);
  batchStarts.resize(row);
  batchPlaces.resize(row);
}

void CompactBatch() {
  size_t keep = BlockedCeiling();
  if (batchFrontKept || batchStarts.size() < keep + LinesLimit()) return;
  // Merging, the rows that go are the first in merged order: rows still to
  // come only add to those after them. Rows waiting for their line's stamp
  // sort last and all stay.
  size_t waiting = 0;
  if (merging) {
    SortBatchByTime();
    while (waiting < batchPlaces.size() && batchPlaces[batchPlaces.size() - 1 - waiting].stamp == kWaitingStamp) ++waiting;
  }
  if (batchStarts.size() > keep + waiting) DropBatchFront(batchStarts.size() - keep - waiting);
}

// Sets batched row i's level, reading it from the row when it starts its line.
void ReadRowLevel(size_t i, LevelReading* reading) {
  if (merging) reading = &streams[batchPlaces[i].file % kMaxViewFiles].levelReading;
  RowPlace& place = batchPlaces[i];
  if (std::exchange(reading->fresh, false) && levelsBefore && rowOptions.readLevels) {
    LevelStart start = levelsBefore(place);
    reading->carry.level = start.carried;
    if (place.unit > 0) reading->line = place.line, reading->level = start.level;
  }
  if (place.unit == 0 && rowOptions.readLevels) {
    const TextUnit* text = batchText.data() + batchStarts[i];
    reading->level = ShownLineLevel(text, TextLengthWithin(text, kLevelSearchUnits), &reading->carry, &reading->stated);
    reading->line = place.line;
  }
  bool ours = place.line == reading->line && rowOptions.readLevels;
  place.level = ours ? reading->level : LogLevel::kNone;
  place.levelStated = ours && place.unit == 0 && reading->stated;
}

// Merging: the line being fed is keyed once, from its first units: those of
// earlier feeds, then up to count more of units, the rest of it in this feed.
// Its rows that waited take the stamp.
void KeyLineOnce(const TextUnit* units, size_t count) {
  if (stream->lineKeyed) return;
  stream->lineKeyed = true;
  TextUnit head[kKeyedHeadUnits];
  size_t length = std::min(stream->keyer.headLength, kKeyedHeadUnits);
  std::copy(stream->keyer.head, stream->keyer.head + length, head);
  for (size_t i = 0; i < count && length < kKeyedHeadUnits && units[i] != u'\n'; ++i) head[length++] = units[i];
  KeyLine(&stream->keyer, head, length);
  bool firstRowHere = !stream->hasFirstRow;  // the first row since a load waited: the lowest of them
  for (size_t row = batchPlaces.size(); stream->waitingRows > 0 && row-- > 0;) {
    RowPlace& place = batchPlaces[row];
    if (place.file != streamFile || place.line != stream->linesFed || place.stamp != kWaitingStamp) continue;
    place.stamp = stream->keyer.last;
    --stream->waitingRows;
    if (firstRowHere) stream->hasFirstRow = true, stream->firstRow = place;
  }
  stream->waitingRows = 0;
}

// Keys the line being fed when its head is whole: its line feed lies within
// the units given (the rest of it in this feed), or kKeyedHeadUnits of it are in.
void KeyLineIfWhole(const TextUnit* units, size_t count) {
  if (stream->lineKeyed) return;
  size_t have = std::min(stream->keyer.headLength, kKeyedHeadUnits), taken = 0;
  while (taken < count && units[taken] != u'\n' && have + taken < kKeyedHeadUnits) ++taken;
  if (taken < count || have + taken >= kKeyedHeadUnits) KeyLineOnce(units, count);
}

// Keeps the head of the line a feed leaves unfinished for its keying.
void KeepLineHead(const TextUnit* units, size_t count) {
  LineKeyer& keyer = stream->keyer;
  size_t taken = std::min(count, kKeyedHeadUnits - std::min(keyer.headLength, kKeyedHeadUnits));
  std::copy(units, units + taken, keyer.head + keyer.headLength);
  keyer.headLength += taken;
  // Rows that waited for the head take its stamp once it is whole.
  if (stream->waitingRows && keyer.headLength >= kKeyedHeadUnits) KeyLineOnce(nullptr, 0);
}

// A line ends: the next one is keyed afresh.
void NextLineToKey() {
  stream->lineKeyed = false;
  stream->keyer.headLength = 0;
}

void AddRow() {
  if (stream->pendingLength > widestRow) {
    widestRow = stream->pendingLength;
    widestRowGrew = true;
  }
  stream->pendingRow[stream->pendingLength] = 0;
  RowPlace place{stream->linesFed, stream->rowStartUnit};
  place.file = streamFile;
  if (merging) {
    place.stamp = stream->lineKeyed ? stream->keyer.last : kWaitingStamp;
    if (!stream->lineKeyed) ++stream->waitingRows;
    else if (!stream->hasFirstRow) stream->hasFirstRow = true, stream->firstRow = place;
  }
  batchStarts.push_back(batchText.size());
  batchPlaces.push_back(place);
  batchText.insert(batchText.end(), stream->pendingRow, stream->pendingRow + stream->pendingLength + 1);
  stream->pendingLength = 0;
  CompactBatch();
}

bool PendingRowIsBlank() {
  for (size_t i = 0; i < stream->pendingLength; ++i)
    if (!IsBlankUnit(stream->pendingRow[i])) return false;
  return true;
}

void EndRow() {
  if (rowOptions.cutEmpty && PendingRowIsBlank()) {
    ++stream->emptyRun;
    if (stream->emptyRun != 2) {
      stream->pendingLength = 0;
      return;
    }
  } else {
    stream->emptyRun = 0;
  }
  AddRow();
}

void BuildRows(const TextUnit* units, size_t count, size_t capacity) {
  size_t lineStart = 0;  // where in units the line being fed goes on
  for (size_t i = 0; i < count; ++i) {
    TextUnit c = units[i];
    if (c == u'\n') {
      if (merging) KeyLineOnce(units + lineStart, i - lineStart);
      EndRow();
      ++stream->linesFed;
      stream->unitOfLine = stream->rowStartUnit = 0;
      if (merging) NextLineToKey();
      lineStart = i + 1;
      continue;
    }
    ++stream->unitOfLine;
    switch (c) {
      case 0x000D: case 0xFEFF: case 0xFFFE:
        continue;
      case 0x0000:
        stream->pendingRow[stream->pendingLength++] = 0xFFFD;
        break;
      case 0x0009: {
        size_t target = std::min((stream->pendingLength & ~size_t(7)) + 8, capacity);
        while (stream->pendingLength < target) stream->pendingRow[stream->pendingLength++] = u' ';
        break;
      }
      default:
        stream->pendingRow[stream->pendingLength++] = c;
        break;
    }
    if (stream->pendingLength >= capacity) {
      if (merging) KeyLineIfWhole(units + lineStart, count - lineStart);
      EndRow();
      stream->rowStartUnit = stream->unitOfLine;
    }
  }
  if (merging && !stream->lineKeyed) KeepLineHead(units + lineStart, count - lineStart);
}

// A line that stops a regular expression at its bound does not match; it is
// counted when rows are built, not when lines are only counted.
bool LineShown(const TextUnit* line, size_t length, bool countBounds) {
  return FilterStackPasses(&filterStack, line, length, countBounds);
}

// A line waits here until its line feed, or until its first 65,536 units are
// in: then the filter decides, and the rest of the line follows that choice.
// Counting, no rows are built: returns how many lines passed and ended.
size_t FeedFiltered(const TextUnit* units, size_t count, size_t capacity, bool counting) {
  size_t passed = 0;
  while (count > 0) {
    if (stream->lineVerdict == LineVerdict::kPending) {
      size_t taken = 0;
      while (taken < count && units[taken] != u'\n' && stream->heldLength < kFilterLineUnits)
        stream->heldLine[stream->heldLength++] = units[taken++];
      units += taken, count -= taken;
      if (count == 0 && stream->heldLength < kFilterLineUnits) break;  // the line goes on in a later chunk
      stream->lineVerdict = LineShown(stream->heldLine, stream->heldLength, !counting) ? LineVerdict::kShown : LineVerdict::kHidden;
      if (merging && !counting && stream->lineVerdict == LineVerdict::kHidden) KeyLineOnce(stream->heldLine, stream->heldLength);
      if (stream->lineVerdict == LineVerdict::kShown && !counting) BuildRows(stream->heldLine, stream->heldLength, capacity);
    }
    size_t end = 0;
    while (end < count && units[end] != u'\n') ++end;
    bool lineEnds = end < count;
    size_t through = lineEnds ? end + 1 : end;
    if (stream->lineVerdict == LineVerdict::kShown && !counting) BuildRows(units, through, capacity);
    else if (lineEnds && !counting) ++stream->linesFed, NextLineToKey();
    units += through, count -= through;
    if (lineEnds) passed += stream->lineVerdict == LineVerdict::kShown, stream->lineVerdict = LineVerdict::kPending, stream->heldLength = 0;
  }
  return passed;
}

}  // namespace

void SetRowOptions(const RowOptions& options) { rowOptions = options; }

void FeedUnits(const TextUnit* units, size_t count, size_t capacity) {
  capacity = std::clamp<size_t>(capacity, 1, kMaxRowUnits);
  if (lineFilters.count) FeedFiltered(units, count, capacity, false);
  else BuildRows(units, count, capacity);
  size_t lineStart = count;
  while (lineStart > 0 && units[lineStart - 1] != u'\n') --lineStart;
  stream->unitsIntoLine = lineStart ? count - lineStart : stream->unitsIntoLine + count;
}

void SetLineFilters(const LineFilters& given) {
  LineFilters filters = given;  // given may be the filters in force
  BuildFilterStack(&filterStack, filters, &lineFilters);
  stream->lineVerdict = LineVerdict::kPending, stream->heldLength = 0;
}

const LineFilters& CurrentLineFilters() { return lineFilters; }

size_t CountShownLines(const TextUnit* units, size_t count) { return FeedFiltered(units, count, 1, true); }

bool LinePassesFilter(const TextUnit* line, size_t length) { return LineShown(line, length, true); }

uint32_t FilterBoundHits(int index) {
  return index >= 0 && index < lineFilters.count ? filterStack.boundHits[index] : 0;
}

uint32_t FilterBoundHitLines() {
  uint32_t total = 0;
  for (int i = 0; i < lineFilters.count; ++i) total += filterStack.boundHits[i];
  return total;
}

namespace {

// The batch made of the rows given, in that order.
void KeepBatchRows(const std::vector<size_t>& order) {
  std::vector<TextUnit> text;
  std::vector<size_t> starts;
  std::vector<RowPlace> places;
  text.reserve(batchText.size()), starts.reserve(order.size()), places.reserve(order.size());
  for (size_t i : order) {
    size_t end = i + 1 < batchStarts.size() ? batchStarts[i + 1] : batchText.size();
    starts.push_back(text.size());
    places.push_back(batchPlaces[i]);
    text.insert(text.end(), batchText.begin() + ptrdiff_t(batchStarts[i]), batchText.begin() + ptrdiff_t(end));
  }
  batchText.swap(text), batchStarts.swap(starts), batchPlaces.swap(places);
}

}  // namespace

void SortBatchByTime() {
  size_t rows = batchPlaces.size();
  bool sorted = true;
  for (size_t i = 1; i < rows && sorted; ++i) sorted = !MergedBefore(batchPlaces[i], batchPlaces[i - 1]);
  if (sorted) return;
  std::vector<size_t> order(rows);
  for (size_t i = 0; i < rows; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [](size_t a, size_t b) { return MergedBefore(batchPlaces[a], batchPlaces[b]); });
  KeepBatchRows(order);
}

namespace {

// Where the view's span starts: no row before this place goes in. False when
// nothing bounds it yet.
bool SpanFloor(RowPlace* floor) {
  bool bounded = false;
  for (const RowStream& s : streams)
    if (s.cutAbove && s.hasFirstRow && (!bounded || MergedBefore(*floor, s.firstRow))) *floor = s.firstRow, bounded = true;
  if (viewTopCut && !viewPlaces.empty() && (!bounded || MergedBefore(*floor, viewPlaces.front())))
    *floor = viewPlaces.front(), bounded = true;
  return bounded;
}

// Merging: the batch goes among the view's rows in merged order; the view
// keeps at most cap rows, the last of all in that order.
bool FlushMergedRowsTo(const RowView& view, bool blocked, bool redrawHeld) {
  SortBatchByTime();
  size_t rows = batchPlaces.size();
  while (rows > 0 && batchPlaces[rows - 1].stamp == kWaitingStamp) --rows;  // they stay batched
  RowPlace floor;
  size_t viewFrom = 0, batchFrom = 0;
  if (SpanFloor(&floor)) {
    while (viewFrom < viewPlaces.size() && MergedBefore(viewPlaces[viewFrom], floor)) ++viewFrom;
    while (batchFrom < rows && MergedBefore(batchPlaces[batchFrom], floor)) ++batchFrom;
  }
  size_t cap = blocked ? BlockedCeiling() : LinesLimit();
  size_t total = viewPlaces.size() - viewFrom + rows - batchFrom;
  // The first rows in merged order beyond the cap go, from the view's top and the batch's front.
  for (size_t excess = total > cap ? total - cap : 0; excess > 0; --excess) {
    bool fromView = viewFrom < viewPlaces.size() &&
                    (batchFrom == rows || MergedBefore(viewPlaces[viewFrom], batchPlaces[batchFrom]));
    ++(fromView ? viewFrom : batchFrom);
    viewTopCut = true;
  }
  if (batchFrom == rows && viewFrom == 0) {
    DropFirstBatchedRows(rows);
    return false;
  }
  int oldTop = blocked ? view.topIndex(view.context) : 0;
  bool batchRedraw = !redrawHeld;
  if (batchRedraw) view.setRedraw(view.context, false);
  // Taken off the top even when all go: the view's top stays cut (emptying
  // it would forget that).
  if (viewFrom > 0) {
    view.removeTop(view.context, int(viewFrom));
    EraseFirstViewPlaces(viewFrom);
  }
  int insertedAboveTop = 0;
  size_t at = 0;
  for (size_t i = batchFrom; i < rows; ++i) {
    const RowPlace& place = batchPlaces[i];
    at = size_t(std::upper_bound(viewPlaces.begin() + ptrdiff_t(at), viewPlaces.end(), place, MergedBefore) -
                viewPlaces.begin());
    ReadRowLevel(i, nullptr);
    const TextUnit* text = batchText.data() + batchStarts[i];
    if (at == viewPlaces.size()) {
      view.append(view.context, text);
    } else {
      view.insert(view.context, int(at), text);
      if (int(at) < oldTop - int(viewFrom)) ++insertedAboveTop;
    }
    CountViewLevels(&batchPlaces[i], &batchPlaces[i] + 1, 1);
    viewPlaces.insert(viewPlaces.begin() + ptrdiff_t(at), place);
    ++at;
  }
  if (blocked) view.setTopIndex(view.context, std::max(0, oldTop - int(viewFrom) + insertedAboveTop));
  if (batchRedraw) view.setRedraw(view.context, true);
  DropFirstBatchedRows(rows);
  return true;
}

}  // namespace

bool FlushRowsTo(const RowView& view, bool blocked, bool redrawHeld, bool (*outOfTime)()) {
  size_t rows = batchStarts.size();
  if (rows == 0) return false;
  if (merging) return FlushMergedRowsTo(view, blocked, redrawHeld);
  size_t cap = blocked ? BlockedCeiling() : LinesLimit();
  size_t inView = size_t(view.count(view.context));
  size_t first = 0;
  size_t removed = 0;
  int oldTop = blocked ? view.topIndex(view.context) : 0;
  bool batchRedraw = rows > 1 && !redrawHeld;
  if (batchRedraw) view.setRedraw(view.context, false);
  if (inView + rows > cap) {
    if (rows >= cap) {
      ClearView(view);
      removed = inView;
      first = rows - cap;
    } else {
      removed = inView + rows - cap;
      view.removeTop(view.context, int(removed));
      EraseFirstViewPlaces(removed);
    }
  }
  // Rows left for the next call are counted against the limit already: the
  // view then holds fewer rows for a while, never more.
  size_t end = first;
  while (end < rows) {
    ReadRowLevel(end, &stream->levelReading);
    view.append(view.context, batchText.data() + batchStarts[end]);
    CountViewLevels(&batchPlaces[end], &batchPlaces[end] + 1, 1);
    viewPlaces.push_back(batchPlaces[end++]);
    if (outOfTime && end % kRowsBetweenTimeChecks == 0 && end < rows && outOfTime()) break;
  }
  // Keep the rows the user is reading where they are on screen.
  if (blocked && removed) view.setTopIndex(view.context, std::max(0, oldTop - int(removed)));
  if (batchRedraw) view.setRedraw(view.context, true);
  // A view that lost rows some other way keeps no more ordinals than rows.
  size_t nowInView = size_t(std::max(view.count(view.context), 0));
  if (viewPlaces.size() > nowInView) EraseFirstViewPlaces(viewPlaces.size() - nowInView);
  if (end == rows) DiscardBatchedRows();
  else DropBatchFront(end);
  return true;
}

bool HasBatchedRows() { return !batchStarts.empty(); }

size_t BatchedRows() { return batchStarts.size(); }
size_t BatchedUnits() { return batchText.size(); }

namespace {
RowStream savedStream;
}  // namespace

void SaveRowStream() { savedStream = *stream; }

void RestoreRowStream() { *stream = savedStream; }

void UseRowStream(uint32_t file) {
  streamFile = file % kMaxViewFiles;
  stream = &streams[streamFile];
}

void SetMerging(bool on) {
  merging = on;
  viewTopCut = false;
}

bool Merging() { return merging; }
void SetStreamYearHint(const YearHint& hint) { stream->keyer.hint = hint; }
void SetStreamCutAbove(bool cut) { stream->cutAbove = cut; }

void RemoveViewRowsOf(const RowView& view, uint32_t file, uint64_t fromLine) {
  for (size_t row = viewPlaces.size(); row-- > 0;) {
    if (viewPlaces[row].file != file || viewPlaces[row].line < fromLine) continue;
    view.removeAt(view.context, int(row));
    CountViewLevels(viewPlaces.begin() + ptrdiff_t(row), viewPlaces.begin() + ptrdiff_t(row) + 1, -1);
    viewPlaces.erase(viewPlaces.begin() + ptrdiff_t(row));
  }
  std::vector<size_t> others;
  for (size_t row = 0; row < batchPlaces.size(); ++row)
    if (batchPlaces[row].file != file || batchPlaces[row].line < fromLine) others.push_back(row);
  if (others.size() < batchPlaces.size()) KeepBatchRows(others);
}

bool LastViewRowOf(uint32_t file, RowPlace* place) {
  for (auto row = viewPlaces.rbegin(); row != viewPlaces.rend(); ++row)
    if (row->file == file) return *place = *row, true;
  return false;
}

void SetStreamRunningStamp(int64_t stamp) { stream->keyer.last = stamp; }

void RemoveLastViewRows(const RowView& view, size_t count) {
  count = std::min(count, viewPlaces.size());
  if (count == 0) return;
  view.removeBottom(view.context, int(count));
  CountViewLevels(viewPlaces.end() - ptrdiff_t(count), viewPlaces.end(), -1);
  viewPlaces.resize(viewPlaces.size() - count);
}

bool FirstViewRowOf(uint32_t file, RowPlace* place) {
  for (const RowPlace& row : viewPlaces)
    if (row.file == file) return *place = row, true;
  return false;
}

void ResetPendingRow() {
  stream->pendingLength = 0;
  stream->emptyRun = 0;
  stream->lineVerdict = LineVerdict::kPending, stream->heldLength = 0;
  stream->unitOfLine = stream->rowStartUnit = stream->unitsIntoLine = 0;
  stream->levelReading = LevelReading{};
  stream->keyer.last = kNoStamp;
  NextLineToKey();
  stream->waitingRows = 0;
  stream->hasFirstRow = false;
  stream->cutAbove = false;
}

void EndPendingRow() {
  if (stream->pendingLength == 0) return;
  AddRow();
  stream->rowStartUnit = stream->unitOfLine;
}

void ResumeLineAt(RowPlace place) {
  ResetPendingRow();
  stream->linesFed = place.line;
  // Inside a line the filters show it: its rows were built before.
  if (lineFilters.count && place.unit > 0) stream->lineVerdict = LineVerdict::kShown;
  stream->unitOfLine = stream->rowStartUnit = stream->unitsIntoLine = place.unit;
}

void DiscardBatchedRows() {
  batchText.clear();
  batchStarts.clear();
  batchPlaces.clear();
}

uint64_t LinesFed() { return stream->linesFed; }
void SetLinesFed(uint64_t ordinal) { stream->linesFed = ordinal; }
uint64_t UnitsIntoLine() { return stream->unitsIntoLine; }
RowPlace BatchRowPlace(size_t row) { return row < batchPlaces.size() ? batchPlaces[row] : RowPlace{}; }
uint64_t BatchRowLine(size_t row) { return BatchRowPlace(row).line; }

size_t FirstBatchedRowFrom(RowPlace place) {
  return size_t(std::lower_bound(batchPlaces.begin(), batchPlaces.end(), place) - batchPlaces.begin());
}

void DropBatchedRowsFrom(size_t row) { DropBatchBack(row); }

void DropFirstBatchedRows(size_t count) {
  if (count >= batchStarts.size()) DiscardBatchedRows();
  else if (count > 0) DropBatchFront(count);
}

void KeepBatchFront(bool on) { batchFrontKept = on; }

bool ViewLinesKnown(const RowView& view) { return size_t(view.count(view.context)) == viewPlaces.size(); }
size_t ViewRows() { return viewPlaces.size(); }
RowPlace ViewRowPlace(size_t row) { return row < viewPlaces.size() ? viewPlaces[row] : RowPlace{}; }
uint64_t ViewRowLine(size_t row) { return ViewRowPlace(row).line; }
const uint32_t* ViewLevelLines() { return viewLevelLines; }

void ClearView(const RowView& view) {
  view.clear(view.context);
  viewTopCut = false;
  viewPlaces.clear();
  std::fill(std::begin(viewLevelLines), std::end(viewLevelLines), 0u);
}

void RemoveFirstViewRows(const RowView& view, size_t count) {
  count = std::min(count, viewPlaces.size());
  if (count == 0) return;
  view.removeTop(view.context, int(count));
  EraseFirstViewPlaces(count);
}

void SetLevelsBefore(LevelsBefore hook) { levelsBefore = hook; }

size_t PrependRowsTo(const RowView& view, size_t limit, RowPlace* firstDropped) {
  *firstDropped = RowPlace{};
  size_t rows = batchStarts.size();
  LevelReading above;
  for (size_t i = 0; i < rows; ++i) {
    ReadRowLevel(i, &above);
    view.insert(view.context, int(i), batchText.data() + batchStarts[i]);
  }
  viewPlaces.insert(viewPlaces.begin(), batchPlaces.begin(), batchPlaces.end());
  CountViewLevels(batchPlaces.begin(), batchPlaces.end(), 1);
  DiscardBatchedRows();
  if (viewPlaces.size() <= limit) return rows;
  *firstDropped = viewPlaces[limit];
  view.removeBottom(view.context, int(viewPlaces.size() - limit));
  CountViewLevels(viewPlaces.begin() + ptrdiff_t(limit), viewPlaces.end(), -1);
  viewPlaces.resize(limit);
  return rows;
}

void ResetWidestRow() { widestRow = 0; }
size_t PendingRowLength() { return stream->pendingLength; }
const TextUnit* PendingRowUnits() { return stream->pendingRow; }
size_t WidestRow() { return widestRow; }

bool TakeWidestRowChange() {
  bool grew = widestRowGrew;
  widestRowGrew = false;
  return grew;
}
