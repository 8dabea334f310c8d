#include "bench/bench_follow.h"

#include <algorithm>
#include <cwchar>

#include "bench/bench.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"

namespace {

constexpr size_t kBatchLines = 640;
constexpr size_t kStartLines = 4;

HANDLE OpenForAppend(const wchar_t* path) {
  return CreateFileW(path, FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool FollowerIdle(void* context) {
  return !PollContinues() && LastFileSize() == *static_cast<uint64_t*>(context);
}

}  // namespace

Arrivals arrivals;
// Above the sequence numbers of the lines a followed file starts with.
uint64_t nextSeq = 1000000;

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

namespace {

DWORD WINAPI PingThread(void* parameter) {
  Pinger& pinger = *static_cast<Pinger*>(parameter);
  while (!pinger.stop) {
    int64_t start = Ticks();
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(pinger.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
    pinger.answersMs.push_back(MsSince(start));
    Sleep(20);
  }
  return 0;
}

}  // namespace

void StartPinger(Pinger& pinger, HWND window) {
  pinger.window = window;
  pinger.stop = 0;
  pinger.answersMs.clear();
  pinger.thread = StartThread(PingThread, &pinger);
}

void StopPinger(Pinger& pinger) {
  InterlockedExchange(&pinger.stop, 1);
  JoinThread(pinger.thread);
}

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
}

void TimeTheView(bool on) {
  HWND view = engineHost.view;
  if (on)
    listBoxProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedViewProc)));
  else
    SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listBoxProc));
}

bool CreateFollowedFile(const wchar_t* path) {
  std::vector<uint8_t> text = MakeLogText(kStartLines * kLineBytes);
  return WriteWholeFile(path, text.data(), text.size());
}

bool OpenAndSettle(const wchar_t* path) {
  if (!CreateFollowedFile(path) || !OpenFile(path)) return false;
  static uint64_t size;
  size = kStartLines * kLineBytes;
  return PumpUntil(FollowerIdle, &size, 5000);
}

