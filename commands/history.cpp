#include "commands/history.h"

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/wide_text.h"
#include "resources/resource_ids.h"
#include "ui/settings.h"

namespace {

wchar_t menuText[2 * kHistoryUnits + 8];
wchar_t opening[kHistoryUnits];

HistoryEntry* Entries() { return reinterpret_cast<HistoryEntry*>(AppSettings.history); }
const wchar_t* Entry(int index) { return AppSettings.history[index]; }

// The File menu's one submenu.
HMENU HistoryMenu() {
  HMENU file = engineHost.menu ? GetSubMenu(engineHost.menu, 0) : nullptr;
  for (int i = 0, count = file ? GetMenuItemCount(file) : 0; i < count; ++i)
    if (HMENU sub = GetSubMenu(file, i)) return sub;
  return nullptr;
}

}  // namespace

void AddToHistory(const wchar_t* path) {
  AddToHistoryList(Entries(), AsText(path));
  RebuildHistoryMenu();
  StoreHistory();
}

void RebuildHistoryMenu() {
  HMENU menu = HistoryMenu();
  if (!menu) return;
  for (int id = IDM_HISTORY_FIRST; id <= IDM_HISTORY_LAST; ++id) DeleteMenu(menu, UINT(id), MF_BYCOMMAND);
  for (int i = 0; i < kHistoryEntries && Entry(i)[0]; ++i) {
    HistoryMenuText(i, AsText(Entry(i)), AsText(menuText), sizeof menuText / sizeof menuText[0]);
    AppendMenuW(menu, MF_STRING, UINT_PTR(IDM_HISTORY_FIRST + i), menuText);
  }
}

void ClearHistory(HWND) {
  ClearOlderHistory(Entries());
  RebuildHistoryMenu();
  StoreHistory();
}

// A file that is gone shows the open error and keeps its entry.
void OpenHistoryEntry(HWND, int index) {
  if (index < 0 || index >= kHistoryEntries || !Entry(index)[0]) return;
  lstrcpynW(opening, Entry(index), int(kHistoryUnits));
  OpenFile(opening);
}
