#include "command_fixture.h"
#include "commands/font_commands.h"

#include <commctrl.h>
#include <shlobj.h>

namespace {

using CommandTest = CommandFixture;

// The clean full screen takes the menu bar off: the marks must follow anyway. Row settings rebuild the rows at once.
TEST_F(CommandTest, TogglesFlipTheSettingTheMarkAndTheStoredValue) {
  const std::wstring x(100, L'x');
  const std::vector<std::wstring> all{L"a", L"", L"b", x.substr(0, 80), x.substr(80)},
      unwrapped{L"a", L"", L"b", x}, cut{L"a", L"b", x.substr(0, 80), x.substr(80)};
  // rows: when off, when on
  const struct { int command; uint32_t Settings::*field; const wchar_t* name; const std::vector<std::wstring>* rows[2]; }
      toggles[] = {{IDM_STATUS_BAR, &Settings::statusBar, L"status bar", {&all, &all}},
                   {IDM_WRAP_LINES, &Settings::wrapLines, L"wrap lines", {&unwrapped, &all}},
                   {IDM_CUT_EMPTY, &Settings::cutEmpty, L"cut empty", {&all, &cut}},
                   {IDM_AUTODETECT, &Settings::autodetect, L"autodetect", {&cut, &cut}},
                   {IDM_AUTO_CHECK, &Settings::autoCheck, L"auto check", {&cut, &cut}}};
  OpenLog(PathOf(L"toggles.log"), "a\n\nb\n" + std::string(100, 'x') + "\n");
  SetMenu(window, nullptr);  // as the clean full screen leaves it
  for (const auto& toggle : toggles) {
    AppSettings.*toggle.field = 1;
    CheckMenuItem(menu, UINT(toggle.command), MF_BYCOMMAND | MF_CHECKED);
    for (uint32_t expected : {0u, 1u}) {
      SCOPED_TRACE(testing::Message() << toggle.command << " to " << expected);
      Run(toggle.command), Poll();  // a reload reads the file at the next poll
      EXPECT_EQ(AppSettings.*toggle.field, expected);
      EXPECT_EQ(Checked(toggle.command), expected == 1);
      EXPECT_EQ(Stored(toggle.name), expected);
      EXPECT_EQ(Rows(), *toggle.rows[expected]);
      bool checksOff = StatusTip(7).find(L"disabled") != std::wstring::npos;  // the update pane's tip tells
      EXPECT_TRUE(toggle.command != IDM_AUTO_CHECK || checksOff == (expected == 0)) << StatusTip(7);
    }
  }
  SetMenu(window, menu);
  Run(IDM_STATUS_BAR);
  EXPECT_FALSE(IsWindowVisible(engineHost.statusBar));
}

TEST_F(CommandTest, FontSizeStepsByOneWithinItsBounds) {
  const struct { LONG from; int command; LONG to; } steps[] = {
      {9, IDM_FONT_SMALLER, 8}, {8, IDM_FONT_SMALLER, 8}, {95, IDM_FONT_LARGER, 96}, {96, IDM_FONT_LARGER, 96}};
  for (const auto& step : steps) {
    AppSettings.font.lfHeight = step.from;
    Run(step.command);
    EXPECT_EQ(AppSettings.font.lfHeight, step.to) << step.from << " " << step.command;
  }
}

// The colour chosen paints the view behind its rows and is stored at once.
TEST_F(CommandTest, TheChosenBackgroundPaintsTheViewAndIsStored) {
  OpenLog(PathOf(L"colour.log"), "one\n");
  TakeChosenBackground(RGB(0x12, 0x34, 0x56));
  RECT client;
  GetClientRect(engineHost.view, &client);
  HDC screen = GetDC(engineHost.view), dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, CreateCompatibleBitmap(screen, client.right, client.bottom));
  SendMessageW(engineHost.view, WM_ERASEBKGND, WPARAM(dc), 0);
  COLORREF below = GetPixel(dc, 10, client.bottom - 5);  // under the one row
  DeleteObject(SelectObject(dc, old)), DeleteDC(dc), ReleaseDC(engineHost.view, screen);
  EXPECT_EQ(below, RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(Stored(L"background"), RGB(0x12, 0x34, 0x56));
}

// Status-bar clicks post file commands also when no file is open.
TEST_F(CommandTest, FileCommandsNeedAFileAndUnknownIdsDoNothing) {
  for (int command : {IDM_PAUSE, IDM_FILE_CLOSE, IDM_LOCK_SCROLL, IDM_COPY, 0, IDM_LANG_LAST, 0xFFFF})
    Run(command, 1);
  SendMessageW(window, WM_CONTEXTMENU, WPARAM(engineHost.statusBar), 0);  // the view's menu is the view's only
  SendMessageW(window, WM_CONTEXTMENU, WPARAM(engineHost.view), 0);
  EXPECT_FALSE(FollowingPaused() || SuspendFlag());
  EXPECT_EQ(refused, 1);
}

// The rows copied show that an erase not confirmed kept them too.
TEST_F(CommandTest, EraseKeepsTheFileUnlessConfirmedAndCopyTakesTheSelectedRowsEachEndingInCrLf) {
  OpenLog(PathOf(L"copy.log"), "one\ntwo\nthree\n");
  Run(IDM_ERASE);  // the question is refused, as if cancelled
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(ReadBytes(PathOf(L"copy.log")), "one\ntwo\nthree\n");
  for (int row : {-1, 0, 2}) SendMessageW(engineHost.view, LB_SETSEL, row >= 0, row);  // only one and three
  Run(IDM_COPY);
  EXPECT_EQ(ClipboardText(window), L"one\r\nthree\r\n");
}

// Anyone may post a drop: a block is read only when it is a whole drop list, and its names open as one view. A list read
// past its end, freed by the drop or not, would open whatever follows in memory.
TEST_F(CommandTest, ADropOpensOnlyFromAWholeDropList) {
  std::wstring dropped = PathOf(L"dropped.log"), second = PathOf(L"second.log");
  WriteBytes(dropped, "dropped\n"), WriteBytes(second, "second\n");
  std::string wide(reinterpret_cast<const char*>(dropped.c_str()), dropped.size() * 2), ansi(dropped.begin(), dropped.end());
  std::string wideSecond(reinterpret_cast<const char*>(second.c_str()), second.size() * 2);
  auto header = [](DWORD names, BOOL isWide) {
    DROPFILES fields{names, {0, 0}, FALSE, isWide};
    return std::string(reinterpret_cast<const char*>(&fields), sizeof fields);
  };
  const DWORD after = sizeof(DROPFILES);
  const struct { const char* name; std::string block; bool opens, both = false; } cases[] = {
      {"wide names", header(after, TRUE) + wide + std::string(4, '\0'), true},
      {"two names: one view", header(after, TRUE) + wide + std::string(2, '\0') + wideSecond + std::string(4, '\0'), true, true},
      {"ANSI names", header(after, FALSE) + ansi + std::string(2, '\0'), true},
      {"the list never ends", header(after, TRUE) + wide + std::string(2, '\0'), false},
      {"the name is cut off", header(after, TRUE) + wide, false},
      {"names beyond the block", header(after + 2 * DWORD(wide.size()), TRUE) + wide + std::string(4, '\0'), false},
      {"names inside the header", header(4, FALSE) + ansi + std::string(2, '\0'), false},
      {"too short for a header", header(after, TRUE).substr(0, 12), false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CloseFile();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, c.block.size());
    ASSERT_NE(block, nullptr);
    memcpy(GlobalLock(block), c.block.data(), c.block.size());
    GlobalUnlock(block);
    SendMessageW(window, WM_DROPFILES, WPARAM(block), 0);
    Poll();
    std::vector<std::wstring> rows{L"dropped", L"second"};
    EXPECT_EQ(Rows(), c.opens ? std::vector<std::wstring>(rows.begin(), rows.begin() + (c.both ? 2 : 1)) : std::vector<std::wstring>{});
    EXPECT_TRUE(c.opens || GlobalFree(block) == nullptr);  // still ours: the drop freed only what it read
  }
}

// Only items and the popups of the menu bar have a help line.
TEST(MenuHelp, ItemsAndTheMenuBarsPopups) {
  HMENU bar = CreateMenu(), popup = CreatePopupMenu();
  const struct { WPARAM wparam; HMENU menu; UINT id; } cases[] = {
      {MAKEWPARAM(IDM_RELOAD, 0), bar, IDS_MENU_HELP_BASE + IDM_RELOAD}, {MAKEWPARAM(2, MF_POPUP), bar, 258},
      {MAKEWPARAM(2, MF_POPUP), popup, 0}, {MAKEWPARAM(IDM_RELOAD, MF_SYSMENU), bar, 0}, {0, bar, 0}};
  for (const auto& c : cases) EXPECT_EQ(MenuHelpStringId(c.wparam, LPARAM(c.menu), bar), c.id) << c.wparam;
  DestroyMenu(bar);
  DestroyMenu(popup);
}

// Real key presses, so these run alone (tests/CMakeLists.txt). The menu presses the key once; the key
// comes back through the accelerators as the command from the keyboard, which must not press it again.
using CommandScrollLockTest = CommandFixture;

TEST_F(CommandScrollLockTest, MenuPressesTheKeyOnceAndTheStateFollows) {
  OpenLog(PathOf(L"lock.log"), "a\n");
  SetForegroundWindow(window);
  SetFocus(engineHost.view);
  HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
  for (bool locked : {true, false}) {
    Run(IDM_LOCK_SCROLL, 0);
    int presses = 0;  // the program's loop, until the key was pressed and no more input waits
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000;) {
      MSG message;
      if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        presses += message.message == WM_KEYDOWN;
        if (!TranslateAcceleratorW(window, keys, &message))
          TranslateMessage(&message), DispatchMessageW(&message);
      } else if (presses) {
        break;
      }
    }
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(GetKeyState(VK_SCROLL) & 1, locked ? 1 : 0);
    EXPECT_EQ(Checked(IDM_LOCK_SCROLL), locked);
    EXPECT_TRUE(locked || SuspendFlag());  // unlocked, the view waits for the user's next scroll
  }
}

}  // namespace
