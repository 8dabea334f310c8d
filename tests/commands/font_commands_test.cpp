#include "commands/font_commands.h"

#include <gtest/gtest.h>

#include <cstring>

#include "command_fixture.h"
#include "commands/command_set.h"
#include "engine/engine_host.h"
#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/startup.h"

namespace {

struct FontTest : CommandFixture {
  static LONG ViewFontHeight() {
    auto font = reinterpret_cast<HFONT>(SendMessageW(engineHost.view, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (!font || !GetObjectW(font, sizeof description, &description)) return -1;
    return description.lfHeight;
  }
};

TEST_F(FontTest, SizeStepsStayWithin8To96) {
  const struct {
    int command;
    LONG height;
    LONG expected;
  } steps[] = {
      {IDM_FONT_LARGER, 95, 96},  {IDM_FONT_LARGER, 96, 96},   {IDM_FONT_SMALLER, 9, 8},
      {IDM_FONT_SMALLER, 8, 8},   {IDM_FONT_LARGER, 120, 120}, {IDM_FONT_SMALLER, 120, 119},
      {IDM_FONT_LARGER, 13, 14},  {IDM_FONT_SMALLER, 13, 12},  {IDM_FONT_SMALLER, 96, 95},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << step.command << " from " << step.height);
    EXPECT_EQ(step.command == IDM_FONT_LARGER ? LargerFontHeight(step.height)
                                              : SmallerFontHeight(step.height),
              step.expected);
    AppSettings.font.lfHeight = step.height;
    ApplyViewFont();
    Run(step.command);
    EXPECT_EQ(AppSettings.font.lfHeight, step.expected);
    EXPECT_EQ(ViewFontHeight(), step.expected);
  }
  // The steps last for this run only.
  EXPECT_EQ(StoredValueCount(), 0u);
}

TEST_F(FontTest, DialogStartsFromTheCurrentFontAndColour) {
  AppSettings.textColor = 0x00123456;
  AppSettings.font.lfHeight = 17;
  CHOOSEFONTW dialog;
  LOGFONTW font;
  PrepareFontDialog(window, &dialog, &font);
  EXPECT_EQ(dialog.lStructSize, sizeof dialog);
  EXPECT_EQ(dialog.hwndOwner, window);
  EXPECT_EQ(dialog.lpLogFont, &font);
  EXPECT_EQ(memcmp(&font, &AppSettings.font, sizeof font), 0);
  EXPECT_EQ(dialog.Flags, DWORD(CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT));
  EXPECT_EQ(dialog.rgbColors, COLORREF(0x00123456));
}

TEST_F(FontTest, ChosenFontIsAppliedWithAPositiveHeightAndStored) {
  LOGFONTW chosen = AppSettings.font;
  chosen.lfHeight = -20;
  chosen.lfWeight = FW_BOLD;
  TakeChosenFont(chosen, 0x00204060);
  EXPECT_EQ(AppSettings.font.lfHeight, 20);
  EXPECT_EQ(AppSettings.font.lfWeight, FW_BOLD);
  EXPECT_EQ(AppSettings.textColor, COLORREF(0x00204060));
  EXPECT_EQ(ViewFontHeight(), 20);
  DWORD colour = 0;
  ASSERT_TRUE(StoredNumber(L"text color", &colour));
  EXPECT_EQ(colour, 0x00204060u);
  std::vector<BYTE> font = StoredBytes(L"font");
  ASSERT_EQ(font.size(), 92u);
  EXPECT_EQ(memcmp(font.data(), &AppSettings.font, 92), 0);
  EXPECT_EQ(StoredValueCount(), 2u);
}

// Without the start-up hooks nothing consumes the centring flag but the
// command itself.
TEST_F(FontTest, DialogsLeaveNoCentringFlagBehind) {
  for (int command : {IDM_FONT, IDM_BACKGROUND}) {
    refusedDialogs = 0;
    Run(command);
    EXPECT_EQ(refusedDialogs, 1) << command;
    EXPECT_FALSE(centerNextWindow) << command;
  }
}

TEST_F(FontTest, BackgroundDialogOffersTheWindowColourLastAndKeepsTheOthers) {
  AppSettings.background = 0x00A0B0C0;
  CustomColours()[0] = 0x00010203;
  CustomColours()[14] = 0x00040506;
  CustomColours()[15] = 0x00070809;  // the user's choice there is not kept
  CHOOSECOLORW dialog;
  PrepareBackgroundDialog(window, &dialog);
  EXPECT_EQ(dialog.lStructSize, sizeof dialog);
  EXPECT_EQ(dialog.hwndOwner, window);
  EXPECT_EQ(dialog.rgbResult, COLORREF(0x00A0B0C0));
  EXPECT_EQ(dialog.lpCustColors, CustomColours());
  EXPECT_EQ(dialog.Flags, DWORD(CC_FULLOPEN | CC_ANYCOLOR | CC_RGBINIT));
  EXPECT_EQ(CustomColours()[0], COLORREF(0x00010203));
  EXPECT_EQ(CustomColours()[14], COLORREF(0x00040506));
  EXPECT_EQ(CustomColours()[15], GetSysColor(COLOR_WINDOW));
}

TEST_F(FontTest, ChosenBackgroundBecomesTheBrushAndIsStored) {
  TakeChosenBackground(0x00FF8040);
  EXPECT_EQ(AppSettings.background, 0x00FF8040u);
  LOGBRUSH brush{};
  ASSERT_TRUE(GetObjectW(ViewBackgroundBrush(), sizeof brush, &brush));
  EXPECT_EQ(brush.lbColor, COLORREF(0x00FF8040));
  DWORD stored = 0;
  ASSERT_TRUE(StoredNumber(L"background", &stored));
  EXPECT_EQ(stored, 0x00FF8040u);
  EXPECT_EQ(StoredValueCount(), 1u);
}

}  // namespace
