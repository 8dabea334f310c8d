// Shared pieces of the benchmark: the clock, the log lines it writes and
// reads back, temporary files, the message pump and the result table.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <vector>

// Clock (QueryPerformanceCounter ticks).
int64_t Ticks();
double TicksToMs(int64_t ticks);
double MsSince(int64_t start);

// Every log line is kLineBytes long with its CRLF. Its first 80 units (the
// first row at the default wrap width) carry a sequence number and the
// writer's clock reading, so a row found in the view tells when it was written.
constexpr size_t kLineBytes = 100;
void FormatLine(char* out, uint64_t seq, int64_t stamp, bool micro);
bool ParseRowStamp(const wchar_t* row, uint64_t* seq, int64_t* stamp);
bool ParseLineStamp(const char* line, size_t length, uint64_t* seq, int64_t* stamp);
// Whole lines, about bytes long; one in four says "µs" to keep UTF-8 honest.
std::vector<uint8_t> MakeLogText(size_t bytes);

// Files in the prefix's temp folder.
void TempPath(const wchar_t* name, wchar_t* out);
bool WriteWholeFile(const wchar_t* path, const void* data, size_t size);

// Sorts values; fraction 0.5 is the median.
double Percentile(std::vector<double>& values, double fraction);

// Dispatches messages until done(context) holds (checked after every message)
// or timeoutMs passed. Returns whether done.
bool PumpUntil(bool (*done)(void* context), void* context, double timeoutMs);
void PumpFor(double ms);

// Times the polls (timer 1 of the main window) while on: when each started,
// how long it took in ms, and whether it added rows (views subclassed by the
// parts count their LB_ADDSTRING in viewAdds).
void TimePolls(bool on);
extern std::vector<double> pollStartsMs;
extern std::vector<double> pollDurationsMs;
extern std::vector<bool> pollAddedRows;
extern uint64_t viewAdds;
void NotePolls(const char* what);  // count, gap and duration percentiles

// CPU time of this process in ms (user plus kernel).
double ProcessCpuMs();
// CPU time of a Linux process from /proc, in ms; negative when unreadable.
double LinuxProcessCpuMs(DWORD pid);
extern DWORD wineserverPid;  // 0: not given
extern int clockTicksPerSecond;

// Result table: metric | Quillon | baseline | goal.
struct Cell {
  char text[48];
};
Cell Format(const char* format, ...);
void AddResult(const char* metric, const Cell& quillon, const Cell& baseline, const char* goal);
void Note(const char* format, ...);  // a detail line, printed as it comes
void PrintResults();

// The view's last row is text (NUL-terminated, shorter than 128 units).
bool LastRowIs(HWND view, const wchar_t* text);
// Puts proc in as the window's procedure; returns the one it replaced.
WNDPROC Subclass(HWND window, WNDPROC proc);

// The parts, one file each.
// Ten highlight rules every row is tested against and filters every line
// passes (hiding "DEBUG", which no line holds; or four regular expressions,
// two showing and two hiding), or none.
enum class BenchMatching { kNone, kPlain, kRegex };
void UseBenchMatching(BenchMatching matching);
// The same filters kept in the file's properties stream, for an open to find.
void StoreBenchFilters(const wchar_t* path, BenchMatching matching);

void RunThroughputBench();
void RunLoadBench();
void RunLatencyBench();
void RunRateBench();
void RunIdleBench();
void RunOutsideBench();
void RunStartBench();  // starts tessel.exe of the same build folder
void RunBrowseBench();
void RunTimeSearchBench();  // writes a 6 GiB log beside the benchmark once
void RunFindBench();
void RunStopBench();  // writes a 1 GiB and a 3 GiB file, one after the other
// Several files in one view (part m): the open of eight, the delay seen from
// outside and idle CPU with eight followed, eight fast writers.
void RunMergedBench();
void RunMergedOutsideBench();
void RunMergedIdleBench();
// The other process of part 6.
int RunProbe(HWND view, const wchar_t* path, int first, const wchar_t* results);
