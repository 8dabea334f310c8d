// The program's own resources, linked in here: English, Czech and Slovak carry the same strings, menus, keys and dialog
// controls, translations keep what the code fills in or acts on, and the dispatcher carries out each command they send.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "commands/command_set.h"
#include "resources/resource_ids.h"
#include "ui/localization.h"

namespace {

// The resource ids of a type, or with an id the languages it exists in exactly.
std::vector<UINT> Enumerate(LPCWSTR type, UINT id = 0) {
  std::vector<UINT> found;
  auto addName = [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    return reinterpret_cast<std::vector<UINT>*>(list)->push_back(UINT(ULONG_PTR(name))), TRUE;
  };
  auto addLanguage = [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
    return reinterpret_cast<std::vector<UINT>*>(list)->push_back(language), TRUE;
  };
  if (id) EnumResourceLanguagesW(nullptr, type, MAKEINTRESOURCEW(id), addLanguage, LONG_PTR(&found));
  else EnumResourceNamesW(nullptr, type, addName, LONG_PTR(&found));
  return found;
}

// The resource in exactly this language, never through the loader's fallback.
std::vector<WORD> Data(LPCWSTR type, UINT id, UINT language) {
  std::vector<UINT> languages = Enumerate(type, id);
  HRSRC found = FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), LANGID(language));
  if (std::find(languages.begin(), languages.end(), language) == languages.end() || !found) return {};
  auto* words = static_cast<const WORD*>(LockResource(LoadResource(nullptr, found)));
  return std::vector<WORD>(words, words + SizeofResource(nullptr, found) / 2);
}

// Each string as a translation must keep it: printf conversions in order, tabs, line breaks, link targets ("check").
std::map<UINT, std::wstring> StringShapes(UINT language) {
  std::map<UINT, std::wstring> shapes;
  for (UINT block : Enumerate(RT_STRING)) {
    std::vector<WORD> data = Data(RT_STRING, block, language);
    for (size_t at = 0, i = 0; i < 16 && at < data.size(); at += 1 + data[at], ++i) {
      std::wstring text(data.begin() + at + 1, data.begin() + at + 1 + data[at]), shape;
      for (size_t c = 0; c < text.size(); ++c) {
        size_t end = text[c] == L'%' ? text.find_first_not_of(L"0123456789.lh", c + 1)
                     : text.compare(c, 8, L"<a href=") ? c : text.find(L'>', c);
        if (end == std::wstring::npos) break;
        if (end > c || text[c] == L'\t' || text[c] == L'\n') shape += text.substr(c, end - c + 1) + L' ';
        c = end;
      }
      if (data[at]) shapes[(block - 1) * 16 + UINT(i)] = shape;
    }
  }
  return shapes;
}

TEST(ResourceStrings, EveryLanguageHasTheSameIdsAndKeepsFormats) {
  std::map<UINT, std::wstring> english = StringShapes(9), independent = StringShapes(1033);
  ASSERT_GT(english.size(), 100u);
  ASSERT_TRUE(independent.count(IDS_REG_KEY));
  for (UINT language : {1029, 1051}) {
    std::map<UINT, std::wstring> shapes = StringShapes(language);
    EXPECT_EQ(shapes.size(), english.size()) << language;
    for (const auto& [id, shape] : english)
      EXPECT_EQ(shapes.count(id) ? shapes[id] : L"missing", shape) << language << ", string " << id;
  }
  for (const auto& [id, shape] : english)
    EXPECT_FALSE(independent.count(id)) << id << " hides a registry name";
}

// A menu as text: "[...]" a popup, else an item's id and state flags (separator, grayed, checked, radio, default).
std::string MenuShape(HMENU menu, std::set<int>* commands) {
  std::string shape;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    UINT id = GetMenuItemID(menu, i), state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
    commands->insert(int(id));
    if (HMENU popup = GetSubMenu(menu, i)) shape.append("[").append(MenuShape(popup, commands)).append("] ");
    else shape += std::to_string(id) + "/" + std::to_string(state) + " ";
  }
  return shape;
}

TEST(ResourceMenus, SameShapesAndKeysEverywhereAndEveryCommandHandled) {
  std::set<int> commands;
  for (UINT id : {IDR_MAIN_MENU, IDR_VIEW_MENU, IDR_TRAY_MENU}) {
    std::set<std::string> shapes;
    EXPECT_EQ(Enumerate(RT_MENU, id).size(), 3u) << id;  // once per UI language, English as 9 or 1033
    for (UINT language : Enumerate(RT_MENU, id)) {
      HMENU menu = LoadMenuIndirectW(Data(RT_MENU, id, language).data());
      shapes.insert(MenuShape(menu, &commands));
      DestroyMenu(menu);
    }
    EXPECT_EQ(shapes.size(), 1u) << "menu " << id << ": " << testing::PrintToString(shapes);
  }
  std::set<std::vector<WORD>> tables;  // entries of four words: flags, key, command, padding
  for (UINT language : Enumerate(RT_ACCELERATOR, IDR_ACCELERATORS)) {
    std::vector<WORD> table = Data(RT_ACCELERATOR, IDR_ACCELERATORS, language);
    for (size_t at = 2; at < table.size(); at += 4) commands.insert(table[at]);
    tables.insert(table);
  }
  EXPECT_EQ(tables.size(), 1u) << "the keys differ between languages";
  commands.erase(0), commands.erase(-1);  // separators, popups
  EXPECT_GT(commands.size(), 40u);
  for (int command : commands) EXPECT_TRUE(IsKnownCommand(command)) << command;
  EXPECT_FALSE(IsKnownCommand(IDM_LANG_LAST));
}

// A dialog as the system builds it: each control's id, class and style in order, whatever font the program puts in.
TEST(ResourceDialogs, SameControlsInEveryLanguageAlsoWithTheModernFont) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LINK_CLASS | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  EXPECT_GE(Enumerate(RT_DIALOG).size(), 8u);
  for (UINT id : Enumerate(RT_DIALOG)) {
    std::set<std::wstring> structures;
    EXPECT_EQ(Enumerate(RT_DIALOG, id).size(), 3u) << id;  // once per UI language, English as 9 or 1033
    for (UINT language : Enumerate(RT_DIALOG, id)) {
      std::vector<WORD> data = Data(RT_DIALOG, id, language), modern = data;
      modern.resize(ModernizeDialogFont(reinterpret_cast<uint8_t*>(modern.data()), data.size() * 2) / 2);
      EXPECT_EQ(modern.size(), data.size() - 6) << id;
      for (const std::vector<WORD>* copy : {&data, &modern}) {
        auto* dialogTemplate = reinterpret_cast<LPCDLGTEMPLATEW>(copy->data());
        HWND dialog = CreateDialogIndirectW(nullptr, dialogTemplate, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr) << id << ", language " << language;
        std::wstring structure = std::to_wstring(GetWindowLongW(dialog, GWL_STYLE));
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
          wchar_t name[64] = L"";
          GetClassNameW(child, name, 64);
          structure += L"; " + std::to_wstring(GetDlgCtrlID(child)) + L" " + name + L" " +
                       std::to_wstring(GetWindowLongW(child, GWL_STYLE));
        }
        structures.insert(structure);
        DestroyWindow(dialog);
      }
    }
    EXPECT_EQ(structures.size(), 1u) << "dialog " << id << ": " << testing::PrintToString(structures);
  }
}

}  // namespace
