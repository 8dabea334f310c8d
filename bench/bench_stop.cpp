// Stopping a search through the file, as a user meets it: the Find dialog of
// the real main window starts a whole-file search, Esc is pressed while it
// runs, and the time until the window answers is taken, with the time until
// the search's thread has ended. Two searches that take long between looks
// at the stop: a regular expression each line of a 1 GiB log stops at the
// bound on, and a search through a single line of 3 GiB.
#include <windows.h>
// after windows.h
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench.h"
#include "commands/find.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "ui/main_frame.h"
#include "ui/settings.h"

namespace {

constexpr int kStops = 3;

int ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
}

// A file of `lines` copies of line, then `last`, written in pieces of about 16 MiB.
bool WriteRepeated(const wchar_t* path, const std::string& line, uint64_t bytes, const std::string& last) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string piece;
  while (piece.size() < (size_t(16) << 20)) piece += line;
  bool ok = true;
  for (uint64_t written = 0; ok && written < bytes; written += piece.size()) {
    DWORD done = 0;
    DWORD size = DWORD(std::min<uint64_t>(piece.size(), bytes - written));
    ok = WriteFile(file, piece.data(), size, &done, nullptr) && done == size;
  }
  DWORD done = 0;
  ok = ok && WriteFile(file, last.data(), DWORD(last.size()), &done, nullptr) && done == last.size();
  CloseHandle(file);
  return ok;
}

struct StopTimes {
  std::vector<double> answerMs, endedMs;
};

// Opens the file, searches it up from its tail for text, and presses Esc
// after a second of searching, kStops times.
void MeasureStops(const wchar_t* path, const wchar_t* text, bool regex, StopTimes* times) {
  HWND window = engineHost.window;
  if (!OpenFile(path)) return Note("cannot open %ls", path);
  while (PollContinues() || SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) == 0) PumpFor(5);
  SendMessageW(window, WM_COMMAND, IDM_FIND, 0);
  HWND dialog = dialogFocusWindow;
  if (!dialog || dialog == window) return CloseFile(), Note("no Find dialog");
  SetDlgItemTextW(dialog, IDC_FIND_TEXT, text);
  CheckRadioButton(dialog, IDC_FIND_UP, IDC_FIND_DOWN, IDC_FIND_UP);
  CheckDlgButton(dialog, IDC_FIND_REGEX, regex ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_FIND_WHOLE_FILE, BST_CHECKED);
  int idle = ThreadsOfThisProcess();
  for (int stop = 0; stop < kStops; ++stop) {
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    if (!FileSearchRunning()) {
      Note("  the search ended before it could be stopped");
      break;
    }
    PumpFor(1000);
    int64_t pressed = Ticks();
    SendMessageW(window, WM_COMMAND, IDM_ESCAPE, 0);  // stops the search, and only that
    times->answerMs.push_back(MsSince(pressed));
    while (ThreadsOfThisProcess() > idle && MsSince(pressed) < 120000) Sleep(1);
    times->endedMs.push_back(MsSince(pressed));
    Note("  stop %d: the window answered after %.1f ms, the search's thread ended after %.1f ms", stop + 1,
         times->answerMs.back(), times->endedMs.back());
  }
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  PumpFor(50);
  CloseFile();
}

double Longest(const std::vector<double>& values) {
  return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

void Report(const char* metric, const StopTimes& times) {
  AddResult(metric, Format("%.0f ms", Longest(times.answerMs)), Format("thread ended %.0f ms", Longest(times.endedMs)),
            "< 100 ms");
}

}  // namespace

void RunStopBench() {
  printf("s. Esc during a whole-file search: a costly regular expression over 1 GiB, a single 3 GiB line\n");
  fflush(stdout);
  wchar_t path[MAX_PATH];
  TempPath(L"quillon_bench_stop.log", path);
  // Every line words and blanks only: (\w+\s?)* backtracks on each without end.
  std::string words;
  while (words.size() < 95) words += "aaaa ";
  words.resize(95);
  // The rows in view are tested on the window's thread before the search goes
  // on in its own: a few only, so that Esc meets the search on disk.
  uint32_t linesLimit = std::exchange(AppSettings.linesLimit, 16);
  StopTimes costly, longLine;
  if (WriteRepeated(path, words + "\r\n", uint64_t(1) << 30, "")) {
    Note("a 1 GiB log, (\\w+\\s?)*[^\\w\\s] searched up from its tail:");
    MeasureStops(path, L"(\\w+\\s?)*[^\\w\\s]", true, &costly);
  } else {
    Note("cannot write the 1 GiB log");
  }
  if (WriteRepeated(path, std::string(4096, 'a'), uint64_t(3) << 30, "\nlast line\n")) {
    Note("a single 3 GiB line, then one more, searched up for a text it does not hold:");
    MeasureStops(path, L"needle", false, &longLine);
  } else {
    Note("cannot write the 3 GiB line");
  }
  DeleteFileW(path);
  AppSettings.linesLimit = linesLimit;
  Report("stop: costly regex, 1 GiB", costly);
  Report("stop: one 3 GiB line", longLine);
}
