// From the start of tessel.exe to its view holding the final rows of the log
// it was given: a 2,048-row tail (a 300 KB log and a larger one) against a
// 3-line log, the start-up alone. Runs alternate.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "shell/main_window.h"

namespace {

constexpr int kRuns = 5;
constexpr double kGiveUpMs = 20000;

struct Started {
  DWORD process;
  LRESULT rows;
  wchar_t lastRow[128];
  HWND view;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM context) {
  Started& started = *reinterpret_cast<Started*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[8];
  if (owner != started.process || !GetClassNameW(window, name, 8) || wcscmp(name, kMainWindowClass) != 0) return TRUE;
  started.view = FindWindowExW(window, nullptr, L"ListBox", nullptr);
  return started.view ? FALSE : TRUE;
}

bool FinalRowsShown(Started& started) {
  if (!started.view) EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&started));
  return started.view && SendMessageW(started.view, LB_GETCOUNT, 0, 0) == started.rows &&
         LastRowIs(started.view, started.lastRow);
}

// Ms from CreateProcess to the final rows; negative when they never came.
double TimedStart(const wchar_t* program, const wchar_t* log, LRESULT rows, const wchar_t* lastRow) {
  wchar_t command[3 * MAX_PATH];
  swprintf(command, 3 * MAX_PATH, L"\"%ls\" \"%ls\"", program, log);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  Started started{};
  started.rows = rows;
  wcscpy(started.lastRow, lastRow);
  int64_t start = Ticks();
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return -1;
  started.process = process.dwProcessId;
  double ms = -1;
  while (MsSince(start) < kGiveUpMs && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    if (FinalRowsShown(started)) {
      ms = MsSince(start);
      break;
    }
    Sleep(1);
  }
  if (started.view) PostMessageW(GetParent(started.view), WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread), CloseHandle(process.hProcess);
  return ms;
}

std::string Lines(int count, const char* prefix) {
  std::string text;
  char line[128];
  for (int i = 0; i < count; ++i) {
    snprintf(line, sizeof line, "%s %06d a line of a log that is opened at start, some eighty units long\r\n", prefix, i);
    text += line;
  }
  return text;
}

}  // namespace

void RunStartBench() {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  // The benchmark lives in bench/ of the build folder, the program at its top.
  *wcsrchr(program, L'\\') = 0;
  *(wcsrchr(program, L'\\') + 1) = 0;
  wcscat(program, L"tessel.exe");
  printf("7. start of tessel.exe to the final rows of its log, median of %d\n", kRuns);
  fflush(stdout);
  struct Log {
    const char* what;
    int lines;
    wchar_t path[MAX_PATH];
    wchar_t lastRow[128];
    LRESULT rows;
    std::vector<double> ms;
  } logs[] = {{"3 lines", 3, {}, {}, 0, {}}, {"300 KB, 2,048 rows shown", 3800, {}, {}, 0, {}},
              {"32 MB, 2,048 rows shown", 400000, {}, {}, 0, {}}};
  for (Log& log : logs) {
    wchar_t name[32];
    swprintf(name, 32, L"start%d.log", log.lines);
    TempPath(name, log.path);
    std::string text = Lines(log.lines, "start");
    if (!WriteWholeFile(log.path, text.data(), text.size())) return Note("cannot write %ls", log.path);
    log.rows = std::min(log.lines, 2048);
    std::string last = text.substr(text.size() - (text.size() / size_t(log.lines)));
    last.resize(last.size() - 2);
    for (size_t i = 0; i <= last.size(); ++i) log.lastRow[i] = wchar_t(i < last.size() ? last[i] : 0);
  }
  // The first start of all fills the caches; it is not counted.
  TimedStart(program, logs[0].path, logs[0].rows, logs[0].lastRow);
  for (int run = 0; run < kRuns; ++run)
    for (Log& log : logs) log.ms.push_back(TimedStart(program, log.path, log.rows, log.lastRow));
  for (Log& log : logs) {
    size_t failed = size_t(std::count_if(log.ms.begin(), log.ms.end(), [](double v) { return v < 0; }));
    double median = Percentile(log.ms, 0.5);  // sorts
    Note("%s: %.0f ms median, %.0f ms slowest, %zu failed", log.what, median, log.ms.back(), failed);
    DeleteFileW(log.path);
  }
  double base = Percentile(logs[0].ms, 0.5);
  for (int i = 1; i < 3; ++i) {
    double ms = Percentile(logs[i].ms, 0.5);
    AddResult(i == 1 ? "start to final rows, 300 KB" : "start to final rows, 32 MB",
              Format("%.0f ms (%.2fx)", ms, base > 0 ? ms / base : 0.0), Format("%.0f ms (3 lines)", base), "<= 1.2x");
  }
}
