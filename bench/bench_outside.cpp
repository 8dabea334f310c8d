// The delay from a line appended to its row in the view, seen from another
// process: a probe (this program started again with --probe) appends one line
// at a time and asks the view every millisecond, through LB_GETCOUNT and
// LB_GETTEXT, whether the line is its last row. Everything drawing costs is in
// the figure. The baseline: a bare window of the same size whose 10 ms timer
// adds the new lines to a plain list box, removes the first rows past the same
// limit and scrolls to the end. Runs of both alternate.
#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "commands/bookmark_commands.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "shell/main_window.h"
#include "ui/settings.h"

namespace {

constexpr int kAppends = 150;
constexpr int kRounds = 2;
constexpr int kWidth = 1200, kHeight = 900;
constexpr uint32_t kLimit = 2048;
constexpr UINT kBarePollMs = 10;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 60 units, shorter than a row: the line is the last row as it is.
void ProbeLine(char* out, int seq) { snprintf(out, 64, "probe %06d appended by the other process, looked for at once", seq); }

// ---- The probe process.


}  // namespace

// quillon_bench --probe VIEW FILE FIRST RESULTS: appends kAppends lines to
// FILE, each after the last was seen in the list box VIEW (or 1 s passed) and
// 20-30 ms more, and writes each delay in ms to RESULTS, one a line (-1: not seen).
int RunProbe(HWND view, const wchar_t* path, int first, const wchar_t* results) {
  timeBeginPeriod(1);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::string out;
  srand(unsigned(first));
  for (int i = 0; i < kAppends; ++i) {
    char line[64];
    ProbeLine(line, first + i);
    wchar_t wide[64];
    size_t length = strlen(line);
    for (size_t k = 0; k <= length; ++k) wide[k] = wchar_t(line[k]);
    char bytes[80];
    snprintf(bytes, sizeof bytes, "%s\r\n", line);
    DWORD written;
    int64_t start = Ticks();
    WriteFile(file, bytes, DWORD(length + 2), &written, nullptr);
    double delay = -1;
    while (MsSince(start) < 1000) {
      if (LastRowIs(view, wide)) {
        delay = MsSince(start);
        break;
      }
      Sleep(1);
    }
    char number[32];
    snprintf(number, sizeof number, "%.3f\n", delay);
    out += number;
    Sleep(DWORD(20 + rand() % 11));
  }
  CloseHandle(file);
  timeEndPeriod(1);
  return WriteWholeFile(results, out.data(), out.size()) ? 0 : 1;
}

namespace {

// ---- The bare poller.

HANDLE bareFile = INVALID_HANDLE_VALUE;
HWND bareView = nullptr;
std::string bareCarry;

void CALLBACK BarePoll(HWND, UINT, UINT_PTR, DWORD) {
  LARGE_INTEGER size, at{};
  if (!GetFileSizeEx(bareFile, &size) || !SetFilePointerEx(bareFile, at, &at, FILE_CURRENT) ||
      size.QuadPart <= at.QuadPart)
    return;
  static char chunk[1 << 16];
  DWORD got = 0;
  while (ReadFile(bareFile, chunk, sizeof chunk, &got, nullptr) && got > 0) bareCarry.append(chunk, got);
  size_t start = 0;
  for (size_t end; (end = bareCarry.find('\n', start)) != std::string::npos; start = end + 1) {
    std::wstring row(bareCarry.begin() + ptrdiff_t(start), bareCarry.begin() + ptrdiff_t(end));
    if (!row.empty() && row.back() == L'\r') row.pop_back();
    SendMessageW(bareView, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
    if (SendMessageW(bareView, LB_GETCOUNT, 0, 0) > LRESULT(kLimit)) SendMessageW(bareView, LB_DELETESTRING, 0, 0);
  }
  bareCarry.erase(0, start);
  LRESULT count = SendMessageW(bareView, LB_GETCOUNT, 0, 0);
  SendMessageW(bareView, LB_SETTOPINDEX, WPARAM(count - 1), 0);
}

HWND MakeBareWindow() {
  HWND frame = CreateWindowExW(0, L"STATIC", L"bare poller", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, kWidth,
                               kHeight, nullptr, nullptr, nullptr, nullptr);
  RECT client;
  GetClientRect(frame, &client);
  bareView = CreateWindowExW(0, L"LISTBOX", nullptr,
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS, 0, 0,
                             client.right, client.bottom, frame, nullptr, nullptr, nullptr);
  SendMessageW(bareView, WM_SETFONT, WPARAM(ViewFont()), FALSE);  // the program's
  return frame;
}

// The lines the view starts with: the limit, so each append removes a row.
std::string StartText() {
  std::string text;
  char line[64];
  for (uint32_t i = 0; i < kLimit; ++i) ProbeLine(line, -int(i) - 1), text += line, text += "\r\n";
  return text;
}

bool ChildDone(void* process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// Starts the probe against view and pumps this thread's messages until it ends.
bool Probe(HWND view, const wchar_t* path, int first, std::vector<double>& delays) {
  wchar_t self[MAX_PATH], results[MAX_PATH], command[3 * MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  TempPath(L"probe_results.txt", results);
  DeleteFileW(results);
  swprintf(command, 3 * MAX_PATH, L"\"%ls\" --probe %llu \"%ls\" %d \"%ls\"", self,
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(view)), path, first, results);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
  bool ended = PumpUntil(ChildDone, process.hProcess, kAppends * 1100.0 + 10000);
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread), CloseHandle(process.hProcess);
  FILE* in = _wfopen(results, L"r");
  if (!in) return false;
  for (double delay; fscanf(in, "%lf", &delay) == 1;) delays.push_back(delay);
  fclose(in);
  DeleteFileW(results);
  return ended;
}

// What the view's painting costs while the probe runs: WM_DRAWITEM sent, rows
// that reached the screen (inside the paint's region), time in WM_PAINT.
struct PaintCost {
  size_t drawItems, rowsPainted;
  double paintMs;
};
PaintCost paintCost;
WNDPROC hostProc = nullptr, viewProc = nullptr;

LRESULT CALLBACK CountingHostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DRAWITEM) {
    auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
    ++paintCost.drawItems;
    paintCost.rowsPainted += item->itemAction == ODA_DRAWENTIRE && RectVisible(item->hDC, &item->rcItem);
  }
  return CallWindowProcW(hostProc, window, message, wparam, lparam);
}

LRESULT CALLBACK TimedPaintProc(HWND view, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_PAINT) return CallWindowProcW(viewProc, view, message, wparam, lparam);
  int64_t start = Ticks();
  LRESULT result = CallWindowProcW(viewProc, view, message, wparam, lparam);
  paintCost.paintMs += MsSince(start);
  return result;
}

void CountPainting(bool on) {
  if (on) {
    hostProc = Subclass(engineHost.window, CountingHostProc);
    viewProc = Subclass(engineHost.view, TimedPaintProc);
  } else {
    Subclass(engineHost.window, hostProc);
    Subclass(engineHost.view, viewProc);
  }
}

bool ViewHolds(void* rows) {
  return !PollContinues() && SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) == *static_cast<LRESULT*>(rows);
}

bool MeasureQuillon(const wchar_t* path, BenchMatching matching, int first, std::vector<double>& delays) {
  std::string text = StartText();
  if (!WriteWholeFile(path, text.data(), text.size()) || !OpenFile(path)) return false;
  UseBenchMatching(matching);
  static LRESULT rows = kLimit;
  bool ok = PumpUntil(ViewHolds, &rows, 10000);
  // Level colours and the overview are on by default; bookmarks on every 64th row as well.
  for (int row = 0; matching == BenchMatching::kNone && row < int(kLimit); row += 64) ToggleBookmarkOfRow(row);
  PumpFor(100);  // the first paint of the open is not counted
  CountPainting(true);
  ok = ok && Probe(engineHost.view, path, first, delays);
  CountPainting(false);
  UseBenchMatching(BenchMatching::kNone);
  CloseFile();
  DeleteFileW(path);
  return ok;
}

// Eight files in one view, the probe's the last of them: its lines, without
// stamps like the others', come last in the view.
bool MeasureQuillonMerged(const wchar_t* path, int first, std::vector<double>& delays) {
  std::string text = StartText();
  wchar_t others[7][MAX_PATH];
  const wchar_t* names[8];
  bool ok = true;
  for (int i = 0; i < 7; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"outside%d.log", i);
    TempPath(name, others[i]);
    names[i] = others[i];
    ok = ok && WriteWholeFile(others[i], text.data(), text.size());
  }
  names[7] = path;
  if (!ok || !WriteWholeFile(path, text.data(), text.size()) || !OpenFiles(names, 8)) return false;
  static LRESULT rows = kLimit;
  ok = PumpUntil(ViewHolds, &rows, 10000);
  PumpFor(300);
  CountPainting(true);
  ok = ok && Probe(engineHost.view, path, first, delays);
  CountPainting(false);
  CloseFile();
  DeleteFileW(path);
  for (const wchar_t* other : others) DeleteFileW(other);
  return ok;
}

bool MeasureBare(const wchar_t* path, int first, std::vector<double>& delays) {
  std::string text = StartText();
  if (!WriteWholeFile(path, text.data(), text.size())) return false;
  HWND frame = MakeBareWindow();
  bareFile = CreateFileW(path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
  bareCarry.clear();
  BarePoll(nullptr, 0, 0, 0);  // the start, as the program's open shows it
  UINT_PTR timer = SetTimer(nullptr, 0, kBarePollMs, BarePoll);
  PumpFor(200);
  bool ok = Probe(bareView, path, first, delays);
  KillTimer(nullptr, timer);
  CloseHandle(bareFile);
  DestroyWindow(frame);
  DeleteFileW(path);
  return ok;
}

struct Spread {
  double median, p99;
  size_t seen, missed;
};

// The window at the size the runs use, the lines limit theirs; put back after.
struct OutsideSetUp {
  Settings saved;
  RECT placed;
  wchar_t path[MAX_PATH];
};

OutsideSetUp TakeOutsideSetUp() {
  OutsideSetUp setUp{AppSettings, {}, {}};
  AppSettings.linesLimit = kLimit;
  GetWindowRect(engineHost.window, &setUp.placed);
  ShowWindow(engineHost.window, SW_RESTORE);
  SetWindowPos(engineHost.window, HWND_TOP, 0, 0, kWidth, kHeight, SWP_SHOWWINDOW);
  TempPath(L"outside.log", setUp.path);
  return setUp;
}

void PutBackOutsideSetUp(const OutsideSetUp& setUp) {
  const RECT& placed = setUp.placed;
  SetWindowPos(engineHost.window, nullptr, placed.left, placed.top, placed.right - placed.left,
               placed.bottom - placed.top, SWP_NOZORDER);
  AppSettings = setUp.saved;
}

Spread SpreadOf(std::vector<double> delays) {
  std::vector<double> seen;
  for (double d : delays)
    if (d >= 0) seen.push_back(d);
  Spread spread{0, 0, seen.size(), delays.size() - seen.size()};
  spread.median = Percentile(seen, 0.5);
  spread.p99 = Percentile(seen, 0.99);
  return spread;
}

}  // namespace

void RunMergedOutsideBench() {
  printf("m. append to row seen from another process, one file or eight in one view, window %dx%d, lines limit %u, "
         "%d appends a run, %d rounds\n", kWidth, kHeight, kLimit, kAppends, kRounds);
  fflush(stdout);
  OutsideSetUp setUp = TakeOutsideSetUp();
  const wchar_t* path = setUp.path;
  std::vector<double> one, eight, bare;
  int first = 0;
  bool ok = true;
  for (int round = 0; round < kRounds && ok; ++round) {
    ok = MeasureQuillon(path, BenchMatching::kNone, first, one), first += kAppends;
    ok = ok && MeasureQuillonMerged(path, first, eight), first += kAppends;
    ok = ok && MeasureBare(path, first, bare), first += kAppends;
  }
  PutBackOutsideSetUp(setUp);
  if (!ok) Note("a run failed");
  Spread o = SpreadOf(one), e = SpreadOf(eight), b = SpreadOf(bare);
  Note("one file: %zu seen, %zu missed, median %.1f ms, p99 %.1f ms; eight files: %zu seen, %zu missed, median %.1f ms, "
       "p99 %.1f ms; bare poller: %zu seen, %zu missed, median %.1f ms, p99 %.1f ms",
       o.seen, o.missed, o.median, o.p99, e.seen, e.missed, e.median, e.p99, b.seen, b.missed, b.median, b.p99);
  auto ratio = [](double a, double base) { return base > 0 ? a / base : 0.0; };
  AddResult("outside, 8 files in one view, median", Format("%.1f ms (%.2fx)", e.median, ratio(e.median, b.median)),
            Format("%.1f ms (bare; one file %.1f)", b.median, o.median), "<= 1.1x");
  AddResult("outside, 8 files in one view, p99", Format("%.1f ms (%.2fx)", e.p99, ratio(e.p99, b.p99)),
            Format("%.1f ms (bare; one file %.1f)", b.p99, o.p99), "<= 1.3x");
}

void RunOutsideBench() {
  printf("6. append to row seen from another process, window %dx%d, lines limit %u, %d appends a run, "
         "%d rounds\n", kWidth, kHeight, kLimit, kAppends, kRounds);
  fflush(stdout);
  OutsideSetUp setUp = TakeOutsideSetUp();
  const wchar_t* path = setUp.path;
  std::vector<double> plain, ruled, regex, bare;
  int first = 0;
  paintCost = PaintCost{};
  bool ok = true;
  for (int round = 0; round < kRounds && ok; ++round) {
    ok = MeasureQuillon(path, BenchMatching::kNone, first, plain), first += kAppends;
    ok = ok && MeasureQuillon(path, BenchMatching::kPlain, first, ruled), first += kAppends;
    ok = ok && MeasureQuillon(path, BenchMatching::kRegex, first, regex), first += kAppends;
    ok = ok && MeasureBare(path, first, bare), first += kAppends;
  }
  PutBackOutsideSetUp(setUp);
  if (!ok) Note("a run failed");
  Spread q = SpreadOf(plain), r = SpreadOf(ruled), x = SpreadOf(regex), b = SpreadOf(bare);
  Note("Quillon (level colours %s, overview %s, %u bookmarks): %zu seen, %zu missed, median %.1f ms, p99 %.1f ms",
       AppSettings.levelColors ? "on" : "off", AppSettings.overview ? "on" : "off", (kLimit + 63) / 64, q.seen, q.missed,
       q.median, q.p99);
  Note("with 10 rules and a filter: %zu seen, %zu missed, median %.1f ms, p99 %.1f ms", r.seen, r.missed, r.median, r.p99);
  Note("with 10 regex rules and 4 regex filters: %zu seen, %zu missed, median %.1f ms, p99 %.1f ms", x.seen, x.missed,
       x.median, x.p99);
  Note("bare %u ms poller: %zu seen, %zu missed, median %.1f ms, p99 %.1f ms", kBarePollMs, b.seen, b.missed, b.median,
       b.p99);
  double appends = 3.0 * kRounds * kAppends;
  Note("the view's painting, per append: %.1f WM_DRAWITEM, %.1f rows painted, %.2f ms in WM_PAINT",
       double(paintCost.drawItems) / appends, double(paintCost.rowsPainted) / appends, paintCost.paintMs / appends);
  auto ratio = [](double a, double base) { return base > 0 ? a / base : 0.0; };
  AddResult("outside: append to row (levels, bookmarks, overview), median", Format("%.1f ms (%.2fx)", q.median, ratio(q.median, b.median)),
            Format("%.1f ms (bare poller)", b.median), "<= 1.1x");
  AddResult("outside: append to row (levels, bookmarks, overview), p99", Format("%.1f ms (%.2fx)", q.p99, ratio(q.p99, b.p99)),
            Format("%.1f ms (bare poller)", b.p99), "<= 1.3x");
  AddResult("outside, 10 rules + filter, median", Format("%.1f ms (%.2fx)", r.median, ratio(r.median, b.median)),
            Format("%.1f ms (bare poller)", b.median), "<= 1.1x");
  AddResult("outside, 10 rules + filter, p99", Format("%.1f ms (%.2fx)", r.p99, ratio(r.p99, b.p99)),
            Format("%.1f ms (bare poller)", b.p99), "<= 1.3x");
  AddResult("outside, 10 regex rules + 4 filters, median", Format("%.1f ms (%.2fx)", x.median, ratio(x.median, b.median)),
            Format("%.1f ms (bare poller)", b.median), "<= 1.1x");
  AddResult("outside, 10 regex rules + 4 filters, p99", Format("%.1f ms (%.2fx)", x.p99, ratio(x.p99, b.p99)),
            Format("%.1f ms (bare poller)", b.p99), "<= 1.3x");
}
