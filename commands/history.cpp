#include "commands/history.h"

#include <string>
#include <vector>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/status_bar.h"
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

constexpr wchar_t kSetSeparator = L'|';

// The paths of an entry: one, or a set's.
std::vector<std::wstring> EntryPaths(const wchar_t* entry) {
  std::vector<std::wstring> paths;
  for (const wchar_t* at = entry; *at;) {
    const wchar_t* end = wcschr(at, kSetSeparator);
    if (!end) end = at + wcslen(at);
    if (end > at) paths.emplace_back(at, end);
    at = *end ? end + 1 : end;
  }
  return paths;
}

// A set's entry in the menu: its number, then the view's name.
void SetMenuText(int index, const wchar_t* entry, wchar_t* text, size_t capacity) {
  std::vector<std::wstring> paths = EntryPaths(entry);
  std::vector<const wchar_t*> names;
  for (const std::wstring& path : paths) names.push_back(path.c_str());
  static wchar_t name[kHistoryUnits];
  ViewNameOf(names.data(), names.size(), name, kHistoryUnits);
  HistoryMenuText(uint32_t(index), AsText(name), AsText(text), capacity);
}

}  // namespace

std::wstring ViewHistoryEntry() {
  if (ViewFileCount() < 2) return {};
  static wchar_t shown[kPathUnits];
  std::wstring entry;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) {
    ShownPathOf(ViewFilePath(i), shown, kPathUnits);
    if (i) entry += kSetSeparator;
    entry += shown;
  }
  return entry.size() < kHistoryUnits ? entry : std::wstring();
}

void AddViewToHistory(const wchar_t* replaced) {
  std::wstring entry = ViewHistoryEntry();
  if (entry.empty()) return;
  // The set as it was before this change leaves its place to the set now.
  for (int i = 0; replaced && replaced[0] && i < kHistoryEntries; ++i) {
    if (wcscmp(Entry(i), replaced) != 0) continue;
    for (int k = i; k + 1 < kHistoryEntries; ++k) CopyText(Entries()[k], Entries()[k + 1], kHistoryUnits);
    Entries()[kHistoryEntries - 1][0] = 0;
    break;
  }
  AddToHistory(entry.c_str());
}

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
    if (wcschr(Entry(i), kSetSeparator)) SetMenuText(i, Entry(i), menuText, sizeof menuText / sizeof menuText[0]);
    else HistoryMenuText(i, AsText(Entry(i)), AsText(menuText), sizeof menuText / sizeof menuText[0]);
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
  std::vector<std::wstring> paths = EntryPaths(opening);
  std::vector<const wchar_t*> names;
  for (const std::wstring& path : paths) names.push_back(path.c_str());
  if (names.size() > 1) OpenFiles(names.data(), names.size());
  else OpenFile(opening);
}
