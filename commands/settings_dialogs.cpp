#include "commands/settings_dialogs.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

constexpr uint32_t kMaxWrapLength = 256;
constexpr WORD kShellSettingsIcon = 22;

// The size dialog hands its limits back here, not packed into its result:
// Wine keeps a dialog's result as a 32-bit int, so a kB limit from 32768 up
// would come back negative, and 65535 with 65535 rows as -1, "not shown".
struct SizeLimits {
  uint32_t kb;
  uint32_t rows;
};

struct Switch {
  int box;
  uint32_t Settings::*field;
};

constexpr Switch kSwitches[] = {
    {IDC_TRAY_MINIMIZE, &Settings::trayMinimize}, {IDC_CLEAN_FULLSCREEN, &Settings::fullscreen},
    {IDC_ESC_CLOSE, &Settings::escClose},         {IDC_SAVE_POSITION, &Settings::savePosition},
    {IDC_RESTRICT_INSTANCES, &Settings::restrictInstances}};

void FocusView() {
  if (engineHost.view) SetFocus(engineHost.view);
}

// Read back with the separator the up-down wrote, not the one GetDlgItemInt
// knows (none): "1,024" would otherwise become 1 kB.
uint32_t ReadNumberField(HWND dialog, int id) {
  wchar_t text[32] = L"", separator[8] = L"";
  GetDlgItemTextW(dialog, id, text, 32);
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
  return ReadGroupedNumber(text, separator);
}

uint32_t ReadClamped(HWND dialog, int id, uint32_t high) {
  return std::clamp<uint32_t>(ReadNumberField(dialog, id), 1, high);
}

// The up-down writes the position into its field.
void SetUpDown(HWND dialog, int id, uint32_t high, uint32_t position) {
  SendDlgItemMessageW(dialog, id, UDM_SETRANGE32, 1, LPARAM(high));
  SendDlgItemMessageW(dialog, id, UDM_SETPOS32, 0, LPARAM(position));
}

void OnRowLengthInit(HWND dialog) {
  SetUpDown(dialog, IDC_ROW_LENGTH_SPIN, kMaxWrapLength, AppSettings.rowLength);
}

void OnRowLengthOk(HWND dialog) {
  EndDialog(dialog, ReadClamped(dialog, IDC_ROW_LENGTH, kMaxWrapLength));
}

void OnSizeLimitInit(HWND dialog, LPARAM limits) {
  SetWindowLongPtrW(dialog, DWLP_USER, limits);
  SetUpDown(dialog, IDC_KB_LIMIT_SPIN, kMaxKbLimit, AppSettings.kbLimit);
  SetUpDown(dialog, IDC_LINES_LIMIT_SPIN, kMaxLinesLimit, AppSettings.linesLimit);
}

void OnSizeLimitOk(HWND dialog) {
  auto* limits = reinterpret_cast<SizeLimits*>(GetWindowLongPtrW(dialog, DWLP_USER));
  limits->kb = ReadClamped(dialog, IDC_KB_LIMIT, kMaxKbLimit);
  limits->rows = ReadClamped(dialog, IDC_LINES_LIMIT, kMaxLinesLimit);
  EndDialog(dialog, 1);
}

void OnAppSettingsInit(HWND dialog) {
  static HICON icon = nullptr;  // loaded once, kept until exit
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  if (!icon && shell) icon = LoadModuleIconAtDpi(shell, MAKEINTRESOURCEW(kShellSettingsIcon), 32);
  if (icon) SendDlgItemMessageW(dialog, IDC_SETTINGS_ICON, STM_SETICON, WPARAM(icon), 0);
  EnableWindow(GetDlgItem(dialog, IDC_TRAY_MINIMIZE), TaskbarNotificationArea() != nullptr);
  for (const Switch& s : kSwitches)
    CheckDlgButton(dialog, s.box, IsWindowEnabled(GetDlgItem(dialog, s.box)) && AppSettings.*s.field);
}

// A disabled box counts as unchecked: without a notification area the tray
// switch is turned off.
void OnAppSettingsSave(HWND dialog) {
  for (const Switch& s : kSwitches)
    AppSettings.*s.field = IsWindowEnabled(GetDlgItem(dialog, s.box)) && IsDlgButtonChecked(dialog, s.box);
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK RowLengthProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnRowLengthInit(dialog); break;
    case WM_COMMAND: if (LOWORD(wparam) == IDOK) OnRowLengthOk(dialog); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

INT_PTR CALLBACK SizeLimitProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnSizeLimitInit(dialog, lparam); break;
    case WM_COMMAND: if (LOWORD(wparam) == IDOK) OnSizeLimitOk(dialog); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

INT_PTR CALLBACK AppSettingsProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnAppSettingsInit(dialog); break;
    case WM_COMMAND: if (LOWORD(wparam) == IDOK) OnAppSettingsSave(dialog); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

uint32_t ReadGroupedNumber(const wchar_t* text, const wchar_t* groupSeparator) {
  uint64_t number = 0;
  for (const wchar_t* at = text; *at; ++at) {
    if (*at >= L'0' && *at <= L'9')
      number = std::min<uint64_t>(number * 10 + uint64_t(*at - L'0'), UINT32_MAX);
    else if (!wcschr(groupSeparator, *at))
      return 0;
  }
  return uint32_t(number);
}

void ShowRowLengthDialog(HWND window) {
  INT_PTR length = ShowDialog(window, IDD_ROW_LENGTH, RowLengthProc);
  if (length > 0) {
    AppSettings.rowLength = uint32_t(length);
    UpdateHorizontalExtent();
    StoreSetting(kSettingRowLength);
    // Rows wrapped at the old length are built again.
    if (AppSettings.wrapLines) LoadFile();
  }
  FocusView();
}

// Neither limit reloads: the kB limit counts from the next load, the rows
// limit from the next rows appended.
void ShowSizeLimitDialog(HWND window) {
  SizeLimits limits{};
  if (ShowDialog(window, IDD_SIZE_LIMIT, SizeLimitProc, reinterpret_cast<LPARAM>(&limits)) > 0) {
    AppSettings.linesLimit = limits.rows;
    AppSettings.kbLimit = limits.kb;
    StoreSettings({kSettingKbLimit, kSettingLinesLimit});
    UpdateHorizontalExtent();
  }
  FocusView();
}

// The switches act where they are next consulted; nothing to redo now.
void ShowAppSettingsDialog(HWND window) {
  if (ShowDialog(window, IDD_APP_SETTINGS, AppSettingsProc) > 0)
    StoreSettings({kSettingRestrictInstances, kSettingTrayMinimize, kSettingFullscreen, kSettingEscClose,
                   kSettingSavePosition});
  FocusView();
}
