#include "commands/command_fixture.h"
#include "shell/tray_icon.h"
#include "ui/platform.h"

namespace {

// Wine's real notification area modifies only an icon that it has.
struct TrayTest : CommandFixture {
  NOTIFYICONDATAW* icon = const_cast<NOTIFYICONDATAW*>(&TrayIconRecord());
  void SetUp() override { CommandFixture::SetUp(), LoadTrayResources(), AppSettings.trayMinimize = 1; }
  bool Shown() { return Shell_NotifyIconW(NIM_MODIFY, icon); }
  void Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) { SendMessageW(window, message, wparam, lparam); }
  void Rows(int polls, std::vector<int>* frames) {  // each poll brings a row
    while (polls--) AppendBytes(PathOf(L"app.log"), "row\n"), Poll(), frames->push_back(TrayFrameIndex());
  }
  static LRESULT CALLBACK KeepWindows(int code, WPARAM, LPARAM) { return code == HCBT_DESTROYWND; }
  bool KeptWithoutIcon() {  // minimized off the tray, a hide timer (any process can post one) must not hide it
    ShowWindow(window, SW_RESTORE), AppSettings.trayMinimize = 0;
    Send(WM_SYSCOMMAND, SC_MINIMIZE), Send(WM_TIMER, kTrayHideTimer);
    bool kept = IsIconic(window) && IsWindowVisible(window);
    ShowWindow(window, SW_RESTORE), AppSettings.trayMinimize = 1;
    return kept;
  }
};

TEST_F(TrayTest, FramesStepWithNewRowsWhileMinimizedToTheTrayAndTheIconGoesAfterRestoring) {
  OpenLog(PathOf(L"app.log"), "first\n");
  std::vector<int> frames;
  AppSettings.trayMinimize = 0, Send(WM_SYSCOMMAND, SC_MINIMIZE), Rows(1, &frames), Send(WM_TIMER, kTrayHideTimer);
  bool kept = IsWindowVisible(window);  // hidden with no icon, it would be lost
  ShowWindow(window, SW_RESTORE);
  EXPECT_TRUE(kept && !IsIconic(window) && !Shown() && !KillTimer(window, kTrayRemoveTimer));
  Send(WM_SYSCOMMAND, SC_MINIMIZE), AppSettings.trayMinimize = 1, Rows(1, &frames);  // no frame yet: then TRAY0
  Send(WM_SYSCOMMAND, SC_MINIMIZE + 2), frames.push_back(TrayFrameIndex());  // low bits: the system's own
  Rows(12, &frames), Poll(), frames.push_back(TrayFrameIndex());  // the last poll brings nothing
  Send(kTrayCallbackMessage, 2, WM_LBUTTONDBLCLK), Send(kTrayCallbackMessage, 1, WM_LBUTTONUP);
  Send(kTrayCallbackMessage, 1, WM_RBUTTONUP);  // the menu, refused by the fixture
  EXPECT_TRUE(IsIconic(window) && refused == 1 && Shown());
  Send(kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK), Send(WM_TIMER, kTrayHideTimer);  // a hide due before the restore
  EXPECT_TRUE(!IsIconic(window) && IsWindowVisible(window) && Shown() && KillTimer(window, kTrayRemoveTimer));  // the removal comes later
  Rows(1, &frames), Send(WM_TIMER, kTrayRemoveTimer);
  EXPECT_EQ(frames, (std::vector<int>{-1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 4, 5, 6, 6, 6}));
  EXPECT_TRUE(!Shown() && KeptWithoutIcon());  // the icon the shell had is gone
  Send(taskbarCreatedMessage);  // the shell restarted while the window is not minimized
  EXPECT_FALSE(Shown());
  Send(WM_SYSCOMMAND, SC_MINIMIZE), ShowWindow(window, SW_RESTORE), Send(WM_SYSCOMMAND, SC_MINIMIZE);
  EXPECT_TRUE(!KillTimer(window, kTrayRemoveTimer) && Shown() && TrayFrameIndex() == 0);
  Shell_NotifyIconW(NIM_DELETE, icon), Send(taskbarCreatedMessage), Send(WM_TIMER, kTrayHideTimer);  // the shell restarted
  EXPECT_TRUE(Shown() && !IsWindowVisible(window));
  HHOOK keep = SetWindowsHookExW(WH_CBT, KeepWindows, nullptr, GetCurrentThreadId());
  Send(WM_CLOSE), UnhookWindowsHookEx(keep);  // the window stays: Wine drops a gone window's icon itself
  EXPECT_FALSE(Shown());
  EXPECT_TRUE(KeptWithoutIcon());
}

// The minimize animation aims at the taskbar's notification area, for this window only.
TEST_F(TrayTest, MinimizingAimsAtTheNotificationArea) {
  HWND bar = MakeTaskbar({300, 700, 900, 40}, {800, 5, 90, 30});
  struct { HWND window; SHORT left, top, right, bottom; } mine{window, 0, 0, 0, 0}, other{engineHost.view, 0, 0, 0, 0};
  EXPECT_EQ(SendMessageW(window, shellHookMessage, HSHELL_GETMINRECT, LPARAM(&mine)) + HandleShellHook(window, HSHELL_GETMINRECT, LPARAM(&other)), 1);
  EXPECT_TRUE(mine.left == 1100 && mine.top == 705 && mine.right - mine.left == GetSystemMetrics(SM_CXSMICON) && !other.left);
  // The message passes the privilege filter: a rectangle naming the window in
  // memory that cannot take it, in whole or in part, is left alone.
  const SIZE_T page = 4096;
  auto* pages = static_cast<uint8_t*>(VirtualAlloc(nullptr, 5 * page, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pages, nullptr);
  const struct { const char* name; size_t at; DWORD rights; } places[] = {  // a page each, the last one reserved
      {"writable into read-only", page - 8, PAGE_READWRITE}, {"read-only", page, PAGE_READONLY},
      {"guard page", 2 * page, PAGE_READWRITE | PAGE_GUARD}, {"writable into reserved", 4 * page - 8, PAGE_READWRITE}};
  for (const auto& place : places) {
    DWORD was;
    VirtualAlloc(pages + place.at / page * page, page, MEM_COMMIT, PAGE_READWRITE);
    memcpy(pages + place.at, &window, sizeof window);
    VirtualProtect(pages + place.at / page * page, page, place.rights, &was);
  }
  for (const auto& place : places) EXPECT_EQ(HandleShellHook(window, HSHELL_GETMINRECT, LPARAM(pages + place.at)), 0) << place.name;
  VirtualFree(pages, 0, MEM_RELEASE);
  // Nor to our own variables that begin with the window's handle: the engine's
  // host would take coordinates for its view.
  HWND view = engineHost.view;
  ASSERT_EQ(engineHost.window, window);
  auto* held = new HWND[3]{window, view, view};
  EXPECT_EQ(HandleShellHook(window, HSHELL_GETMINRECT, LPARAM(&engineHost)) +
            HandleShellHook(window, HSHELL_GETMINRECT, LPARAM(held)), 0);
  EXPECT_TRUE(engineHost.view == view && held[1] == view);
  delete[] held;
  DestroyWindow(bar);  // no notification area: the system animates as usual
  mine = {window, 0, 0, 0, 0};
  EXPECT_EQ(SendMessageW(window, shellHookMessage, HSHELL_GETMINRECT, LPARAM(&mine)), 0);
}

// A title of 127 units or more is all; a path too long to compact keeps its start and name.
TEST_F(TrayTest, TipNamesTheFileWithinItsSize) {
  Send(WM_SYSCOMMAND, SC_MINIMIZE);
  EXPECT_STREQ(icon->szTip, L"Quillon");
  for (size_t length : {127, 130}) {
    std::wstring title = std::wstring(length - 4, L't') + L".log";
    OpenLog(PathOf(title.c_str()), "x\n"), Send(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_EQ(icon->szTip, title.substr(0, 127));
  }
  std::wstring deep = L"\\\\?\\" + directory + L"\\" + std::wstring(110, L'd'), deeper = deep + L"\\" + std::wstring(110, L'e');
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr) && CreateDirectoryW(deeper.c_str(), nullptr));
  OpenLog(deeper + L"\\app.log", "x\n"), Send(WM_SYSCOMMAND, SC_MINIMIZE);
  EXPECT_EQ(icon->szTip, std::wstring(L"app.log\n").append(FollowedPath(), 108).append(L"...\\app.log"));
  CloseFile(), DeleteFileW((deeper + L"\\app.log").c_str()), RemoveDirectoryW(deeper.c_str()), RemoveDirectoryW(deep.c_str());
}

}  // namespace
