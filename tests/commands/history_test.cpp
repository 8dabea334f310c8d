#include "command_fixture.h"

#include "commands/history.h"

namespace {

using HistoryTest = CommandFixture;

// Newest first, an exact match moves up, ten kept: in memory, in the registry and in the menu.
TEST_F(HistoryTest, OpensListNewestFirstAndClearKeepsTheNewest) {
  for (const wchar_t* path : {L"A", L"B", L"C", L"B", L"b", L"x&y", L"f0", L"f1", L"f2", L"f3", L"f4", L"f5"})
    AddToHistory(path);  // b is not B
  auto shown = [&](int index) {
    wchar_t text[64] = L"", stored[64] = L"";
    GetMenuStringW(menu, UINT(IDM_HISTORY_FIRST + index), text, 64, MF_BYCOMMAND);
    DWORD size = sizeof stored;
    RegGetValueW(root, LocalizedString(IDS_REG_KEY), (L"history " + std::to_wstring(index)).c_str(),
                 RRF_RT_REG_SZ, nullptr, stored, &size);
    return std::wstring(text) + L"|" + stored;
  };
  EXPECT_EQ(shown(0), L"&0 f5|f5");
  EXPECT_EQ(shown(6), L"&6 x&&y|x&y");
  EXPECT_EQ(shown(7), L"&7 b|b");
  EXPECT_EQ(shown(8), L"&8 B|B");
  EXPECT_EQ(shown(9), L"&9 C|C");  // A, the oldest, is gone
  MakeWindow();  // as at start-up: the menu is built from the stored list
  Run(IDM_HISTORY_FIRST + 8);  // B does not exist: the open error, and B stays
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(shown(8), L"&8 B|B");
  Run(IDM_CLEAR_HISTORY);
  EXPECT_EQ(shown(0) + shown(1), L"&0 f5|f5|");
  wchar_t current[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, current), SetCurrentDirectoryW(directory.c_str());
  OpenLog(L"app.log", "x\n"), SetCurrentDirectoryW(current);  // kept whole: the current folder changes
  EXPECT_EQ(shown(0), L"&0 " + PathOf(L"app.log") + L"|" + PathOf(L"app.log"));
}

}  // namespace
