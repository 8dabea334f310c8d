// Turns decoded UTF-16 units into rows: tabs, wrapping, the empty-row
// restriction, the line filter and the row limit.
//
// Finished rows wait in a batch until the end of the poll; only the rows that
// the row limit lets survive reach the view, so a large tail costs the view
// no more than "lines limit" additions.
#pragma once
#include <cstddef>
#include <cstdint>

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
};

// What the rows take from the settings.
struct RowOptions {
  uint32_t linesLimit = 2048;  // rows the view keeps; 0 counts as 1
  bool cutEmpty = false;       // the empty-row restriction
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

void ResetPendingRow();      // load and close
void DiscardBatchedRows();   // the view is being emptied
void ResetWidestRow();       // a file was opened
size_t PendingRowLength();
const TextUnit* PendingRowUnits();
size_t WidestRow();
// Whether the widest row grew since the last call.
bool TakeWidestRowChange();
