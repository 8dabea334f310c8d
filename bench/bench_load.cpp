// Opening a large log: from OpenFile to the view holding its final rows,
// against reading and decoding the same bytes alone, and with highlight rules
// against without.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench.h"
#include "bench/bench_follow.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/highlight_rules.h"
#include "engine/row_builder.h"
#include "shell/main_window.h"
#include "ui/settings.h"

namespace {

constexpr size_t kFileBytes = 64u << 20;
constexpr uint32_t kLimit = 65535;
constexpr int kRuns = 5;
constexpr double kGiveUpMs = 60000;

struct LoadTarget {
  HWND view;
  LRESULT rows;
  uint64_t size;
  wchar_t lastRow[kMaxRowUnits + 1];
};

bool LoadFinished(void* context) {
  const LoadTarget& target = *static_cast<const LoadTarget*>(context);
  if (PollContinues() || LastFileSize() != target.size) return false;
  return SendMessageW(target.view, LB_GETCOUNT, 0, 0) == target.rows && LastRowIs(target.view, target.lastRow);
}

// The bytes the follower loads: from the first whole line within the last
// kbLimit KiB to the end.
uint64_t TailStart(const wchar_t* path, uint64_t size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  uint64_t limit = uint64_t(AppSettings.kbLimit) * 1024;
  uint64_t start = size > limit ? FindFirstWholeLine(file, size - limit, kCharsetUtf8) : 3;
  CloseHandle(file);
  return start;
}

// Read and decode of the tail alone, no rows. Returns ms.
double ReadAndDecodeMs(const wchar_t* path, uint64_t from) {
  static uint8_t bytes[kChunkBytes];
  static wchar_t units[kChunkUnits];
  int64_t start = Ticks();
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(from);
  SetFilePointerEx(file, to, nullptr, FILE_BEGIN);
  size_t carry = 0;
  DWORD got = 0;
  while (ReadFile(file, bytes + carry, DWORD(kChunkBytes - carry), &got, nullptr) && got > 0) {
    size_t total = carry + got;
    size_t leftover = 0;
    DecodeChunk(kCharsetUtf8, bytes, total, AsText(units), &leftover, SystemConversions());
    memmove(bytes, bytes + total - leftover, leftover);
    carry = leftover;
  }
  CloseHandle(file);
  return MsSince(start);
}

// The floor the view sets: a list box of the view's style, in a window of the
// main window's size, taking the same number of rows alone, redraw off, one
// LB_ADDSTRING each, as the load adds them. Returns ms.
double BareListBoxMs(int rows, size_t rowUnits) {
  RECT frame{};
  GetWindowRect(engineHost.window, &frame);
  HWND window = CreateWindowExW(0, L"STATIC", L"bare list box", WS_OVERLAPPEDWINDOW | WS_VISIBLE, frame.left,
                                frame.top, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                nullptr, nullptr);
  RECT client{};
  GetClientRect(window, &client);
  HWND list = CreateWindowExW(0, L"LISTBOX", nullptr, kViewStyle, 0, 0, client.right, client.bottom, window,
                              nullptr, nullptr, nullptr);
  PumpFor(50);
  std::wstring row(rowUnits, L'x');
  auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list, GWLP_WNDPROC));
  int64_t start = Ticks();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (int i = 0; i < rows; ++i) CallWindowProcW(proc, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  double ms = MsSince(start);
  DestroyWindow(window);
  return ms;
}

double Median(std::vector<double> values) { return Percentile(values, 0.5); }

// Time an open spends inside the list box, for one extra run, as the timing
// itself costs.
struct ListBoxUse {
  int adds;
  int resets;
  int deletes;
  double ms;
};
ListBoxUse listBoxUse;
WNDPROC viewProc = nullptr;

LRESULT CALLBACK TimedViewProc(HWND view, UINT message, WPARAM wparam, LPARAM lparam) {
  int64_t start = Ticks();
  LRESULT result = CallWindowProcW(viewProc, view, message, wparam, lparam);
  listBoxUse.ms += MsSince(start);
  listBoxUse.adds += message == LB_ADDSTRING;
  viewAdds += message == LB_ADDSTRING;
  listBoxUse.resets += message == LB_RESETCONTENT;
  listBoxUse.deletes += message == LB_DELETESTRING;
  return result;
}

// From OpenFile to the final rows; negative when the open failed or never ended.
double TimedOpen(const wchar_t* path, LoadTarget& target, const char* what, int run) {
  CloseFile();
  PumpFor(100);
  TimePolls(true);
  int64_t start = Ticks();
  if (!OpenFile(path)) {
    TimePolls(false);
    Note("OpenFile failed");
    return -1;
  }
  bool done = PumpUntil(LoadFinished, &target, kGiveUpMs);
  double ms = MsSince(start);
  TimePolls(false);
  double longest = 0;
  for (double d : pollDurationsMs) longest = std::max(longest, d);
  Note("%s %d: %s after %.0f ms, %ld rows, %zu polls (longest %.0f ms)", what, run, done ? "final rows" : "GAVE UP",
       ms, long(SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0)), pollDurationsMs.size(), longest);
  return done ? ms : -1;
}

bool AllLinesShown(void* rows) {
  return !PollContinues() && SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) == *static_cast<LRESULT*>(rows);
}

// A 64 MiB log of rows on which (a+)+$ backtracks without end, opened with
// that pattern as a rule, then as a hiding filter: the open must end, the
// window answering meanwhile, each row stopped at the bound.
void RunBacktrackingOpens() {
  std::string line = std::string(4000, 'a') + "b\r\n";
  static LRESULT lines;
  lines = LRESULT(kFileBytes / line.size());
  std::string text;
  text.reserve(size_t(lines) * line.size());
  for (LRESULT i = 0; i < lines; ++i) text += line;
  wchar_t path[MAX_PATH];
  TempPath(L"backtrack.log", path);
  if (!WriteWholeFile(path, text.data(), text.size())) return Note("cannot write %ls", path);
  text = {};
  AppSettings.kbLimit = kLimit, AppSettings.linesLimit = kLimit, AppSettings.wrapLines = 0;
  for (bool asFilter : {false, true}) {
    wchar_t stream[MAX_PATH + 40];
    swprintf(stream, MAX_PATH + 40, L"%ls:Kavex.Quillon.Properties", path);
    WritePrivateProfileStringW(L"Filters", L"0", asFilter ? L"\"hr|(a+)+$\"" : nullptr, stream);
    AppSettings.rules[0] = HighlightRule{};
    if (!asFilter) ParseRule(u"r|-|-|(a+)+$", &AppSettings.rules[0]);
    CloseFile();
    PumpFor(100);
    static Pinger pinger;
    StartPinger(pinger, engineHost.window);
    TimePolls(true);
    int64_t start = Ticks();
    bool done = OpenFile(path) && PumpUntil(AllLinesShown, &lines, 120000);
    double ms = MsSince(start);
    TimePolls(false);
    StopPinger(pinger);
    NotePolls("  its polls");
    if (!pollDurationsMs.empty()) {
      size_t longest = size_t(std::max_element(pollDurationsMs.begin(), pollDurationsMs.end()) - pollDurationsMs.begin());
      Note("  longest poll: %zu of %zu, %.0f ms, started at %.0f ms", longest + 1, pollDurationsMs.size(),
           pollDurationsMs[longest], pollStartsMs[longest]);
    }
    double answer = Percentile(pinger.answersMs, 1.0);
    uint32_t stopped = asFilter ? FilterBoundHitLines() : BoundHitRows();
    Note("backtracking rows, the pattern as a %s: %ld rows in %.0f ms, %u stopped at the bound, window answered "
         "within %.0f ms (%zu pings)", asFilter ? "hiding filter" : "rule", long(lines), ms, unsigned(stopped), answer,
         pinger.answersMs.size());
    AddResult(asFilter ? "open 64 MiB backtracking, as a filter" : "open 64 MiB backtracking, as a rule",
              done ? Format("%.0f ms, answers <= %.0f ms", ms, answer) : Format("never ends"), Format("-"),
              "ends, answers <= 100 ms");
  }
  CloseFile();
  static const Settings defaults{};
  AppSettings = defaults;
  DeleteFileW(path);
}

}  // namespace

void RunLoadBench() {
  AppSettings.kbLimit = kLimit;
  AppSettings.linesLimit = kLimit;
  printf("2. open a %u MiB UTF-8 log, kb limit %u, lines limit %u, median of %d\n",
         unsigned(kFileBytes >> 20), kLimit, kLimit, kRuns);
  fflush(stdout);

  // A byte-order mark makes the follower decode UTF-8 whatever the code page.
  std::vector<uint8_t> text = MakeLogText(kFileBytes - 3);
  text.insert(text.begin(), {0xEF, 0xBB, 0xBF});
  wchar_t path[MAX_PATH];
  TempPath(L"load.log", path);
  if (!WriteWholeFile(path, text.data(), text.size())) {
    Note("cannot write %ls", path);
    return;
  }

  static LoadTarget target;
  target.view = engineHost.view;
  target.size = text.size();
  uint64_t tailStart = TailStart(path, target.size);
  uint64_t lines = (target.size - tailStart) / kLineBytes;
  size_t capacity = std::min<size_t>(AppSettings.rowLength, kMaxRowUnits);
  wchar_t lastLine[kLineBytes];
  int lastUnits = MultiByteToWideChar(
      CP_UTF8, 0, reinterpret_cast<const char*>(text.data() + text.size() - kLineBytes),
      int(kLineBytes - 2), lastLine, int(kLineBytes));
  size_t rowsPerLine = (size_t(lastUnits) + capacity - 1) / capacity;
  target.rows = LRESULT(std::min<uint64_t>(kLimit, lines * rowsPerLine));
  size_t lastRowStart = (rowsPerLine - 1) * capacity;
  wcsncpy(target.lastRow, lastLine + lastRowStart, size_t(lastUnits) - lastRowStart);
  target.lastRow[size_t(lastUnits) - lastRowStart] = 0;
  text = {};

  std::vector<double> openMs, baseMs, rulesMs, regexMs, listBoxMs, noLevelsMs;
  // Run 0 warms up: the list box's and the row batch's memory are grown once.
  // Each run opens without rules, then with them, so that other work on the
  // machine weighs on both alike.
  for (int run = 0; run <= kRuns; ++run) {
    double ms = TimedOpen(path, target, run ? "run" : "warm-up", run);
    UseBenchMatching(BenchMatching::kPlain), StoreBenchFilters(path, BenchMatching::kPlain);
    double withRules = ms < 0 ? ms : TimedOpen(path, target, "  with rules and filter", run);
    UseBenchMatching(BenchMatching::kRegex), StoreBenchFilters(path, BenchMatching::kRegex);
    double withRegex = withRules < 0 ? withRules : TimedOpen(path, target, "  with regex rules and filters", run);
    UseBenchMatching(BenchMatching::kNone), StoreBenchFilters(path, BenchMatching::kNone);
    AppSettings.levelColors = 0;
    double withoutLevels = withRegex < 0 ? withRegex : TimedOpen(path, target, "  with level colours off", run);
    AppSettings.levelColors = 1;
    if (withoutLevels < 0) break;
    if (run == 0) continue;
    openMs.push_back(ms);
    rulesMs.push_back(withRules);
    regexMs.push_back(withRegex);
    noLevelsMs.push_back(withoutLevels);
    baseMs.push_back(ReadAndDecodeMs(path, tailStart));
    listBoxMs.push_back(BareListBoxMs(int(target.rows), capacity));
  }
  if (!openMs.empty()) {
    CloseFile();
    PumpFor(100);
    listBoxUse = ListBoxUse{};
    TimePolls(true);
    viewProc = Subclass(engineHost.view, TimedViewProc);
    int64_t start = Ticks();
    OpenFile(path);
    PumpUntil(LoadFinished, &target, kGiveUpMs);
    double ms = MsSince(start);
    TimePolls(false);
    Subclass(engineHost.view, viewProc);
    Note("run timing the list box: %.0f ms, %.0f ms of it in the list box (%d adds, %d resets, "
         "%d deletes)", ms, listBoxUse.ms, listBoxUse.adds, listBoxUse.resets, listBoxUse.deletes);
    NotePolls("  its polls");
    if (!pollDurationsMs.empty()) {
      size_t longest = size_t(std::max_element(pollDurationsMs.begin(), pollDurationsMs.end()) - pollDurationsMs.begin());
      Note("  longest poll: %zu of %zu, %.0f ms, started at %.0f ms", longest + 1, pollDurationsMs.size(),
           pollDurationsMs[longest], pollStartsMs[longest]);
    }
  }
  CloseFile();
  DeleteFileW(path);
  StoreBenchFilters(path, BenchMatching::kNone);
  AppSettings = Settings{};
  if (openMs.empty()) {
    AddResult("open 64 MiB to final rows", Format("failed"), Format("-"), "< 1000 ms, <= 2.5x");
    return;
  }
  double quillon = Median(openMs);
  double baseline = Median(baseMs);
  Note("read+decode alone: %.0f ms for %.1f MB; open to final rows %.0f ms (%.2fx)", baseline,
       double(target.size - tailStart) / 1e6, quillon, quillon / baseline);
  AddResult("open 64 MiB to final rows (ratio)", Format("%.0f ms (%.2fx)", quillon, quillon / baseline),
            Format("%.0f ms read+decode", baseline), "< 1000 ms, <= 2.5x");
  double withoutLevels = Median(noLevelsMs);
  AddResult("open 64 MiB, level colours on / off", Format("%.0f ms (%.2fx)", quillon, quillon / withoutLevels),
            Format("%.0f ms with them off", withoutLevels), "<= 1.1x");
  double withRules = Median(rulesMs);
  double floor = Median(listBoxMs);
  Note("a bare list box taking the %ld rows alone: %.0f ms; read+decode and it: %.0f ms", long(target.rows), floor,
       baseline + floor);
  AddResult("open 64 MiB beside its floor", Format("%.0f ms (%.2fx)", quillon, quillon / (baseline + floor)),
            Format("%.0f ms read+decode+list box", baseline + floor), "");
  AddResult("open 64 MiB, 10 rules + filter", Format("%.0f ms (%.2fx)", withRules, withRules / quillon),
            Format("%.0f ms without them", quillon), "<= 1.3x");
  double withRegex = Median(regexMs);
  AddResult("open 64 MiB, 10 regex rules + 4 filters", Format("%.0f ms (%.2fx)", withRegex, withRegex / quillon),
            Format("%.0f ms without them", quillon), "<= 1.5x");
  RunBacktrackingOpens();
}
