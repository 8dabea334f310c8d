#include "commands/overview.h"

#include <windowsx.h>

#include <algorithm>
#include <deque>
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
// Looking at rows' text (their rules, the find text) stops for a while past
// this much work; the rest are marked by the refreshes that follow.
constexpr ULONGLONG kBudgetMs = 40;
constexpr UINT_PTR kGoOnTimer = 1;
constexpr int kLeastMarkHeight = 3;

HWND overview = nullptr;
// A view of many rows costs its every refresh a walk through them all: while
// rows keep arriving, such a view's overview is refreshed at this pace.
constexpr double kCheapRefreshMs = 0.5;
constexpr ULONGLONG kRefreshPaceMs = 50;
ULONGLONG lastRefresh = 0;
double lastCostMs = 0;
bool refreshPending = false;

void GoOnLater() {
  if (!std::exchange(refreshPending, true)) SetTimer(overview, kGoOnTimer, UINT(kRefreshPaceMs), nullptr);
}

// One pixel row of the strip as painted: its marks and its part in the outline.
struct Band {
  COLORREF bookmark = kNone, row = kNone, find = kNone;
  uint8_t outline = 0;  // 1 inside, 2 its top edge, 4 its bottom edge
  bool operator==(const Band&) const = default;
};
std::vector<Band> painted;

// The find text as the marks were made for it, ready to test rows.
struct FindMarks {
  FindQuery query{};
  bool active = false;
  LinePattern* pattern = nullptr;
} findMarks;

// What the overview found out about a row, kept while the row stays in the
// view: following at the lines limit, only the rows that arrive are looked at.
struct RowMark {
  RowPlace place;
  LPARAM tag = kUntaggedRow;  // its rule's, as the view keeps it
  int8_t found = -1;          // holds the find text; -1 not known yet
};
std::deque<RowMark> known;  // ascending places
uint64_t knownEpoch = ~uint64_t(0);
uint32_t knownTags = 0;

wchar_t rowText[kMaxRowUnits + 1];

bool SameQuery(const FindQuery& a, const FindQuery& b) {
  return SameText(a.text, b.text) && a.matchCase == b.matchCase && a.wholeWord == b.wholeWord && a.regex == b.regex;
}

// The query as the Find box has it now; the rows' verdicts go with the old one.
void TakeFindQuery() {
  FindQuery query;
  bool active = FindBoxQuery(&query);
  if (active == findMarks.active && (!active || SameQuery(query, findMarks.query))) return;
  FreeLinePattern(findMarks.pattern);
  findMarks = FindMarks{};
  for (RowMark& mark : known) mark.found = -1;
  if (!active) return;
  findMarks.query = query;
  findMarks.pattern = MakeLinePattern(query, FollowedCharset().active, nullptr);
  findMarks.active = findMarks.pattern != nullptr;
}

// The record of row, the view's row at place: kept, or made now. Rows that
// left the view go from the record.
RowMark& RecordOf(HWND view, size_t row, RowPlace place, bool rules, size_t* at) {
  while (*at < known.size() && known[*at].place < place) known.erase(known.begin() + ptrdiff_t(*at));
  if (*at == known.size() || !(known[*at].place == place))
    known.insert(known.begin() + ptrdiff_t(*at), RowMark{place, rules ? SendMessageW(view, LB_GETITEMDATA, row, 0) : 0});
  return known[(*at)++];
}

// Fills in what the record lacks, while the budget lasts.
void Complete(HWND view, size_t row, RowMark* mark, ULONGLONG deadline, bool* outOfTime) {
  bool needsText = mark->tag == kUntaggedRow || (findMarks.active && mark->found < 0);
  if (!needsText) return;
  if (*outOfTime || GetTickCount64() > deadline) return (void)(*outOfTime = true);
  size_t length = ReadViewRow(view, int(row), rowText);
  if (mark->tag == kUntaggedRow) {
    mark->tag = MatchingRule(rowText, length) + 1;
    SendMessageW(view, LB_SETITEMDATA, row, mark->tag);
  }
  if (findMarks.active && mark->found < 0) mark->found = LineHoldsMatch(findMarks.pattern, AsText(rowText), length);
}

// What one row asks of the row lane: a rule's colour before its level's.
int RowMarkRank(LogLevel level, const HighlightRule* rule, COLORREF* colour) {
  if (rule) {
    *colour = RuleBackground(rule) != COLORREF(AppSettings.background) ? RuleBackground(rule) : RuleTextColour(rule);
    return 4;
  }
  switch (level) {  // kNone for every row while levels are not coloured
    case LogLevel::kFatal: return *colour = kErrorMark, 3;
    case LogLevel::kError: return *colour = kErrorMark, 2;
    case LogLevel::kWarning: return *colour = kWarningMark, 1;
    default: return 0;
  }
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
  if (knownEpoch != ViewLinesEpoch() || knownTags != RowTagsRenewed()) {
    known.clear();
    knownEpoch = ViewLinesEpoch(), knownTags = RowTagsRenewed();
  }
  TakeFindQuery();
  bool rules = AnyRules();  // without one no row's tag need be asked for
  ULONGLONG deadline = GetTickCount64() + kBudgetMs;
  std::vector<int> ranks(bands.size(), 0);
  size_t at = 0;
  for (size_t row = 0; row < count; ++row) {
    int top = RowTop(row, count, rowHeight, height);
    int bottom = std::clamp(RowTop(row + 1, count, rowHeight, height), top + 1, height);
    RowPlace place = ViewRowPlace(row);
    RowMark& mark = RecordOf(view, row, place, rules, &at);
    Complete(view, row, &mark, deadline, outOfTime);
    if (top >= height) continue;
    COLORREF colour = kNone;
    int rank = RowMarkRank(place.level, mark.tag == kUntaggedRow ? nullptr : RuleOfTag(mark.tag), &colour);
    bool marked = place.unit == 0 && ViewLineBookmarked(place);
    bool found = mark.found > 0;
    // A bookmark or a find match stays visible however many rows share its pixels.
    for (int y = top; y < std::min(std::max(bottom, top + kLeastMarkHeight), height); ++y) {
      Band& band = bands[size_t(y)];
      if (marked) band.bookmark = kBookmarkColour;
      if (found) band.find = kFindMark;
      if (y < bottom && rank > ranks[size_t(y)]) ranks[size_t(y)] = rank, band.row = colour;
    }
  }
  known.resize(std::min(known.size(), at));
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
      if (wparam == kGoOnTimer) KillTimer(window, kGoOnTimer), refreshPending = false, RefreshOverview();
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

void RefreshOverviewSoon() {
  if (!overview || refreshPending) return;
  if (lastCostMs > kCheapRefreshMs && GetTickCount64() - lastRefresh < kRefreshPaceMs) return GoOnLater();
  RefreshOverview();
}

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
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceCounter(&start);
  std::vector<Band> bands = ComputeBands(&outOfTime);
  QueryPerformanceCounter(&end), QueryPerformanceFrequency(&frequency);
  lastRefresh = GetTickCount64(), lastCostMs = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
  if (outOfTime) GoOnLater();
  // Only the runs of bands that differ from what is on screen are painted again.
  size_t height = std::max(bands.size(), painted.size());
  for (size_t y = 0; y < height;) {
    auto differs = [&](size_t at) {
      return at >= bands.size() || at >= painted.size() || !(bands[at] == painted[at]);
    };
    size_t end = y;
    while (end < height && differs(end)) ++end;
    if (end == y) {
      ++y;
      continue;
    }
    RECT band{0, LONG(y), 0x7FFF, LONG(end)};
    InvalidateRect(overview, &band, FALSE);
    y = end;
  }
  painted = std::move(bands);
}
