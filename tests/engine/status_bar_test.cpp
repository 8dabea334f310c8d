#include "engine/status_bar.h"

#include "resources/resource_ids.h"
#include "test_support.h"
#include "ui/localization.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

const wchar_t* const kIconNames[] = {L"PLAY", L"PAUSE", L"FILE", L"BUFF", L"BROWSE"};
const std::wstring kLock = L"LOCKED" + std::wstring(42, L' ') + L"{Automatic scrolling is locked}";

// The real main window with its status bar and list box, given the real menu.
struct StatusTest : HostedTest {
  HMENU menu = nullptr;
  HICON icons[5] = {};
  void SetUp() override {
    HostedTest::SetUp();
    SetMenu(window, engineHost.menu = menu = LoadLocalizedMenu(IDR_MAIN_MENU));
    for (int i = 0; i < 5; ++i) icons[i] = LoadProgramIcon(kIconNames[i], false);
    SetStatusIcons({icons[0], icons[1], icons[2], icons[3], icons[4]});
    WriteBytes(path, "");
  }
  void Append(const std::string& bytes) { AppendBytes(path, bytes); PollFile(); }
  // The text, the tip in braces when it differs, the icon's name in brackets.
  std::wstring Pane(int pane) const {
    wchar_t text[1024] = {};
    SendMessageW(engineHost.statusBar, SB_GETTEXTW, pane, LPARAM(text));
    std::wstring tip = StatusTip(pane), shown = tip != text ? text + (L"{" + tip + L"}") : text;
    auto icon = HICON(SendMessageW(engineHost.statusBar, SB_GETICON, pane, 0));
    for (int i = 0; i < 5; ++i)
      if (icon && icon == icons[i]) shown += std::wstring(L"[") + kIconNames[i] + L"]";
    return shown;
  }
  // Panes 0 to 6, the title, the file commands enabled or grayed, then the checked ones.
  std::wstring Shown() const {
    std::wstring shown;
    for (int pane = kPaneFile; pane <= kPaneSize; ++pane) shown += Pane(pane) + L" / ";
    int grayed = 0;
    for (UINT id : {IDM_PRINT, IDM_FILE_CLOSE, IDM_PAUSE, IDM_COPY, IDM_SELECT_ALL, IDM_FIND,
                    IDM_FIND_NEXT, IDM_GOTO_LINE, IDM_LOCK_SCROLL, IDM_RELOAD})
      grayed += (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
    shown += WindowText(window) + (grayed == 0 ? L" / enabled" : grayed == 10 ? L" / grayed" : L" / ?");
    for (UINT id : {IDM_PAUSE, IDM_LOCK_SCROLL})
      if (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) shown += L" " + std::to_wstring(id);
    return shown;
  }
};

TEST_F(StatusTest, PanesTitleAndMenusFollowTheFile) {
  const std::wstring file = L"[FILE] / The last log line is not finished[BUFF] / ";
  const std::wstring size = L" / 2 lines in log / 13 bytes" + std::wstring(55, L' ') +
                            L"{Actual size: 13 bytes} / app.log - Quillon / enabled";
  Append("one\ntwo\nthree");
  ASSERT_TRUE(OpenFile(path.c_str()));
  Append("");
  EXPECT_EQ(Shown(), path + file + L"The log is actively followed[PLAY] /  / line 2" + size);
  TogglePause();
  SetScrollLock(true);
  ShowLockState(true);
  EXPECT_EQ(Shown(), path + file + L"Log is paused[PAUSE] / " + kLock + L" / line 2" + size + L" 1201 1207");
  CloseFile();
  EXPECT_EQ(Shown(), L" /  /  / " + kLock + L" /  / 0 lines in log /  / Quillon / grayed");
  // Autoscroll locked, the caret stays on the first row; the size is written again.
  ASSERT_TRUE(OpenFile(path.c_str()));
  Append("");
  EXPECT_EQ(Shown(), path + file + L"The log is actively followed[PLAY] / " + kLock + L" / line 1" + size +
                         L" 1207");
  SetScrollLock(false);
  ShowLockState(false);  // as on window activation: the tip stays
  // A file title longer than its buffer is cut, and the window title with it.
  const std::wstring name = L"C:\\logs\\" + std::wstring(300, L'n') + L".log";
  ShowStatusFile(name.c_str());
  EXPECT_EQ(Shown(), name + file + L"The log is actively followed[PLAY] / {Automatic scrolling is "
                     L"locked} / line 1 / 2 lines in log /  / " + std::wstring(259, L'n') + L" / enabled");
  EXPECT_EQ(CurrentFileTitle(), std::wstring(259, L'n'));
  // The indicator follows the last line also when no row is added.
  struct Case { const char* bytes; const wchar_t* shown; } cases[] = {
      {"\n", L" / 3 lines in log"}, {"x", L"The last log line is not finished[BUFF] / 3 lines in log"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    Append(c.bytes);
    EXPECT_EQ(Pane(kPaneUnfinished) + L" / " + Pane(kPaneRowCount), c.shown);
  }
  // Browsing has its own icon and text; the lines written meanwhile go to the row count's tip.
  AppSettings.linesLimit = 1;
  LoadStartOfFile();
  Append("more\nand more\n");
  EXPECT_EQ(Pane(kPaneFollow) + L" / " + Pane(kPaneRowCount),
            L"Browsing: Alt+End follows the end again[BROWSE] / 1 lines in log{New lines since browsing began: 2}");
}

TEST_F(StatusTest, PaneClicksPostCommandsAndCopyThePath) {
  ASSERT_TRUE(OpenFile(path.c_str()));
  struct Case { UINT code; int pane; std::wstring result; } cases[] = {
      {NM_CLICK, kPaneFollow, L"1201"}, {NM_CLICK, kPaneFile, L""}, {NM_DBLCLK, kPaneFile, L"\\\\?\\" + path}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.code << " on " << c.pane);
    DWORD copies = GetClipboardSequenceNumber();
    NMMOUSE mouse{{engineHost.statusBar, 0, c.code}, DWORD_PTR(c.pane), 0, {}, 0};
    SendMessageW(window, WM_NOTIFY, 0, LPARAM(&mouse));
    MSG sent;  // the command posted, then what was copied
    std::wstring result = PeekMessageW(&sent, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)
                              ? std::to_wstring(sent.wParam) : L"";
    EXPECT_EQ(result + (GetClipboardSequenceNumber() != copies ? ClipboardText(window) : L""), c.result);
  }
}

}  // namespace
