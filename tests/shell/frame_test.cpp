#include <gtest/gtest.h>

#include <string>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "shell/main_window.h"
#include "shell/platform.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "test_support.h"

namespace {

TEST(StatusPartEdges, At96And144Dpi) {
  int edges[9];
  int total = ComputeStatusPartEdges(1000, 1.0, edges);
  const int at96[9] = {588, 613, 638, 693, 763, 878, 933, 968, -1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(edges[i], at96[i]) << i;
  EXPECT_EQ(total, 412);

  ComputeStatusPartEdges(1000, 1.5, edges);
  EXPECT_EQ(edges[7], 1000 - 48);
  EXPECT_EQ(edges[5] - edges[4], 172);  // part 5, which holds the progress bar
  EXPECT_EQ(edges[1] - edges[0], 25);   // parts 1 and 2 are not scaled
  EXPECT_EQ(edges[2] - edges[1], 25);
}

TEST(EnvironmentNumbers, BaseZeroAndDefaults) {
  struct Case {
    const wchar_t* text;
    bool used;
    uint32_t value;
  } cases[] = {{L"0x64", true, 100}, {L"100", true, 100}, {L"0144", true, 100},
               {L"0", false, 0},     {L"", false, 0},     {L"wide", false, 0},
               {L" 12px", true, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text).size()));
    uint32_t value = 0;
    EXPECT_EQ(ParseEnvironmentNumber(c.text, &value), c.used);
    if (c.used) EXPECT_EQ(value, c.value);
  }
}

struct FrameTest : testing::Test {
  HWND window = nullptr;

  void SetUp() override {
    ResetSettings(AppSettings);
    ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr)));
    WindowPlacementRequest request;
    request.x = 40, request.y = 30, request.width = 800, request.height = 500;
    window = CreateMainWindow(GetModuleHandleW(nullptr), request, LoadLocalizedMenu(IDR_MAIN_MENU));
    ASSERT_NE(window, nullptr);
    dialogFocusWindow = window;
    ShowWindow(window, SW_SHOWNORMAL);
    PumpMessages(0);
  }
  void TearDown() override {
    DestroyWindow(window);
    dialogFocusWindow = nullptr;
    PumpMessages(0);
    SetEnvironmentVariableW(L"TESSEL_STYLE", nullptr);
  }
  RECT Frame() const {
    RECT frame;
    GetWindowRect(window, &frame);
    return frame;
  }
  bool Checked(int command) const {
    return GetMenuState(GetMenu(window) ? GetMenu(window) : nullptr, command, MF_BYCOMMAND) & MF_CHECKED;
  }
};

TEST_F(FrameTest, ClassicFullScreenRoundTrip) {
  RECT before = Frame();
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  ToggleFullScreen(window);
  EXPECT_TRUE(IsFullScreen(window));
  EXPECT_FALSE(IsCleanFullScreen());
  EXPECT_NE(GetMenu(window), nullptr);  // the classic mode keeps the menu
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_POPUP);
  EXPECT_TRUE(IsWindowVisible(engineHost.statusBar));
  ToggleFullScreen(window);
  EXPECT_FALSE(IsFullScreen(window));
  RECT after = Frame();
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right, before.right);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & ~LONG_PTR(WS_VISIBLE | WS_MAXIMIZE | WS_MINIMIZE),
            style & ~LONG_PTR(WS_VISIBLE | WS_MAXIMIZE | WS_MINIMIZE));
}

TEST_F(FrameTest, CleanFullScreenHidesMenuStatusAndScrollBars) {
  AppSettings.fullscreen = 1;  // F11 then gives the clean mode
  LONG_PTR viewStyle = GetWindowLongPtrW(engineHost.view, GWL_STYLE);
  ToggleFullScreen(window);
  EXPECT_TRUE(IsCleanFullScreen());
  EXPECT_EQ(GetMenu(window), nullptr);
  EXPECT_FALSE(IsWindowVisible(engineHost.statusBar));
  EXPECT_FALSE(GetWindowLongPtrW(engineHost.view, GWL_STYLE) & WS_VSCROLL);
  ToggleFullScreen(window);
  EXPECT_NE(GetMenu(window), nullptr);
  EXPECT_EQ(GetWindowLongPtrW(engineHost.view, GWL_STYLE) & WS_VSCROLL, viewStyle & WS_VSCROLL);
  EXPECT_TRUE(IsWindowVisible(engineHost.statusBar));
}

TEST_F(FrameTest, CleanFullScreenStaysWithoutScrollBarsWhileRowsArrive) {
  std::wstring directory = MakeTempDirectory();
  std::wstring path = directory + L"\\busy.log";
  WriteBytes(path, "first\n");
  ASSERT_TRUE(OpenFile(path.c_str()));
  PollFile();
  AppSettings.fullscreen = 1;
  ToggleFullScreen(window);
  std::string many;
  for (int i = 0; i < 500; ++i) many += "row " + std::to_string(i) + " " + std::string(300, 'w') + "\n";
  AppendBytes(path, many);
  PollFile();
  EXPECT_FALSE(GetWindowLongPtrW(engineHost.view, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL));
  ToggleFullScreen(window);
  EXPECT_TRUE(GetWindowLongPtrW(engineHost.view, GWL_STYLE) & WS_VSCROLL);
  CloseFile();
  RemoveDirectoryTree(directory);
}

TEST_F(FrameTest, LeavingFullScreenEntredFromMaximizedRestores) {
  RECT restored = Frame();
  ShowWindow(window, SW_MAXIMIZE);
  ToggleFullScreen(window);
  ToggleFullScreen(window);
  EXPECT_FALSE(IsZoomed(window));
  RECT after = Frame();
  EXPECT_EQ(after.left, restored.left);
  EXPECT_EQ(after.right, restored.right);
}

TEST_F(FrameTest, LeavingFullScreenTakesTheStyleFromTheEnvironment) {
  SetEnvironmentVariableW(L"TESSEL_STYLE", L"0x00C80000");  // caption and system menu only
  ToggleFullScreen(window);
  ToggleFullScreen(window);
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION);
}

TEST_F(FrameTest, MinimumTrackingSize) {
  MINMAXINFO info{};
  SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  RECT client;
  GetClientRect(window, &client);
  int edges[9];
  int parts = ComputeStatusPartEdges(client.right, 1.0, edges);
  HDC screen = GetDC(nullptr);
  double scale = GetDeviceCaps(screen, LOGPIXELSX) / 96.0;
  ReleaseDC(nullptr, screen);
  parts = ComputeStatusPartEdges(client.right, scale, edges);
  EXPECT_EQ(info.ptMinTrackSize.x, parts + 2 * GetSystemMetrics(SM_CXFRAME) + 23);
  RECT bar;
  GetClientRect(engineHost.statusBar, &bar);
  int height = 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
               GetSystemMetrics(SM_CYMENU) + 2 * GetSystemMetrics(SM_CYVSCROLL) + bar.bottom;
  if (GetWindowLongW(engineHost.view, GWL_STYLE) & WS_HSCROLL) height += GetSystemMetrics(SM_CYHSCROLL);
  EXPECT_EQ(info.ptMinTrackSize.y, height);
}

TEST_F(FrameTest, EscapeClosesOnlyWhenAsked) {
  HandleEscape(window);
  PumpMessages(0);
  EXPECT_TRUE(IsWindow(window));
  AppSettings.escClose = 1;
  HandleEscape(window);
  PumpMessages(0);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(FrameTest, EscapeClosesTheFindDialogWhateverTheSetting) {
  HWND dialog = CreateWindowExW(0, L"STATIC", L"find", WS_POPUP, 0, 0, 10, 10, window, nullptr,
                                nullptr, nullptr);
  dialogFocusWindow = dialog;
  HandleEscape(window);
  PumpMessages(0);  // a static control closes itself on WM_CLOSE through DefWindowProc
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(FrameTest, StatusBarFollowsItsMenuItem) {
  EXPECT_TRUE(IsWindowVisible(engineHost.statusBar));
  CheckMenuItem(GetMenu(window), IDM_STATUS_BAR, MF_BYCOMMAND | MF_UNCHECKED);
  RelayoutMainWindow(window);
  EXPECT_FALSE(IsWindowVisible(engineHost.statusBar));
  RECT view, client;
  GetWindowRect(engineHost.view, &view);
  GetClientRect(window, &client);
  EXPECT_EQ(view.bottom - view.top, client.bottom);
}

}  // namespace
