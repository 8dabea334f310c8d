// Turns decoded UTF-16 units into the rows of the view: tabs, wrapping, the
// empty-row restriction, the row limit and autoscroll.
//
// Finished rows wait in a batch until the end of the poll; only the rows that
// the row limit lets survive reach the view, so a large tail costs the view
// no more than "lines limit" additions.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

constexpr size_t kMaxRowUnits = 4095;

// The view the rows go to. The list box of the main window in the program;
// tests may hand a stand-in.
struct RowView {
  void* context;
  int (*count)(void* context);
  void (*removeTop)(void* context, int rows);
  void (*clear)(void* context);
  void (*append)(void* context, const wchar_t* text);  // NUL-terminated
  int (*topIndex)(void* context);
  void (*setTopIndex)(void* context, int index);
  void (*scrollToEnd)(void* context, bool giveFocus);
  void (*setRedraw)(void* context, bool on);
};

// The list box of the engine host.
RowView ListBoxRowView(HWND listBox);

// Row index of a list box into out (kMaxRowUnits + 1 units), terminated; its
// length, 0 for no such row or one longer than any row the builder makes.
size_t ReadViewRow(HWND listBox, int index, wchar_t* out);

// The view used by the follower; by default the engine host's list box.
void SetRowView(const RowView* view);
const RowView& CurrentRowView();

bool IsBlankUnit(wchar_t c);

// Thumb tracking of the view's scroll bar (and the lock command) hold following.
void SetSuspendFlag(bool on);
bool SuspendFlag();
bool FollowingBlocked();

// Feeds decoded units; capacity is the row capacity of the current poll.
void FeedUnits(const wchar_t* units, size_t count, size_t capacity);

// The line filter: while its pattern is set, only the lines that contain it
// (hiding: that do not) become rows. It decides on whole lines before they
// are wrapped, on at most their first 65,536 units.
constexpr size_t kFilterPatternUnits = 256;
struct LineFilter {
  wchar_t pattern[kFilterPatternUnits];  // empty: every line passes
  bool hide;
  bool matchCase;
};
void SetLineFilter(const LineFilter& filter);
const LineFilter& CurrentLineFilter();
bool LinePassesFilter(const wchar_t* line, size_t length);
// Runs units through the filter without building rows; returns how many lines
// passed and ended. ResetPendingRow forgets a line counted in part.
size_t CountShownLines(const wchar_t* units, size_t count);

// Adds the finished rows waiting in the batch to the view. Returns whether rows
// were added.
bool FlushRows();

// End of a poll: flush, autoscroll, tray frame, status, extent.
void EndOfPoll();

void ResetPendingRow();      // load and close
void DiscardBatchedRows();   // the view is being emptied
void ResetWidestRow();       // a file was opened
size_t PendingRowLength();
size_t WidestRow();

// Called when the follower turns redraw of the view off for a long read; the
// end of the poll turns it back on.
void SuspendViewRedraw();
void ResumeViewRedraw();
bool ViewRedrawSuspended();
// While the list box's redraw is off, it still draws its focus rectangle
// straight to the screen, where rows are about to move: such drawing is
// dropped, left to the repaint that turning redraw on asks for (all of the
// view, when more than the focus was dropped). Returns whether to drop it.
bool DropViewDrawing(bool focusOnly);

void PreallocateViewStorage();
void UpdateHorizontalExtent();
// Every timer tick: scroll back to the end when a horizontal scroll bar appeared.
void CheckHorizontalScrollBar();
