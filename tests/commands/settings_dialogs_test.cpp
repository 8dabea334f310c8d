// The settings dialogs opened by their commands and answered from a timer: fields set, a button pressed.
#include "command_fixture.h"
#include "commands/settings_dialogs.h"

namespace {

struct Field { int id; const wchar_t* text; };  // a box takes L"1" or L"0"
std::vector<Field> fields;
std::wstring marks;  // the check boxes as the dialog opened
int button;
bool whiteFields;  // the dialog gives its fields the content band's white

void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window);
  HDC dc = GetDC(dialog);
  HWND field = GetNextDlgTabItem(dialog, nullptr, FALSE);
  whiteFields = SendMessageW(dialog, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(field)) == LRESULT(GetSysColorBrush(COLOR_WINDOW));
  ReleaseDC(dialog, dc);
  for (int id = IDC_TRAY_MINIMIZE; id <= IDC_RESTRICT_INSTANCES; ++id)
    if (GetDlgItem(dialog, id)) marks += L"01"[IsDlgButtonChecked(dialog, id) & 1];
  for (auto [id, text] : fields)
    if (SendDlgItemMessageW(dialog, id, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) CheckDlgButton(dialog, id, text[0] == L'1');
    else SetDlgItemTextW(dialog, id, text);
  if (dialog != engineHost.window) SendMessageW(dialog, WM_COMMAND, WPARAM(button), 0);
}

using SettingsDialogTest = CommandFixture;

TEST_F(SettingsDialogTest, EachClampsStoresAndReloadsAsItsSettingsNeedAndCancelWritesNothing) {
  OpenLog(path, "abcdef\n");
  AppSettings.kbLimit = 1024, AppSettings.trayMinimize = 1;  // 1,024 as the up-down writes it
  const UINT names[] = {kSettingRowLength,  kSettingKbLimit,  kSettingLinesLimit,   kSettingTrayMinimize,
                        kSettingFullscreen, kSettingEscClose, kSettingSavePosition, kSettingRestrictInstances};
  // A Cancel writes nothing, not even what it found; the next dialog, of other values, shows it kept its own.
  const struct { int command, button; bool wrap, taskbar; std::vector<Field> set; size_t rows; std::wstring marks;
                 std::vector<DWORD> stored; } cases[] = {  // stored: the values of names; a Cancel leaves none
      {IDM_APP_SETTINGS, IDCANCEL, 1, 1, {{IDC_ESC_CLOSE, L"1"}}, 0, L"10011", {}},
      {IDM_ROW_LENGTH, IDOK, 1, 1, {{IDC_ROW_LENGTH, L"0"}}, 7, L"", {1, 1024, 2048, 1, 0, 0, 1, 1}},
      {IDM_ROW_LENGTH, IDOK, 0, 1, {{IDC_ROW_LENGTH, L"300"}}, 0, L"", {256, 1024, 2048, 1, 0, 0, 1, 1}},
      {IDM_ROW_LENGTH, IDCANCEL, 1, 1, {{IDC_ROW_LENGTH, L"5"}}, 0, L"", {}},
      {IDM_ROW_LENGTH, IDOK, 1, 1, {}, 1, L"", {256, 1024, 2048, 1, 0, 0, 1, 1}},  // OK keeps what it showed
      {IDM_SIZE_LIMIT, IDOK, 1, 1, {}, 0, L"", {256, 1024, 2048, 1, 0, 0, 1, 1}},
      {IDM_SIZE_LIMIT, IDOK, 1, 1, {{IDC_KB_LIMIT, L"65535"}, {IDC_LINES_LIMIT, L"70000"}}, 0, L"", {256, 65535, 65535, 1, 0, 0, 1, 1}},
      {IDM_SIZE_LIMIT, IDOK, 1, 1, {{IDC_KB_LIMIT, L"4294967396"}, {IDC_LINES_LIMIT, L"2x"}}, 0, L"", {256, 65535, 1, 1, 0, 0, 1, 1}},
      {IDM_SIZE_LIMIT, IDCANCEL, 1, 1, {{IDC_KB_LIMIT, L"5"}, {IDC_LINES_LIMIT, L"5"}}, 0, L"", {}},
      {IDM_APP_SETTINGS, IDOK, 1, 0, {{IDC_TRAY_MINIMIZE, L"1"}, {IDC_CLEAN_FULLSCREEN, L"1"}, {IDC_ESC_CLOSE, L"1"},
       {IDC_SAVE_POSITION, L"0"}, {IDC_RESTRICT_INSTANCES, L"0"}}, 0, L"00011", {256, 65535, 1, 0, 1, 1, 0, 0}},
      {IDM_APP_SETTINGS, IDOK, 1, 1, {{IDC_TRAY_MINIMIZE, L"1"}}, 0, L"01100", {256, 65535, 1, 1, 1, 1, 0, 0}}};
  for (const auto& c : cases) {
    for (UINT name : names) StoreSetting(name);
    if (c.button == IDCANCEL) RegDeleteKeyW(root, LocalizedString(IDS_REG_KEY));  // a write would bring it back
    HWND bar = c.taskbar ? MakeTaskbar({0, 0, 9, 9}, {0, 0, 9, 9}) : nullptr;
    AppSettings.wrapLines = c.wrap, SendMessageW(engineHost.view, LB_RESETCONTENT, 0, 0);  // rows come back by a reload
    fields = c.set, marks.clear(), button = c.button, whiteFields = false;
    RunAnswered(c.command, Answer);
    DestroyWindow(bar);
    Poll();
    for (size_t i = 0; i < 8; ++i)
      EXPECT_EQ(Stored(LocalizedString(names[i])), c.stored.empty() ? ~0u : c.stored[i]) << &c - cases << ", " << i;
    EXPECT_EQ(std::tuple(Rows().size(), marks, whiteFields), std::tuple(c.rows, c.marks, true)) << &c - cases;
  }
}

}  // namespace
