// Quillon's benchmark: throughput of decoding and row building, opening a
// large log, the delay of an appended line, the writer rate the view keeps
// up with, and CPU while idle, each next to a baseline. bench/run.sh runs it.
//
// quillon_bench [--parts 1234567bfst] [--wineserver-pid N] [--clock-ticks N]
// quillon_bench --probe VIEW FILE FIRST RESULTS   (part 6 starts it)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/bench.h"
#include "engine/engine_host.h"
#include "shell/main_window.h"
#include "ui/settings.h"

namespace {

bool CreateShownMainWindow() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterMainWindowClass(instance)) return false;
  HWND window = CreateMainWindow(instance);
  if (!window) return false;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  PumpFor(300);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && strcmp(argv[1], "--probe") == 0) {
    wchar_t path[MAX_PATH], results[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[3], -1, path, MAX_PATH);
    MultiByteToWideChar(CP_ACP, 0, argv[5], -1, results, MAX_PATH);
    return RunProbe(reinterpret_cast<HWND>(uintptr_t(strtoull(argv[2], nullptr, 10))), path, atoi(argv[4]), results);
  }
  const char* parts = "1234567";  // m: several files in one view, when asked
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--parts") == 0) parts = argv[i + 1];
    else if (strcmp(argv[i], "--wineserver-pid") == 0) wineserverPid = DWORD(atol(argv[i + 1]));
    else if (strcmp(argv[i], "--clock-ticks") == 0) clockTicksPerSecond = atoi(argv[i + 1]);
  }
  ClampSettings(AppSettings);
  int64_t start = Ticks();

  if (strchr(parts, '1')) RunThroughputBench();
  if (strpbrk(parts, "23456bsm")) {
    if (!CreateShownMainWindow()) {
      printf("cannot create the main window\n");
      return 1;
    }
    if (strchr(parts, '2')) RunLoadBench();
    if (strchr(parts, '3')) RunLatencyBench();
    if (strchr(parts, '4')) RunRateBench();
    if (strchr(parts, '5')) RunIdleBench();
    if (strchr(parts, '6')) RunOutsideBench();
    if (strchr(parts, 'b')) RunBrowseBench();
    if (strchr(parts, 's')) RunStopBench();
    if (strchr(parts, 'm')) RunMergedBench();
    DestroyWindow(engineHost.window);
  }
  if (strchr(parts, '7')) RunStartBench();
  if (strchr(parts, 't')) RunTimeSearchBench();
  if (strchr(parts, 'f')) RunFindBench();
  PrintResults();
  printf("(%.0f s)\n", MsSince(start) / 1000);
  return 0;
}
