#include "command_fixture.h"

#include <commctrl.h>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "test_support.h"

#include "commands/command_set.h"

int CommandFixture::refusedDialogs = 0;
int CommandFixture::refusedPopups = 0;
std::vector<std::pair<UINT, DWORD>> CommandFixture::shownErrors;

namespace {

HHOOK guard = nullptr;

LRESULT CALLBACK RefuseModalWindows(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[32] = L"";
    GetClassNameW(reinterpret_cast<HWND>(wparam), name, 32);
    if (lstrcmpW(name, L"#32770") == 0) {
      ++CommandFixture::refusedDialogs;
      return 1;
    }
    if (lstrcmpW(name, L"#32768") == 0) {
      ++CommandFixture::refusedPopups;
      return 1;
    }
  }
  return CallNextHookEx(guard, code, wparam, lparam);
}

void RecordError(UINT message, DWORD error) { CommandFixture::shownErrors.push_back({message, error}); }

const wchar_t* SettingsPath() { return LocalizedString(IDS_REG_KEY); }

}  // namespace

void CommandFixture::SetUp() {
  AppSettings = Settings{};
  charsetState = CharsetState{};
  SetRowView(nullptr);
  SetScrollLock(false);
  refusedDialogs = refusedPopups = 0;
  shownErrors.clear();

  rootPath = L"Software\\QuillonCommandTests\\" + std::to_wstring(GetCurrentProcessId());
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, rootPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &root, nullptr),
            ERROR_SUCCESS);
  SetSettingsRoot(root);

  guard = SetWindowsHookExW(WH_CBT, RefuseModalWindows, nullptr, GetCurrentThreadId());
  ASSERT_NE(guard, nullptr);

  ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr)));
  menu = LoadLocalizedMenu(IDR_MAIN_MENU);
  ASSERT_NE(menu, nullptr);
  window = CreateMainWindow(GetModuleHandleW(nullptr), WindowPlacementRequest{}, menu);
  ASSERT_NE(window, nullptr);
  SetWindowPos(window, nullptr, 40, 40, 700, 500, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  engineHost.showError = RecordError;
  directory = MakeTempDirectory();
  ASSERT_FALSE(directory.empty());
  DropPendingMessages();
}

void CommandFixture::TearDown() {
  CloseFile();
  if (window) DestroyWindow(window);
  PumpMessages(0);
  if (guard) UnhookWindowsHookEx(guard);
  guard = nullptr;
  SetSettingsRoot(nullptr);
  if (root) {
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, rootPath.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, rootPath.c_str());
  }
  RemoveDirectoryTree(directory);
  SetScrollLock(false);
}

void CommandFixture::Run(int command, int source) { ExecuteCommand(window, command, source, nullptr); }

bool CommandFixture::Checked(int command) const {
  UINT state = GetMenuState(menu, UINT(command), MF_BYCOMMAND);
  return state != UINT(-1) && (state & MF_CHECKED);
}

bool CommandFixture::Enabled(int command) const { return Enabled(menu, command); }

bool CommandFixture::Enabled(HMENU popup, int command) const {
  UINT state = GetMenuState(popup, UINT(command), MF_BYCOMMAND);
  return state != UINT(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

bool CommandFixture::StoredNumber(const wchar_t* name, DWORD* value) const {
  DWORD size = sizeof *value;
  return RegGetValueW(root, SettingsPath(), name, RRF_RT_REG_DWORD, nullptr, value, &size) ==
         ERROR_SUCCESS;
}

std::vector<BYTE> CommandFixture::StoredBytes(const wchar_t* name) const {
  std::vector<BYTE> bytes(256);
  DWORD size = DWORD(bytes.size());
  if (RegGetValueW(root, SettingsPath(), name, RRF_RT_REG_BINARY, nullptr, bytes.data(), &size) !=
      ERROR_SUCCESS)
    return {};
  bytes.resize(size);
  return bytes;
}

DWORD CommandFixture::StoredValueCount() const {
  HKEY key;
  if (RegOpenKeyExW(root, SettingsPath(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return values;
}

void CommandFixture::OpenLog(const std::wstring& path, const std::string& bytes) {
  WriteBytes(path, bytes);
  ASSERT_TRUE(OpenFile(path.c_str()));
  PollToEnd();
}

void CommandFixture::PollToEnd() {
  do PollFile();
  while (PollContinues());
}

std::vector<std::wstring> CommandFixture::Rows() const { return ListRows(engineHost.view); }

void CommandFixture::AddRows(const std::vector<std::wstring>& rows) {
  for (const std::wstring& row : rows)
    SendMessageW(engineHost.view, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
}

void CommandFixture::DropPendingMessages() {
  MSG message;
  for (UINT kind : {WM_COMMAND, WM_CLOSE})
    while (PeekMessageW(&message, window, kind, kind, PM_REMOVE)) {
    }
}

std::wstring CommandFixture::StatusText(int pane) const {
  wchar_t text[512] = L"";
  LRESULT length = SendMessageW(engineHost.statusBar, SB_GETTEXTLENGTHW, WPARAM(pane), 0);
  if (LOWORD(length) >= 512) return L"<long>";
  SendMessageW(engineHost.statusBar, SB_GETTEXTW, WPARAM(pane), reinterpret_cast<LPARAM>(text));
  return text;
}
