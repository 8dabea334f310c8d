#include "command_fixture.h"

#include "commands/history.h"

namespace {

using HistoryTest = CommandFixture;

// Newest first, an exact match moves up, ten kept: in memory, in the registry and in the menu.
TEST_F(HistoryTest, OpensListNewestFirstAndClearKeepsTheNewest) {
  for (const wchar_t* path : {L"A", L"B", L"C", L"B", L"b", L"x&y", L"f0", L"f1", L"f2", L"f3", L"f4", L"f5"})
    AddToHistory(path);  // b is not B
  auto shown = [&](int index) {
    wchar_t text[64] = L"";
    GetMenuStringW(menu, UINT(IDM_HISTORY_FIRST + index), text, 64, MF_BYCOMMAND);
    return text + (L"|" + StoredText((L"history " + std::to_wstring(index)).c_str()));
  };
  EXPECT_EQ(shown(0) + shown(6) + shown(7) + shown(8) + shown(9),
            L"&0 f5|f5&6 x&&y|x&y&7 b|b&8 B|B&9 C|C");  // A, the oldest, is gone
  LoadSettings(), MakeWindow();  // as at start-up: the list read from the registry, the menu built from it
  Run(IDM_HISTORY_FIRST + 8);  // B does not exist: the open error, and B stays
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(shown(8), L"&8 B|B");
  Run(IDM_CLEAR_HISTORY);
  EXPECT_EQ(shown(0) + shown(1), L"&0 f5|f5|");
  wchar_t current[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, current), SetCurrentDirectoryW(directory.c_str());
  OpenLog(L"app.log", "x\n"), SetCurrentDirectoryW(current);  // kept whole: the current folder changes
  EXPECT_EQ(shown(0), L"&0 " + PathOf(L"app.log") + L"|" + PathOf(L"app.log"));
  OpenLog(PathOf(L"other.log"), "other\n");
  Run(IDM_HISTORY_FIRST + 1), Poll();  // the entry's own file, not the one open before
  EXPECT_EQ(Rows(), std::vector<std::wstring>{L"x"});
  EXPECT_EQ(shown(0) + shown(1), L"&0 " + PathOf(L"app.log") + L"|" + PathOf(L"app.log") + L"&1 " +
                                     PathOf(L"other.log") + L"|" + PathOf(L"other.log"));
  // A view of several files is one entry, named as the title names it, that reopens them all; as it grows, it stays one.
  std::wstring third = PathOf(L"third.log"), set = PathOf(L"app.log") + L"|" + PathOf(L"other.log");
  WriteBytes(third, "third\n");
  ASSERT_TRUE(AddFileToView(PathOf(L"other.log").c_str()));
  EXPECT_EQ(shown(0), L"&0 app.log + other.log|" + set);
  wchar_t title[128] = L"";
  GetWindowTextW(window, title, 128);
  EXPECT_STREQ(title, L"app.log + other.log - Quillon");
  ASSERT_TRUE(AddFileToView(third.c_str()));
  EXPECT_EQ(shown(0) + shown(1), L"&0 app.log + 2 more|" + set + L"|" + third + L"&1 " + PathOf(L"app.log") + L"|" +
                                     PathOf(L"app.log"));
  GetWindowTextW(window, title, 128);
  EXPECT_STREQ(title, L"app.log + 2 more - Quillon");
  OpenLog(third, "third\n");
  Run(IDM_HISTORY_FIRST + 1);
  EXPECT_EQ(ViewFileCount(), 3u);
  // Opened at once (the command line, a drop, the Open dialog), a set is one entry: its first file alone is not one.
  Run(IDM_CLEAR_HISTORY);
  std::wstring other = PathOf(L"other.log");
  const wchar_t* names[] = {third.c_str(), other.c_str()};
  ASSERT_TRUE(OpenFiles(names, 2));
  EXPECT_EQ(shown(0) + shown(1),
            L"&0 third.log + other.log|" + third + L"|" + other + L"&1 app.log + 2 more|" + set + L"|" + third);
}

}  // namespace
