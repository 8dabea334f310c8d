// Find and Go to row on a real view: the Find dialog typed into and clicked, the search through a large file on disk
// followed and stopped, and the other dialogs answered from a timer while they run.
#include <windows.h>
#include <commctrl.h>

#include "command_fixture.h"
#include "commands/find.h"
#include "core/matching.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "engine/row_builder.h"

namespace {

struct FindTest : CommandFixture {
  HWND OpenFind() {  // the Find dialog, left open
    allowDialogs = true;
    Run(IDM_FIND);
    return dialogFocusWindow != window && IsWindow(dialogFocusWindow) ? dialogFocusWindow : nullptr;
  }
};

// Searches from the open Find dialog, through the whole file.
void FindInFile(HWND dialog, const wchar_t* text, bool regex, bool down) {
  SetDlgItemTextW(dialog, IDC_FIND_TEXT, text);
  CheckRadioButton(dialog, IDC_FIND_UP, IDC_FIND_DOWN, down ? IDC_FIND_DOWN : IDC_FIND_UP);
  CheckDlgButton(dialog, IDC_FIND_REGEX, regex);
  CheckDlgButton(dialog, IDC_FIND_WHOLE_FILE, BST_CHECKED);
  SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(FindTest, TheDialogSearchesFromTheCurrentRowOneWayWithoutWrapping) {
  AppSettings.wrapLines = 0;
  std::string log = "x\nerror one\nab-xab\nxab ab\nError two\n";
  OpenLog(path, log.append(4092, 'y').append(" ab\n"));  // the last row is 4,095 units long
  HWND dialog = OpenFind();
  ASSERT_TRUE(dialog && IsWindowVisible(dialog) && !IsWindowEnabled(window));
  // The first search includes the current row; radio button 1056 is up, 1057 down; box 1040 whole word, 1041 case.
  const struct { const wchar_t* text; int direction, wholeWord, matchCase, from, expected; } steps[] = {
      {L"ERROR", 1057, 0, 0, 1, 1}, {L"ERROR", 1057, 0, 0, 1, 4}, {L"ERROR", 1057, 0, 0, 4, 4},
      {L"ERROR", 1056, 0, 0, 4, 1}, {L"Error", 1056, 0, 1, 4, 4}, {L"ab", 1057, 1, 0, 1, 2},
      {L"ab", 1057, 1, 0, 2, 5},    {L"ab", 1056, 1, 1, 0, 0}};
  for (const auto& step : steps) {
    SetDlgItemTextW(dialog, 1152, step.text);
    CheckRadioButton(dialog, 1056, 1057, step.direction);
    CheckDlgButton(dialog, 1040, UINT(step.wholeWord));
    CheckDlgButton(dialog, 1041, UINT(step.matchCase));
    ShowRow(step.from);
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Selected(), step.expected) << &step - steps;
  }
  Run(IDM_ESCAPE);  // posts the dialog its close
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(IsWindowEnabled(window) && dialogFocusWindow == window);
  ShowRow(5);
  Run(IDM_FIND_NEXT);  // the options stay: up, whole word
  EXPECT_EQ(Selected(), 2);
  Follow(path);
  ShowRow(3);
  Run(IDM_FIND_NEXT);  // a file opened forgets the text
  EXPECT_EQ(Selected(), 3);
  Run(IDM_FIND), dialog = dialogFocusWindow, Run(IDM_FIND);  // the second comes back to the open dialog
  bool one = OwnDialog() == dialog;  // a second would stand on top (of this thread: ctest runs two at once)
  std::wstring opened;  // down, up, whole word, match case: as at first, not as last used
  for (int button : {1057, 1056, 1040, 1041}) opened += L"01"[IsDlgButtonChecked(dialog, button) & 1];
  EXPECT_EQ(opened, L"1000");
  SetDlgItemTextW(dialog, 1152, L"ab"), CheckRadioButton(dialog, 1056, 1057, 1056);
  Run(IDM_FILE_CLOSE), SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // an empty view: nothing to test
  EXPECT_TRUE(one && dialogFocusWindow == dialog && Selected() == -1);
}

// A 200 MB log with one line to find at a tenth of it: the search runs out of loaded rows and goes on through the file
// on disk in either direction, and Esc stops a search that is under way and nothing else.
TEST_F(FindTest, WholeFileGoesOnThroughTheFileBothWaysAndEscStopsIt) {
  std::string block;
  for (int i = 0; i < 1000; ++i) block += "2024-05-01 12:00:00 INFO worker " + std::to_string(i % 10) + " took 12 ms\n";
  std::string log;
  log.reserve(size_t(210) << 20);
  while (log.size() < (size_t(20) << 20)) log += block;
  uint64_t target = log.size();
  log += "2024-05-01 12:00:00 INFO needle took 4321 ms\n";
  while (log.size() < (size_t(200) << 20)) log += block;
  OpenLog(path, log);
  log.clear(), log.shrink_to_fit();
  HWND dialog = OpenFind();
  ASSERT_TRUE(dialog);
  const struct { const wchar_t* text; bool regex, down; } cases[] = {
      {L"NEEDLE", false, false}, {L"took \\d{4} ms", true, false}, {L"NEEDLE", false, true}, {L"took \\d{4} ms", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.down ? "down" : "up") << (c.regex ? ", regex" : ", plain"));
    if (c.down) LoadStartOfFile();
    else FollowEndAgain();
    ShowRow(0);
    FindInFile(dialog, c.text, c.regex, c.down);
    EXPECT_TRUE(FileSearchRunning());
    if (c.down) LoadLaterRows();  // moving on while it searches leaves it searching
    ASSERT_TRUE(PumpUntil([] { return !FileSearchRunning(); }, 60000));
    EXPECT_NE(SelectedText().find(L"needle took 4321 ms"), std::wstring::npos) << SelectedText();
    EXPECT_TRUE(StretchStart() <= target && target < StretchEnd());
  }
  // No literal to look for: every line is decoded and tested, long enough to be stopped on the way.
  FollowEndAgain();
  int selected = Selected();
  FindInFile(dialog, L"[xy]\\d{5}", true, false);
  ASSERT_TRUE(PumpUntil([] { return SendMessageW(engineHost.progress, PBM_GETPOS, 0, 0) > 0 || !FileSearchRunning(); }));
  ASSERT_TRUE(FileSearchRunning());
  Run(IDM_ESCAPE);  // stops the search, and only that
  EXPECT_FALSE(FileSearchRunning());
  EXPECT_FALSE(IsWindowVisible(engineHost.progress));
  EXPECT_TRUE(IsWindow(dialog) && dialogFocusWindow == dialog);
  EXPECT_EQ(Selected(), selected);
  Run(IDM_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
}

// A merged view: Whole file goes through every file, the next hit in time order chosen, each in its own charset; go to
// time searches every file and loads the view around the time.
TEST_F(FindTest, AMergedViewIsSearchedAndEnteredByTimeThroughEveryFile) {
  AppSettings.linesLimit = 4, AppSettings.wrapLines = 0;
  std::wstring b = directory + L"\\b.log", c = directory + L"\\c.log";
  WriteBytes(path, NumberedLines(0, 10, "2026-01-01 10:00:0"));
  WriteBytes(b, "2026-01-01 10:00:00.500 b early needle\n2026-01-01 10:00:09.500 b late\n");
  std::string wide("\xFF\xFE", 2);
  for (char ch : std::string("2026-01-01 10:00:05.500 c needle\n2026-01-01 10:00:09.700 c last\n")) wide += ch, wide += '\0';
  WriteBytes(c, wide);
  const wchar_t* names[] = {path.c_str(), b.c_str(), c.c_str()};
  ASSERT_TRUE(OpenFiles(names, 3));
  Poll();
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"2026-01-01 10:00:08", L"2026-01-01 10:00:09", L"2026-01-01 10:00:09.500 b late",
                                               L"2026-01-01 10:00:09.700 c last"}));
  HWND dialog = OpenFind();
  ASSERT_TRUE(dialog);
  const struct { bool down; const wchar_t* selected; } cases[] = {
      {false, L"2026-01-01 10:00:05.500 c needle"}, {false, L"2026-01-01 10:00:00.500 b early needle"},
      {true, L"2026-01-01 10:00:05.500 c needle"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.selected)));
    ShowRow(c.down ? int(Rows().size()) - 1 : 0);
    FindInFile(dialog, L"needle", false, c.down);
    ASSERT_TRUE(PumpUntil([] { return !FileSearchRunning(); }, 60000));
    EXPECT_EQ(SelectedText(), c.selected);
    EXPECT_TRUE(Browsing());
  }
  Run(IDM_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialog); }));
  const struct { const wchar_t* typed; const wchar_t* selected; bool browsing; } times[] = {
      {L"2026-01-01 10:00:05", L"2026-01-01 10:00:05", true}, {L"2026-01-01 10:00:09.6", L"2026-01-01 10:00:09.700 c last", false},
      {L"2030-01-01 00:00", L"none", false}};
  for (const auto& t : times) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(t.typed)));
    RunTyping(IDM_GOTO_TIME, IDC_TIME_TEXT, {t.typed});
    EXPECT_EQ(std::pair(SelectedText(), Browsing()), std::pair(std::wstring(t.selected), t.browsing));
  }
  EXPECT_TRUE(PumpUntil([&] { return Rows().size() == 4 && Rows().back() == L"2026-01-01 10:00:09.700 c last"; }));
}

// A hit on disk in a line longer than the kb limit and than the view loads the rows around the match and selects the
// row where it starts: across a wrap, and for a match only there before tabs are expanded.
TEST_F(FindTest, AHitInALongLineSelectsTheRowWhereTheMatchStarts) {
  AppSettings.kbLimit = 1, AppSettings.linesLimit = 8, AppSettings.wrapLines = 1, AppSettings.rowLength = 10;
  std::string log = "start\n" + std::string(2007, 'x') + "NEEDLE" + std::string(2000, 'y') + "NEEDLE" +
                    std::string(1000, 'y') + "\n" + std::string(95, 'w') + "q\tz" + std::string(2000, 'v') + "\n" +
                    NumberedLines(0, 50, "end ");
  OpenLog(path, log);
  HWND dialog = OpenFind();
  ASSERT_TRUE(dialog);
  // Going up, the last match of the line comes first; then on through the
  // same line, above and below the rows the view holds of it.
  const struct { const wchar_t* text; bool regex, down; const wchar_t *selected, *next; } cases[] = {
      {L"q\\tz", true, false, L"wwwwwq  zv", L"vvvvvvvvvv"}, {L"needle", false, false, L"yyyNEEDLEy", L"yyyyyyyyyy"},
      {L"needle", false, false, L"xxxxxxxNEE", L"DLEyyyyyyy"}, {L"needle", false, true, L"yyyNEEDLEy", L"yyyyyyyyyy"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    FindInFile(dialog, c.text, c.regex, c.down);
    ASSERT_TRUE(PumpUntil([] { return !FileSearchRunning(); }, 60000));
    EXPECT_EQ(SelectedText(), c.selected);
    wchar_t next[kMaxRowUnits + 1] = L"";
    ReadViewRow(engineHost.view, Selected() + 1, next);
    EXPECT_STREQ(next, c.next);
  }
  Run(IDM_ESCAPE);
}

TEST_F(FindTest, GoToRowKeepsTheDialogUntilTheNumberIsARow) {
  OpenLog(path, NumberedLines(0, 200));
  ShowRow(7);
  const struct { std::vector<std::wstring> typed, shown; LRESULT top; int selected; } cases[] = {
      {{L"0", L"201", L"100"}, {L"8", L"0", L"201"}, 95, 99}, {{L"3"}, {L"100"}, 0, 2}, {{}, {L"3"}, 0, 2}};
  for (const auto& c : cases) {
    RunTyping(IDM_GOTO_LINE, IDC_ROW_NUMBER, c.typed);
    EXPECT_EQ(std::tuple(shownInField, SendMessageW(engineHost.view, LB_GETTOPINDEX, 0, 0), Selected()),
              std::tuple(c.shown, c.top, c.selected));
  }
}

}  // namespace
