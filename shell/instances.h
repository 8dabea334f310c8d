// The table that instances of one logon share, so that a file already
// followed elsewhere only brings that instance to the front.
#pragma once
#include <windows.h>

#include <cstdint>

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
  wchar_t queryPath[32768];  // the full path asked about, zero-terminated
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

// Whether another instance follows path and took it over (it then comes to the front).
bool AnotherInstanceTookOver(const wchar_t* path);
// Registers window, unless handOverPath is given and another instance follows
// it by now (it then comes to the front): false tells the caller to quit.
bool EnterInstanceTable(HWND window, const wchar_t* handOverPath);
void LeaveInstanceTable(HWND window);
// The main window's answer to the query message: 1 when it follows the path asked about.
LRESULT AnswerInstanceQuery();
