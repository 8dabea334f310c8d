// Following a growing file: how long an appended line takes to reach the
// view, and how fast a writer may append while the view keeps up and the
// window keeps answering. Writers are threads of this process with their own
// handles; rows are timed as the list box takes them (LB_ADDSTRING) and as it
// paints them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "shell/settings.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kProbeLines = 300;
constexpr int kProbeMinGapMs = 20;
constexpr int kProbeGapSpreadMs = 11;  // gaps of 20..30 ms
constexpr UINT kBarePollMs = 10;
constexpr double kStepMs = 2500;
constexpr double kKeepUpMs = 1000;
constexpr double kAnswerMs = 100;
constexpr double kCatchUpWaitMs = 1500;
constexpr DWORD kPingGapMs = 20;
constexpr size_t kBatchLines = 640;
const int kRates[] = {1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000};

// ---- Writers

struct Writer {
  wchar_t path[MAX_PATH];
  uint64_t firstSeq;
  int probeLines;     // probe writer: this many lines, one at a time
  double rate;        // rate writer: lines per second for durationMs
  double durationMs;
  uint64_t written;
  int64_t lastStamp;
  double achievedRate;
  volatile LONG finished;
};

HANDLE OpenForAppend(const wchar_t* path) {
  return CreateFileW(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD WINAPI ProbeWriterThread(void* parameter) {
  Writer& writer = *static_cast<Writer*>(parameter);
  HANDLE file = OpenForAppend(writer.path);
  uint32_t random = 12345;
  char line[kLineBytes];
  for (int i = 0; i < writer.probeLines && file != INVALID_HANDLE_VALUE; ++i) {
    random = random * 1103515245u + 12345u;
    Sleep(DWORD(kProbeMinGapMs + int((random >> 16) % kProbeGapSpreadMs)));
    int64_t stamp = Ticks();
    FormatLine(line, writer.firstSeq + uint64_t(i), stamp, false);
    DWORD wrote = 0;
    WriteFile(file, line, DWORD(kLineBytes), &wrote, nullptr);
    writer.written = uint64_t(i) + 1;
    writer.lastStamp = stamp;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  InterlockedExchange(&writer.finished, 1);
  return 0;
}

// Keeps the lines written at rate × elapsed time, in batches of whole lines.
DWORD WINAPI RateWriterThread(void* parameter) {
  Writer& writer = *static_cast<Writer*>(parameter);
  HANDLE file = OpenForAppend(writer.path);
  std::vector<char> buffer(kBatchLines * kLineBytes);
  uint64_t written = 0;
  int64_t start = Ticks();
  for (;;) {
    double elapsed = MsSince(start);
    if (elapsed >= writer.durationMs || file == INVALID_HANDLE_VALUE) break;
    uint64_t due = uint64_t(writer.rate * elapsed / 1000.0);
    while (written < due) {
      size_t lines = size_t(std::min<uint64_t>(due - written, kBatchLines));
      int64_t stamp = Ticks();
      for (size_t i = 0; i < lines; ++i)
        FormatLine(buffer.data() + i * kLineBytes, writer.firstSeq + written + i, stamp, false);
      DWORD wrote = 0;
      WriteFile(file, buffer.data(), DWORD(lines * kLineBytes), &wrote, nullptr);
      written += lines;
      writer.lastStamp = stamp;
    }
    Sleep(1);
  }
  writer.achievedRate = double(written) * 1000.0 / MsSince(start);
  writer.written = written;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  InterlockedExchange(&writer.finished, 1);
  return 0;
}

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
  return CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
}

void JoinThread(HANDLE thread) {
  // Pumps meanwhile: a thread may be waiting on our window.
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
    PumpFor(0);
  CloseHandle(thread);
}

// ---- Arrivals, from the view or from the bare poller

struct Arrivals {
  uint64_t firstSeq;
  std::vector<double> latencyMs;  // probe lines by seq, negative until seen
  size_t seen;
  uint64_t newestAdded;
  uint64_t newestPainted;
  bool anyAdded;
  bool anyPainted;
  bool unpainted;
  int64_t oldestUnpaintedStamp;
  double maxAddLagMs;
  double maxPaintLagMs;
  size_t paints;
};
Arrivals arrivals;

void ResetArrivals(uint64_t firstSeq, size_t probeLines) {
  arrivals = Arrivals{};
  arrivals.firstSeq = firstSeq;
  arrivals.latencyMs.assign(probeLines, -1.0);
}

void OnLineArrived(uint64_t seq, int64_t stamp, int64_t now) {
  if (seq < arrivals.firstSeq || stamp == 0) return;
  double lag = TicksToMs(now - stamp);
  size_t index = size_t(seq - arrivals.firstSeq);
  if (index < arrivals.latencyMs.size() && arrivals.latencyMs[index] < 0) {
    arrivals.latencyMs[index] = lag;
    ++arrivals.seen;
  }
  arrivals.maxAddLagMs = std::max(arrivals.maxAddLagMs, lag);
  if (!arrivals.unpainted) {
    arrivals.unpainted = true;
    arrivals.oldestUnpaintedStamp = stamp;
  }
  arrivals.newestAdded = std::max(arrivals.newestAdded, seq);
  arrivals.anyAdded = true;
}

// Everything added so far is on screen now; the oldest of it waited longest.
void OnViewPainted(int64_t now) {
  ++arrivals.paints;
  if (!arrivals.unpainted) return;
  arrivals.unpainted = false;
  arrivals.maxPaintLagMs =
      std::max(arrivals.maxPaintLagMs, TicksToMs(now - arrivals.oldestUnpaintedStamp));
  arrivals.newestPainted = arrivals.newestAdded;
  arrivals.anyPainted = true;
}

WNDPROC listBoxProc = nullptr;

LRESULT CALLBACK TimedViewProc(HWND view, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = CallWindowProcW(listBoxProc, view, message, wparam, lparam);
  if (message == LB_ADDSTRING) {
    ++viewAdds;
    uint64_t seq;
    int64_t stamp;
    if (ParseRowStamp(reinterpret_cast<const wchar_t*>(lparam), &seq, &stamp))
      OnLineArrived(seq, stamp, Ticks());
  } else if (message == WM_PAINT) {
    OnViewPainted(Ticks());
  }
  return result;
}

void TimeTheView(bool on) {
  HWND view = engineHost.view;
  if (on)
    listBoxProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedViewProc)));
  else
    SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listBoxProc));
}

// ---- Files

// Above the sequence numbers of the lines a followed file starts with.
uint64_t nextSeq = 1000000;

bool CreateFollowedFile(const wchar_t* path) {
  std::vector<uint8_t> text = MakeLogText(4 * kLineBytes);
  return WriteWholeFile(path, text.data(), text.size());
}

bool FollowerIdle(void* context) {
  return !PollContinues() && LastFileSize() == *static_cast<uint64_t*>(context);
}

bool OpenAndSettle(const wchar_t* path) {
  if (!CreateFollowedFile(path) || !OpenFile(path)) return false;
  static uint64_t size;
  size = 4 * kLineBytes;
  return PumpUntil(FollowerIdle, &size, 5000);
}

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

LatencyResult CollectLatencies() {
  std::vector<double> values;
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

LatencyResult MeasureQuillon(const wchar_t* path) {
  LatencyResult result{};
  if (!OpenAndSettle(path)) {
    Note("could not open %ls", path);
    return result;
  }
  TimeTheView(true);
  TimePolls(true);
  static Writer writer;
  RunProbeWriter(writer, path);
  TimePolls(false);
  TimeTheView(false);
  NotePolls("Quillon");
  CloseFile();
  DeleteFileW(path);
  return CollectLatencies();
}

// ---- Answer time of the window, from another thread

struct Pinger {
  HWND window;
  volatile LONG stop;
  std::vector<double> answersMs;
};

DWORD WINAPI PingThread(void* parameter) {
  Pinger& pinger = *static_cast<Pinger*>(parameter);
  while (!pinger.stop) {
    int64_t start = Ticks();
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(pinger.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
    pinger.answersMs.push_back(MsSince(start));
    Sleep(kPingGapMs);
  }
  return 0;
}

bool WriterFinished(void* context) { return static_cast<Writer*>(context)->finished != 0; }

bool LastLinePainted(void* context) {
  const Writer& writer = *static_cast<const Writer*>(context);
  return writer.written == 0 ||
         (arrivals.anyPainted && arrivals.newestPainted >= writer.firstSeq + writer.written - 1);
}

struct StepResult {
  double achievedRate;
  double maxPaintLagMs;
  double maxAnswerMs;
  double p99AnswerMs;
  bool caughtUp;
  bool passed;
};

StepResult RunRateStep(const wchar_t* path, int rate) {
  static Writer writer;
  writer = Writer{};
  wcscpy(writer.path, path);
  writer.firstSeq = nextSeq;
  writer.rate = rate;
  writer.durationMs = kStepMs;
  ResetArrivals(writer.firstSeq, 0);
  static Pinger pinger;
  pinger.window = engineHost.window;
  pinger.stop = 0;
  pinger.answersMs.clear();

  HANDLE pingThread = StartThread(PingThread, &pinger);
  HANDLE writeThread = StartThread(RateWriterThread, &writer);
  PumpUntil(WriterFinished, &writer, kStepMs + 5000);
  bool caughtUp = PumpUntil(LastLinePainted, &writer, kCatchUpWaitMs);
  double lastLag = TicksToMs(Ticks() - writer.lastStamp);
  InterlockedExchange(&pinger.stop, 1);
  JoinThread(pingThread);
  JoinThread(writeThread);
  nextSeq += writer.written + 1;

  StepResult result{};
  result.achievedRate = writer.achievedRate;
  result.caughtUp = caughtUp;
  result.maxPaintLagMs = caughtUp ? arrivals.maxPaintLagMs : std::max(arrivals.maxPaintLagMs, lastLag);
  std::vector<double> answers = pinger.answersMs;
  result.p99AnswerMs = Percentile(answers, 0.99);
  result.maxAnswerMs = answers.empty() ? 0 : answers.back();
  result.passed = caughtUp && result.maxPaintLagMs <= kKeepUpMs && result.maxAnswerMs <= kAnswerMs;
  Note("%6d lines/s (wrote %.0f/s): view lag max %.0f ms (rows taken %.0f ms), answer max %.0f ms "
       "p99 %.0f ms over %zu pings, %zu paints -> %s",
       rate, result.achievedRate, result.maxPaintLagMs, arrivals.maxAddLagMs, result.maxAnswerMs,
       result.p99AnswerMs, answers.size(), arrivals.paints, result.passed ? "ok" : "FAILS");
  return result;
}

}  // namespace

void RunLatencyBench() {
  printf("3. append to view delay, %d lines %d-%d ms apart\n", kProbeLines, kProbeMinGapMs,
         kProbeMinGapMs + kProbeGapSpreadMs - 1);
  fflush(stdout);
  wchar_t path[MAX_PATH];
  TempPath(L"latency.log", path);
  LatencyResult quillon = MeasureQuillon(path);
  Note("Quillon: %zu/%d rows, median %.2f ms, p99 %.2f ms, max %.2f ms", quillon.seen, kProbeLines,
       quillon.median, quillon.p99, quillon.max);
  TempPath(L"latency_bare.log", path);
  LatencyResult bare = MeasureBarePoller(path);
  Note("bare %u ms poller: %zu/%d lines, median %.2f ms, p99 %.2f ms, max %.2f ms", kBarePollMs,
       bare.seen, kProbeLines, bare.median, bare.p99, bare.max);
  AddResult("append to row, median", Format("%.1f ms", quillon.median),
            Format("%.1f ms (10 ms poller)", bare.median), "< 8 ms");
  AddResult("append to row, p99", Format("%.1f ms", quillon.p99),
            Format("%.1f ms (10 ms poller)", bare.p99), "< 16 ms");
}

void RunRateBench() {
  printf("4. writer rate the view keeps up with (lag <= %.0f ms, answer <= %.0f ms), %.1f s steps, "
         "lines limit %u\n",
         kKeepUpMs, kAnswerMs, kStepMs / 1000, unsigned(AppSettings.linesLimit));
  fflush(stdout);
  wchar_t path[MAX_PATH];
  TempPath(L"rate.log", path);
  if (!OpenAndSettle(path)) {
    Note("could not open %ls", path);
    return;
  }
  TimeTheView(true);
  TimePolls(true);
  int best = 0;
  StepResult bestStep{};
  for (int rate : kRates) {
    StepResult step = RunRateStep(path, rate);
    if (!step.passed) break;
    best = rate;
    bestStep = step;
  }
  TimePolls(false);
  TimeTheView(false);
  NotePolls("all steps");
  CloseFile();
  DeleteFileW(path);
  const char* goal = "view lag <= 1 s, answer <= 100 ms";
  if (best == 0) {
    AddResult("writer rate kept up", Format("< %d lines/s", kRates[0]), Format("-"), goal);
    return;
  }
  bool topStep = best == kRates[std::size(kRates) - 1];
  AddResult("writer rate kept up", Format("%s%d lines/s", topStep ? ">= " : "", best), Format("-"),
            goal);
  AddResult("  at that rate: view lag, answer",
            Format("%.0f ms, %.0f ms", bestStep.maxPaintLagMs, bestStep.maxAnswerMs), Format("-"),
            "<= 1000 ms, <= 100 ms");
}
