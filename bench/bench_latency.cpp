// The delay from a line appended to its row in the view, next to a bare
// poller that checks the file size on a 10 ms timer.
#include <cstdio>
#include <cwchar>

#include "bench/bench.h"
#include "bench/bench_follow.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"

namespace {

constexpr int kProbeLines = 300;
constexpr UINT kBarePollMs = 10;

bool AllProbesSeen(void* context) {
  const Writer& writer = *static_cast<const Writer*>(context);
  return writer.finished && arrivals.seen >= size_t(writer.probeLines);
}

void RunProbeWriter(Writer& writer, const wchar_t* path) {
  writer = Writer{};
  wcscpy(writer.path, path);
  writer.firstSeq = nextSeq;
  writer.probeLines = kProbeLines;
  nextSeq += kProbeLines;
  ResetArrivals(writer.firstSeq, kProbeLines);
  HANDLE thread = StartThread(ProbeWriterThread, &writer);
  PumpUntil(AllProbesSeen, &writer, kProbeLines * (kProbeMinGapMs + kProbeGapSpreadMs) + 3000.0);
  JoinThread(thread);
}

struct LatencyResult {
  double median;
  double p99;
  double max;
  size_t seen;
};

// The delays of the last run, added to those of earlier runs of the same kind.
LatencyResult CollectLatencies(std::vector<double>* pooled = nullptr) {
  std::vector<double> own;
  std::vector<double>& values = pooled ? *pooled : own;
  for (double v : arrivals.latencyMs)
    if (v >= 0) values.push_back(v);
  LatencyResult result{};
  result.seen = values.size();
  result.median = Percentile(values, 0.5);
  result.p99 = Percentile(values, 0.99);
  result.max = values.empty() ? 0 : values.back();
  return result;
}

// ---- The bare poller: file size every 10 ms, new lines read and stamped.

HANDLE bareFile = INVALID_HANDLE_VALUE;
uint64_t barePosition = 0;
std::vector<char> bareCarry;

void CALLBACK BarePollTick(HWND, UINT, UINT_PTR, DWORD) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(bareFile, &size) || uint64_t(size.QuadPart) <= barePosition) return;
  static char chunk[1 << 16];
  DWORD got = 0;
  while (ReadFile(bareFile, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
    barePosition += got;
    bareCarry.insert(bareCarry.end(), chunk, chunk + got);
  }
  int64_t now = Ticks();
  size_t lineStart = 0;
  for (size_t i = 0; i < bareCarry.size(); ++i) {
    if (bareCarry[i] != '\n') continue;
    uint64_t seq;
    int64_t stamp;
    if (ParseLineStamp(bareCarry.data() + lineStart, i - lineStart, &seq, &stamp))
      OnLineArrived(seq, stamp, now);
    lineStart = i + 1;
  }
  bareCarry.erase(bareCarry.begin(), bareCarry.begin() + ptrdiff_t(lineStart));
}

LatencyResult MeasureBarePoller(const wchar_t* path) {
  LatencyResult result{};
  if (!CreateFollowedFile(path)) return result;
  bareFile = CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER end{};
  SetFilePointerEx(bareFile, end, &end, FILE_END);
  barePosition = uint64_t(end.QuadPart);
  bareCarry.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, kBarePollMs, BarePollTick);
  static Writer writer;
  RunProbeWriter(writer, path);
  KillTimer(nullptr, timer);
  CloseHandle(bareFile);
  bareFile = INVALID_HANDLE_VALUE;
  DeleteFileW(path);
  return CollectLatencies();
}

// With rules and a filter every line passes, as a user with both set has them.
LatencyResult MeasureQuillon(const wchar_t* path, bool rulesAndFilter, std::vector<double>& pooled) {
  LatencyResult result{};
  if (!OpenAndSettle(path)) {
    Note("could not open %ls", path);
    return result;
  }
  UseBenchMatching(rulesAndFilter ? BenchMatching::kPlain : BenchMatching::kNone);
  TimeTheView(true);
  TimePolls(true);
  static Writer writer;
  RunProbeWriter(writer, path);
  TimePolls(false);
  TimeTheView(false);
  NotePolls(rulesAndFilter ? "Quillon, rules and filter" : "Quillon");
  UseBenchMatching(BenchMatching::kNone);
  CloseFile();
  DeleteFileW(path);
  return CollectLatencies(&pooled);
}

}  // namespace

void RunLatencyBench() {
  printf("3. append to view delay, %d lines %d-%d ms apart\n", kProbeLines, kProbeMinGapMs,
         kProbeMinGapMs + kProbeGapSpreadMs - 1);
  fflush(stdout);
  wchar_t path[MAX_PATH];
  TempPath(L"latency.log", path);
  // Without and with rules and a filter in turn, twice: the delays depend on
  // where the writer falls in the 10 ms poll, and alternating evens that out.
  std::vector<double> plainDelays, ruledDelays;
  LatencyResult quillon{}, ruled{};
  for (int round = 0; round < 2; ++round) {
    quillon = MeasureQuillon(path, false, plainDelays);
    ruled = MeasureQuillon(path, true, ruledDelays);
  }
  Note("Quillon: %zu/%d rows, median %.2f ms, p99 %.2f ms, max %.2f ms", quillon.seen, 2 * kProbeLines,
       quillon.median, quillon.p99, quillon.max);
  Note("with rules and filter: %zu/%d rows, median %.2f ms, p99 %.2f ms, max %.2f ms", ruled.seen, 2 * kProbeLines,
       ruled.median, ruled.p99, ruled.max);
  TempPath(L"latency_bare.log", path);
  LatencyResult bare = MeasureBarePoller(path);
  Note("bare %u ms poller: %zu/%d lines, median %.2f ms, p99 %.2f ms, max %.2f ms", kBarePollMs,
       bare.seen, kProbeLines, bare.median, bare.p99, bare.max);
  AddResult("append to row, median", Format("%.1f ms", quillon.median),
            Format("%.1f ms (10 ms poller)", bare.median), "< 8 ms");
  AddResult("append to row, p99", Format("%.1f ms", quillon.p99),
            Format("%.1f ms (10 ms poller)", bare.p99), "< 16 ms");
  AddResult("append to row, 10 rules + filter, median", Format("%.1f ms (%.2fx)", ruled.median, ruled.median / quillon.median),
            Format("%.1f ms without them", quillon.median), "<= 1.1x");
}

