#include "commands/overview.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "commands/find.h"
#include "core/line_search.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_bookmarks.h"
#include "engine/file_follower.h"
#include "engine/highlight_rules.h"
#include "engine/row_builder.h"
#include "ui/highlight_view.h"
#include "ui/settings.h"
#include "ui/view_margins.h"

namespace {

constexpr wchar_t kClassName[] = L"QuillonOverview";
constexpr COLORREF kNone = 0xFFFFFFFF;  // no mark
constexpr COLORREF kErrorMark = RGB(230, 30, 30), kWarningMark = RGB(255, 176, 0), kFindMark = RGB(150, 80, 220);
// Marking the rows that hold the find text stops for a while past this much
// work; the rest are marked by the refreshes that follow.
constexpr ULONGLONG kFindBudgetMs = 40;
constexpr UINT_PTR kGoOnTimer = 1;
constexpr int kLeastMarkHeight = 3;

HWND overview = nullptr;

// One pixel row of the strip as painted: its marks and its part in the outline.
struct Band {
  COLORREF bookmark = kNone, row = kNone, find = kNone;
  uint8_t outline = 0;  // 1 inside, 2 its top edge, 4 its bottom edge
  bool operator==(const Band&) const = default;
};
std::vector<Band> painted;

// The rows holding the find text: those checked lie from checkedFirst to
// checkedLast in the numbering of epoch, for the query as it was.
struct FindMarks {
  FindQuery query{};
  bool active = false;
  LinePattern* pattern = nullptr;
  uint64_t epoch = ~uint64_t(0);
  bool checkedAny = false;
  RowPlace checkedFirst, checkedLast;
  std::vector<RowPlace> matched;  // ascending
} findMarks;

wchar_t rowText[kMaxRowUnits + 1];

bool SameQuery(const FindQuery& a, const FindQuery& b) {
  return SameText(a.text, b.text) && a.matchCase == b.matchCase && a.wholeWord == b.wholeWord && a.regex == b.regex;
}

// The query as the Find box has it now; the rows checked for another go.
void TakeFindQuery() {
  FindQuery query;
  bool active = FindBoxQuery(&query);
  if (active == findMarks.active && (!active || SameQuery(query, findMarks.query)) &&
      findMarks.epoch == ViewLinesEpoch())
    return;
  FreeLinePattern(findMarks.pattern);
  findMarks = FindMarks{};
  findMarks.epoch = ViewLinesEpoch();
  if (!active) return;
  findMarks.query = query;
  findMarks.pattern = MakeLinePattern(query, charsetState.active, nullptr);
  findMarks.active = findMarks.pattern != nullptr;
}

bool Checked(RowPlace place) {
  return findMarks.checkedAny && !(place < findMarks.checkedFirst) && !(findMarks.checkedLast < place);
}

// Whether the row holds the find text, checked now if it was not; false for a
// row left for later once the budget is spent.
bool RowHoldsFindText(HWND view, size_t row, RowPlace place, ULONGLONG deadline, bool* outOfTime) {
  if (!findMarks.active) return false;
  if (Checked(place)) return std::binary_search(findMarks.matched.begin(), findMarks.matched.end(), place);
  if (*outOfTime || GetTickCount64() > deadline) return *outOfTime = true, false;
  size_t length = ReadViewRow(view, int(row), rowText);
  bool holds = LineHoldsMatch(findMarks.pattern, AsText(rowText), length);
  auto at = std::lower_bound(findMarks.matched.begin(), findMarks.matched.end(), place);
  if (holds && (at == findMarks.matched.end() || !(*at == place))) findMarks.matched.insert(at, place);
  return holds;
}

// What one row asks of the row lane: a rule's colour before its level's.
int RowMarkRank(LogLevel level, const HighlightRule* rule, COLORREF* colour) {
  if (rule) {
    *colour = RuleBackground(rule) != COLORREF(AppSettings.background) ? RuleBackground(rule) : RuleTextColour(rule);
    return 4;
  }
  if (!AppSettings.levelColors) return 0;
  switch (level) {
    case LogLevel::kFatal: return *colour = kErrorMark, 3;
    case LogLevel::kError: return *colour = kErrorMark, 2;
    case LogLevel::kWarning: return *colour = kWarningMark, 1;
    default: return 0;
  }
}

// The view's rows before reached have their verdicts now: they become the
// range known, joined to the one known before where the two meet. Verdicts of
// rows gone above the view are forgotten.
void KeepCheckedRows(size_t reached, size_t count) {
  RowPlace first = ViewRowPlace(0);
  std::erase_if(findMarks.matched, [&](const RowPlace& place) { return place < first; });
  if (findMarks.checkedAny && findMarks.checkedFirst < first) findMarks.checkedFirst = first;
  if (findMarks.checkedAny && findMarks.checkedLast < findMarks.checkedFirst) findMarks.checkedAny = false;
  if (reached == 0 || count == 0) return;
  RowPlace last = ViewRowPlace(reached - 1);
  bool meets = findMarks.checkedAny && !(last < findMarks.checkedFirst) && !(findMarks.checkedLast < first);
  findMarks.checkedLast = meets ? std::max(findMarks.checkedLast, last) : last;
  findMarks.checkedFirst = first, findMarks.checkedAny = true;
}

int ClientHeight(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return client.bottom;
}

// Where row r of count begins in a strip height pixels high: rows keep the
// view's height while they fit, else they share the height.
int RowTop(size_t row, size_t count, int rowHeight, int height) {
  if (uint64_t(count) * uint64_t(rowHeight) <= uint64_t(height)) return int(row) * rowHeight;
  return int(uint64_t(row) * uint64_t(height) / count);
}

// The bands as the view stands now.
std::vector<Band> ComputeBands(bool* outOfTime) {
  HWND view = engineHost.view;
  int height = ClientHeight(overview);
  std::vector<Band> bands(size_t(std::max(height, 0)));
  LRESULT counted = view ? SendMessageW(view, LB_GETCOUNT, 0, 0) : 0;
  if (bands.empty() || counted <= 0 || size_t(counted) != ViewRows()) return bands;
  size_t count = size_t(counted);
  int rowHeight = std::max<int>(int(SendMessageW(view, LB_GETITEMHEIGHT, 0, 0)), 1);
  TakeFindQuery();
  ULONGLONG deadline = GetTickCount64() + kFindBudgetMs;
  std::vector<int> ranks(bands.size(), 0);
  size_t reached = count;  // the first row whose find verdict is still to come
  for (size_t row = 0; row < count; ++row) {
    int top = RowTop(row, count, rowHeight, height);
    int bottom = std::clamp(RowTop(row + 1, count, rowHeight, height), top + 1, height);
    if (top >= height) break;
    RowPlace place = ViewRowPlace(row);
    LPARAM tag = SendMessageW(view, LB_GETITEMDATA, row, 0);
    if (tag == kUntaggedRow && !*outOfTime) {
      tag = MatchingRule(rowText, ReadViewRow(view, int(row), rowText)) + 1;
      SendMessageW(view, LB_SETITEMDATA, row, tag);
    }
    COLORREF colour = kNone;
    int rank = RowMarkRank(place.level, tag == kUntaggedRow ? nullptr : RuleOfTag(tag), &colour);
    bool marked = place.unit == 0 && ViewLineBookmarked(place.line);
    bool found = RowHoldsFindText(view, row, place, deadline, outOfTime);
    if (*outOfTime && reached == count) reached = row;
    // A bookmark or a find match stays visible however many rows share its pixels.
    for (int y = top; y < std::min(std::max(bottom, top + kLeastMarkHeight), height); ++y) {
      Band& band = bands[size_t(y)];
      if (marked) band.bookmark = kBookmarkColour;
      if (found) band.find = kFindMark;
      if (y < bottom && rank > ranks[size_t(y)]) ranks[size_t(y)] = rank, band.row = colour;
    }
  }
  if (findMarks.active) KeepCheckedRows(reached, count);
  // The rows on screen, outlined.
  LRESULT top = SendMessageW(view, LB_GETTOPINDEX, 0, 0);
  size_t first = size_t(std::max<LRESULT>(top, 0));
  size_t end = std::min(count, first + size_t(std::max(ClientHeight(view) / rowHeight, 1)));
  int from = std::min(RowTop(first, count, rowHeight, height), height - 1);
  int to = std::clamp(RowTop(end, count, rowHeight, height), from + 1, height);
  for (int y = from; y < to; ++y) bands[size_t(y)].outline = 1;
  bands[size_t(from)].outline |= 2;
  bands[size_t(to - 1)].outline |= 4;
  return bands;
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  if (colour == kNone || right <= left) return;
  SetBkColor(dc, colour);
  RECT area{left, top, right, bottom};
  ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

// Paints bands [from, to), runs of equal bands at a time.
void PaintBands(HDC dc, int from, int to) {
  RECT client{};
  GetClientRect(overview, &client);
  int width = client.right;
  COLORREF background = COLORREF(AppSettings.background), text = COLORREF(AppSettings.textColor);
  COLORREF strip = Blend(background, text, 1), inside = Blend(background, text, 2), edge = Blend(background, text, 5);
  int quarter = std::max(width / 4, 2);
  for (int y = from; y < to;) {
    Band band = size_t(y) < painted.size() ? painted[size_t(y)] : Band{};
    int next = y + 1;
    while (next < to && size_t(next) < painted.size() && painted[size_t(next)] == band) ++next;
    Fill(dc, 0, y, width, next, band.outline ? inside : strip);
    Fill(dc, 1, y, quarter, next, band.bookmark);
    Fill(dc, quarter + 1, y, width - quarter - 1, next, band.row);
    Fill(dc, width - quarter, y, width - 1, next, band.find);
    if (band.outline) {
      Fill(dc, 0, y, 1, next, edge);
      Fill(dc, width - 1, y, width, next, edge);
      if (band.outline & 2) Fill(dc, 0, y, width, y + 1, edge);
      if (band.outline & 4) Fill(dc, 0, next - 1, width, next, edge);
    }
    y = next;
  }
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc) PaintBands(dc, paint.rcPaint.top, paint.rcPaint.bottom);
  EndPaint(window, &paint);
}

bool dragging = false;

// The view moved so that the row at y stands in the middle of the screen.
void MoveViewTo(int y) {
  HWND view = engineHost.view;
  LRESULT counted = view ? SendMessageW(view, LB_GETCOUNT, 0, 0) : 0;
  int height = ClientHeight(overview);
  if (counted <= 0 || height <= 0) return;
  size_t count = size_t(counted);
  int rowHeight = std::max<int>(int(SendMessageW(view, LB_GETITEMHEIGHT, 0, 0)), 1);
  y = std::clamp(y, 0, height - 1);
  size_t row = uint64_t(count) * uint64_t(rowHeight) <= uint64_t(height) ? size_t(y / rowHeight)
                                                                          : size_t(uint64_t(y) * count / uint64_t(height));
  LRESULT shown = std::max(ClientHeight(view) / rowHeight, 1);
  SendMessageW(view, LB_SETTOPINDEX, WPARAM(std::max<LRESULT>(LRESULT(std::min(row, count - 1)) - shown / 2, 0)), 0);
  RefreshOverview();
}

void OnButton(HWND window, UINT message, LPARAM lparam) {
  int y = GET_Y_LPARAM(lparam);
  switch (message) {
    case WM_LBUTTONDOWN:
      SetCapture(window), dragging = true;
      SetSuspendFlag(true);  // following does not pull the view back while it is held
      MoveViewTo(y);
      break;
    case WM_MOUSEMOVE:
      if (dragging && GetCapture() == window) MoveViewTo(y);
      break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (!std::exchange(dragging, false)) break;
      SetSuspendFlag(false);
      if (message == WM_LBUTTONUP) ReleaseCapture();
      break;
  }
}

LRESULT CALLBACK OverviewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: OnPaint(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZE: painted.clear(), InvalidateRect(window, nullptr, FALSE), RefreshOverview(); return 0;
    case WM_LBUTTONDOWN: case WM_MOUSEMOVE: case WM_LBUTTONUP: case WM_CAPTURECHANGED:
      OnButton(window, message, lparam);
      return 0;
    case WM_TIMER:
      if (wparam == kGoOnTimer) KillTimer(window, kGoOnTimer), RefreshOverview();
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND CreateOverview(HWND parent, HINSTANCE instance) {
  WNDCLASSEXW kind{};
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = OverviewProc;
  kind.hInstance = instance;
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.lpszClassName = kClassName;
  RegisterClassExW(&kind);
  overview = CreateWindowExW(0, kClassName, nullptr, WS_CHILD, 0, 0, 0, 0, parent, nullptr, instance, nullptr);
  return overview;
}

int OverviewWidth() { return AppSettings.overview ? GetSystemMetrics(SM_CXVSCROLL) : 0; }

void RefreshOverview() {
  if (!overview || !IsWindowVisible(overview)) return;
  // New colours repaint it all.
  static COLORREF paintedColours[2] = {kNone, kNone};
  COLORREF colours[2] = {COLORREF(AppSettings.background), COLORREF(AppSettings.textColor)};
  if (!std::equal(colours, colours + 2, paintedColours)) {
    std::copy(colours, colours + 2, paintedColours);
    painted.clear();
    InvalidateRect(overview, nullptr, FALSE);
  }
  bool outOfTime = false;
  std::vector<Band> bands = ComputeBands(&outOfTime);
  if (outOfTime) SetTimer(overview, kGoOnTimer, 50, nullptr);
  // Only the runs of bands that differ from what is on screen are painted again.
  size_t height = std::max(bands.size(), painted.size());
  for (size_t y = 0; y < height;) {
    auto differs = [&](size_t at) {
      return at >= bands.size() || at >= painted.size() || !(bands[at] == painted[at]);
    };
    if (!differs(y)) {
      ++y;
      continue;
    }
    size_t end = y + 1;
    while (end < height && differs(end)) ++end;
    RECT band{0, LONG(y), 0x7FFF, LONG(end)};
    InvalidateRect(overview, &band, FALSE);
    y = end;
  }
  painted = std::move(bands);
}
