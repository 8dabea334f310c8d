#include "engine/row_builder.h"

#include <algorithm>
#include <vector>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/highlight_rules.h"
#include "engine/status_bar.h"

namespace {

bool redrawSuspended = false;
bool suspendFlag = false;
bool hadHorizontalBar = false;
bool unfinishedReported = false;  // the pending row as of the last poll's end

RowView installedView{};
bool viewInstalled = false;

// List box glue.
HWND ListOf(void* context) { return static_cast<HWND>(context); }

// The view as it was when its redraw went off, so that turning redraw back on
// repaints only what changed.
struct ShownRows {
  bool held;       // redraw is off
  bool quick;      // within one poll's end, where no message is handled
  bool redrawAll;  // the rows were emptied or put back, or a drawing was dropped
  int count;
  int caret;
  int top;
  int removed;     // rows taken from the top since
  LONG_PTR style;  // its scroll bars then
};
ShownRows shownRows{};
bool quickRedrawOff = false;

// Rows go straight to the view's window procedure: a sent message also runs
// through the thread's message hooks, and for the thousands of rows of an open
// that cost several times what adding them does.
LRESULT ToView(HWND list, UINT message, WPARAM wparam, LPARAM lparam) {
  auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list, GWLP_WNDPROC));
  return proc ? CallWindowProcW(proc, list, message, wparam, lparam) : SendMessageW(list, message, wparam, lparam);
}

LRESULT ListValue(HWND list, UINT message) {
  LRESULT value = SendMessageW(list, message, 0, 0);
  return value == LB_ERR ? -1 : value;
}

int ListCount(void* context) {
  LRESULT count = SendMessageW(ListOf(context), LB_GETCOUNT, 0, 0);
  return count == LB_ERR ? 0 : int(count);
}

// Each removal from the top moves every row after it, so when most of the
// view goes, the survivors are put back into an emptied list instead.
void ListRemoveTop(void* context, int rows) {
  HWND list = ListOf(context);
  int count = ListCount(context);
  if (rows <= 64 || rows <= count / 2) {
    for (int i = 0; i < rows; ++i) ToView(list, LB_DELETESTRING, 0, 0);
    shownRows.removed += std::min(rows, count);
    return;
  }
  shownRows.redrawAll = true;
  std::vector<wchar_t> kept;
  std::vector<size_t> starts;
  std::vector<LPARAM> tags;  // each row keeps its rule
  for (int i = rows; i < count; ++i) {
    tags.push_back(ToView(list, LB_GETITEMDATA, WPARAM(i), 0));
    LRESULT length = ToView(list, LB_GETTEXTLEN, WPARAM(i), 0);
    if (length < 0) length = 0;
    starts.push_back(kept.size());
    kept.resize(kept.size() + size_t(length) + 1);
    if (ToView(list, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(&kept[starts.back()])) < 0)
      kept[starts.back()] = 0;
  }
  // The user's selection among the survivors stays, as with deletion one at a time.
  std::vector<int> selected(size_t(std::max<LRESULT>(0, SendMessageW(list, LB_GETSELCOUNT, 0, 0))));
  LRESULT got = selected.empty() ? 0
                                 : SendMessageW(list, LB_GETSELITEMS, WPARAM(selected.size()),
                                                reinterpret_cast<LPARAM>(selected.data()));
  selected.resize(size_t(std::max<LRESULT>(0, got)));
  LRESULT caret = SendMessageW(list, LB_GETCARETINDEX, 0, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (size_t k = 0; k < starts.size(); ++k) {
    LRESULT row = ToView(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(&kept[starts[k]]));
    if (row >= 0 && tags[k] > 0) ToView(list, LB_SETITEMDATA, WPARAM(row), tags[k]);
  }
  for (int row : selected)
    if (row >= rows) SendMessageW(list, LB_SETSEL, TRUE, row - rows);
  if (caret >= rows) SendMessageW(list, LB_SETCARETINDEX, WPARAM(caret - rows), FALSE);
}

void ListClear(void* context) {
  // An empty list box with redraw on still repaints its scroll bar on a reset:
  // several milliseconds, twice in every open.
  if (ListCount(context) == 0) return;
  SendMessageW(ListOf(context), LB_RESETCONTENT, 0, 0);
  shownRows.redrawAll = true;
}

// A row's rule is found once, here, and kept as its item data for drawing.
void ListAppend(void* context, const TextUnit* text) {
  HWND list = ListOf(context);
  LRESULT row = ToView(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (LPARAM tag = TagNewRow(text); tag && row >= 0) ToView(list, LB_SETITEMDATA, WPARAM(row), tag);
}

void ListInsert(void* context, int index, const TextUnit* text) {
  HWND list = ListOf(context);
  LRESULT row = ToView(list, LB_INSERTSTRING, WPARAM(index), reinterpret_cast<LPARAM>(text));
  if (LPARAM tag = TagNewRow(text); tag && row >= 0) ToView(list, LB_SETITEMDATA, WPARAM(row), tag);
}

void ListRemoveBottom(void* context, int rows) {
  HWND list = ListOf(context);
  for (int last = ListCount(context) - 1; rows > 0 && last >= 0; --rows, --last)
    ToView(list, LB_DELETESTRING, WPARAM(last), 0);
  shownRows.redrawAll = true;
}

void ListRemoveAt(void* context, int index) {
  ToView(ListOf(context), LB_DELETESTRING, WPARAM(index), 0);
  shownRows.redrawAll = true;
}

int ListTopIndex(void* context) {
  LRESULT top = SendMessageW(ListOf(context), LB_GETTOPINDEX, 0, 0);
  return top == LB_ERR ? 0 : int(top);
}

void ListSetTopIndex(void* context, int index) {
  SendMessageW(ListOf(context), LB_SETTOPINDEX, WPARAM(index), 0);
}

void ListScrollToEnd(void* context, bool giveFocus) {
  HWND list = ListOf(context);
  int last = ListCount(context) - 1;
  if (last < 0) return;
  SendMessageW(list, LB_SETCARETINDEX, WPARAM(last), FALSE);
  SendMessageW(list, LB_SETTOPINDEX, WPARAM(last), 0);
  // Only within our own active window: never pull focus from a dialog or app.
  if (giveFocus && GetFocus() != list && GetActiveWindow() == GetAncestor(list, GA_ROOT))
    SetFocus(list);
}

void InvalidateRows(HWND list, int first, int last, int top, int rowHeight, const RECT& client) {
  first = std::max(first, top);
  if (last < first) return;
  RECT rows{client.left, (first - top) * rowHeight, client.right, (last - top + 1) * rowHeight};
  if (rows.top < client.bottom) InvalidateRect(list, &rows, TRUE);
}

// Turning redraw on, a list box repaints all it shows. Most of that is on
// screen already when the view did not scroll: rows that went up as as many
// were taken from the top are scrolled here. Left to draw are the new rows and
// the ones the focus left or reached. A view that scrolled while its redraw
// was off is drawn whole: what the list box moved of its pixels meanwhile is
// not to be relied on (under Wine a stale row stayed on screen).
void RepaintChangedRows(HWND list, HRGN pending, int topBefore) {
  RECT client;
  int rowHeight = int(ListValue(list, LB_GETITEMHEIGHT));
  int top = int(ListValue(list, LB_GETTOPINDEX));
  int count = int(ListValue(list, LB_GETCOUNT));
  int shownRowCount = rowHeight > 0 && GetClientRect(list, &client) ? (client.bottom + rowHeight - 1) / rowHeight : 0;
  if (!pending || !shownRows.quick || shownRows.redrawAll || top < 0 || top != topBefore || top != shownRows.top ||
      shownRows.removed >= shownRowCount) {
    InvalidateRect(list, nullptr, TRUE);
    return;
  }
  ValidateRect(list, nullptr);
  InvalidateRgn(list, pending, TRUE);  // still owed from before
  if (shownRows.removed)
    ScrollWindowEx(list, 0, -shownRows.removed * rowHeight, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE | SW_ERASE);
  InvalidateRows(list, shownRows.count - shownRows.removed, count - 1, top, rowHeight, client);
  int caret = int(ListValue(list, LB_GETCARETINDEX));
  for (int row : {shownRows.caret - shownRows.removed, caret})
    if (row >= 0) InvalidateRows(list, row, row, top, rowHeight, client);
}

void ListSetRedraw(void* context, bool on) {
  HWND list = ListOf(context);
  if (!on) {
    shownRows = ShownRows{true, quickRedrawOff, false, int(ListValue(list, LB_GETCOUNT)),
                          int(ListValue(list, LB_GETCARETINDEX)), int(ListValue(list, LB_GETTOPINDEX)), 0,
                          GetWindowLongPtrW(list, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)};
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    return;
  }
  HRGN pending = CreateRectRgn(0, 0, 0, 0);
  if (pending && GetUpdateRgn(list, pending, FALSE) == ERROR) DeleteObject(pending), pending = nullptr;
  int topBefore = int(ListValue(list, LB_GETTOPINDEX));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  if (shownRows.held) RepaintChangedRows(list, pending, topBefore);
  else InvalidateRect(list, nullptr, TRUE);
  // A bar shown or hidden meanwhile changed the frame, which was not drawn.
  if (shownRows.held && (GetWindowLongPtrW(list, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)) != shownRows.style)
    RedrawWindow(list, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
  if (pending) DeleteObject(pending);
  shownRows.held = false;
}

}  // namespace

RowView ListBoxRowView(HWND listBox) {
  return RowView{listBox,         ListCount,       ListRemoveTop, ListClear,        ListAppend,   ListTopIndex,
                 ListSetTopIndex, ListScrollToEnd, ListSetRedraw, ListInsert, ListRemoveBottom, ListRemoveAt};
}

size_t ReadViewRow(HWND listBox, int index, wchar_t* out) {
  out[0] = L'\0';
  LRESULT length = index < 0 ? LB_ERR : ToView(listBox, LB_GETTEXTLEN, WPARAM(index), 0);
  if (length <= 0 || length > LRESULT(kMaxRowUnits) ||
      ToView(listBox, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(out)) != length) {
    out[0] = L'\0';
    return 0;
  }
  return size_t(length);
}

void SetRowView(const RowView* view) {
  viewInstalled = view != nullptr;
  if (view) installedView = *view;
}

const RowView& CurrentRowView() {
  if (!viewInstalled) installedView = ListBoxRowView(engineHost.view);
  return installedView;
}

void SetSuspendFlag(bool on) { suspendFlag = on; }
bool SuspendFlag() { return suspendFlag; }
bool FollowingBlocked() { return (GetKeyState(VK_SCROLL) & 1) || suspendFlag; }

namespace {
bool (*flushOutOfTime)() = nullptr;
}  // namespace

void SetFlushTimeCheck(bool (*outOfTime)()) { flushOutOfTime = outOfTime; }

bool FlushRows() { return FlushRowsTo(CurrentRowView(), FollowingBlocked(), redrawSuspended, flushOutOfTime); }

void EndOfPoll() {
  const RowView& view = CurrentRowView();
  // Redraw stays off through the additions and the scroll to the end, so the
  // list box updates its scroll bar once per poll, not twice. Off only until
  // the end of this call, the repaint can be limited to what changed: nothing
  // else (a click, another process) reached the view meanwhile.
  quickRedrawOff = true;
  if (HasBatchedRows()) SuspendViewRedraw();
  quickRedrawOff = false;
  bool added = FlushRows();
  if (added && !FollowingBlocked()) view.scrollToEnd(view.context, true);
  if (added && engineHost.advanceTray) engineHost.advanceTray();
  if (TakeRuleAlert() && engineHost.ruleAlert) engineHost.ruleAlert();
  // Wider rows may bring the horizontal bar: it comes while redraw is off,
  // drawn once with the rows instead of the frame being drawn on its own.
  if (TakeWidestRowChange()) UpdateHorizontalExtent();
  ResumeViewRedraw();
  // A line begun, or a blank one dropped, changes the unfinished-line pane
  // without adding a row.
  bool unfinished = PendingRowLength() > 0;
  if ((added || unfinished != unfinishedReported) && engineHost.refreshStatus)
    engineHost.refreshStatus();
  unfinishedReported = unfinished;
  // The list box shows its bars again as rows arrive and as redraw comes
  // back; the clean full screen has none.
  if (added && engineHost.view && engineHost.cleanFullScreen && engineHost.cleanFullScreen())
    ShowScrollBar(engineHost.view, SB_BOTH, FALSE);
}

void SuspendViewRedraw() {
  if (redrawSuspended) return;
  redrawSuspended = true;
  const RowView& view = CurrentRowView();
  view.setRedraw(view.context, false);
}

void ResumeViewRedraw() {
  if (!redrawSuspended) return;
  redrawSuspended = false;
  const RowView& view = CurrentRowView();
  view.setRedraw(view.context, true);
}

bool ViewRedrawSuspended() { return redrawSuspended; }

bool DropViewDrawing(bool focusOnly) {
  if (!shownRows.held) return false;
  if (!focusOnly) shownRows.redrawAll = true;
  return true;
}

void PreallocateViewStorage() {
  if (!engineHost.view) return;
  EngineOptions options = CurrentEngineOptions();
  WPARAM items = options.linesLimit + 4;
  LPARAM perRow = options.wrapLines ? options.rowLength + 4 : 384;
  SendMessageW(engineHost.view, LB_INITSTORAGE, items, perRow * LPARAM(items) * 2);
}

void UpdateHorizontalExtent() {
  HWND view = engineHost.view;
  RECT client;
  if (!engineHost.window || !view || !GetClientRect(engineHost.window, &client) ||
      client.right <= 0)
    return;
  int letterWidth = 0;
  if (HDC dc = GetDC(view)) {
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(view, WM_GETFONT, 0, 0)));
    ABC abc;
    INT width;
    if (GetCharABCWidthsW(dc, L'W', L'W', &abc))
      letterWidth = abc.abcA + int(abc.abcB) + abc.abcC;
    else if (GetCharWidth32W(dc, L'W', L'W', &width))
      letterWidth = width;
    SelectObject(dc, old);
    ReleaseDC(view, dc);
  }
  size_t columns = WidestRow();
  EngineOptions options = CurrentEngineOptions();
  if (options.wrapLines) columns = std::min<size_t>(columns, options.rowLength);
  // A merged view draws its files' names in a column before the rows.
  if (options.fileNames && ViewMerges()) columns += LongestViewFileName() + 2;
  int extent = int(columns) * letterWidth + 4;
  // The extent goes first: setting it re-shows a hidden bar of a list box
  // with LBS_DISABLENOSCROLL.
  SendMessageW(view, LB_SETHORIZONTALEXTENT, WPARAM(extent), 0);
  if (engineHost.cleanFullScreen && engineHost.cleanFullScreen())
    ShowScrollBar(view, SB_BOTH, FALSE);
  else
    ShowScrollBar(view, SB_HORZ, extent > client.right - GetSystemMetrics(SM_CXVSCROLL));
}

void CheckHorizontalScrollBar() {
  if (!engineHost.view) return;
  bool hasBar = GetWindowLongW(engineHost.view, GWL_STYLE) & WS_HSCROLL;
  if (hasBar && !hadHorizontalBar && !FollowingBlocked()) {
    const RowView& view = CurrentRowView();
    view.scrollToEnd(view.context, false);
  }
  hadHorizontalBar = hasBar;
}

EngineOptions CurrentEngineOptions() {
  EngineOptions options;
  if (engineHost.readOptions) engineHost.readOptions(&options);
  return options;
}

void TakeEngineOptions() {
  EngineOptions options = CurrentEngineOptions();
  SetRowOptions(RowOptions{options.linesLimit, options.cutEmpty, options.levelColors});
  TakeRules(options.rules);
}
