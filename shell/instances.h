// The table that instances of one logon share, so that a file already
// followed elsewhere only brings that instance to the front.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

constexpr UINT kInstanceQueryMessage = WM_USER + 11;
constexpr int kInstanceRecordCount = 192;

struct InstanceRecord {
  uint32_t window;  // 0 marks a free record
  uint32_t processId;
  uint32_t threadId;
  uint16_t classAtom;
  uint16_t unused;
};

// The layout of the shared section, the same for every instance.
struct InstanceTable {
  InstanceRecord records[kInstanceRecordCount];
  // The full path asked about, zero-terminated; for a view of several files,
  // their full paths sorted, each zero-terminated, then a second zero.
  wchar_t queryPath[32768];
};
static_assert(sizeof(InstanceRecord) == 16 && sizeof(InstanceTable) == 68608);

// Creates or opens the shared mutex and section. When this fails the instance
// runs on its own: it neither asks nor registers.
bool OpenInstanceTable();
// Maps a section as the table and commits its first page; null when the
// section is smaller than the table.
InstanceTable* MapInstanceTable(HANDLE section);

// The three below wait at most 3 seconds for the mutex another process may
// hold: past that the lookup finds nothing and the start then runs without
// registering, a registration is skipped, or a record stays until a later
// lookup frees it as a dead window's. Asking the registered windows then
// takes at most 3 seconds more, however many answer slowly.

// Whether another instance follows the files named (in any order: one file,
// or a view of several) and took them over (it then comes to the front). A
// set too long for the query area is not looked up.
bool AnotherInstanceTookOver(const wchar_t* const* paths, size_t count);
// Registers window, unless handOver names files another instance follows by
// now (it then comes to the front): false tells the caller to quit.
bool EnterInstanceTable(HWND window, const wchar_t* const* handOver, size_t count);
void LeaveInstanceTable(HWND window);
// The main window's answer to the query message: 1 when it follows the path
// asked about, or (a view of several) exactly the set asked about.
LRESULT AnswerInstanceQuery();
// The query for a set of paths, as written to the query area: the full paths
// sorted, each zero-terminated, then a zero; one path, as for a single file.
// Empty when a path has no full form or the whole does not fit in capacity units.
std::wstring InstanceQueryOf(const wchar_t* const* paths, size_t count, size_t capacity);
