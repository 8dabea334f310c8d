// Checks the resources linked into this executable (the same .rc files as the
// program's): each UI language carries the same strings, menus and dialog
// controls, in the shapes the code relies on. Languages are read exactly, as
// listed by the resource enumeration, never through the loader's fallback.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "resources/resource_ids.h"

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL);  // 9
constexpr LANGID kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
constexpr LANGID kCzech = MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT);  // 1029
constexpr LANGID kSlovak = MAKELANGID(LANG_SLOVAK, SUBLANG_DEFAULT);  // 1051
const std::vector<LANGID> kUiLanguages = {kEnglish, kCzech, kSlovak};
const std::vector<LANGID> kUsCzechSlovak = {kCzech, kUsEnglish, kSlovak};

HMODULE Module() { return GetModuleHandleW(nullptr); }

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<LANGID>*>(list)->push_back(language);
  return TRUE;
}

std::vector<LANGID> LanguagesOf(LPCWSTR type, LPCWSTR name) {
  std::vector<LANGID> languages;
  EnumResourceLanguagesW(Module(), type, name, AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
  std::sort(languages.begin(), languages.end());
  return languages;
}

std::vector<uint8_t> Data(LPCWSTR type, LPCWSTR name, LANGID language) {
  HRSRC found = FindResourceExW(Module(), type, name, language);
  if (!found) return {};
  auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(Module(), found)));
  return std::vector<uint8_t>(bytes, bytes + SizeofResource(Module(), found));
}

std::string Hex(LANGID language) { return "language " + std::to_string(language); }

// ---- String tables ----

BOOL CALLBACK AddName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
  if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<UINT>*>(list)->push_back(UINT(ULONG_PTR(name)));
  return TRUE;
}

// Every non-empty string entry of the blocks present in exactly this language.
std::map<UINT, std::wstring> StringsIn(LANGID language) {
  std::vector<UINT> blocks;
  EnumResourceNamesW(Module(), RT_STRING, AddName, reinterpret_cast<LONG_PTR>(&blocks));
  std::map<UINT, std::wstring> strings;
  for (UINT block : blocks) {
    std::vector<LANGID> languages = LanguagesOf(RT_STRING, MAKEINTRESOURCEW(block));
    if (!std::count(languages.begin(), languages.end(), language)) continue;
    std::vector<uint8_t> data = Data(RT_STRING, MAKEINTRESOURCEW(block), language);
    const WORD* entry = reinterpret_cast<const WORD*>(data.data());
    const WORD* end = entry + data.size() / 2;
    for (UINT i = 0; i < 16 && entry < end; ++i) {
      if (*entry) strings[(block - 1) * 16 + i] = std::wstring(reinterpret_cast<const wchar_t*>(entry + 1), *entry);
      entry += 1 + *entry;
    }
  }
  return strings;
}

const std::map<UINT, std::wstring>& Strings(LANGID language) {
  static std::map<LANGID, std::map<UINT, std::wstring>> cache;
  auto found = cache.find(language);
  if (found == cache.end()) found = cache.emplace(language, StringsIn(language)).first;
  return found->second;
}

bool IsIndependentId(UINT id) { return id >= 128 && id <= 159; }

// What a translation must keep: printf conversions in order, tabs, line
// breaks and link markup.
std::wstring Shape(const std::wstring& text) {
  std::wstring shape;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'%') {
      size_t j = i + 1;
      while (j < text.size() && (iswdigit(text[j]) || text[j] == L'.')) ++j;
      shape += text.substr(i, j - i + 1) + L" ";
      i = j;
    } else if (c == L'\t') {
      shape += L"TAB ";
    } else if (c == L'\n') {
      shape += L"LF ";
    } else if (text.compare(i, 9, L"<a href=\"") == 0) {
      size_t close = text.find(L'"', i + 9);
      shape += L"<a " + text.substr(i + 9, close - i - 9) + L"> ";
    } else if (text.compare(i, 4, L"</a>") == 0) {
      shape += L"</a> ";
    }
  }
  return shape;
}

// Every string id the design names (the registry and stream names apart).
const UINT kDesignStringIds[] = {
    IDS_PRODUCT_NAME, IDS_MAKER_NOTICE, IDS_LOG_FILE_TYPE, IDS_FILTER_LOG_FILES, IDS_FILTER_ALL_FILES,
    IDS_TITLE_FORMAT, IDS_PRINT_NO_DATA, IDS_OPEN_FAILED, IDS_PRINT_START_FAILED, IDS_ASSOC_READ_FAILED,
    IDS_ASSOC_NO_RIGHTS, IDS_COPY_FAILED, IDS_ERASE_FAILED, IDS_UPDATE_PANE_EMPTY, IDS_NEXT_CHECK,
    IDS_AUTO_CHECK_OFF, IDS_CONNECTING, IDS_NO_UPDATE, IDS_NEW_MAJOR, IDS_NEW_MINOR, IDS_NEW_PATCH,
    IDS_BAD_RESPONSE, IDS_CONNECT_FAILED, IDS_INIT_FAILED, IDS_CLICK_TO_DOWNLOAD, IDS_LANGUAGE_CODE,
    IDS_ERASE_CAPTION, IDS_ERASE_QUESTION, IDS_WATCH_VERB, IDS_PANE_LOCKED, IDS_PANE_ROW,
    IDS_PANE_ROW_COUNT, IDS_PANE_FOLLOWING, IDS_PANE_PAUSED, IDS_PANE_LOCKED_TIP, IDS_PANE_UNFINISHED,
    IDS_PANE_SIZE_TIP,
    // Menu help: the six popups, then command + 256.
    256, 257, 258, 259, 260, 261, 1357, 1358, 1359, 1364, 1365, 1377, 1457, 1458, 1459, 1460, 1461, 1462,
    1463, 1464, 1465, 1467, 1468, 1475, 1558, 1559, 1560, 1561, 1562, 1563, 1564, 1565, 1566, 1575, 1657,
    1658, 1659, 1660, 1661, 1662, 1663, 1664, 1665, 1775, 2162, 2164, 2165,
    // Control help: control + 3584.
    3585, 3586, 3705, 3706, 3842, 3843, 3844, 3845, 3846, 3847, 3848, 3849, 3850, 3851, 3855, 4096, 4097,
    4111, 4115, 4116, 4117, 4125, 4126};

const UINT kDesignIndependentIds[] = {129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142,
                                      143, 145, 146, 147, 148, 152, 153, 154, 155, 156, 157, 158, 159};

// Ids that must stay empty: their help line is blank, or nothing maps to them.
const UINT kAbsentIds[] = {
    IDS_CONTROL_HELP_BASE - 1,  // unnumbered statics (id -1)
    IDS_MENU_HELP_BASE + IDM_LANG_ENGLISH, IDS_MENU_HELP_BASE + IDM_LANG_CZECH,
    IDS_MENU_HELP_BASE + IDM_LANG_SLOVAK, IDS_MENU_HELP_BASE + IDM_DONATE, IDS_MENU_HELP_BASE + IDM_RESTORE,
    IDS_MENU_HELP_BASE + IDM_HISTORY_FIRST, IDS_MENU_HELP_BASE + IDM_HISTORY_LAST};

TEST(ResourceStrings, UiLanguagesCarryTheSameIds) {
  std::set<UINT> english;
  for (const auto& [id, text] : Strings(kEnglish)) english.insert(id);
  ASSERT_FALSE(english.empty());
  for (LANGID language : {kCzech, kSlovak}) {
    SCOPED_TRACE(Hex(language));
    std::set<UINT> ids;
    for (const auto& [id, text] : Strings(language)) ids.insert(id);
    for (UINT id : english) EXPECT_TRUE(ids.count(id)) << "missing string " << id;
    for (UINT id : ids) EXPECT_TRUE(english.count(id)) << "string only here " << id;
  }
}

TEST(ResourceStrings, IndependentIdsExistInUsEnglishOnly) {
  for (const auto& [id, text] : Strings(kUsEnglish)) {
    SCOPED_TRACE(id);
    EXPECT_TRUE(IsIndependentId(id));
  }
  for (LANGID language : kUiLanguages) {
    SCOPED_TRACE(Hex(language));
    for (const auto& [id, text] : Strings(language)) EXPECT_FALSE(IsIndependentId(id)) << id;
  }
  for (UINT id : kDesignIndependentIds) {
    SCOPED_TRACE(id);
    EXPECT_EQ(Strings(kUsEnglish).count(id), 1u);
  }
  EXPECT_EQ(Strings(kUsEnglish).at(IDS_REG_KEY), L"Software\\Morvane\\Quillon");
  EXPECT_EQ(Strings(kUsEnglish).at(IDS_REG_HISTORY_FORMAT), L"history %u");
  EXPECT_EQ(Strings(kUsEnglish).at(IDS_DEFAULT_ICON), L"%SystemRoot%\\system32\\shell32.dll,-152");
  EXPECT_EQ(Strings(kUsEnglish).at(IDS_VERB_KEY), L"*\\shell\\Kavex.Quillon");
  EXPECT_EQ(Strings(kUsEnglish).at(IDS_PROPERTIES_STREAM), L":Kavex.Quillon.Properties");
}

TEST(ResourceStrings, DesignIdsExistInEveryUiLanguage) {
  for (LANGID language : kUiLanguages) {
    for (UINT id : kDesignStringIds) {
      SCOPED_TRACE(Hex(language) + ", string " + std::to_string(id));
      EXPECT_EQ(Strings(language).count(id), 1u);
    }
    for (UINT id : kAbsentIds) {
      SCOPED_TRACE(Hex(language) + ", string " + std::to_string(id));
      EXPECT_EQ(Strings(language).count(id), 0u);
    }
  }
}

TEST(ResourceStrings, TranslationsKeepFormatsTabsAndLinks) {
  for (const auto& [id, english] : Strings(kEnglish)) {
    for (LANGID language : {kCzech, kSlovak}) {
      auto found = Strings(language).find(id);
      if (found == Strings(language).end()) continue;  // reported by UiLanguagesCarryTheSameIds
      SCOPED_TRACE(Hex(language) + ", string " + std::to_string(id));
      EXPECT_EQ(Shape(found->second), Shape(english));
    }
  }
}

TEST(ResourceStrings, FixedTextsInEveryLanguage) {
  struct Fixed {
    UINT id;
    std::wstring text;
  };
  const Fixed fixed[] = {{IDS_PRODUCT_NAME, L"Quillon"},
                         {IDS_TITLE_FORMAT, L"%s - %s"},
                         {IDS_OPEN_FAILED, L" "},
                         {IDS_UPDATE_PANE_EMPTY, std::wstring(32, L' ')},
                         {IDS_CONTROL_HELP_BASE + IDC_VERSION, L"Quillon 1.7.2.3098"}};
  for (LANGID language : kUiLanguages) {
    for (const Fixed& f : fixed) {
      SCOPED_TRACE(Hex(language) + ", string " + std::to_string(f.id));
      EXPECT_EQ(Strings(language).at(f.id), f.text);
    }
    // The lock pane text is padded to 48 characters in every language.
    const std::wstring& locked = Strings(language).at(IDS_PANE_LOCKED);
    EXPECT_EQ(locked.size(), 48u);
    EXPECT_NE(locked[0], L' ');
  }
  EXPECT_EQ(Strings(kEnglish).at(IDS_PANE_LOCKED), L"LOCKED" + std::wstring(42, L' '));
}

TEST(ResourceStrings, LanguageCodeForTheDonationPage) {
  EXPECT_EQ(Strings(kEnglish).at(IDS_LANGUAGE_CODE), L"en");
  EXPECT_EQ(Strings(kCzech).at(IDS_LANGUAGE_CODE), L"cz");
  EXPECT_EQ(Strings(kSlovak).at(IDS_LANGUAGE_CODE), L"cz");
}

TEST(ResourceStrings, EnglishTextsAsQuoted) {
  const std::map<UINT, std::wstring> quoted = {
      {IDS_ERASE_FAILED, L"Failed to access the file to delete its content.\n\n"},
      {IDS_ERASE_CAPTION, L"Delete file contents?"},
      {IDS_ERASE_QUESTION, L"This command will erase the content of the file.\n\nErase contents?"},
      {IDS_NEW_PATCH, L"Stability update to %u.%u.%u is available. <a href=\"%s\">Download here</a>"},
      {IDS_MENU_HELP_BASE + IDM_FILE_OPEN,
       L"Displays the \"Open...\" dialog to choose and open file for surveilance\t\tCtrl+O   ___"},
      {IDS_MENU_HELP_BASE + IDM_CHARSET_UTF32LE, L"The files are expected to be encoded in UTF-32 Litle-Endian"},
      {IDS_CONTROL_HELP_BASE + IDC_ASSOC_CONTEXT_MENU,
       L"The file context menu may contain the \"Watch file as log...\" command that will open the file in "
       L"this program."}};
  for (const auto& [id, text] : quoted) {
    SCOPED_TRACE(id);
    EXPECT_EQ(Strings(kEnglish).at(id), text);
  }
}

// ---- Menus and accelerators ----

// A menu as text: "[...]" a popup, "-" a separator, an item as its id with
// flags g(rayed), c(hecked), d(efault), r(adio) and t (has a key after a tab).
void Flatten(HMENU menu, std::string* shape, std::vector<std::wstring>* problems) {
  std::set<wchar_t> mnemonics;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    wchar_t text[256] = L"";
    MENUITEMINFOW info{sizeof(info)};
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 256;
    GetMenuItemInfoW(menu, UINT(i), TRUE, &info);
    if (!shape->empty() && shape->back() != '[') *shape += ' ';
    if (info.fType & MFT_SEPARATOR) {
      *shape += '-';
      continue;
    }
    std::wstring label = text;
    if (label.empty() && GetMenuItemCount(menu) > 1) problems->push_back(L"empty text");
    size_t amp = label.find(L'&');
    if (amp != std::wstring::npos && amp + 1 < label.size() &&
        !mnemonics.insert(wchar_t(towlower(label[amp + 1]))).second)
      problems->push_back(L"mnemonic used twice: " + label);
    if (info.hSubMenu) {
      *shape += '[';
      Flatten(info.hSubMenu, shape, problems);
      *shape += ']';
      continue;
    }
    *shape += std::to_string(info.wID);
    if (info.fState & MFS_GRAYED) *shape += 'g';
    if (info.fState & MFS_CHECKED) *shape += 'c';
    if (info.fState & MFS_DEFAULT) *shape += 'd';
    if (info.fType & MFT_RADIOCHECK) *shape += 'r';
    if (label.find(L'\t') != std::wstring::npos) *shape += 't';
  }
}

TEST(ResourceMenus, SameItemsAndStatesInEveryLanguage) {
  struct MenuCase {
    UINT id;
    std::vector<LANGID> languages;
    std::string shape;
  };
  const MenuCase menus[] = {
      {IDR_MAIN_MENU, kUiLanguages,
       "[1101t [1121 -] 1108gt - 1102 1103gt - 1109t] "
       "[1201gt 1207gt 1219gt - 1211t 1212t - 1202gt 1203gt - 1204gt 1205gt 1206gt - 1208t - 1209t] "
       "[1401 1406 1402 1404 - 1405 1409 - 1408ct 1407ct 1403c] "
       "[1305rt 1303r 1304r - 1309rt 1302rt 1306rt 1307r 1308r 1310r - 1319ct] "
       "[1501r 1502r 1503r - 1519r] [1908 1906c - 1905 - 1909t]"},
      {IDR_VIEW_MENU, kUiLanguages, "[1202g 1103g - 1203g]"},
      {IDR_TRAY_MENU, kUsCzechSlovak, "[1118d 1109]"},
  };
  for (const MenuCase& m : menus) {
    SCOPED_TRACE("menu " + std::to_string(m.id));
    std::vector<LANGID> expected = m.languages;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LanguagesOf(RT_MENU, MAKEINTRESOURCEW(m.id)), expected);
    for (LANGID language : m.languages) {
      SCOPED_TRACE(Hex(language));
      std::vector<uint8_t> data = Data(RT_MENU, MAKEINTRESOURCEW(m.id), language);
      ASSERT_FALSE(data.empty());
      HMENU menu = LoadMenuIndirectW(data.data());
      ASSERT_NE(menu, nullptr);
      std::string shape;
      std::vector<std::wstring> problems;
      Flatten(menu, &shape, &problems);
      DestroyMenu(menu);
      EXPECT_EQ(shape, m.shape);
      for (const std::wstring& problem : problems) ADD_FAILURE() << testing::PrintToString(problem);
    }
  }
}

TEST(ResourceMenus, AcceleratorTableOnceWithTheDesignKeys) {
  EXPECT_EQ(LanguagesOf(RT_ACCELERATOR, MAKEINTRESOURCEW(IDR_ACCELERATORS)), std::vector<LANGID>{kEnglish});
  HACCEL table = LoadAcceleratorsW(Module(), MAKEINTRESOURCEW(IDR_ACCELERATORS));
  ASSERT_NE(table, nullptr);
  ACCEL keys[64];
  int count = CopyAcceleratorTableW(table, keys, 64);
  std::set<std::tuple<int, int, int>> actual;
  for (int i = 0; i < count; ++i) {
    EXPECT_TRUE(keys[i].fVirt & FVIRTKEY);
    actual.insert({keys[i].fVirt & (FCONTROL | FSHIFT | FALT), keys[i].key, keys[i].cmd});
  }
  const std::set<std::tuple<int, int, int>> expected = {
      {FCONTROL, 'O', 1101}, {FCONTROL, 'P', 1103}, {FCONTROL, VK_F4, 1108}, {0, VK_ESCAPE, 1119},
      {0, VK_PAUSE, 1201}, {FCONTROL, 'F', 1204}, {0, VK_F3, 1205}, {FCONTROL, 'G', 1206},
      {0, VK_SCROLL, 1207}, {0, VK_F11, 1208}, {FSHIFT, VK_F11, 1208}, {FCONTROL, 'C', 1202},
      {FCONTROL, 'A', 1203}, {FCONTROL, 'X', 1209}, {FCONTROL, 'R', 1219}, {FCONTROL, VK_UP, 1211},
      {FCONTROL, VK_DOWN, 1212}, {FCONTROL, 'D', 1319}, {FCONTROL, 'W', 1407}, {FCONTROL, 'E', 1408},
      {FCONTROL, '0', 1305}, {FCONTROL, '7', 1309}, {FCONTROL, '8', 1302}, {FCONTROL, 'U', 1306},
      {0, VK_F1, 1909}};
  EXPECT_EQ(count, 25);
  EXPECT_EQ(actual, expected);
  DestroyAcceleratorTable(table);
}

// ---- Dialog templates ----

struct DialogItem {
  int id;
  std::wstring windowClass;
  DWORD style;
  short x, y, cx, cy;
};

struct Dialog {
  DWORD signature = 0, exStyle = 0, style = 0;
  short cx = 0, cy = 0;
  WORD pointSize = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::wstring face;
  std::vector<DialogItem> items;
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& data) : data_(data) {}
  template <typename T>
  T Read() {
    T value{};
    if (at_ + sizeof(T) <= data_.size()) memcpy(&value, data_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  // A string or an ordinal (0xFFFF and a number, shown as "#number").
  std::wstring Name() {
    WORD first = Read<WORD>();
    if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
    std::wstring text;
    for (WORD unit = first; unit != 0 && at_ <= data_.size(); unit = Read<WORD>()) text += wchar_t(unit);
    return text;
  }
  void Align() { at_ = (at_ + 3) & ~size_t(3); }
  void Skip(size_t bytes) { at_ += bytes; }

 private:
  const std::vector<uint8_t>& data_;
  size_t at_ = 0;
};

Dialog ParseDialog(const std::vector<uint8_t>& data) {
  Reader in(data);
  Dialog dialog;
  dialog.signature = in.Read<DWORD>();
  if (dialog.signature != 0xFFFF0001) return dialog;
  in.Read<DWORD>();  // help id
  dialog.exStyle = in.Read<DWORD>();
  dialog.style = in.Read<DWORD>();
  WORD count = in.Read<WORD>();
  in.Read<short>();
  in.Read<short>();
  dialog.cx = in.Read<short>();
  dialog.cy = in.Read<short>();
  in.Name();  // menu
  in.Name();  // class
  in.Name();  // caption
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = in.Read<WORD>();
    dialog.weight = in.Read<WORD>();
    dialog.italic = in.Read<BYTE>();
    dialog.charset = in.Read<BYTE>();
    dialog.face = in.Name();
  }
  for (WORD i = 0; i < count; ++i) {
    in.Align();
    DialogItem item{};
    in.Read<DWORD>();  // help id
    in.Read<DWORD>();  // extended style
    item.style = in.Read<DWORD>();
    item.x = in.Read<short>();
    item.y = in.Read<short>();
    item.cx = in.Read<short>();
    item.cy = in.Read<short>();
    item.id = int(in.Read<DWORD>());
    item.windowClass = in.Name();
    std::transform(item.windowClass.begin(), item.windowClass.end(), item.windowClass.begin(), towlower);
    in.Name();  // text
    in.Skip(in.Read<WORD>());
    dialog.items.push_back(item);
  }
  return dialog;
}

struct Placed {
  int id;
  short x, y, cx, cy;
};

struct DialogCase {
  UINT id;
  std::vector<LANGID> languages;
  short cx, cy;
  std::vector<Placed> controls;  // numbered controls the design places; others just by id
  std::vector<int> ids;
};

const DialogCase kDialogs[] = {
    {IDD_GOTO_ROW, kUiLanguages, 180, 56,
     {{127, 0, 30, 182, 2}, {258, 55, 10, 57, 12}, {1, 68, 36, 50, 14}, {2, 123, 36, 50, 14}},
     {127, -1, 258, 1, 2}},
    {IDD_ROW_LENGTH, kUiLanguages, 180, 56,
     {{127, 0, 30, 182, 2}, {259, 95, 10, 57, 12}, {260, 152, 10, 10, 12}, {1, 68, 36, 50, 14},
      {2, 123, 36, 50, 14}},
     {127, -1, 259, 260, 1, 2}},
    {IDD_PRINTING, kUiLanguages, 0, 0, {}, {127, 602, 1025, 261, 2}},
    {IDD_ASSOCIATIONS, kUiLanguages, 250, 155,
     {{127, 0, 128, 252, 2}, {1025, 40, 12, 210, 14}, {512, 50, 35, 160, 10}, {513, 50, 47, 160, 10},
      {1026, 40, 75, 210, 10}, {527, 50, 95, 160, 14}, {1, 138, 135, 50, 14}, {2, 193, 135, 50, 14},
      {122, 7, 137, 130, 9}},
     {127, -1, 1025, 512, 513, 1026, 527, 1, 2, 122}},
    {IDD_SIZE_LIMIT, kUiLanguages, 186, 71,
     {{127, 0, 45, 188, 2}, {263, 95, 10, 57, 12}, {264, 152, 10, 10, 12}, {265, 95, 25, 57, 12},
      {266, 152, 25, 10, 12}, {1, 74, 51, 50, 14}, {2, 129, 51, 50, 14}},
     {127, -1, 263, 264, -1, -1, 265, 266, -1, 1, 2}},
    {IDD_APP_SETTINGS, kUsCzechSlovak, 280, 179,
     {{127, 0, 152, 282, 2}, {601, 2, 0, 35, 35}, {1025, 40, 12, 180, 14}, {531, 50, 35, 220, 10},
      {532, 50, 47, 220, 10}, {533, 50, 59, 220, 10}, {1026, 40, 87, 160, 14}, {541, 50, 107, 180, 10},
      {542, 50, 119, 180, 10}, {1, 168, 159, 50, 14}, {2, 223, 159, 50, 14}},
     {127, 601, 1025, 531, 532, 533, 1026, 541, 542, 1, 2}},
    {IDD_VERSION_HISTORY, kUiLanguages, 0, 0, {}, {2, 127, 267}},
    {IDD_ABOUT, kUiLanguages, 0, 0, {}, {2, 127, 299, 1024, 271, 262, 121}},
};

TEST(ResourceDialogs, ExtendedTemplatesWithTheShellFont) {
  for (const DialogCase& c : kDialogs) {
    SCOPED_TRACE("dialog " + std::to_string(c.id));
    std::vector<LANGID> expected = c.languages;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LanguagesOf(RT_DIALOG, MAKEINTRESOURCEW(c.id)), expected);
    for (LANGID language : c.languages) {
      SCOPED_TRACE(Hex(language));
      Dialog dialog = ParseDialog(Data(RT_DIALOG, MAKEINTRESOURCEW(c.id), language));
      EXPECT_EQ(dialog.signature, 0xFFFF0001u);
      EXPECT_EQ(dialog.style & DS_SETFONT, DWORD(DS_SETFONT));
      EXPECT_EQ(dialog.style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
                DWORD(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
      EXPECT_TRUE(dialog.exStyle & WS_EX_CONTEXTHELP);
      EXPECT_EQ(dialog.face, L"MS Shell Dlg 2");
      EXPECT_EQ(dialog.pointSize, 8);
      EXPECT_EQ(dialog.weight, 0);
      EXPECT_EQ(dialog.italic, 0);
      EXPECT_EQ(dialog.charset, 1);
    }
  }
}

TEST(ResourceDialogs, SameControlsInEveryLanguage) {
  for (const DialogCase& c : kDialogs) {
    SCOPED_TRACE("dialog " + std::to_string(c.id));
    Dialog first = ParseDialog(Data(RT_DIALOG, MAKEINTRESOURCEW(c.id), c.languages[0]));
    for (LANGID language : c.languages) {
      SCOPED_TRACE(Hex(language));
      Dialog dialog = ParseDialog(Data(RT_DIALOG, MAKEINTRESOURCEW(c.id), language));
      std::vector<int> ids;
      for (const DialogItem& item : dialog.items) ids.push_back(item.id);
      EXPECT_EQ(ids, c.ids);
      ASSERT_EQ(dialog.items.size(), first.items.size());
      EXPECT_EQ(dialog.cx, first.cx);
      EXPECT_EQ(dialog.cy, first.cy);
      for (size_t i = 0; i < dialog.items.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(dialog.items[i].id));
        EXPECT_EQ(dialog.items[i].windowClass, first.items[i].windowClass);
        EXPECT_EQ(dialog.items[i].style, first.items[i].style);
      }
    }
  }
}

TEST(ResourceDialogs, DesignPositionsAndSizes) {
  for (const DialogCase& c : kDialogs) {
    if (c.controls.empty()) continue;
    for (LANGID language : c.languages) {
      SCOPED_TRACE("dialog " + std::to_string(c.id) + ", " + Hex(language));
      Dialog dialog = ParseDialog(Data(RT_DIALOG, MAKEINTRESOURCEW(c.id), language));
      EXPECT_EQ(dialog.cx, c.cx);
      EXPECT_EQ(dialog.cy, c.cy);
      for (const Placed& p : c.controls) {
        SCOPED_TRACE("control " + std::to_string(p.id));
        auto item = std::find_if(dialog.items.begin(), dialog.items.end(),
                                 [&](const DialogItem& i) { return i.id == p.id; });
        ASSERT_NE(item, dialog.items.end());
        EXPECT_EQ(std::vector<short>({item->x, item->y, item->cx, item->cy}),
                  std::vector<short>({p.x, p.y, p.cx, p.cy}));
      }
    }
  }
}

TEST(ResourceDialogs, ControlKinds) {
  struct Kind {
    UINT dialog;
    int id;
    std::wstring windowClass;  // as a name, or "#ordinal" (0x80 button, 0x81 edit, 0x82 static)
    DWORD style;               // bits that must be set
  };
  const Kind kinds[] = {
      {IDD_GOTO_ROW, 127, L"static", SS_ETCHEDHORZ},
      {IDD_GOTO_ROW, 258, L"edit", ES_NUMBER | WS_TABSTOP},
      {IDD_GOTO_ROW, 1, L"#128", BS_DEFPUSHBUTTON},
      {IDD_ROW_LENGTH, 259, L"#129", ES_NUMBER},
      {IDD_ROW_LENGTH, 260, L"msctls_updown32", UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ARROWKEYS},
      {IDD_SIZE_LIMIT, 264, L"msctls_updown32", UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ARROWKEYS},
      {IDD_SIZE_LIMIT, 266, L"msctls_updown32",
       UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS},
      {IDD_PRINTING, 261, L"msctls_progress32", 0},
      {IDD_APP_SETTINGS, 531, L"button", BS_AUTOCHECKBOX | WS_DISABLED},
      {IDD_APP_SETTINGS, 601, L"static", SS_ICON},
      {IDD_ASSOCIATIONS, 527, L"button", BS_AUTOCHECKBOX},
      {IDD_VERSION_HISTORY, 267, L"#129", ES_MULTILINE | ES_READONLY | WS_VSCROLL},
      {IDD_ABOUT, 299, L"static", SS_ICON | SS_REALSIZEIMAGE | SS_CENTERIMAGE},
      {IDD_ABOUT, 262, L"syslink", 0},
      {IDD_ABOUT, 121, L"syslink", 0},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE("dialog " + std::to_string(k.dialog) + ", control " + std::to_string(k.id));
    for (LANGID language : LanguagesOf(RT_DIALOG, MAKEINTRESOURCEW(k.dialog))) {
      Dialog dialog = ParseDialog(Data(RT_DIALOG, MAKEINTRESOURCEW(k.dialog), language));
      auto item = std::find_if(dialog.items.begin(), dialog.items.end(),
                               [&](const DialogItem& i) { return i.id == k.id; });
      ASSERT_NE(item, dialog.items.end());
      if (k.windowClass[0] == L'#' || item->windowClass[0] != L'#') {
        EXPECT_EQ(item->windowClass, k.windowClass);
      } else {
        const wchar_t* ordinals[] = {L"button", L"edit", L"static"};
        int ordinal = std::stoi(item->windowClass.substr(1)) - 0x80;
        ASSERT_TRUE(ordinal >= 0 && ordinal < 3);
        EXPECT_EQ(ordinals[ordinal], k.windowClass);
      }
      EXPECT_EQ(item->style & k.style, k.style);
      if (k.id == 127) EXPECT_EQ(item->style & SS_TYPEMASK, DWORD(SS_ETCHEDHORZ));
    }
  }
}

// ---- Language-independent data ----

TEST(ResourceHistory, Utf16TextWithByteOrderMarkNewestFirst) {
  EXPECT_EQ(LanguagesOf(L"TEXT", L"HISTORY"), std::vector<LANGID>{0});
  std::vector<uint8_t> data = Data(L"TEXT", L"HISTORY", 0);
  ASSERT_GE(data.size(), 4u);
  EXPECT_EQ(data[0], 0xFF);
  EXPECT_EQ(data[1], 0xFE);
  EXPECT_EQ(data.size() % 2, 0u);
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()) + 1, data.size() / 2 - 1);
  EXPECT_EQ(text.compare(0, 26, L"1.7.2\r\nreleased 30.11.2026"), 0);
  EXPECT_NE(text.find(L"\r\n * "), std::wstring::npos);
  EXPECT_NE(text.find(L"\r\n\r\n1.7.1\r\nreleased "), std::wstring::npos);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n') EXPECT_TRUE(i > 0 && text[i - 1] == L'\r') << "bare line feed at " << i;
  }
}

TEST(ResourceVersion, FileAndProductVersion) {
  std::vector<uint8_t> data = Data(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), kUsEnglish);
  const DWORD signature = 0xFEEF04BD;
  auto at = std::search(data.begin(), data.end(), reinterpret_cast<const uint8_t*>(&signature),
                        reinterpret_cast<const uint8_t*>(&signature) + 4);
  ASSERT_LE(size_t(at - data.begin()) + sizeof(VS_FIXEDFILEINFO), data.size());
  VS_FIXEDFILEINFO info;
  memcpy(&info, &*at, sizeof(info));
  EXPECT_EQ(info.dwFileVersionMS, 0x00010007u);
  EXPECT_EQ(info.dwFileVersionLS, 0x00020000u + 3098u);
  EXPECT_EQ(info.dwProductVersionMS, 0x00010007u);
  EXPECT_EQ(info.dwProductVersionLS, 0x00020000u + 3098u);
  std::wstring all(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
  EXPECT_NE(all.find(std::wstring(L"tessel.exe", 11)), std::wstring::npos);  // with its terminator
  EXPECT_NE(all.find(std::wstring(L"Morvane", 8)), std::wstring::npos);
}

}  // namespace
