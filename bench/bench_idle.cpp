// CPU used while following a file that does not change, next to a bare
// window whose 10 ms timer only reads the file's size; wineserver's share when
// it is known.
#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "bench/bench.h"
#include "engine/file_follower.h"

namespace {

constexpr double kIdleMs = 10000;  // process times come in 10 ms steps
constexpr double kSettleMs = 500;
constexpr UINT kBareTimerMs = 10;
constexpr wchar_t kBareClass[] = L"QuillonBenchBare";

struct CpuUse {
  double processPercent;
  double serverPercent;  // negative when wineserver is not known
};

CpuUse MeasureWhilePumping() {
  PumpFor(kSettleMs);
  double process = ProcessCpuMs();
  double server = wineserverPid ? LinuxProcessCpuMs(wineserverPid) : -1;
  int64_t start = Ticks();
  PumpFor(kIdleMs);
  double wall = MsSince(start);
  CpuUse use;
  use.processPercent = (ProcessCpuMs() - process) * 100 / wall;
  double serverAfter = wineserverPid ? LinuxProcessCpuMs(wineserverPid) : -1;
  use.serverPercent = server < 0 || serverAfter < 0 ? -1 : (serverAfter - server) * 100 / wall;
  return use;
}

bool FollowerSettled(void* context) {
  return !PollContinues() && LastFileSize() == *static_cast<uint64_t*>(context);
}

// Following files copies of one 1 MiB log, in one view.
CpuUse MeasureQuillon(int files = 1) {
  std::vector<uint8_t> text = MakeLogText(1u << 20);
  static uint64_t size;
  size = text.size();
  wchar_t paths[8][MAX_PATH];
  const wchar_t* names[8];
  bool written = true;
  for (int i = 0; i < files; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"idle%d.log", i);
    TempPath(name, paths[i]);
    names[i] = paths[i];
    written = written && WriteWholeFile(paths[i], text.data(), text.size());
  }
  CpuUse use{-1, -1};
  if (written && OpenFiles(names, size_t(files)) && PumpUntil(FollowerSettled, &size, 10000)) {
    PumpFor(2000);  // every file's tail in
    use = MeasureWhilePumping();
  }
  CloseFile();
  for (int i = 0; i < files; ++i) DeleteFileW(paths[i]);
  return use;
}

HANDLE bareFile = INVALID_HANDLE_VALUE;

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_TIMER) return DefWindowProcW(window, message, wparam, lparam);
  LARGE_INTEGER size;
  GetFileSizeEx(bareFile, &size);
  return 0;
}

CpuUse MeasureBareWindow() {
  wchar_t path[MAX_PATH];
  TempPath(L"idle-bare.log", path);
  std::vector<uint8_t> text = MakeLogText(1u << 20);
  WriteWholeFile(path, text.data(), text.size());
  bareFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = BareWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kBareClass;
  RegisterClassExW(&windowClass);
  HWND window = CreateWindowExW(0, kBareClass, L"bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  SetTimer(window, 1, kBareTimerMs, nullptr);
  CpuUse use = MeasureWhilePumping();
  KillTimer(window, 1);
  DestroyWindow(window);
  CloseHandle(bareFile);
  DeleteFileW(path);
  return use;
}

}  // namespace

void RunMergedIdleBench() {
  printf("m. CPU over %.0f s of message loop, one file or eight in one view, unchanged\n", kIdleMs / 1000);
  fflush(stdout);
  CpuUse one = MeasureQuillon(1), eight = MeasureQuillon(8);
  Note("one file: process %.2f%%, wineserver %.2f%%; eight files: process %.2f%%, wineserver %.2f%%",
       one.processPercent, one.serverPercent, eight.processPercent, eight.serverPercent);
  double ours = eight.processPercent + std::max(eight.serverPercent, 0.0);
  double single = one.processPercent + std::max(one.serverPercent, 0.0);
  AddResult("idle CPU, 8 unchanged files (with wineserver)", Format("%.2f%% (%.2fx)", ours, single > 0 ? ours / single : 0),
            Format("%.2f%% (one file)", single), "<= 1.5x");
}

void RunIdleBench() {
  printf("5. CPU over %.0f s of message loop, file unchanged\n", kIdleMs / 1000);
  fflush(stdout);
  CpuUse quillon = MeasureQuillon();
  CpuUse bare = MeasureBareWindow();
  Note("Quillon: process %.2f%%, wineserver %.2f%%; bare %u ms timer: process %.2f%%, "
       "wineserver %.2f%% (of one core)",
       quillon.processPercent, quillon.serverPercent, kBareTimerMs, bare.processPercent,
       bare.serverPercent);
  AddResult("CPU, following unchanged file", Format("%.2f%% of a core", quillon.processPercent),
            Format("%.2f%% (10 ms size poller)", bare.processPercent), "-");
  if (quillon.serverPercent >= 0 && bare.serverPercent >= 0) {
    AddResult("wineserver CPU meanwhile", Format("%.2f%% of a core", quillon.serverPercent),
              Format("%.2f%% (10 ms size poller)", bare.serverPercent), "-");
    double ours = quillon.processPercent + quillon.serverPercent;
    double theirs = bare.processPercent + bare.serverPercent;
    AddResult("idle CPU with wineserver", Format("%.2f%% (%.2fx)", ours, theirs > 0 ? ours / theirs : 0),
              Format("%.2f%%", theirs), "<= 1.3x");
  }
}
