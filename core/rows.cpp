#include "core/rows.h"

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

#include "core/filter_stack.h"

namespace {

TextUnit pendingRow[kMaxRowUnits + 1];

constexpr size_t kFilterLineUnits = kMaxMatchUnits;
RowOptions rowOptions;
LineFilters lineFilters{};
FilterStack filterStack;
enum class LineVerdict { kPending, kShown, kHidden } lineVerdict = LineVerdict::kPending;
TextUnit heldLine[kFilterLineUnits];  // the start of a line the filter has not decided on
size_t heldLength = 0;
size_t pendingLength = 0;
uint32_t emptyRun = 0;
size_t widestRow = 0;
bool widestRowGrew = false;

// Finished rows of the current poll, NUL-terminated back to back.
std::vector<TextUnit> batchText;
std::vector<size_t> batchStarts;
std::vector<RowPlace> batchPlaces;  // each batched row's line and first unit
std::deque<RowPlace> viewPlaces;    // each view row's
uint64_t linesFed = kFirstLineOrdinal;
uint64_t unitOfLine = 0;     // units of the line the rows have taken so far
uint64_t rowStartUnit = 0;   // where in its line the row being built starts
uint64_t unitsIntoLine = 0;  // units of the line fed so far, rows built or not
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
LevelReading levelReading;  // of the rows appended; a stretch put above reads on its own
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
  DropBatchFront(batchStarts.size() - keep);
}

// Sets batched row i's level, reading it from the row when it starts its line.
void ReadRowLevel(size_t i, LevelReading* reading) {
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

void AddRow() {
  if (pendingLength > widestRow) {
    widestRow = pendingLength;
    widestRowGrew = true;
  }
  pendingRow[pendingLength] = 0;
  batchStarts.push_back(batchText.size());
  batchPlaces.push_back({linesFed, rowStartUnit});
  batchText.insert(batchText.end(), pendingRow, pendingRow + pendingLength + 1);
  pendingLength = 0;
  CompactBatch();
}

bool PendingRowIsBlank() {
  for (size_t i = 0; i < pendingLength; ++i)
    if (!IsBlankUnit(pendingRow[i])) return false;
  return true;
}

void EndRow() {
  if (rowOptions.cutEmpty && PendingRowIsBlank()) {
    ++emptyRun;
    if (emptyRun != 2) {
      pendingLength = 0;
      return;
    }
  } else {
    emptyRun = 0;
  }
  AddRow();
}

void BuildRows(const TextUnit* units, size_t count, size_t capacity) {
  for (size_t i = 0; i < count; ++i) {
    TextUnit c = units[i];
    if (c == u'\n') {
      EndRow();
      ++linesFed;
      unitOfLine = rowStartUnit = 0;
      continue;
    }
    ++unitOfLine;
    switch (c) {
      case 0x000D: case 0xFEFF: case 0xFFFE:
        continue;
      case 0x0000:
        pendingRow[pendingLength++] = 0xFFFD;
        break;
      case 0x0009: {
        size_t target = std::min((pendingLength & ~size_t(7)) + 8, capacity);
        while (pendingLength < target) pendingRow[pendingLength++] = u' ';
        break;
      }
      default:
        pendingRow[pendingLength++] = c;
        break;
    }
    if (pendingLength >= capacity) {
      EndRow();
      rowStartUnit = unitOfLine;
    }
  }
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
    if (lineVerdict == LineVerdict::kPending) {
      size_t taken = 0;
      while (taken < count && units[taken] != u'\n' && heldLength < kFilterLineUnits)
        heldLine[heldLength++] = units[taken++];
      units += taken, count -= taken;
      if (count == 0 && heldLength < kFilterLineUnits) break;  // the line goes on in a later chunk
      lineVerdict = LineShown(heldLine, heldLength, !counting) ? LineVerdict::kShown : LineVerdict::kHidden;
      if (lineVerdict == LineVerdict::kShown && !counting) BuildRows(heldLine, heldLength, capacity);
    }
    size_t end = 0;
    while (end < count && units[end] != u'\n') ++end;
    bool lineEnds = end < count;
    size_t through = lineEnds ? end + 1 : end;
    if (lineVerdict == LineVerdict::kShown && !counting) BuildRows(units, through, capacity);
    else if (lineEnds && !counting) ++linesFed;
    units += through, count -= through;
    if (lineEnds) passed += lineVerdict == LineVerdict::kShown, lineVerdict = LineVerdict::kPending, heldLength = 0;
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
  unitsIntoLine = lineStart ? count - lineStart : unitsIntoLine + count;
}

void SetLineFilters(const LineFilters& given) {
  LineFilters filters = given;  // given may be the filters in force
  BuildFilterStack(&filterStack, filters, &lineFilters);
  lineVerdict = LineVerdict::kPending, heldLength = 0;
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

bool FlushRowsTo(const RowView& view, bool blocked, bool redrawHeld, bool (*outOfTime)()) {
  size_t rows = batchStarts.size();
  if (rows == 0) return false;
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
    ReadRowLevel(end, &levelReading);
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
struct SavedRowStream {
  TextUnit pendingRow[kMaxRowUnits + 1];
  size_t pendingLength;
  uint32_t emptyRun;
  LineVerdict lineVerdict;
  TextUnit heldLine[kFilterLineUnits];
  size_t heldLength;
  uint64_t linesFed, unitOfLine, rowStartUnit, unitsIntoLine;
  LevelReading levelReading;
};
SavedRowStream savedRowStream;
}  // namespace

void SaveRowStream() {
  SavedRowStream& saved = savedRowStream;
  std::copy(pendingRow, pendingRow + pendingLength, saved.pendingRow);
  std::copy(heldLine, heldLine + heldLength, saved.heldLine);
  saved.pendingLength = pendingLength, saved.emptyRun = emptyRun, saved.lineVerdict = lineVerdict;
  saved.heldLength = heldLength, saved.linesFed = linesFed;
  saved.unitOfLine = unitOfLine, saved.rowStartUnit = rowStartUnit, saved.unitsIntoLine = unitsIntoLine;
  saved.levelReading = levelReading;
}

void RestoreRowStream() {
  const SavedRowStream& saved = savedRowStream;
  std::copy(saved.pendingRow, saved.pendingRow + saved.pendingLength, pendingRow);
  std::copy(saved.heldLine, saved.heldLine + saved.heldLength, heldLine);
  pendingLength = saved.pendingLength, emptyRun = saved.emptyRun, lineVerdict = saved.lineVerdict;
  heldLength = saved.heldLength, linesFed = saved.linesFed;
  unitOfLine = saved.unitOfLine, rowStartUnit = saved.rowStartUnit, unitsIntoLine = saved.unitsIntoLine;
  levelReading = saved.levelReading;
}

void ResetPendingRow() {
  pendingLength = 0;
  emptyRun = 0;
  lineVerdict = LineVerdict::kPending, heldLength = 0;
  unitOfLine = rowStartUnit = unitsIntoLine = 0;
  levelReading = LevelReading{};
}

void EndPendingRow() {
  if (pendingLength == 0) return;
  AddRow();
  rowStartUnit = unitOfLine;
}

void ResumeLineAt(RowPlace place) {
  ResetPendingRow();
  linesFed = place.line;
  // Inside a line the filters show it: its rows were built before.
  if (lineFilters.count && place.unit > 0) lineVerdict = LineVerdict::kShown;
  unitOfLine = rowStartUnit = unitsIntoLine = place.unit;
}

void DiscardBatchedRows() {
  batchText.clear();
  batchStarts.clear();
  batchPlaces.clear();
}

uint64_t LinesFed() { return linesFed; }
void SetLinesFed(uint64_t ordinal) { linesFed = ordinal; }
uint64_t UnitsIntoLine() { return unitsIntoLine; }
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
size_t PendingRowLength() { return pendingLength; }
const TextUnit* PendingRowUnits() { return pendingRow; }
size_t WidestRow() { return widestRow; }

bool TakeWidestRowChange() {
  bool grew = widestRowGrew;
  widestRowGrew = false;
  return grew;
}
