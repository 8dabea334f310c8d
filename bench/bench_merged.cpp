// Several files in one view (part m): opening eight logs of 1 GiB to their
// final rows beside opening one; the delay seen from outside and idle CPU
// with eight files followed (bench_outside.cpp, bench_idle.cpp); and eight
// writers at 10,000 lines a second each: how long the window takes to answer
// meanwhile, whether the view then holds exactly the last rows of the files'
// merge, and the memory over the run.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "core/merge_order.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "ui/settings.h"

namespace {

constexpr int kFiles = 8;
constexpr uint64_t kGiB = uint64_t(1) << 30;
constexpr size_t kTailBytes = size_t(4) << 20;  // real lines at the end of each 1 GiB file
constexpr int kOpenRuns = 7;
constexpr int kLinesPerSecond = 10000;
constexpr double kWriteMs = 8000;
constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void MergedPath(int index, wchar_t* out) {
  wchar_t name[32];
  swprintf(name, 32, L"merged%d.log", index);
  TempPath(name, out);
}

// A file of 1 GiB whose first bytes are a hole (NULs, sparse on the disk)
// and whose last kTailBytes are whole log lines, the last one ended too (a
// merged view holds back a narrow row of a line not yet ended): the open
// reads only its end.
bool WriteGiBLog(const wchar_t* path, const std::vector<uint8_t>& tail) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(kGiB - tail.size() - 1);
  DWORD written = 0;
  bool ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
            WriteFile(file, "\n", 1, &written, nullptr) &&  // the hole ends in a line feed
            WriteFile(file, tail.data(), DWORD(tail.size()), &written, nullptr);
  CloseHandle(file);
  return ok;
}

struct Settled {
  LRESULT rows;
  uint64_t size;
};

bool ViewSettled(void* context) {
  const Settled& target = *static_cast<const Settled*>(context);
  return !PollContinues() && LastFileSize() == target.size &&
         SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) == target.rows && !HasBatchedRows();
}

// From the call to the view holding its final rows, in ms; negative on failure.
double OpenMs(const wchar_t* const* names, size_t count, uint64_t size) {
  static Settled target;
  target = Settled{LRESULT(AppSettings.linesLimit), size};
  int64_t start = Ticks();
  bool ok = (count == 1 ? OpenFile(names[0]) : OpenFiles(names, count)) && PumpUntil(ViewSettled, &target, 60000);
  double ms = MsSince(start);
  CloseFile();
  return ok ? ms : -1;
}

// The logs of one incident: line j of file i is stamped j * kFiles + i ms
// after noon, so the files' lines interleave one by one.
void StampLines(std::vector<uint8_t>& text, int file) {
  constexpr size_t kTimeAt = 11;  // past "2024-05-01 "
  for (size_t line = 0; (line + 1) * kLineBytes <= text.size(); ++line) {
    uint64_t ms = uint64_t(line) * kFiles + uint64_t(file);
    char time[16];
    snprintf(time, sizeof time, "%02u:%02u:%02u.%03u", unsigned(12 + ms / 3600000), unsigned(ms / 60000 % 60),
             unsigned(ms / 1000 % 60), unsigned(ms % 1000));
    memcpy(text.data() + line * kLineBytes + kTimeAt, time, 12);
  }
}

void MeasureOpen() {
  wchar_t paths[kFiles][MAX_PATH];
  const wchar_t* names[kFiles];
  bool ok = true;
  for (int i = 0; i < kFiles; ++i) {
    MergedPath(i, paths[i]);
    names[i] = paths[i];
    std::vector<uint8_t> tail = MakeLogText(kTailBytes);
    StampLines(tail, i);
    ok = ok && WriteGiBLog(paths[i], tail);
  }
  std::vector<double> one, eight;
  for (int run = 0; run < kOpenRuns && ok; ++run) {
    double single = OpenMs(names, 1, kGiB), all = OpenMs(names, kFiles, kGiB);
    ok = single >= 0 && all >= 0;
    one.push_back(single), eight.push_back(all);
  }
  for (const wchar_t* path : names) DeleteFileW(path);
  if (!ok) return Note("an open did not reach its rows");
  double a = Percentile(one, 0.5), b = Percentile(eight, 0.5);
  Note("open to final rows, lines limit %u: one 1 GiB log median %.1f ms, eight median %.1f ms", AppSettings.linesLimit,
       a, b);
  AddResult("open 8 logs of 1 GiB to final rows", Format("%.1f ms (%.2fx)", b, a > 0 ? b / a : 0),
            Format("%.1f ms (one)", a), "<= 2x");
}

// ---- Eight writers.

struct Writer {
  int index;
  wchar_t path[MAX_PATH];
  std::atomic<bool>* stop;
  uint64_t lines = 0;
};

// Line n of writer k is stamped 10:00:00 plus n tenths of a millisecond, the
// same clock for every writer: the merge interleaves them.
std::string WriterLine(int writer, uint64_t n) {
  uint64_t ms = n / 10;
  char line[128];
  snprintf(line, sizeof line, "2026-12-08 %02llu:%02llu:%02llu.%03llu INFO writer %d line %08llu\r\n",
           static_cast<unsigned long long>(10 + ms / 3600000), static_cast<unsigned long long>(ms / 60000 % 60),
           static_cast<unsigned long long>(ms / 1000 % 60), static_cast<unsigned long long>(ms % 1000), writer,
           static_cast<unsigned long long>(n));
  return line;
}

DWORD WINAPI WriteLines(void* context) {
  Writer& writer = *static_cast<Writer*>(context);
  HANDLE file = CreateFileW(writer.path, FILE_APPEND_DATA, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  int64_t start = Ticks();
  while (!writer.stop->load()) {
    // As many lines as the rate owes by now, in one write.
    uint64_t due = uint64_t(MsSince(start) * kLinesPerSecond / 1000);
    std::string text;
    for (; writer.lines < due; ++writer.lines) text += WriterLine(writer.index, writer.lines);
    DWORD written;
    if (!text.empty()) WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    Sleep(5);
  }
  CloseHandle(file);
  return 0;
}

// Asks the window every 20 ms, the way the system does to tell a hung one.
struct Answers {
  std::atomic<bool>* stop;
  std::vector<double> ms;
};

DWORD WINAPI AskWindow(void* context) {
  Answers& answers = *static_cast<Answers*>(context);
  while (!answers.stop->load()) {
    int64_t start = Ticks();
    DWORD_PTR result;
    SendMessageTimeoutW(engineHost.window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    answers.ms.push_back(MsSince(start));
    Sleep(20);
  }
  return 0;
}

double MemoryMiB() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return double(counters.PagefileUsage) / (1 << 20);  // Wine leaves PrivateUsage 0
}

// The files' lines merged as the view orders them, the last count of them.
std::vector<std::wstring> LastMergedLines(const Writer* writers, size_t count) {
  struct Keyed {
    MergeKey key;
    std::wstring text;
  };
  std::vector<Keyed> all;
  for (int i = 0; i < kFiles; ++i) {
    LineKeyer keyer;
    keyer.file = uint32_t(i);
    keyer.hint = YearHint{2026, 12};
    for (uint64_t n = 0; n < writers[i].lines; ++n) {
      std::string line = WriterLine(i, n);
      std::u16string units(line.begin(), line.end() - 2);
      all.push_back(Keyed{KeyLine(&keyer, units.data(), units.size()), std::wstring(line.begin(), line.end() - 2)});
    }
  }
  std::sort(all.begin(), all.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  std::vector<std::wstring> last;
  for (size_t i = all.size() > count ? all.size() - count : 0; i < all.size(); ++i) last.push_back(all[i].text);
  return last;
}

std::vector<std::wstring> ViewRowsNow() {
  std::vector<std::wstring> rows;
  LRESULT count = SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0);
  static wchar_t row[kMaxRowUnits + 1];
  for (LRESULT i = 0; i < count; ++i) rows.emplace_back(row, ReadViewRow(engineHost.view, int(i), row));
  return rows;
}

struct Expected {
  std::wstring last;
};

bool LastRowArrived(void* context) {
  return !PollContinues() && LastRowIs(engineHost.view, static_cast<Expected*>(context)->last.c_str());
}

void MeasureWriters() {
  Writer writers[kFiles];
  std::atomic<bool> stop{false};
  const wchar_t* names[kFiles];
  for (int i = 0; i < kFiles; ++i) {
    writers[i].index = i, writers[i].stop = &stop;
    MergedPath(i, writers[i].path);
    names[i] = writers[i].path;
    WriteWholeFile(writers[i].path, "", 0);
  }
  if (!OpenFiles(names, kFiles)) return Note("the writers' files did not open");
  PumpFor(300);
  double memoryBefore = MemoryMiB(), memoryMost = memoryBefore;
  Answers answers{&stop, {}};
  HANDLE threads[kFiles + 1];
  for (int i = 0; i < kFiles; ++i) threads[i] = CreateThread(nullptr, 0, WriteLines, &writers[i], 0, nullptr);
  threads[kFiles] = CreateThread(nullptr, 0, AskWindow, &answers, 0, nullptr);
  int64_t start = Ticks();
  while (MsSince(start) < kWriteMs) {
    PumpFor(250);
    memoryMost = std::max(memoryMost, MemoryMiB());
  }
  stop = true;
  // The window keeps answering its questioner until the threads are done.
  while (WaitForMultipleObjects(kFiles + 1, threads, TRUE, 0) == WAIT_TIMEOUT) PumpFor(10);
  for (HANDLE thread : threads) CloseHandle(thread);
  uint64_t lines = 0;
  for (const Writer& writer : writers) lines += writer.lines;
  std::vector<std::wstring> expected = LastMergedLines(writers, AppSettings.linesLimit);
  Expected last{expected.empty() ? L"" : expected.back()};
  bool arrived = PumpUntil(LastRowArrived, &last, 30000);
  PumpFor(200);
  std::vector<std::wstring> rows = ViewRowsNow();
  size_t wrong = 0;
  for (size_t i = 0; i < std::max(rows.size(), expected.size()); ++i)
    wrong += i >= rows.size() || i >= expected.size() || rows[i] != expected[i];
  double memoryAfter = MemoryMiB();
  CloseFile();
  for (const wchar_t* path : names) DeleteFileW(path);
  double slowest = answers.ms.empty() ? 0 : *std::max_element(answers.ms.begin(), answers.ms.end());
  double p99 = Percentile(answers.ms, 0.99);
  Note("8 writers, %d lines/s each for %.0f s: %llu lines; the window answered %zu times, p99 %.1f ms, slowest %.1f ms; "
       "last row %s; %zu of the view's %zu rows differ from the files' merge; memory %.1f MiB before, at most %.1f, "
       "%.1f after",
       kLinesPerSecond, kWriteMs / 1000, static_cast<unsigned long long>(lines), answers.ms.size(), p99, slowest,
       arrived ? "arrived" : "never arrived", wrong, rows.size(), memoryBefore, memoryMost, memoryAfter);
  AddResult("8 writers at 10,000 lines/s: window answers, slowest", Format("%.1f ms", slowest), Format("-"),
            "<= 100 ms");
  AddResult("8 writers: rows differing from the files' merge", Format("%zu of %zu", wrong, rows.size()), Format("-"),
            "0");
  AddResult("8 writers: memory over the run", Format("%.1f -> %.1f MiB", memoryBefore, memoryMost), Format("-"),
            "flat");
}

}  // namespace

void RunMergedBench() {
  printf("m. several files in one view\n");
  fflush(stdout);
  Settings saved = AppSettings;
  MeasureOpen();
  AppSettings = saved;
  MeasureWriters();
  AppSettings = saved;
  RunMergedOutsideBench();
  RunMergedIdleBench();
}
