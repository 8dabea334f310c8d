#include "commands/command_set.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "command_fixture.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "test_support.h"

namespace {

struct WheelTest : CommandFixture {
  // The commands the wheel posted to the window, in order.
  std::vector<WPARAM> Posted() {
    std::vector<WPARAM> commands;
    MSG message;
    while (PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE))
      commands.push_back(message.wParam);
    return commands;
  }
};

TEST_F(WheelTest, PostsOneCommandPerStartedStep) {
  const struct {
    int delta;
    bool ctrl;
    int command;
    int count;
  } cases[] = {
      {-240, true, IDM_FONT_SMALLER, 2}, {60, true, IDM_FONT_LARGER, 1},
      {0, true, 0, 0},                   {120, false, 0, 0},
      {-240, false, 0, 0},               {1, true, IDM_FONT_LARGER, 1},
      {120, true, IDM_FONT_LARGER, 1},   {121, true, IDM_FONT_LARGER, 2},
      {-1, true, IDM_FONT_SMALLER, 1},   {-32768, true, IDM_FONT_SMALLER, 274},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.delta << (c.ctrl ? " with Ctrl" : ""));
    WheelSteps steps = WheelStepsFor(c.delta, c.ctrl);
    EXPECT_EQ(steps.count, c.count);
    if (c.count) EXPECT_EQ(steps.command, c.command);
    DropPendingMessages();
    HandleWheel(window, c.delta, c.ctrl);
    std::vector<WPARAM> posted = Posted();
    EXPECT_EQ(posted, std::vector<WPARAM>(size_t(c.count), MAKEWPARAM(c.command, 0)));
  }
}

struct ContextMenuTest : CommandFixture {
  POINT ScreenPoint(HWND of, POINT point) {
    ClientToScreen(of, &point);
    return point;
  }
};

TEST_F(ContextMenuTest, KeyboardMenuOpensUnderTheRowAQuarterIn) {
  const struct {
    RECT row;
    POINT expected;
  } cases[] = {
      {{10, 20, 110, 36}, {35, 36}},
      {{0, 0, 0, 0}, {0, 0}},
      {{5, 5, 8, 9}, {5, 9}},
      {{-100, 50, 0, 70}, {-75, 70}},
  };
  for (const auto& c : cases) {
    POINT at = KeyboardMenuPoint(c.row);
    EXPECT_EQ(at.x, c.expected.x);
    EXPECT_EQ(at.y, c.expected.y);
  }
}

TEST_F(ContextMenuTest, KeyboardMenuOnAnEmptyViewOpensAtTheListOrigin) {
  POINT at = ContextMenuPoint(engineHost.view, -1, -1);
  POINT origin = ScreenPoint(engineHost.view, {0, 0});
  EXPECT_EQ(at.x, origin.x);
  EXPECT_EQ(at.y, origin.y);
}

TEST_F(ContextMenuTest, KeyboardMenuFollowsTheCurrentRow) {
  AddRows({L"one", L"two", L"three"});
  SendMessageW(engineHost.view, LB_SETCARETINDEX, 1, FALSE);
  RECT row;
  ASSERT_NE(SendMessageW(engineHost.view, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row)), LB_ERR);
  POINT corner = ScreenPoint(engineHost.view, {row.left, row.top});
  POINT at = ContextMenuPoint(engineHost.view, -1, -1);
  EXPECT_EQ(at.x, corner.x + (row.right - row.left) / 4);
  EXPECT_EQ(at.y, corner.y + (row.bottom - row.top));
  // A mouse position is used as it is.
  POINT mouse = ContextMenuPoint(engineHost.view, 300, 200);
  EXPECT_EQ(mouse.x, 300);
  EXPECT_EQ(mouse.y, 200);
}

TEST_F(ContextMenuTest, OtherWindowsGetDefaultProcessing) {
  EXPECT_FALSE(HandleContextMenu(window, window, 10, 10));
  EXPECT_FALSE(HandleContextMenu(window, engineHost.statusBar, 10, 10));
  EXPECT_FALSE(HandleContextMenu(window, nullptr, -1, -1));
  EXPECT_EQ(refusedPopups, 0);
}

TEST_F(ContextMenuTest, ItemsAreEnabledExactlyWithAnOpenFile) {
  ASSERT_TRUE(HandleContextMenu(window, engineHost.view, 50, 50));
  EXPECT_EQ(refusedPopups, 1);
  HMENU popup = ViewContextMenu();
  ASSERT_NE(popup, nullptr);
  for (int id : {IDM_COPY, IDM_PRINT, IDM_SELECT_ALL}) EXPECT_FALSE(Enabled(popup, id)) << id;

  OpenLog(PathOf(L"context.log"), "a\n");
  ASSERT_TRUE(HandleContextMenu(window, engineHost.view, -1, -1));
  EXPECT_EQ(refusedPopups, 2);
  for (int id : {IDM_COPY, IDM_PRINT, IDM_SELECT_ALL}) EXPECT_TRUE(Enabled(popup, id)) << id;

  CloseFile();
  ASSERT_TRUE(HandleContextMenu(window, engineHost.view, -1, -1));
  for (int id : {IDM_COPY, IDM_PRINT, IDM_SELECT_ALL}) EXPECT_FALSE(Enabled(popup, id)) << id;
}

struct DropTest : CommandFixture {
  // A drop of the given paths, as the shell hands it over.
  static HDROP MakeDrop(const std::vector<std::wstring>& paths) {
    size_t units = 1;
    for (const std::wstring& path : paths) units += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& path : paths) {
      wmemcpy(names, path.c_str(), path.size() + 1);
      names += path.size() + 1;
    }
    *names = 0;
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
  }

  static std::wstring FullPath(const std::wstring& path) {
    wchar_t full[kPathUnits];
    return FullPathOf(path.c_str(), full, kPathUnits) ? full : L"";
  }
};

TEST_F(DropTest, OnlyTheFirstPathIsOpened) {
  std::wstring first = PathOf(L"first.log"), second = PathOf(L"second.log");
  WriteBytes(first, "from the first\n");
  WriteBytes(second, "from the second\n");
  HandleDroppedFiles(window, MakeDrop({first, second}));
  ASSERT_TRUE(FileIsOpen());
  EXPECT_EQ(std::wstring(FollowedPath()), FullPath(first));
  PollToEnd();
  EXPECT_EQ(Rows(), std::vector<std::wstring>{L"from the first"});
}

TEST_F(DropTest, AnEmptyDropOpensNothing) {
  HandleDroppedFiles(window, MakeDrop({}));
  EXPECT_FALSE(FileIsOpen());
  EXPECT_TRUE(shownErrors.empty());
}

TEST_F(DropTest, AMissingFirstPathReportsTheOpenErrorAndKeepsTheFile) {
  std::wstring kept = PathOf(L"kept.log"), other = PathOf(L"other.log");
  OpenLog(kept, "kept\n");
  WriteBytes(other, "other\n");
  HandleDroppedFiles(window, MakeDrop({PathOf(L"missing.log"), other}));
  ASSERT_EQ(shownErrors.size(), 1u);
  EXPECT_EQ(shownErrors[0].first, UINT(IDS_OPEN_FAILED));
  EXPECT_EQ(shownErrors[0].second, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(std::wstring(FollowedPath()), FullPath(kept));
}

struct CommandMenuHelpTest : CommandFixture {
  bool Simple() const { return SendMessageW(engineHost.statusBar, SB_ISSIMPLE, 0, 0) != 0; }
};

TEST_F(CommandMenuHelpTest, HelpStringsAreOffsetsFromCommandsAndBarPositions) {
  HMENU file = GetSubMenu(menu, 0);
  const struct {
    WPARAM wparam;
    HMENU from;
    UINT expected;
  } cases[] = {
      {MAKEWPARAM(IDM_FILE_OPEN, MF_HILITE), file, 1357},
      {MAKEWPARAM(IDM_CUT_EMPTY, MF_HILITE | MF_CHECKED), GetSubMenu(menu, 2), 1664},
      {MAKEWPARAM(0, MF_POPUP | MF_HILITE), menu, 256},
      {MAKEWPARAM(5, MF_POPUP | MF_HILITE), menu, 261},
      {MAKEWPARAM(1, MF_POPUP | MF_HILITE), file, 0},  // the History submenu
      {MAKEWPARAM(SC_CLOSE, MF_HILITE | MF_SYSMENU), GetSystemMenu(window, FALSE), 0},
      {MAKEWPARAM(0, 0xFFFF), nullptr, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MenuHelpStringId(c.wparam, reinterpret_cast<LPARAM>(c.from), menu), c.expected)
        << LOWORD(c.wparam);
}

TEST_F(CommandMenuHelpTest, HighlightShowsTheLineAndClosingEndsIt) {
  HandleMenuSelect(window, MAKEWPARAM(IDM_FILE_OPEN, MF_HILITE),
                   reinterpret_cast<LPARAM>(GetSubMenu(menu, 0)));
  EXPECT_TRUE(Simple());
  ASSERT_NE(LocalizedString(1357), nullptr);
  EXPECT_EQ(StatusText(0), LocalizedString(1357));

  HandleMenuSelect(window, MAKEWPARAM(IDM_LANG_ENGLISH, MF_HILITE),
                   reinterpret_cast<LPARAM>(GetSubMenu(menu, 4)));
  EXPECT_TRUE(Simple());
  EXPECT_EQ(StatusText(0), L"");

  HandleMenuSelect(window, MAKEWPARAM(0, 0xFFFF), 0);
  EXPECT_FALSE(Simple());
}

}  // namespace
