// Browsing a large log: loading the stretch before the first row, and the
// stretch around a line anywhere in the file, until the view shows it,
// against reading and decoding the same bytes alone; and the memory a long
// way back costs.
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/bench.h"
#include "commands/bookmark_commands.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "ui/settings.h"

namespace {

constexpr size_t kFileBytes = size_t(1) << 30;
constexpr int kEarlierLoads = 40;
constexpr int kJumps = 9;

double CommittedMiB() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return double(counters.PagefileUsage) / (1 << 20);
}

// The rows on screen once the view has painted them.
void Painted() { UpdateWindow(engineHost.view); }

// Reading and decoding bytes [from, to) alone, no rows. Returns ms.
double ReadAndDecodeMs(HANDLE file, uint64_t from, uint64_t to) {
  static uint8_t bytes[kChunkBytes];
  static wchar_t units[kChunkUnits];
  int64_t start = Ticks();
  size_t carry = 0;
  while (from < to) {
    OVERLAPPED at{};
    at.Offset = DWORD(from), at.OffsetHigh = DWORD(from >> 32);
    DWORD got = 0;
    DWORD wanted = DWORD(std::min<uint64_t>(kChunkBytes - carry, to - from));
    if (!ReadFile(file, bytes + carry, wanted, &got, &at) || got == 0) break;
    from += got;
    size_t total = carry + got, leftover = 0;
    DecodeChunk(kCharsetUtf8, bytes, total, AsText(units), &leftover, SystemConversions());
    memmove(bytes, bytes + total - leftover, leftover);
    carry = leftover;
  }
  return MsSince(start);
}

double Median(std::vector<double> values) { return Percentile(values, 0.5); }
double Longest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

}  // namespace

void RunBrowseBench() {
  printf("b. browse a %u MiB UTF-8 log, kb limit %u, lines limit %u (16384 around a line)\n",
         unsigned(kFileBytes >> 20), unsigned(AppSettings.kbLimit), unsigned(AppSettings.linesLimit));
  fflush(stdout);
  wchar_t path[MAX_PATH];
  TempPath(L"browse.log", path);
  {
    std::vector<uint8_t> text = MakeLogText(kFileBytes - 3);
    text.insert(text.begin(), {0xEF, 0xBB, 0xBF});
    if (!WriteWholeFile(path, text.data(), text.size())) return Note("cannot write %ls", path);
  }
  HANDLE reader = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ReadAndDecodeMs(reader, 0, kFileBytes);  // into the cache
  double before = CommittedMiB();
  int64_t openStart = Ticks();
  if (!OpenFile(path)) return Note("OpenFile failed");
  while (PollContinues() || SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) == 0) PumpFor(5);
  Painted();
  Note("open: rows shown after %.0f ms", MsSince(openStart));
  double afterOpen = CommittedMiB();

  std::vector<double> earlierMs, earlierFloorMs;
  for (int i = 0; i < kEarlierLoads; ++i) {
    uint64_t end = StretchStart();
    int64_t start = Ticks();
    if (!LoadEarlierRows()) break;
    Painted();
    earlierMs.push_back(MsSince(start));
    earlierFloorMs.push_back(ReadAndDecodeMs(reader, StretchStart(), end));
  }
  double afterEarlier = CommittedMiB();
  Note("earlier rows: %zu loads, median %.1f ms, longest %.1f ms; reading and decoding them alone %.1f ms",
       earlierMs.size(), Median(earlierMs), Longest(earlierMs), Median(earlierFloorMs));

  std::vector<double> jumpMs, jumpFloorMs;
  // Then with room for the kb limit's worth of rows: 256 KiB stretches.
  AppSettings.linesLimit = 16384;
  for (int i = 1; i <= kJumps; ++i) {
    uint64_t at = FindFirstWholeLine(reader, kFileBytes / (kJumps + 1) * uint64_t(i), kCharsetUtf8);
    int64_t start = Ticks();
    int row = ShowLineAt(at, 0, 4);
    Painted();
    jumpMs.push_back(MsSince(start));
    jumpFloorMs.push_back(ReadAndDecodeMs(reader, StretchStart(), StretchEnd()));
    if (row < 0) Note("  the line at %llu has no row", static_cast<unsigned long long>(at));
  }
  int64_t startOfFile = Ticks();
  LoadStartOfFile();
  Painted();
  double startMs = MsSince(startOfFile);
  double afterJumps = CommittedMiB();
  Note("around a line: %d loads, median %.1f ms, longest %.1f ms (%llu KiB each); reading and decoding them alone "
       "%.1f ms; start of file %.1f ms", kJumps, Median(jumpMs), Longest(jumpMs),
       static_cast<unsigned long long>((StretchEnd() - StretchStart()) >> 10), Median(jumpFloorMs), startMs);
  AppSettings.linesLimit = Settings{}.linesLimit;

  // A bookmark in the middle of the file, 512 MiB from either end: Previous
  // bookmark from the end and Next bookmark from the start, until painted.
  ShowLineAt(FindFirstWholeLine(reader, kFileBytes / 2, kCharsetUtf8), 0, 0);
  ToggleBookmarkOfRow(0);
  std::vector<double> previousMs, nextMs;
  for (int i = 0; i < 5; ++i) {
    FollowEndAgain();
    while (PollContinues() || SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) == 0) PumpFor(5);
    Painted();
    SendMessageW(engineHost.view, LB_SETCARETINDEX, WPARAM(SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) - 1), FALSE);
    int64_t start = Ticks();
    GoToBookmark(false);
    Painted();
    previousMs.push_back(MsSince(start));
    LoadStartOfFile();
    Painted();
    start = Ticks();
    GoToBookmark(true);
    Painted();
    nextMs.push_back(MsSince(start));
  }
  Note("a bookmark 512 MiB away: previous from the end median %.1f ms, longest %.1f ms; next from the start median "
       "%.1f ms, longest %.1f ms", Median(previousMs), Longest(previousMs), Median(nextMs), Longest(nextMs));
  Note("committed memory: %.1f MiB before the open, %.1f after it, %.1f after the earlier rows, %.1f after the "
       "jumps", before, afterOpen, afterEarlier, afterJumps);

  AddResult("browse: earlier rows, shown", Format("%.1f ms (max %.1f)", Median(earlierMs), Longest(earlierMs)),
            Format("%.1f ms read+decode", Median(earlierFloorMs)), "< 100 ms");
  AddResult("browse: around a line, shown", Format("%.1f ms (max %.1f)", Median(jumpMs), Longest(jumpMs)),
            Format("%.1f ms read+decode", Median(jumpFloorMs)), "< 100 ms");
  AddResult("browse: bookmark 512 MiB away, shown",
            Format("%.1f / %.1f ms (max %.1f)", Median(previousMs), Median(nextMs),
                   std::max(Longest(previousMs), Longest(nextMs))), Format("-"), "< 100 ms");
  AddResult("browse: memory growth", Format("%+.1f MiB", afterJumps - afterOpen), Format("-"), "flat");
  CloseFile();
  CloseHandle(reader);
  DeleteFileW(path);
}
