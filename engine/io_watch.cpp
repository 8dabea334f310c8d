#include "engine/io_watch.h"

#include <atomic>
#include <cwchar>

namespace {

HANDLE watchThread = nullptr;
HANDLE watchedThread = nullptr;  // the thread whose calls are watched
HANDLE stopEvent = nullptr;
// When the call being watched began (GetTickCount64), 0 between calls; and
// whether the watch cancelled it.
std::atomic<ULONGLONG> callBegan{0};
std::atomic<bool> cancelled{false};

constexpr DWORD kWatchStepMs = 20;
constexpr ULONGLONG kDriveTypeKeptMs = 10000;

DWORD WINAPI Watch(void*) {
  while (WaitForSingleObject(stopEvent, kWatchStepMs) == WAIT_TIMEOUT) {
    ULONGLONG began = callBegan.load();
    if (began && GetTickCount64() - began >= kSlowIoMs && callBegan.compare_exchange_strong(began, 0)) {
      cancelled = true;
      CancelSynchronousIo(watchedThread);
    }
  }
  return 0;
}

}  // namespace

bool OnShare(const wchar_t* fullPath) {
  if (wcsncmp(fullPath, L"\\\\?\\UNC\\", 8) == 0 || (fullPath[0] == L'\\' && fullPath[1] == L'\\' && fullPath[2] != L'?'))
    return true;
  const wchar_t* drive = wcsncmp(fullPath, L"\\\\?\\", 4) == 0 ? fullPath + 4 : fullPath;
  wchar_t letter = wchar_t(drive[0] & ~0x20);
  if (letter < L'A' || letter > L'Z' || drive[1] != L':') return false;
  // Asking the system costs a round to its mount manager: each drive's answer
  // is kept a while, a set of files on one drive asks once.
  static UINT types[26];
  static ULONGLONG asked[26];
  size_t at = size_t(letter - L'A');
  if (!asked[at] || GetTickCount64() - asked[at] > kDriveTypeKeptMs) {
    wchar_t root[4] = {letter, L':', L'\\', 0};
    types[at] = GetDriveTypeW(root);
    asked[at] = GetTickCount64();
  }
  return types[at] == DRIVE_REMOTE;
}

void StartIoWatch() {
  if (watchThread) return;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &watchedThread, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return;
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  watchThread = stopEvent ? CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr) : nullptr;
  if (!watchThread) StopIoWatch();
}

void StopIoWatch() {
  if (watchThread) {
    SetEvent(stopEvent);
    WaitForSingleObject(watchThread, INFINITE);
    CloseHandle(watchThread);
    watchThread = nullptr;
  }
  if (stopEvent) CloseHandle(stopEvent), stopEvent = nullptr;
  if (watchedThread) CloseHandle(watchedThread), watchedThread = nullptr;
  callBegan = 0;
}

void BeginWatchedIo() {
  if (!watchThread) return;
  cancelled = false;
  callBegan = GetTickCount64();
}

bool EndWatchedIo() {
  if (!watchThread) return true;
  // A cancel that comes just after the call returned finds nothing pending.
  ULONGLONG began = callBegan.exchange(0);
  return began != 0 || !cancelled.load();
}
