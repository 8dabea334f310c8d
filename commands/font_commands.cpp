#include "commands/font_commands.h"

#include <algorithm>

#include "commands/command_set.h"
#include "engine/engine_host.h"
#include "engine/row_builder.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

constexpr int kSmallestStep = 8;
constexpr int kLargestStep = 96;

COLORREF customColours[16] = {};

void ApplyFont() {
  ApplyViewFont();
  UpdateHorizontalExtent();
  if (engineHost.view) InvalidateRect(engineHost.view, nullptr, TRUE);
}

void GiveFocusToView() {
  if (engineHost.view) SetFocus(engineHost.view);
}

}  // namespace

int LargerFontHeight(int height) { return height >= kLargestStep ? height : height + 1; }
int SmallerFontHeight(int height) { return height <= kSmallestStep ? height : height - 1; }

COLORREF* CustomColours() { return customColours; }

void ChangeFontSize(int command) {
  LONG& height = AppSettings.font.lfHeight;
  LONG next = command == IDM_FONT_LARGER ? LargerFontHeight(height) : SmallerFontHeight(height);
  if (next == height) return;
  height = next;
  ApplyFont();
}

void PrepareFontDialog(HWND window, CHOOSEFONTW* dialog, LOGFONTW* font) {
  *font = AppSettings.font;
  font->lfHeight = ScreenFontHeight(font->lfHeight, ScreenDpi());  // the size it has on screen
  *dialog = CHOOSEFONTW{};
  dialog->lStructSize = sizeof *dialog;
  dialog->hwndOwner = window;
  dialog->lpLogFont = font;
  dialog->Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  dialog->rgbColors = AppSettings.textColor;
}

void TakeChosenFont(const LOGFONTW& font, COLORREF textColour) {
  AppSettings.textColor = textColour;
  AppSettings.font = font;
  // The dialog hands back a character height; the program keeps cell heights.
  if (AppSettings.font.lfHeight < 0) AppSettings.font.lfHeight = -AppSettings.font.lfHeight;
  AppSettings.font.lfHeight = std::max<LONG>(1, StoredFontHeight(AppSettings.font.lfHeight, ScreenDpi()));
  ApplyFont();
  StoreSettings({kSettingTextColor, kSettingFont});
}

void ShowFontDialog(HWND window) {
  CHOOSEFONTW dialog;
  LOGFONTW font;
  PrepareFontDialog(window, &dialog, &font);
  centerNextWindow = true;
  BOOL chosen = ChooseFontW(&dialog);
  // A dialog that never came up must not leave the flag for another window.
  centerNextWindow = false;
  if (chosen) TakeChosenFont(font, dialog.rgbColors);
  GiveFocusToView();
}

void PrepareBackgroundDialog(HWND window, CHOOSECOLORW* dialog) {
  customColours[15] = GetSysColor(COLOR_WINDOW);
  *dialog = CHOOSECOLORW{};
  dialog->lStructSize = sizeof *dialog;
  dialog->hwndOwner = window;
  dialog->rgbResult = AppSettings.background;
  dialog->lpCustColors = customColours;
  dialog->Flags = CC_FULLOPEN | CC_ANYCOLOR | CC_RGBINIT;
}

void TakeChosenBackground(COLORREF colour) {
  AppSettings.background = colour;
  ApplyViewBackground();
  StoreSetting(kSettingBackground);
  if (engineHost.view) InvalidateRect(engineHost.view, nullptr, TRUE);
}

void ShowBackgroundDialog(HWND window) {
  CHOOSECOLORW dialog;
  PrepareBackgroundDialog(window, &dialog);
  centerNextWindow = true;
  BOOL chosen = ChooseColorW(&dialog);
  centerNextWindow = false;
  if (chosen) TakeChosenBackground(dialog.rgbResult);
  GiveFocusToView();
}
