#include "commands/command_set.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "command_fixture.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "test_support.h"

namespace {

using RowList = std::vector<std::wstring>;

struct CommandTest : CommandFixture {};

TEST_F(CommandTest, TogglesFlipTheCheckTheSettingAndTheStoredValue) {
  const struct {
    int command;
    uint32_t Settings::*field;
    const wchar_t* name;
  } toggles[] = {
      {IDM_STATUS_BAR, &Settings::statusBar, L"status bar"},
      {IDM_WRAP_LINES, &Settings::wrapLines, L"wrap lines"},
      {IDM_CUT_EMPTY, &Settings::cutEmpty, L"cut empty"},
      {IDM_AUTODETECT, &Settings::autodetect, L"autodetect"},
  };
  for (const auto& toggle : toggles) {
    SCOPED_TRACE(toggle.command);
    CheckMenuItem(menu, UINT(toggle.command), MF_BYCOMMAND | MF_CHECKED);
    AppSettings.*toggle.field = 1;
    DWORD stored = 7;
    Run(toggle.command);
    EXPECT_FALSE(Checked(toggle.command));
    EXPECT_EQ(AppSettings.*toggle.field, 0u);
    ASSERT_TRUE(StoredNumber(toggle.name, &stored));
    EXPECT_EQ(stored, 0u);
    Run(toggle.command);
    EXPECT_TRUE(Checked(toggle.command));
    EXPECT_EQ(AppSettings.*toggle.field, 1u);
    ASSERT_TRUE(StoredNumber(toggle.name, &stored));
    EXPECT_EQ(stored, 1u);
  }
  // Each toggle wrote its own value and nothing else.
  EXPECT_EQ(StoredValueCount(), 4u);
}

// The clean full screen takes the menu off the window; keys still toggle
// and the marks are right when it comes back.
TEST_F(CommandTest, TogglesWithoutTheMenuBarKeepTheirMarks) {
  SetMenu(window, nullptr);
  AppSettings.wrapLines = 1;
  CheckMenuItem(menu, IDM_WRAP_LINES, MF_BYCOMMAND | MF_CHECKED);
  DWORD stored = 7;
  for (DWORD expected : {0u, 1u, 0u}) {
    Run(IDM_WRAP_LINES);
    EXPECT_EQ(AppSettings.wrapLines, expected);
    EXPECT_EQ(Checked(IDM_WRAP_LINES), expected == 1);
    ASSERT_TRUE(StoredNumber(L"wrap lines", &stored));
    EXPECT_EQ(stored, expected);
  }
  Run(IDM_CHARSET_UTF8);
  EXPECT_TRUE(Checked(IDM_CHARSET_UTF8));
  SetMenu(window, menu);
}

TEST_F(CommandTest, StatusBarToggleShowsAndHidesTheBar) {
  CheckMenuItem(menu, IDM_STATUS_BAR, MF_BYCOMMAND | MF_CHECKED);
  RelayoutMainWindow(window);
  ASSERT_TRUE(GetWindowLongW(engineHost.statusBar, GWL_STYLE) & WS_VISIBLE);
  Run(IDM_STATUS_BAR);
  EXPECT_FALSE(GetWindowLongW(engineHost.statusBar, GWL_STYLE) & WS_VISIBLE);
  Run(IDM_STATUS_BAR);
  EXPECT_TRUE(GetWindowLongW(engineHost.statusBar, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(CommandTest, WrapAndEmptyRowTogglesRebuildTheRows) {
  AppSettings.rowLength = 4;
  AppSettings.wrapLines = 1;
  AppSettings.cutEmpty = 0;
  CheckMenuItem(menu, IDM_WRAP_LINES, MF_BYCOMMAND | MF_CHECKED);
  CheckMenuItem(menu, IDM_CUT_EMPTY, MF_BYCOMMAND | MF_UNCHECKED);
  OpenLog(PathOf(L"rows.log"), "abcdef\n\nx\n");
  ASSERT_EQ(Rows(), (RowList{L"abcd", L"ef", L"", L"x"}));
  Run(IDM_WRAP_LINES);
  PollToEnd();
  EXPECT_EQ(Rows(), (RowList{L"abcdef", L"", L"x"}));
  Run(IDM_CUT_EMPTY);
  PollToEnd();
  EXPECT_EQ(Rows(), (RowList{L"abcdef", L"x"}));
}

TEST_F(CommandTest, CharsetCommandsSetStoreAndMarkTheCharset) {
  const struct {
    int command;
    uint32_t charset;
  } choices[] = {
      {IDM_CHARSET_UTF8, 65001},  {IDM_CHARSET_ACP, 0},      {IDM_CHARSET_OEM, 1},
      {IDM_CHARSET_CURRENT, 3},   {IDM_CHARSET_UTF16LE, 16}, {IDM_CHARSET_UTF16BE, 17},
      {IDM_CHARSET_UTF32LE, 18},  {IDM_CHARSET_UTF7, 65000}, {IDM_CHARSET_UTF32BE, 19},
  };
  for (const auto& choice : choices) {
    SCOPED_TRACE(choice.command);
    Run(choice.command);
    EXPECT_EQ(charsetState.active, choice.charset);
    EXPECT_EQ(AppSettings.charset, choice.charset);
    DWORD stored = 7;
    ASSERT_TRUE(StoredNumber(L"charset", &stored));
    EXPECT_EQ(stored, choice.charset);
    for (int id = IDM_CHARSET_FIRST; id <= IDM_CHARSET_LAST; ++id)
      EXPECT_EQ(Checked(id), id == choice.command) << id;
  }
}

TEST_F(CommandTest, CommandsWithoutWorkChangeNothing) {
  charsetState.active = kCharsetUtf8;
  for (int command : {0, 1, IDM_CHARSET_FIRST, 1300, 1311, 1504, 2000, 0xFFFF}) Run(command);
  EXPECT_EQ(charsetState.active, uint32_t(kCharsetUtf8));
  EXPECT_EQ(StoredValueCount(), 0u);
  EXPECT_EQ(refusedDialogs, 0);
}

TEST_F(CommandTest, ChosenCharsetRereadsTheOpenFile) {
  OpenLog(PathOf(L"wide.log"), std::string("A\0B\0\n\0", 6));
  ASSERT_NE(Rows(), (RowList{L"AB"}));
  Run(IDM_CHARSET_UTF16LE);
  PollToEnd();
  EXPECT_EQ(Rows(), (RowList{L"AB"}));
  EXPECT_TRUE(Checked(IDM_CHARSET_UTF16LE));
}

TEST_F(CommandTest, AutodetectBackOnReturnsToTheByteOrderMark) {
  OpenLog(PathOf(L"marked.log"), std::string("\xFF\xFE" "A\0B\0\n\0", 8));
  ASSERT_EQ(Rows(), (RowList{L"AB"}));
  Run(IDM_CHARSET_UTF8);
  PollToEnd();
  RowList asUtf8 = Rows();
  ASSERT_NE(asUtf8, (RowList{L"AB"}));

  ASSERT_TRUE(Checked(IDM_AUTODETECT));
  Run(IDM_AUTODETECT);  // off: the view stays as decoded
  PollToEnd();
  EXPECT_FALSE(charsetState.autodetect);
  EXPECT_EQ(Rows(), asUtf8);
  Run(IDM_AUTODETECT);  // on: read again with the mark
  PollToEnd();
  EXPECT_TRUE(charsetState.autodetect);
  EXPECT_EQ(Rows(), (RowList{L"AB"}));
  EXPECT_TRUE(Checked(IDM_CHARSET_UTF16LE));
  DWORD stored = 7;
  ASSERT_TRUE(StoredNumber(L"autodetect", &stored));
  EXPECT_EQ(stored, 1u);
}

TEST_F(CommandTest, PauseNeedsAFileAndTogglesWithItsCheck) {
  Run(IDM_PAUSE);
  EXPECT_FALSE(FollowingPaused());
  EXPECT_FALSE(Checked(IDM_PAUSE));
  OpenLog(PathOf(L"pause.log"), "a\n");
  Run(IDM_PAUSE);
  EXPECT_TRUE(FollowingPaused());
  EXPECT_TRUE(Checked(IDM_PAUSE));
  Run(IDM_PAUSE);
  EXPECT_FALSE(FollowingPaused());
  EXPECT_FALSE(Checked(IDM_PAUSE));
}

TEST_F(CommandTest, SelectAllSelectsEveryRow) {
  OpenLog(PathOf(L"all.log"), "a\nb\nc\n");
  SendMessageW(engineHost.view, LB_SETSEL, FALSE, -1);
  Run(IDM_SELECT_ALL);
  EXPECT_EQ(SendMessageW(engineHost.view, LB_GETSELCOUNT, 0, 0), 3);
}

TEST_F(CommandTest, CloseEmptiesTheViewAndGraysTheFileCommands) {
  OpenLog(PathOf(L"close.log"), "a\nb\n");
  ASSERT_TRUE(Enabled(IDM_FILE_CLOSE));
  Run(IDM_FILE_CLOSE);
  EXPECT_FALSE(FileIsOpen());
  EXPECT_EQ(Rows(), RowList{});
  for (int id : {IDM_FILE_CLOSE, IDM_PRINT, IDM_PAUSE, IDM_COPY, IDM_SELECT_ALL, IDM_LOCK_SCROLL, IDM_RELOAD})
    EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(CommandTest, ExitClosesTheFileBeforeAskingTheWindowToClose) {
  OpenLog(PathOf(L"exit.log"), "a\n");
  DropPendingMessages();
  Run(IDM_EXIT);
  EXPECT_FALSE(FileIsOpen());
  MSG message;
  EXPECT_TRUE(PeekMessageW(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(CommandTest, EraseWithoutAFileEmptiesTheViewAndAsksNothing) {
  AddRows({L"x", L"y"});
  Run(IDM_ERASE);
  EXPECT_EQ(Rows(), RowList{});
  EXPECT_EQ(refusedDialogs, 0);
  EXPECT_TRUE(shownErrors.empty());
}

TEST_F(CommandTest, EraseWithAFileAsksAndAnythingButOkKeepsTheFile) {
  std::wstring path = PathOf(L"erase.log");
  OpenLog(path, "a\nb\n");
  Run(IDM_ERASE);
  EXPECT_EQ(refusedDialogs, 1);
  EXPECT_EQ(ReadBytes(path), "a\nb\n");
  EXPECT_EQ(Rows(), (RowList{L"a", L"b"}));
}

TEST_F(CommandTest, CommandsThatNeedAFileDoNothingWithout) {
  SetScrollLock(false);
  Run(IDM_LOCK_SCROLL, 1);
  Run(IDM_FILE_CLOSE);
  PumpMessages(0);
  EXPECT_FALSE(SuspendFlag());
  EXPECT_FALSE(GetKeyState(VK_SCROLL) & 1);
}

TEST_F(CommandTest, ScrollLockKeyShowsItsStateWithoutPressingItAgain) {
  OpenLog(PathOf(L"lock.log"), "a\n");
  SetScrollLock(true);
  Run(IDM_LOCK_SCROLL, 1);
  EXPECT_TRUE(GetKeyState(VK_SCROLL) & 1);
  EXPECT_TRUE(Checked(IDM_LOCK_SCROLL));
  EXPECT_EQ(StatusText(kPaneLock), LocalizedString(IDS_PANE_LOCKED));
  EXPECT_FALSE(SuspendFlag());

  SetScrollLock(false);
  Run(IDM_LOCK_SCROLL, 1);
  EXPECT_FALSE(GetKeyState(VK_SCROLL) & 1);
  EXPECT_FALSE(Checked(IDM_LOCK_SCROLL));
  EXPECT_EQ(StatusText(kPaneLock), L"");
  // Unlocked, the view waits for the user's next scroll.
  EXPECT_TRUE(SuspendFlag());
}

// The program's loop: accelerators first. Runs until the Scroll Lock key has
// come back up through it.
void PumpThroughAccelerators(HWND window) {
  HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
  bool released = false;
  for (DWORD start = GetTickCount(); !released && GetTickCount() - start < 5000;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_KEYUP && message.wParam == VK_SCROLL) released = true;
      if (!TranslateAcceleratorW(window, keys, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

struct CommandScrollLockTest : CommandTest {
  void SetUp() override {
    CommandTest::SetUp();
    OpenLog(PathOf(L"lock.log"), "a\n");
    SetForegroundWindow(window);
    SetFocus(engineHost.view);
    PumpMessages(0);
  }
  bool Locked() const { return GetKeyState(VK_SCROLL) & 1; }
};

TEST_F(CommandScrollLockTest, MenuPressesTheKeyOnceAndTheStateFollows) {
  ASSERT_FALSE(Locked());
  Run(IDM_LOCK_SCROLL, 0);
  PumpThroughAccelerators(window);
  EXPECT_TRUE(Locked());
  EXPECT_TRUE(Checked(IDM_LOCK_SCROLL));
  EXPECT_EQ(StatusText(kPaneLock), LocalizedString(IDS_PANE_LOCKED));

  Run(IDM_LOCK_SCROLL, 0);
  PumpThroughAccelerators(window);
  EXPECT_FALSE(Locked());
  EXPECT_FALSE(Checked(IDM_LOCK_SCROLL));
  EXPECT_EQ(StatusText(kPaneLock), L"");
  EXPECT_TRUE(SuspendFlag());
}

TEST_F(CommandScrollLockTest, TheKeyItselfTogglesOnce) {
  for (bool expected : {true, false}) {
    keybd_event(VK_SCROLL, 0x46, 0, 0);
    keybd_event(VK_SCROLL, 0x46, KEYEVENTF_KEYUP, 0);
    PumpThroughAccelerators(window);
    EXPECT_EQ(Locked(), expected);
    EXPECT_EQ(Checked(IDM_LOCK_SCROLL), expected);
  }
}

TEST_F(CommandTest, AnyCommandEndsTheMenuHelpLine) {
  SendMessageW(engineHost.statusBar, SB_SIMPLE, TRUE, 0);
  ASSERT_TRUE(SendMessageW(engineHost.statusBar, SB_ISSIMPLE, 0, 0));
  Run(0);
  EXPECT_FALSE(SendMessageW(engineHost.statusBar, SB_ISSIMPLE, 0, 0));
}

TEST_F(CommandTest, ViewNotificationsRefreshTheStatusAndRunNothing) {
  OpenLog(PathOf(L"status.log"), "a\nb\nc\n");
  SendMessageW(engineHost.statusBar, SB_SETTEXTW, kPaneRowCount, reinterpret_cast<LPARAM>(L""));
  ExecuteCommand(window, IDM_EXIT, LBN_SELCHANGE, engineHost.view);
  EXPECT_TRUE(FileIsOpen());
  EXPECT_NE(StatusText(kPaneRowCount).find(L'3'), std::wstring::npos);
}

}  // namespace
