// Go to time on a 6 GiB log in the system's cache: the search for the first
// line stamped at or after a time, on its own handle as the program opens it,
// timed for many times; its reads counted and its answers checked.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench.h"
#include "core/time_search.h"
#include "engine/charset.h"
#include "engine/file_follower.h"

namespace {

// Stamped lines of 100 bytes, 250 ms apart from 2025-01-01 00:00:00.000; after
// every 50th, a stack trace of three unstamped lines of 50 bytes.
constexpr size_t kStampedBytes = 100, kTraceBytes = 50, kTraceLines = 3, kLinesPerTrace = 50;
constexpr uint64_t kStepMs = 250;
constexpr uint64_t kGroupBytes = kLinesPerTrace * kStampedBytes + kTraceLines * kTraceBytes;
constexpr uint64_t kFileBytes = (uint64_t(6) << 30) / kGroupBytes * kGroupBytes;  // whole groups
constexpr int kSearches = 400;

void Digits(char* at, uint64_t value, int count) {
  for (int i = count - 1; i >= 0; --i, value /= 10) at[i] = char('0' + value % 10);
}

const uint32_t kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

struct Moment {
  uint32_t year = 2025, month = 1, day = 1;
  uint64_t clock = 0;  // ms into the day
  void Advance(uint64_t ms) {
    for (clock += ms; clock >= 86400000; clock -= 86400000) {
      bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
      if (++day > kMonthDays[month - 1] + (month == 2 && leap)) {
        day = 1;
        if (++month > 12) month = 1, ++year;
      }
    }
  }
  void Write(char* at) const {
    Digits(at, year, 4), Digits(at + 5, month, 2), Digits(at + 8, day, 2), Digits(at + 11, clock / 3600000, 2);
    Digits(at + 14, clock / 60000 % 60, 2), Digits(at + 17, clock / 1000 % 60, 2), Digits(at + 20, clock % 1000, 3);
  }
  int64_t Time() const {
    return TimeKey(year, month, day, uint32_t(clock / 3600000), uint32_t(clock / 60000 % 60),
                   uint32_t(clock / 1000 % 60), uint32_t(clock % 1000));
  }
};

// The time of a moment given in ms since the log's start.
int64_t TimeAt(uint64_t ms) {
  Moment moment;
  moment.Advance(ms);
  return moment.Time();
}

uint64_t LineOffset(uint64_t line) { return line / kLinesPerTrace * kGroupBytes + line % kLinesPerTrace * kStampedBytes; }

// Writes the log once; a file of the right size from an earlier run is kept.
bool MakeLog(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size{};
  bool kept = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) && uint64_t(size.QuadPart) == kFileBytes;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (kept) return true;
  Note("writing the 6 GiB log once: %ls", path);
  file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<char> buffer(kGroupBytes * 1024 + 1);
  char trace[kTraceBytes + 1];
  snprintf(trace, sizeof trace, "%-48s\r\n", "    at com.example.Worker.run(Worker.java:42)");
  uint64_t written = 0, line = 0;
  Moment moment;
  int64_t started = Ticks();
  while (written < kFileBytes) {
    size_t used = 0;
    for (size_t group = 0; group < 1024; ++group) {
      for (size_t k = 0; k < kLinesPerTrace; ++k, ++line) {
        char* out = buffer.data() + used;
        constexpr char kHead[] = "0000-00-00 00:00:00,000 INFO  [worker-00] request ";
        constexpr size_t kHeadBytes = sizeof kHead - 1;
        memcpy(out, kHead, kHeadBytes);
        memset(out + kHeadBytes, ' ', kStampedBytes - 2 - kHeadBytes);
        memcpy(out + kStampedBytes - 2, "\r\n", 2);
        moment.Write(out), Digits(out + 38, line % 16, 2), Digits(out + kHeadBytes, line, 12);
        moment.Advance(kStepMs);
        used += kStampedBytes;
      }
      for (size_t k = 0; k < kTraceLines; ++k) memcpy(buffer.data() + used, trace, kTraceBytes), used += kTraceBytes;
    }
    DWORD count = DWORD(std::min<uint64_t>(used, kFileBytes - written)), done = 0;
    if (!WriteFile(file, buffer.data(), count, &done, nullptr) || done != count) {
      CloseHandle(file);
      return false;
    }
    written += count;
  }
  CloseHandle(file);
  Note("written in %.1f s", MsSince(started) / 1000);
  return true;
}

alignas(8) uint8_t window[kChunkBytes];

struct Searched {
  double ms;
  size_t steps;  // the binary search's windows
  size_t reads;  // all windows: the steps' and those read on after them
  bool right;
};

// One search as the program makes it: its own handle opened, searched, closed.
Searched SearchOnce(const wchar_t* path, int64_t wanted, uint64_t expected, bool pastEnd) {
  int64_t started = Ticks();
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  TimeSearch search{HandleReader(file), 0, uint64_t(size.QuadPart), kCharsetUtf8, YearHint{2025, 12},
                    &SystemConversions(), window, sizeof window};
  uint64_t line = 0;
  TimeFound found = FindLineAtTime(search, wanted, &line);
  CloseHandle(file);
  double ms = MsSince(started);
  bool right = pastEnd ? found == TimeFound::kPastEnd : found == TimeFound::kLine && line == expected;
  return {ms, search.reads, search.reads + search.readsOn, right};
}

}  // namespace

void RunTimeSearchBench() {
  printf("t. go to time on a 6 GiB UTF-8 log in the cache\n");
  fflush(stdout);
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  wcscpy(wcsrchr(path, L'\\') + 1, L"go_to_time_6g.log");
  if (!MakeLog(path)) {
    Note("cannot write %ls", path);
    return;
  }
  uint64_t lines = kFileBytes / kGroupBytes * kLinesPerTrace;
  uint64_t lastMs = (lines - 1) * kStepMs;
  // Bring the file into the cache, as a log just written or followed is.
  {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    static uint8_t chunk[4 << 20];
    DWORD got = 0;
    int64_t started = Ticks();
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {}
    CloseHandle(file);
    Note("read through once in %.1f s", MsSince(started) / 1000);
  }
  std::vector<double> times;
  std::vector<double> readCounts, stepCounts;
  int wrong = 0;
  uint64_t seed = 12345;
  for (int i = 0; i < kSearches; ++i) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    // Mostly within the log, between stamps or on one; a few before it and past it.
    uint64_t ms = (seed >> 20) % (lastMs + kStepMs * 4);
    if (i % 50 == 0) ms = 0;
    bool pastEnd = ms > lastMs;
    uint64_t expectedLine = (ms + kStepMs - 1) / kStepMs;
    Searched result = SearchOnce(path, TimeAt(ms), LineOffset(expectedLine), pastEnd);
    times.push_back(result.ms);
    readCounts.push_back(double(result.reads));
    stepCounts.push_back(double(result.steps));
    wrong += !result.right;
  }
  double worstReads = *std::max_element(readCounts.begin(), readCounts.end());
  double medianMs = Percentile(times, 0.5), p99Ms = Percentile(times, 0.99), worstMs = times.back();
  Note("%d searches: median %.3f ms, p99 %.3f ms, worst %.3f ms; reads median %.0f, worst %.0f (steps worst %.0f); "
       "wrong answers %d",
       kSearches, medianMs, p99Ms, worstMs, Percentile(readCounts, 0.5), worstReads,
       *std::max_element(stepCounts.begin(), stepCounts.end()), wrong);
  AddResult("go to time, 6 GiB log, per search", Format("%.2f ms (p99 %.2f)", medianMs, p99Ms),
            Format("%.0f reads at most", worstReads), "< 50 ms");
  AddResult("go to time answers wrong", Format("%d of %d", wrong, kSearches), Format("-"), "0");
}
