// What the delay and rate parts share: writer threads that append stamped
// lines to the followed file with their own handles, and the timing of the
// rows as the view takes them (LB_ADDSTRING) and paints them (WM_PAINT).
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Writer {
  wchar_t path[MAX_PATH];
  uint64_t firstSeq;
  int probeLines;     // probe writer: this many lines, one at a time, 20-30 ms apart
  double rate;        // rate writer: lines per second for durationMs
  double durationMs;
  uint64_t written;
  int64_t lastStamp;
  double achievedRate;
  volatile LONG finished;
};

DWORD WINAPI ProbeWriterThread(void* writer);
DWORD WINAPI RateWriterThread(void* writer);
constexpr int kProbeMinGapMs = 20;
constexpr int kProbeGapSpreadMs = 11;  // gaps of 20..30 ms

HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* parameter);
void JoinThread(HANDLE thread);  // pumps messages meanwhile

// Answer times of a window, from another thread that sends it WM_NULL every
// 20 ms, until stopped (StopPinger pumps messages meanwhile).
struct Pinger {
  HWND window;
  volatile LONG stop;
  std::vector<double> answersMs;
  HANDLE thread;
};
void StartPinger(Pinger& pinger, HWND window);
void StopPinger(Pinger& pinger);

// Stamped lines seen since ResetArrivals, from the view or from a poller.
struct Arrivals {
  uint64_t firstSeq;
  std::vector<double> latencyMs;  // probe lines by seq, negative until seen
  size_t seen;
  uint64_t newestAdded;
  uint64_t newestPainted;
  bool anyPainted;
  bool unpainted;
  int64_t oldestUnpaintedStamp;
  double maxAddLagMs;
  double maxPaintLagMs;
  size_t paints;
};
extern Arrivals arrivals;
void ResetArrivals(uint64_t firstSeq, size_t probeLines);
void OnLineArrived(uint64_t seq, int64_t stamp, int64_t now);

// Subclasses the view of the main window to time its rows.
void TimeTheView(bool on);

// Sequence numbers not used yet; every run takes its own.
extern uint64_t nextSeq;

// A new small file at path, opened by the follower and read to its end.
bool CreateFollowedFile(const wchar_t* path);
bool OpenAndSettle(const wchar_t* path);
