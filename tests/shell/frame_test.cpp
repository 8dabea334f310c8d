#include "commands/command_fixture.h"

namespace {

using FrameTest = CommandFixture;

// F11 gives the classic full screen and Shift+F11 the clean one (no menu,
// status bar or scroll bars, also while rows arrive); the setting swaps them.
// Leaving restores the frame as it was, in the style of TESSEL_STYLE.
TEST_F(FrameTest, FullScreenModesAndTheWayBack) {
  OpenLog(PathOf(L"busy.log"), "first\n");
  const struct {
    uint32_t setting;
    bool shift, clean, fromMaximized;
    const wchar_t* style;
  } cases[] = {{0, false, false, false, nullptr}, {0, true, true, true, nullptr},
               {1, false, true, false, L"0xC80000"}, {1, true, false, false, nullptr}};
  auto state = [&] {  // full screen, menu bar, status bar, scroll bar
    return std::vector<bool>{Checked(IDM_FULL_SCREEN), GetMenu(window) == menu,
                             IsWindowVisible(engineHost.statusBar) != 0,
                             (GetWindowLongW(engineHost.view, GWL_STYLE) & WS_VSCROLL) != 0};
  };
  RECT before, after;
  GetWindowRect(window, &before);
  BYTE keys[256];
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "fullscreen " << c.setting << (c.shift ? ", Shift" : ""));
    AppSettings.fullscreen = c.setting;
    SetEnvironmentVariableW(L"TESSEL_STYLE", c.style);
    ShowWindow(window, c.fromMaximized ? SW_MAXIMIZE : SW_SHOWNOACTIVATE);
    GetKeyboardState(keys);
    keys[VK_SHIFT] = c.shift ? 0x80 : 0;
    SetKeyboardState(keys);
    Run(IDM_FULL_SCREEN);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    AppendBytes(PathOf(L"busy.log"), std::string(200, 'w') + std::string(100, '\n'));
    PollToEnd();
    EXPECT_EQ(state(), (std::vector<bool>{true, !c.clean, !c.clean, !c.clean}));
    Run(IDM_FULL_SCREEN);
    GetWindowRect(window, &after);
    EXPECT_EQ(state(), (std::vector<bool>{false, true, true, true}));
    EXPECT_TRUE(EqualRect(&before, &after) && !IsZoomed(window));
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME, c.style ? 0 : WS_THICKFRAME);
  }
  SetEnvironmentVariableW(L"TESSEL_STYLE", nullptr);
}

TEST_F(FrameTest, LanguageMarkFollowsTheStoredLanguage) {
  const int items[] = {IDM_LANG_ENGLISH, IDM_LANG_CZECH, IDM_LANG_SLOVAK, IDM_LANG_AUTO};
  const std::pair<uint32_t, int> cases[] = {{9, 0}, {1029, 1}, {1051, 2}, {0, 3}, {1031, -1}};
  for (const auto& [language, marked] : cases) {
    AppSettings.language = language;
    MakeWindow();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Checked(items[i]), i == marked) << language << ", item " << items[i];
  }
}

// Exit closes the file before the window, so its place is not stored either.
TEST_F(FrameTest, ClosingStoresTheFilePlacementOnlyWhenAsked) {
  const struct {
    uint32_t save;
    bool exit;
    UINT width;
  } cases[] = {{1, false, 700}, {0, false, 0}, {1, true, 0}};
  for (const auto& c : cases) {
    std::wstring path = PathOf((std::to_wstring(c.save) + (c.exit ? L"exit.log" : L".log")).c_str());
    AppSettings.savePosition = c.save;
    MakeWindow();
    OpenLog(path, "a\n");
    if (c.exit) Run(IDM_EXIT);
    else PostMessageW(window, WM_CLOSE, 0, 0);
    PumpMessages(0);
    std::wstring stream = path + LocalizedString(IDS_PROPERTIES_STREAM);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetPrivateProfileIntW(L"Position", L"Width", 0, stream.c_str()), c.width) << c.save << c.exit;
  }
}

}  // namespace
