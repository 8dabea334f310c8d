// Records and the query path live in a section that any program of the logon
// can open and write, so nothing read from it is trusted: a window is asked
// only while it is still the main window its record was made for, and the
// query path is read only as far as the section's pages are committed.
#include "shell/instances.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/file_follower.h"
#include "shell/main_window.h"

namespace {

constexpr wchar_t kMutexName[] = L"Kavex.Quillon::Share::Mutex";
constexpr wchar_t kSectionName[] = L"Kavex.Quillon::Share";
constexpr SIZE_T kFirstCommit = 4096;
constexpr size_t kQueryPathLimit = sizeof(InstanceTable::queryPath) / sizeof(wchar_t) - 1;

// Any process of the logon can take the mutex and keep it; past this wait a
// start goes on without the table and a close leaves its record behind, to be
// freed by a later lookup as the record of a dead window.
constexpr DWORD kMutexWait = 3000;
// Any process can also put windows of its own in the records that answer
// slowly: a lookup asks them for this long in all, not each for as long.
constexpr DWORD kLookupTime = 3000;

HANDLE mutex = nullptr;
InstanceTable* table = nullptr;
int holdCount = 0;
bool lookupWaitedInVain = false;  // the start then runs without registering

bool Acquire() {
  // An instance that ended while holding the mutex leaves it abandoned; the
  // wait then still hands it over, and the records are checked anyway.
  if (!table) return false;
  DWORD waited = WaitForSingleObject(mutex, kMutexWait);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return false;
  ++holdCount;
  return true;
}

void Release() {
  if (!mutex || holdCount <= 0) return;
  ReleaseMutex(mutex);
  --holdCount;
}

// Window handles are 32-bit values, sign-extended in a 64-bit process.
HWND WindowOf(const InstanceRecord& record) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(record.window)));
}

// A closed window's handle may since name any window, of any program.
bool StillTheRegisteredWindow(const InstanceRecord& record) {
  HWND window = WindowOf(record);
  DWORD processId = 0;
  DWORD threadId = IsWindow(window) ? GetWindowThreadProcessId(window, &processId) : 0;
  wchar_t className[4] = {};
  return threadId && threadId == record.threadId && processId == record.processId &&
         GetClassLongW(window, GCW_ATOM) == record.classAtom &&
         GetClassNameW(window, className, 4) && wcscmp(className, kMainWindowClass) == 0;
}

// How many units from at lie in committed pages, at most limit.
size_t CommittedUnits(const wchar_t* at, size_t limit) {
  MEMORY_BASIC_INFORMATION region;
  if (!VirtualQuery(at, &region, sizeof region) || region.State != MEM_COMMIT) return 0;
  auto end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  return std::min(limit, (end - reinterpret_cast<uintptr_t>(at)) / sizeof(wchar_t));
}

}  // namespace

InstanceTable* MapInstanceTable(HANDLE section) {
  if (!section) return nullptr;
  // Mapping the whole table fails when the section is smaller.
  void* view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(InstanceTable));
  if (view && !VirtualAlloc(view, kFirstCommit, MEM_COMMIT, PAGE_READWRITE)) {
    UnmapViewOfFile(view);
    view = nullptr;
  }
  return static_cast<InstanceTable*>(view);
}

bool OpenInstanceTable() {
  if (table) return true;
  mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  if (!mutex) return false;
  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0,
                                      sizeof(InstanceTable), kSectionName);
  // The handle stays open: the name goes with the last handle, views or not.
  table = MapInstanceTable(section);
  if (!table) {
    if (section) CloseHandle(section);
    CloseHandle(mutex);
    mutex = nullptr;
  }
  return table != nullptr;
}

namespace {

// Asks the registered windows, newest first, whether one follows the files
// named; the one that does comes to the front. The caller holds the mutex.
bool AskOthers(const wchar_t* const* paths, size_t count) {
  bool found = false;
  std::wstring query = InstanceQueryOf(paths, count, kQueryPathLimit + 1);
  size_t bytes = query.size() * sizeof(wchar_t);
  if (bytes && VirtualAlloc(table->queryPath, bytes, MEM_COMMIT, PAGE_READWRITE)) {
    memcpy(table->queryPath, query.data(), bytes);
    DWORD began = GetTickCount();
    for (int i = kInstanceRecordCount - 1; i >= 0 && !found; --i) {
      DWORD spent = GetTickCount() - began;
      if (spent >= kLookupTime) break;
      InstanceRecord record = table->records[i];  // a copy: others may write the section meanwhile
      if (!record.window) continue;
      if (!StillTheRegisteredWindow(record)) {
        table->records[i] = InstanceRecord{};
        continue;
      }
      DWORD_PTR answer = 0;
      UINT timeout = std::min<UINT>(GetDoubleClickTime(), kLookupTime - spent);
      if (SendMessageTimeoutW(WindowOf(record), kInstanceQueryMessage, 0, 0, SMTO_ABORTIFHUNG, timeout,
                              &answer) && answer) {
        SetForegroundWindow(WindowOf(record));
        found = true;
      }
    }
    // A set left behind would read as one to a later single query of an
    // older instance, which writes its path and its terminator only.
    if (count > 1) memset(table->queryPath, 0, bytes);
  }
  return found;
}

// What this window's view follows, as a query names it.
std::wstring OwnQuery() {
  std::vector<std::wstring> sorted;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) sorted.emplace_back(ViewFilePath(i));
  std::sort(sorted.begin(), sorted.end());
  std::wstring query;
  for (const std::wstring& path : sorted) query += path, query += L'\0';
  if (sorted.size() > 1) query += L'\0';
  return query;
}

}  // namespace

std::wstring InstanceQueryOf(const wchar_t* const* paths, size_t count, size_t capacity) {
  static wchar_t fullPath[kQueryPathLimit + 1];
  std::vector<std::wstring> full;
  for (size_t i = 0; i < count; ++i) {
    if (!FullPathOf(paths[i], fullPath, kQueryPathLimit + 1)) return {};
    full.emplace_back(fullPath);
  }
  std::sort(full.begin(), full.end());
  full.erase(std::unique(full.begin(), full.end()), full.end());
  std::wstring query;
  for (const std::wstring& path : full) query += path, query += L'\0';
  // A set's end; after a single path, where there is room, it tells the
  // path from one written before that went on further.
  if (full.size() > 1 || query.size() < capacity) query += L'\0';
  return query.size() <= capacity ? query : std::wstring();
}

bool AnotherInstanceTookOver(const wchar_t* const* paths, size_t count) {
  if (!Acquire()) {
    lookupWaitedInVain = table != nullptr;
    return false;
  }
  bool found = AskOthers(paths, count);
  Release();
  return found;
}

bool EnterInstanceTable(HWND window, const wchar_t* const* handOver, size_t count) {
  // A holder that kept the start waiting once is not waited for twice.
  if (lookupWaitedInVain || !Acquire()) return true;
  // Two quick starts on one file both find nobody at their first lookup; the
  // second to get here finds the first, as lookups and registrations take
  // turns on the mutex.
  if (count && AskOthers(handOver, count)) {
    Release();
    return false;
  }
  DWORD processId = 0;
  DWORD threadId = GetWindowThreadProcessId(window, &processId);
  for (InstanceRecord& record : table->records) {
    if (record.window) continue;
    record = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)), processId, threadId,
              static_cast<uint16_t>(GetClassLongW(window, GCW_ATOM)), 0};
    break;
  }
  Release();
  return true;
}

void LeaveInstanceTable(HWND window) {
  if (!Acquire()) return;
  for (InstanceRecord& record : table->records) {
    if (WindowOf(record) == window) {
      record = InstanceRecord{};
      break;
    }
  }
  Release();
}

LRESULT AnswerInstanceQuery() {
  // Read without the mutex (the asking instance holds it), unit by unit
  // into a terminated copy, so that a writer elsewhere can neither change the
  // paths while they are compared nor make the reading run off the committed
  // pages. A set ends at its empty path; a single path at its terminator,
  // the unit after it zero too when it was written so (older instances write
  // the path and its terminator only).
  static wchar_t asked[kQueryPathLimit + 1];
  if (!table || !FileIsOpen()) return 0;
  size_t limit = CommittedUnits(table->queryPath, kQueryPathLimit + 1), units = 0;
  std::vector<std::wstring> paths;
  for (;;) {
    size_t start = units;
    while (units < limit && (asked[units] = table->queryPath[units])) ++units;
    if (units >= limit) return 0;
    paths.emplace_back(asked + start, units - start);
    if (++units >= limit || !(asked[units] = table->queryPath[units])) break;
  }
  std::sort(paths.begin(), paths.end());
  std::wstring query;
  for (const std::wstring& path : paths) query += path, query += L'\0';
  if (paths.size() > 1) query += L'\0';
  return query == OwnQuery();
}
