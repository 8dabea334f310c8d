#include "commands/history.h"

#include <cwchar>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "shell/settings.h"

namespace {

// Where the oldest entry goes when an eleventh file comes; never shown or stored.
wchar_t spill[kHistoryUnits];
wchar_t menuText[2 * kHistoryUnits + 8];
wchar_t opening[kHistoryUnits];

wchar_t* Entry(int index) { return index < kHistoryEntries ? AppSettings.history[index] : spill; }

// The submenu at position 1 of the File menu.
HMENU HistoryMenu() {
  HMENU file = engineHost.menu ? GetSubMenu(engineHost.menu, 0) : nullptr;
  return file ? GetSubMenu(file, 1) : nullptr;
}

}  // namespace

void AddToHistory(const wchar_t* path) {
  int found = 0;
  while (found < kHistoryEntries && wcscmp(Entry(found), path) != 0) ++found;
  for (int k = found; k > 0; --k) wcscpy(Entry(k), Entry(k - 1));
  lstrcpynW(Entry(0), path, int(kHistoryUnits));
  RebuildHistoryMenu();
  StoreHistory();
}

void HistoryMenuText(int index, const wchar_t* path, wchar_t* text, size_t capacity) {
  size_t at = size_t(swprintf(text, capacity, L"&%d ", index));
  for (; *path && at + 2 < capacity; ++path) {
    if (*path == L'&') text[at++] = L'&';
    text[at++] = *path;
  }
  text[at] = 0;
}

void RebuildHistoryMenu() {
  HMENU menu = HistoryMenu();
  if (!menu) return;
  for (int id = IDM_HISTORY_FIRST; id <= IDM_HISTORY_LAST; ++id) DeleteMenu(menu, UINT(id), MF_BYCOMMAND);
  for (int i = 0; i < kHistoryEntries && Entry(i)[0]; ++i) {
    HistoryMenuText(i, Entry(i), menuText, sizeof menuText / sizeof menuText[0]);
    AppendMenuW(menu, MF_STRING, UINT_PTR(IDM_HISTORY_FIRST + i), menuText);
  }
}

void ClearHistory(HWND) {
  for (int i = kHistoryEntries - 1; i >= 1; --i) Entry(i)[0] = 0;
  RebuildHistoryMenu();
  StoreHistory();
}

// A file that is gone shows the open error and keeps its entry.
void OpenHistoryEntry(HWND, int index) {
  if (index < 0 || index >= kHistoryEntries || !Entry(index)[0]) return;
  lstrcpynW(opening, Entry(index), int(kHistoryUnits));
  OpenFile(opening);
}
