#include "commands/command_fixture.h"
#include "ui/platform.h"

namespace {

using FrameTest = CommandFixture;

// F11 gives the classic full screen and Shift+F11 the clean one (no menu, status bar or scroll bars, also while rows
// arrive); the setting swaps them. Leaving restores the frame as it was.
TEST_F(FrameTest, FullScreenModesAndTheWayBack) {
  OpenLog(PathOf(L"busy.log"), "first\n");
  const struct { uint32_t setting; bool shift, clean, fromMaximized; } cases[] = {
      {0, false, false, false}, {0, true, true, true}, {1, false, true, false}, {1, true, false, false}};
  auto state = [&] {  // full screen, menu bar, status bar, scroll bar
    return std::vector<bool>{Checked(IDM_FULL_SCREEN), GetMenu(window) == menu,
                             IsWindowVisible(engineHost.statusBar) != 0,
                             IsWindowVisible(ViewScrollBar()) != 0};
  };
  RECT before, after;
  GetWindowRect(window, &before);
  BYTE keys[256];
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "fullscreen " << c.setting << (c.shift ? ", Shift" : ""));
    AppSettings.fullscreen = c.setting;
    ShowWindow(window, c.fromMaximized ? SW_MAXIMIZE : SW_SHOWNOACTIVATE);
    GetKeyboardState(keys);
    keys[VK_SHIFT] = c.shift ? 0x80 : 0;
    SetKeyboardState(keys);
    Run(IDM_FULL_SCREEN);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    AppendBytes(PathOf(L"busy.log"), std::string(200, 'w') + std::string(100, '\n'));
    Poll();
    EXPECT_EQ(state(), (std::vector<bool>{true, !c.clean, !c.clean, !c.clean}));
    Run(IDM_FULL_SCREEN);
    GetWindowRect(window, &after);
    EXPECT_EQ(state(), (std::vector<bool>{false, true, true, true}));
    EXPECT_TRUE(EqualRect(&before, &after) && !IsZoomed(window));
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME, WS_THICKFRAME);
  }
}

TEST_F(FrameTest, LanguageMarkFollowsTheStoredLanguage) {
  const int items[] = {IDM_LANG_ENGLISH, IDM_LANG_CZECH, IDM_LANG_SLOVAK, IDM_LANG_AUTO};
  const std::pair<uint32_t, int> cases[] = {{9, 0}, {1029, 1}, {1051, 2}, {0, 3}, {1031, -1}};
  for (const auto& [language, marked] : cases) {
    AppSettings.language = language;
    MakeWindow();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Checked(items[i]), i == marked) << language << " " << items[i];
  }
}

}  // namespace

// A stored font height counts pixels at 96 DPI: larger on a screen of more DPI, and stored back as the same one.
TEST(FontHeightTest, StoredHeightsScaleToTheScreenAndBack) {
  const struct { LONG stored; int dpi; LONG onScreen; } cases[] = {
      {13, 96, 13}, {13, 120, 16}, {13, 144, 20}, {13, 192, 26}, {7, 144, 11}, {40, 144, 60}};
  for (const auto& c : cases) EXPECT_EQ(ScreenFontHeight(c.stored, c.dpi), c.onScreen) << c.stored << " at " << c.dpi;
  for (int dpi : {96, 120, 144, 168, 192})
    for (LONG height = 1; height <= 100; ++height) ASSERT_EQ(StoredFontHeight(ScreenFontHeight(height, dpi), dpi), height) << dpi;
}

// The status bar's panes take their widths from the right; the first takes what is left.
TEST(StatusPartEdges, PanesStandFromTheRightAndTheFileTakesTheRest) {
  std::vector<int> edges(9, 0);
  EXPECT_EQ(ComputeStatusPartEdges(800, 1.0, edges.data()), 412);
  EXPECT_EQ(edges, (std::vector<int>{388, 413, 438, 493, 563, 678, 733, 768, -1}));
}
