#include "engine/status_bar.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "resources/resource_ids.h"
#include "shell/settings.h"
#include "test_support.h"

namespace {

constexpr wchar_t kHostClass[] = L"QuillonStatusTestHost";
constexpr UINT kFileCommands[] = {IDM_PRINT,     IDM_FILE_CLOSE, IDM_PAUSE,       IDM_COPY,
                                  IDM_SELECT_ALL, IDM_FIND,      IDM_FIND_NEXT,   IDM_GOTO_LINE,
                                  IDM_LOCK_SCROLL, IDM_RELOAD};
const std::wstring kLocked = L"LOCKED" + std::wstring(42, L' ');

std::wstring Padded(const std::wstring& text, size_t width) {
  return text + std::wstring(width > text.size() ? width - text.size() : 0, L' ');
}

void HostFileChanged() {
  if (!FileIsOpen()) ClearStatusFile();
}

struct Pane {
  std::wstring text;
  std::wstring tip;
  HICON icon;
  bool operator==(const Pane&) const = default;
};

void PrintTo(const Pane& pane, std::ostream* out) {
  *out << "{" << testing::PrintToString(pane.text) << ", " << testing::PrintToString(pane.tip)
       << ", " << pane.icon << "}";
}

// A hidden frame with a menu holding the file commands, a real status bar of
// nine parts and a real list box, wired to the follower as the main window is.
struct StatusTest : testing::Test {
  HWND window = nullptr;
  HWND statusBar = nullptr;
  HMENU menu = nullptr;
  StatusIcons icons{};
  std::wstring directory;
  std::wstring path;

  void SetUp() override {
    AppSettings = Settings{};
    charsetState = CharsetState{};
    SetRowView(nullptr);
    SetScrollLock(false);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHostClass;
    RegisterClassW(&windowClass);
    HMENU commands = CreatePopupMenu();
    for (UINT id : kFileCommands) AppendMenuW(commands, MF_STRING, id, L"command");
    AppendMenuW(commands, MF_STRING | MF_CHECKED, IDM_FULL_SCREEN, L"other");
    menu = CreateMenu();
    AppendMenuW(menu, MF_POPUP, UINT_PTR(commands), L"File");
    window = CreateWindowExW(0, kHostClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 300, nullptr,
                             menu, instance, nullptr);
    ASSERT_NE(window, nullptr);
    statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, 0x46000900, 0, 0, 0, 0, window,
                                nullptr, instance, nullptr);
    ASSERT_NE(statusBar, nullptr);
    int edges[kStatusPanes] = {100, 125, 150, 205, 275, 390, 445, 480, -1};
    ASSERT_TRUE(SendMessageW(statusBar, SB_SETPARTS, kStatusPanes, LPARAM(edges)));
    HWND view = CreateWindowExW(0, L"LISTBOX", nullptr, 0x46311941, 0, 0, 800, 250, window,
                                nullptr, instance, nullptr);
    ASSERT_NE(view, nullptr);
    icons = {LoadIconW(instance, L"PLAY"), LoadIconW(instance, L"PAUSE"),
             LoadIconW(instance, L"FILE"), LoadIconW(instance, L"BUFF")};
    ASSERT_TRUE(icons.play && icons.pause && icons.file && icons.unfinished);
    SetStatusIcons(icons);
    engineHost = EngineHost{};
    engineHost.window = window;
    engineHost.menu = GetMenu(window);
    engineHost.view = view;
    engineHost.statusBar = statusBar;
    engineHost.refreshStatus = RefreshStatus;
    engineHost.refreshSize = UpdateStatusSize;
    engineHost.fileOpened = ShowStatusFile;
    engineHost.fileChanged = HostFileChanged;
    InitNoticePane();
    ClearStatusFile();
    directory = MakeTempDirectory();
    ASSERT_FALSE(directory.empty());
    path = directory + L"\\app.log";
  }

  void TearDown() override {
    CloseFile();
    engineHost = EngineHost{};
    DestroyWindow(window);
    PumpMessages(0);
    RemoveDirectoryTree(directory);
    SetScrollLock(false);
  }

  void Open(const std::string& content) {
    WriteBytes(path, content);
    ASSERT_TRUE(OpenFile(path.c_str()));
    Poll();
  }
  void Poll() {
    do PollFile();
    while (PollContinues());
  }

  std::wstring Text(int pane) const {
    wchar_t text[1024] = {};
    if (LOWORD(SendMessageW(statusBar, SB_GETTEXTLENGTHW, pane, 0)) < 1024)
      SendMessageW(statusBar, SB_GETTEXTW, pane, LPARAM(text));
    return text;
  }
  std::wstring Tip(int pane) const {
    wchar_t tip[1024] = {};
    SendMessageW(statusBar, SB_GETTIPTEXTW, MAKEWPARAM(pane, 1024), LPARAM(tip));
    return tip;
  }
  Pane At(int pane) const {
    return {Text(pane), Tip(pane), HICON(SendMessageW(statusBar, SB_GETICON, pane, 0))};
  }
  std::wstring Title() const {
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 512);
    return title;
  }
  bool Grayed(UINT id) const { return GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED; }
  bool Checked(UINT id) const { return GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED; }

  void Click(UINT code, int pane) {
    NMMOUSE mouse{};
    mouse.hdr = {statusBar, 0, code};
    mouse.dwItemSpec = DWORD_PTR(pane);
    HandleStatusClick(window, code, &mouse);
  }
  // The commands posted to the frame, in order.
  std::vector<WPARAM> PostedCommands() {
    std::vector<WPARAM> commands;
    MSG message;
    while (PeekMessageW(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
      EXPECT_EQ(message.lParam, 0);
      commands.push_back(message.wParam);
    }
    return commands;
  }
};

TEST_F(StatusTest, WithoutAFileOnlyTheRowCountShows) {
  EXPECT_EQ(At(kPaneFile), (Pane{L"", L"", nullptr}));
  EXPECT_EQ(At(kPaneUnfinished), (Pane{L"", L"", nullptr}));
  EXPECT_EQ(At(kPaneFollow), (Pane{L"", L"", nullptr}));
  EXPECT_EQ(At(kPaneRow), (Pane{L"", L"", nullptr}));
  EXPECT_EQ(At(kPaneRowCount), (Pane{L"0 lines in log", L"0 lines in log", nullptr}));
  EXPECT_EQ(At(kPaneSize), (Pane{L"", L"", nullptr}));
  EXPECT_EQ(At(kPaneNotice),
            (Pane{L"\u00A9" + std::wstring(16, L' '),
                  L"\u00A9 2009-2026 Morvane, the makers of Quillon. Double-click to visit our web site.",
                  nullptr}));
  EXPECT_EQ(Title(), L"Quillon");
  EXPECT_EQ(CurrentFileTitle(), std::wstring());
  for (UINT id : kFileCommands) EXPECT_TRUE(Grayed(id)) << id;
}

TEST_F(StatusTest, OpenedFileShowsItsNameStateCountsAndSize) {
  CheckMenuItem(menu, IDM_LOCK_SCROLL, MF_BYCOMMAND | MF_CHECKED);
  Open("one\ntwo\nthree\n");
  EXPECT_EQ(At(kPaneFile), (Pane{path, path, icons.file}));
  EXPECT_EQ(Title(), L"app.log - Quillon");
  EXPECT_EQ(CurrentFileTitle(), std::wstring(L"app.log"));
  EXPECT_EQ(At(kPaneFollow), (Pane{L"The log is actively followed",
                                   L"The log is actively followed", icons.play}));
  EXPECT_EQ(At(kPaneUnfinished), (Pane{L"", L"", nullptr}));
  EXPECT_EQ(At(kPaneRowCount), (Pane{L"3 lines in log", L"3 lines in log", nullptr}));
  EXPECT_EQ(At(kPaneRow), (Pane{L"line 3", L"line 3", nullptr}));  // the caret follows the end
  EXPECT_EQ(Text(kPaneSize), Padded(L"14 bytes", 63));
  for (UINT id : kFileCommands) EXPECT_FALSE(Grayed(id)) << id;
  EXPECT_FALSE(Checked(IDM_LOCK_SCROLL));  // Scroll Lock is off
  EXPECT_TRUE(Checked(IDM_FULL_SCREEN));   // not a file command: untouched
  EXPECT_FALSE(Grayed(IDM_FULL_SCREEN));
}

TEST_F(StatusTest, SizeTipTellsTheSizeOnDisk) {
  Open(std::string(5000, 'x') + "\n");
  DWORD high = 0;
  DWORD low = GetCompressedFileSizeW(FollowedPath(), &high);
  ASSERT_NE(low, INVALID_FILE_SIZE);
  wchar_t onDisk[64];
  StrFormatByteSizeW(LONGLONG((uint64_t(high) << 32) | low), onDisk, 64);
  EXPECT_EQ(At(kPaneSize), (Pane{Padded(L"4.88 KB", 63), L"Actual size: " + std::wstring(onDisk),
                                 nullptr}));
}

TEST_F(StatusTest, SizePaneIsRewrittenOnlyWhenItsTextChanges) {
  Open(std::string(1999, 'x') + "\n");  // 2,000 bytes
  ASSERT_EQ(Text(kPaneSize), Padded(L"1.95 KB", 63));
  SendMessageW(statusBar, SB_SETTEXTW, kPaneSize, LPARAM(L"marker"));
  AppendBytes(path, "ab\n");  // 2,003 bytes: still 1.95 KB
  Poll();
  EXPECT_EQ(Text(kPaneSize), L"marker");
  AppendBytes(path, std::string(996, 'y') + "\n");  // 3,000 bytes
  Poll();
  EXPECT_EQ(Text(kPaneSize), Padded(L"2.92 KB", 63));

  TogglePause();
  SendMessageW(statusBar, SB_SETTEXTW, kPaneSize, LPARAM(L"marker"));
  AppendBytes(path, std::string(2000, 'z') + "\n");
  Poll();
  EXPECT_EQ(Text(kPaneSize), L"marker");  // nothing is looked at while paused
}

TEST_F(StatusTest, UnfinishedLineIndicatorComesAndGoes) {
  const Pane unfinished{L"The last log line is not finished", L"The last log line is not finished",
                        icons.unfinished};
  const Pane none{L"", L"", nullptr};
  Open("done\npart");
  EXPECT_EQ(At(kPaneUnfinished), unfinished);
  AppendBytes(path, "ial\n");
  Poll();
  EXPECT_EQ(At(kPaneUnfinished), none);
  // A line begun after a finished one adds no row, yet is unfinished.
  AppendBytes(path, "next");
  Poll();
  EXPECT_EQ(At(kPaneUnfinished), unfinished);
  EXPECT_EQ(At(kPaneRowCount).text, L"2 lines in log");
  // A blank line dropped by the empty-line restriction adds no row either.
  AppSettings.cutEmpty = 1;
  AppendBytes(path, "\n   ");
  Poll();
  ASSERT_EQ(At(kPaneUnfinished), unfinished);
  AppendBytes(path, "\n");
  Poll();
  EXPECT_EQ(At(kPaneRowCount).text, L"3 lines in log");
  EXPECT_EQ(At(kPaneUnfinished), none);
}

TEST_F(StatusTest, PauseAndResumeShowTheFollowState) {
  Open("a\n");
  TogglePause();
  EXPECT_EQ(At(kPaneFollow), (Pane{L"Log is paused", L"Log is paused", icons.pause}));
  TogglePause();
  EXPECT_EQ(At(kPaneFollow),
            (Pane{L"The log is actively followed", L"The log is actively followed", icons.play}));
}

TEST_F(StatusTest, RowPaneCountsFromOne) {
  Open("a\nb\nc\nd\n");
  HWND view = engineHost.view;
  SendMessageW(view, LB_SETSEL, FALSE, -1);
  SendMessageW(view, LB_SETSEL, TRUE, 1);
  SendMessageW(view, LB_SETCARETINDEX, 1, FALSE);
  RefreshStatus();
  EXPECT_EQ(At(kPaneRow), (Pane{L"line 2", L"line 2", nullptr}));
  SendMessageW(view, LB_RESETCONTENT, 0, 0);  // the view reports no row
  RefreshStatus();
  EXPECT_EQ(At(kPaneRow), (Pane{L"line 0", L"line 0", nullptr}));
  EXPECT_EQ(At(kPaneRowCount).text, L"0 lines in log");
}

TEST_F(StatusTest, CloseEmptiesThePanesTitleAndMenus) {
  Open("a\nunfinished");
  TogglePause();
  SetScrollLock(true);
  ShowLockState(true);
  ASSERT_TRUE(Checked(IDM_PAUSE));
  ASSERT_TRUE(Checked(IDM_LOCK_SCROLL));
  CloseFile();
  for (int pane : {kPaneFile, kPaneUnfinished, kPaneFollow, kPaneRow, kPaneSize})
    EXPECT_EQ(At(pane), (Pane{L"", L"", nullptr})) << pane;
  EXPECT_EQ(At(kPaneRowCount).text, L"0 lines in log");
  EXPECT_EQ(At(kPaneLock), (Pane{kLocked, L"Automatic scrolling is locked", nullptr}));
  EXPECT_EQ(Title(), L"Quillon");
  for (UINT id : kFileCommands) EXPECT_TRUE(Grayed(id)) << id;
  EXPECT_FALSE(Checked(IDM_PAUSE));
  EXPECT_FALSE(Checked(IDM_LOCK_SCROLL));
  EXPECT_TRUE(Checked(IDM_FULL_SCREEN));

  // Another file of the same size gets its own size written again.
  Open("a\nunfinished");
  EXPECT_EQ(Text(kPaneSize), Padded(L"12 bytes", 63));
  EXPECT_TRUE(Checked(IDM_LOCK_SCROLL));  // opening takes the Scroll Lock state
}

TEST_F(StatusTest, LockPaneFollowsScrollLock) {
  struct Case {
    bool locked;
    bool withTip;
    const wchar_t* tipBefore;
    std::wstring text;
    const wchar_t* tip;
  } cases[] = {
      {true, true, L"", kLocked, L"Automatic scrolling is locked"},
      {false, true, L"Automatic scrolling is locked", L"", L""},
      {true, false, L"old tip", kLocked, L"old tip"},  // activation leaves the tip
      {false, false, L"old tip", L"", L"old tip"},
  };
  for (const Case& c : cases) {
    SendMessageW(statusBar, SB_SETTIPTEXTW, kPaneLock, LPARAM(c.tipBefore));
    CheckMenuItem(menu, IDM_LOCK_SCROLL, MF_BYCOMMAND | (c.locked ? MF_UNCHECKED : MF_CHECKED));
    SetScrollLock(c.locked);
    ShowLockState(c.withTip);
    EXPECT_EQ(At(kPaneLock), (Pane{c.text, c.tip, nullptr})) << c.locked << c.withTip;
    EXPECT_EQ(Checked(IDM_LOCK_SCROLL), c.locked) << c.locked << c.withTip;
  }
}

TEST_F(StatusTest, SingleClicksPostTheirCommands) {
  struct Case {
    UINT code;
    int pane;
    std::vector<WPARAM> posted;
  } cases[] = {
      {NM_CLICK, kPaneFollow, {IDM_PAUSE}},
      {NM_CLICK, kPaneLock, {IDM_LOCK_SCROLL}},  // high word 0: toggles the key as the menu does
      {NM_CLICK, kPaneRow, {IDM_GOTO_LINE}},
      {NM_CLICK, kPaneFile, {}},
      {NM_CLICK, kPaneUnfinished, {}},
      {NM_CLICK, kPaneRowCount, {}},
      {NM_CLICK, kPaneSize, {}},
      {NM_CLICK, kPaneUpdate, {}},
      {NM_CLICK, kPaneNotice, {}},
      {NM_CLICK, 255, {}},  // the one-pane menu help mode
      {NM_DBLCLK, kPaneFollow, {}},
      {NM_DBLCLK, kPaneLock, {}},
      {NM_RCLICK, kPaneRow, {}},
  };
  Open("a\n");
  PostedCommands();
  for (const Case& c : cases) {
    Click(c.code, c.pane);
    EXPECT_EQ(PostedCommands(), c.posted) << c.code << " on " << c.pane;
  }
  EXPECT_FALSE(HandleStatusClick(window, NM_CLICK, nullptr));
}

TEST_F(StatusTest, DoubleClickOnTheFileCopiesItsFullPath) {
  auto putMarker = [&] {
    ASSERT_TRUE(OpenClipboard(window));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 7 * sizeof(wchar_t));
    memcpy(GlobalLock(block), L"marker", 7 * sizeof(wchar_t));
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
  };
  auto clipboard = [&] {
    std::wstring text;
    if (!OpenClipboard(window)) return std::wstring(L"(not opened)");
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      text = static_cast<const wchar_t*>(GlobalLock(data));
      GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
  };
  putMarker();
  Click(NM_DBLCLK, kPaneFile);  // no file: nothing to copy
  EXPECT_EQ(clipboard(), L"marker");
  Open("a\n");
  Click(NM_CLICK, kPaneFile);
  EXPECT_EQ(clipboard(), L"marker");
  Click(NM_DBLCLK, kPaneFile);
  EXPECT_EQ(clipboard(), L"\\\\?\\" + path);
  EXPECT_EQ(clipboard(), std::wstring(FollowedPath()));
}

TEST_F(StatusTest, LongFileTitleIsCutToTheTitleBuffer) {
  std::wstring name = L"C:\\logs\\" + std::wstring(300, L'n') + L".log";
  ShowStatusFile(name.c_str());
  EXPECT_EQ(std::wstring(CurrentFileTitle()), std::wstring(259, L'n'));
  EXPECT_EQ(Title(), std::wstring(259, L'n'));
  EXPECT_EQ(At(kPaneFile), (Pane{name, name, icons.file}));
}

TEST(StatusTextTest, FileTitles) {
  struct Case {
    const wchar_t* name;
    size_t capacity;
    const wchar_t* title;
  } cases[] = {
      {L"C:\\logs\\app.log", 260, L"app.log"},
      {L"\\\\?\\C:\\logs\\app.log", 260, L"app.log"},
      {L"\\\\?\\UNC\\server\\share\\x.txt", 260, L"x.txt"},
      {L"logs/sub/app.log", 260, L"app.log"},
      {L"app.log", 260, L"app.log"},
      {L"C:\\logs\\app.log", 4, L"app"},
      {L"", 260, L""},
  };
  for (const Case& c : cases) {
    wchar_t title[260] = L"junk";
    FileTitleOf(c.name, title, c.capacity);
    EXPECT_EQ(std::wstring(title), c.title) << c.name;
  }
}

TEST(StatusTextTest, FormatFillsItsPlaceholdersInOrder) {
  struct Case {
    const wchar_t* format;
    std::vector<const wchar_t*> args;
    size_t capacity;
    const wchar_t* result;
  } cases[] = {
      {L"%s - %s", {L"app.log", L"Quillon"}, 260, L"app.log - Quillon"},
      {L"line %u", {L"12"}, 64, L"line 12"},
      {L"%u%% done %d", {L"5"}, 64, L"5% done %d"},
      {L"%s and %s", {L"one"}, 64, L"one and "},
      {L"%s - %s", {L"app.log", L"Quillon"}, 10, L"app.log -"},
      {L"trailing %", {}, 64, L"trailing %"},
      {nullptr, {L"x"}, 64, L""},
  };
  for (const Case& c : cases) {
    wchar_t out[260];
    size_t length = FormatPaneText(c.format, c.args.data(), c.args.size(), out, c.capacity);
    EXPECT_EQ(std::wstring(out), c.result);
    EXPECT_EQ(length, wcslen(c.result));
  }
}

}  // namespace
