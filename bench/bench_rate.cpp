// The highest rate a writer may append at while the view keeps up within a
// second and the window answers within 100 ms, in steps of rising rate.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "bench/bench_follow.h"

#include <psapi.h>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "ui/settings.h"

namespace {

constexpr double kStepMs = 2500;
constexpr double kKeepUpMs = 1000;
constexpr double kAnswerMs = 100;
constexpr double kCatchUpWaitMs = 1500;
const int kRates[] = {1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000};

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
  StartPinger(pinger, engineHost.window);
  HANDLE writeThread = StartThread(RateWriterThread, &writer);
  PumpUntil(WriterFinished, &writer, kStepMs + 5000);
  bool caughtUp = PumpUntil(LastLinePainted, &writer, kCatchUpWaitMs);
  double lastLag = TicksToMs(Ticks() - writer.lastStamp);
  StopPinger(pinger);
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

double CommittedMiB() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return double(counters.PagefileUsage) / (1 << 20);  // Wine leaves PrivateUsage 0
}

}  // namespace

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
  double rows = 0, memoryBefore = CommittedMiB();
  for (int rate : kRates) {
    StepResult step = RunRateStep(path, rate);
    rows += step.achievedRate * kStepMs / 1000;
    if (!step.passed) break;
    best = rate;
    bestStep = step;
  }
  double memoryAfter = CommittedMiB();
  // Once more at the best rate with ten rules and a filter every line passes,
  // then with ten rules and four filters that are regular expressions.
  UseBenchMatching(BenchMatching::kPlain);
  StepResult ruled = best ? RunRateStep(path, best) : StepResult{};
  double ruledRows = ruled.achievedRate * kStepMs / 1000, memoryRuled = CommittedMiB();
  UseBenchMatching(BenchMatching::kRegex);
  StepResult regex = best ? RunRateStep(path, best) : StepResult{};
  double regexRows = regex.achievedRate * kStepMs / 1000, memoryRegex = CommittedMiB();
  UseBenchMatching(BenchMatching::kNone);
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
  AddResult("  with 10 rules + filter: lag, answer",
            Format("%.0f ms, %.0f ms%s", ruled.maxPaintLagMs, ruled.maxAnswerMs, ruled.passed ? "" : " FAILS"),
            Format("-"), "<= 1000 ms, <= 100 ms");
  AddResult("committed memory over the steps",
            Format("%.1f MiB, %.1f M rows", memoryAfter, rows / 1e6), Format("%.1f MiB before", memoryBefore),
            "flat");
  AddResult("  then 10 rules + filter",
            Format("%.1f MiB, %.1f M rows", memoryRuled, ruledRows / 1e6), Format("%.1f MiB", memoryAfter), "flat");
  AddResult("  with 10 regex rules + 4 filters: lag, answer",
            Format("%.0f ms, %.0f ms%s", regex.maxPaintLagMs, regex.maxAnswerMs, regex.passed ? "" : " FAILS"),
            Format("-"), "<= 1000 ms, <= 100 ms");
  AddResult("  then 10 regex rules + 4 filters",
            Format("%.1f MiB, %.1f M rows", memoryRegex, regexRows / 1e6), Format("%.1f MiB", memoryRuled), "flat");
}
