// The rows' Windows side: the list box they go to, redraw held through a
// poll, autoscroll, and the horizontal extent. Building the rows is the core's.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/rows.h"
#include "engine/wide_text.h"

// The list box of the engine host.
RowView ListBoxRowView(HWND listBox);

// Row index of a list box into out (kMaxRowUnits + 1 units), terminated; its
// length, 0 for no such row or one longer than any row the builder makes.
size_t ReadViewRow(HWND listBox, int index, wchar_t* out);

// The view used by the follower; by default the engine host's list box.
void SetRowView(const RowView* view);
const RowView& CurrentRowView();

// Thumb tracking of the view's scroll bar (and the lock command) hold following.
void SetSuspendFlag(bool on);
bool SuspendFlag();
bool FollowingBlocked();

// Adds the finished rows waiting in the batch to the current view. Returns
// whether rows were added. While a time check is set, rows it finds no time
// for stay batched.
bool FlushRows();
void SetFlushTimeCheck(bool (*outOfTime)());

// End of a poll: flush, autoscroll, tray frame, status, extent.
void EndOfPoll();

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
