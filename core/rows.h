// Turns decoded UTF-16 units into rows: tabs, wrapping, the empty-row
// restriction, the line filter and the row limit.
//
// Finished rows wait in a batch until the end of the poll; only the rows that
// the row limit lets survive reach the view, so a large tail costs the view
// no more than "lines limit" additions.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/log_levels.h"
#include "core/merge_order.h"
#include "core/text.h"

constexpr size_t kMaxRowUnits = 4095;

// The view the rows go to: the list box of the main window in the program, a
// stand-in in tests and fuzzers.
struct RowView {
  void* context;
  int (*count)(void* context);
  void (*removeTop)(void* context, int rows);
  void (*clear)(void* context);
  void (*append)(void* context, const TextUnit* text);  // NUL-terminated
  int (*topIndex)(void* context);
  void (*setTopIndex)(void* context, int index);
  void (*scrollToEnd)(void* context, bool giveFocus);
  void (*setRedraw)(void* context, bool on);
  void (*insert)(void* context, int index, const TextUnit* text);  // NUL-terminated
  void (*removeBottom)(void* context, int rows);
  void (*removeAt)(void* context, int index);
};

// What the rows take from the settings.
struct RowOptions {
  uint32_t linesLimit = 2048;  // rows the view keeps; 0 counts as 1
  bool cutEmpty = false;       // the empty-row restriction
  bool readLevels = true;      // each row's level read from its line; kNone for all without
};
void SetRowOptions(const RowOptions& options);

// Feeds decoded units; capacity is the row capacity of the current poll.
void FeedUnits(const TextUnit* units, size_t count, size_t capacity);

// The line filters: up to 16, each showing or hiding the lines that contain
// its pattern. A line becomes rows when no hiding filter matches it and, if
// any filter shows, at least one showing filter does. They decide on whole
// lines before they are wrapped, on at most their first 65,536 units; their
// order changes nothing.
constexpr size_t kFilterPatternUnits = 256;
constexpr int kMaxFilters = 16;
struct LineFilter {
  TextUnit pattern[kFilterPatternUnits];  // empty: no filter
  bool hide;
  bool matchCase;
  bool regex;
};
struct LineFilters {
  int count;
  LineFilter items[kMaxFilters];
};
// Takes the filters that have a pattern (and, for a regular expression, one
// that compiles), as many as fit, in their order.
void SetLineFilters(const LineFilters& filters);
const LineFilters& CurrentLineFilters();
bool LinePassesFilter(const TextUnit* line, size_t length);
// A filter's regular expression that stops at its bound on a line does not
// match it; such lines are counted per filter until the filters are set again.
uint32_t FilterBoundHits(int index);
uint32_t FilterBoundHitLines();
// Runs units through the filter without building rows; returns how many lines
// passed and ended. ResetPendingRow forgets a line counted in part.
size_t CountShownLines(const TextUnit* units, size_t count);

// Adds the finished rows waiting in the batch to the view; while following is
// blocked the view keeps twice the limit and its top row in place. With
// redrawHeld the caller has turned the view's redraw off already. Returns
// whether rows were added.
// With outOfTime, asked every few rows, the rest stays batched for the next
// call once it says so: rows a costly rule tags never hold the window long.
bool FlushRowsTo(const RowView& view, bool blocked, bool redrawHeld, bool (*outOfTime)() = nullptr);
bool HasBatchedRows();
size_t BatchedRows();
size_t BatchedUnits();  // the text the batch holds

// Every line fed, shown or hidden, has an ordinal that each line break counts
// up; every row, batched or in the view, knows its line's and the unit of the
// line it starts at (counted in the decoded line from its start, before tabs
// are expanded, a CR counted too), so the follower can tell where in the file
// the view's rows come from, and a view may hold only part of a long line.
// An emptied view's lines count from kFirstLineOrdinal: the lines before them,
// loaded later, count down from there.
constexpr uint64_t kFirstLineOrdinal = uint64_t(1) << 62;
constexpr uint64_t kNoLine = ~uint64_t(0);
// A row in the view also carries the level its line is shown with
// (ShownLineLevel over the line's first row, tabs expanded, at most
// kLevelSearchUnits of it), read as rows go to the view.
// In a view of several files a row also knows its file (its place among the
// view's files, whose lines its line counts) and its line's running stamp.
struct RowPlace {
  uint64_t line = kNoLine;
  uint64_t unit = 0;
  LogLevel level = LogLevel::kNone;
  bool levelStated = false;  // by the line itself, not carried over from the line before
  uint32_t file = 0;
  int64_t stamp = kNoStamp;
};
inline bool operator<(const RowPlace& a, const RowPlace& b) {
  return a.line < b.line || (a.line == b.line && a.unit < b.unit);
}
inline bool operator==(const RowPlace& a, const RowPlace& b) { return a.line == b.line && a.unit == b.unit; }
// The order of a view of several files: by running stamp, then file, then place in the file.
inline bool MergedBefore(const RowPlace& a, const RowPlace& b) {
  if (a.stamp != b.stamp) return a.stamp < b.stamp;
  if (a.file != b.file) return a.file < b.file;
  return a < b;
}
uint64_t LinesFed();
void SetLinesFed(uint64_t ordinal);
// Units decoded of the line being fed, whether the filters decided on it or not.
uint64_t UnitsIntoLine();
// Feeding goes on at a place where a row started before: inside a line the
// filters show, or at a line's start, rows starting afresh.
void ResumeLineAt(RowPlace place);
// Ends the row being built where feeding stopped, inside a line: the rows
// after it are built from there on.
void EndPendingRow();
RowPlace BatchRowPlace(size_t row);  // line kNoLine past the batch
uint64_t BatchRowLine(size_t row);
// The first batched row at or after place; BatchedRows() for none.
size_t FirstBatchedRowFrom(RowPlace place);
// Forgets the batched rows from row on, or the first count of them.
void DropBatchedRowsFrom(size_t row);
void DropFirstBatchedRows(size_t count);
// While on, the batch keeps all its rows however many come: the caller
// loading a stretch of the file trims it itself.
void KeepBatchFront(bool on);

// The places of the view's rows, as FlushRowsTo and the calls below leave the
// view. Known while the view holds as many rows as they count.
bool ViewLinesKnown(const RowView& view);
size_t ViewRows();
RowPlace ViewRowPlace(size_t row);
uint64_t ViewRowLine(size_t row);
// Lines of the view that state each level themselves (counted at their first row), by LogLevel.
const uint32_t* ViewLevelLines();
void ClearView(const RowView& view);
// Takes count rows off the view's top.
void RemoveFirstViewRows(const RowView& view, size_t count);
// Puts the batch's rows above the view's, then drops the view's last rows
// while it holds more than limit. Returns the rows put in; *firstDropped is
// the place of the first row dropped, line kNoLine for none.
size_t PrependRowsTo(const RowView& view, size_t limit, RowPlace* firstDropped);

// The first row whose level is read after a load, and the first of a stretch
// put above the view, have no rows read before them: the host tells what the
// lines before carry over to it (their last stamped line's level) and, for a
// row inside a line, that line's level. Without a host they carry nothing.
struct LevelStart {
  LogLevel carried = LogLevel::kNone;
  LogLevel level = LogLevel::kNone;  // of the row's line, when the row starts inside it
};
using LevelsBefore = LevelStart (*)(RowPlace first);
void SetLevelsBefore(LevelsBefore hook);

// A view of up to kMaxViewFiles files: each file's lines are fed through a
// stream of their own (the row being built, the filters' verdict, the line
// count, the level and stamp read so far), chosen before its units are fed.
// Merging, each row is keyed by its line's running stamp (the stamp it
// states, read from its first row, unless it has none or one earlier than
// its file's line before it: then its file's last), and the batch goes into
// the view in that order: after the view's rows, or among them. The view's
// span stays exact: no line whose place lies above the view's first row is
// put in once the view's top was cut (by the lines limit, or by a file whose
// loaded tail starts inside it), so no line of any file between its first
// and last row is missing.
constexpr uint32_t kMaxViewFiles = 16;
void UseRowStream(uint32_t file);
void SetMerging(bool on);
bool Merging();
// The year a stamp without one is taken to be in, for the current stream.
void SetStreamYearHint(const YearHint& hint);
// The current stream's file was loaded from inside it (not its first line):
// the view's span starts no earlier than its first row.
void SetStreamCutAbove(bool cut);
// Takes the rows of a file off the view (it was truncated, rotated or
// removed), or those of its lines from fromLine on.
void RemoveViewRowsOf(const RowView& view, uint32_t file, uint64_t fromLine = 0);
// The first and last view rows of a file; false when it has none.
bool FirstViewRowOf(uint32_t file, RowPlace* place);
bool LastViewRowOf(uint32_t file, RowPlace* place);
// A stretch read from inside its file: the running stamp of the lines before
// it, for the current stream.
void SetStreamRunningStamp(int64_t stamp);
// Puts the batch in merged order (each file's rows keep theirs).
void SortBatchByTime();
// Takes count rows off the view's bottom.
void RemoveLastViewRows(const RowView& view, size_t count);

// One saved copy of the line being built (its rows, the filters' pending
// verdict, the line count): a stretch loaded before the view's rows is built
// between the two calls while following goes on after them.
void SaveRowStream();
void RestoreRowStream();

void ResetPendingRow();      // load and close
void DiscardBatchedRows();   // the view is being emptied
void ResetWidestRow();       // a file was opened
size_t PendingRowLength();
const TextUnit* PendingRowUnits();
size_t WidestRow();
// Whether the widest row grew since the last call.
bool TakeWidestRowChange();
