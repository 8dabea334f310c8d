#include "commands/setting_toggles.h"

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

// Without a per-thread code page (Windows 4 and older) "current" means nothing.
bool HasThreadCodePage() { return LOBYTE(LOWORD(GetVersion())) > 4; }

// Row handling changed: the rows are built again from the file.
void RebuildRows() {
  UpdateHorizontalExtent();
  LoadFile();
}

}  // namespace

bool ToggleCheckedSetting(int command, uint32_t* setting) {
  bool on = *setting == 0;
  *setting = on ? 1 : 0;
  if (HMENU menu = engineHost.menu)
    CheckMenuItem(menu, UINT(command), MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  return on;
}

void ToggleStatusBar(HWND window) {
  ToggleCheckedSetting(IDM_STATUS_BAR, &AppSettings.statusBar);
  StoreSetting(kSettingStatusBar);
  RelayoutMainWindow(window);
}

void ToggleWrapLines() {
  ToggleCheckedSetting(IDM_WRAP_LINES, &AppSettings.wrapLines);
  StoreSetting(kSettingWrapLines);
  RebuildRows();
}

void ToggleCutEmpty() {
  ToggleCheckedSetting(IDM_CUT_EMPTY, &AppSettings.cutEmpty);
  StoreSetting(kSettingCutEmpty);
  RebuildRows();
}

void ToggleLevelColors() {
  ToggleCheckedSetting(IDM_LEVEL_COLORS, &AppSettings.levelColors);
  StoreSetting(kSettingLevelColors);
  RebuildRows();  // levels are read, or not, as rows are built
}

void ToggleOverview(HWND window) {
  ToggleCheckedSetting(IDM_OVERVIEW, &AppSettings.overview);
  StoreSetting(kSettingOverview);
  RelayoutMainWindow(window);
}

void ToggleFileNames() {
  ToggleCheckedSetting(IDM_FILE_NAMES, &AppSettings.fileNames);
  StoreSetting(kSettingFileNames);
  UpdateHorizontalExtent();  // the names' column counts in the rows' width
  if (engineHost.view) InvalidateRect(engineHost.view, nullptr, TRUE);
}

void ToggleAutodetect() {
  bool on = ToggleCheckedSetting(IDM_AUTODETECT, &AppSettings.autodetect);
  StoreSetting(kSettingAutodetect);
  SetAutodetect(on);
}

void SelectCharset(int command) {
  uint32_t charset;
  bool setsFallback;
  if (!CharsetFromCommand(command, &charset, &setsFallback)) return;
  if (command == IDM_CHARSET_CURRENT && !HasThreadCodePage()) return;
  ChooseCharset(command);
  AppSettings.charset = charset;
  StoreSetting(kSettingCharset);
  // The mark follows the charset in use, also when no file is open to reload.
  UpdateCharsetMenu(engineHost.menu);
}
