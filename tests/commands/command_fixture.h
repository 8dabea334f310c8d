// The shell and command tests' one fixture: fresh settings stored under a throwaway key of the test prefix's registry,
// a temp directory, a real main window with menu 1000, and a guard that refuses (and counts) every dialog, message box
// and popup menu, so that no test can block on one.
#pragma once
#include "commands/command_set.h"
#include "engine/charset.h"
#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "test_support.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/settings.h"

struct CommandFixture : HostedTest {
  HMENU menu = nullptr;
  HKEY root = nullptr;
  std::wstring rootPath = L"Software\\QuillonTests\\" + std::to_wstring(GetCurrentProcessId());
  static inline HHOOK guard = nullptr;
  static inline int refused = 0;
  static inline bool allowDialogs = false;  // for a test that drives one

  static LRESULT CALLBACK Refuse(int code, WPARAM wparam, LPARAM lparam) {
    wchar_t name[16] = L"";  // dialogs and message boxes, popup menus
    if (code == HCBT_CREATEWND && !allowDialogs && GetClassNameW(reinterpret_cast<HWND>(wparam), name, 16) &&
        (!lstrcmpW(name, L"#32770") || !lstrcmpW(name, L"#32768")))
      return ++refused, 1;
    return CallNextHookEx(guard, code, wparam, lparam);
  }

  void SetUp() override {
    HostedTest::SetUp();
    ResetSettings(AppSettings);
    dialogFocusWindow = nullptr, refused = 0, allowDialogs = false;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, rootPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                              nullptr), ERROR_SUCCESS);
    SetSettingsRoot(root);
    ASSERT_TRUE(guard = SetWindowsHookExW(WH_CBT, Refuse, nullptr, GetCurrentThreadId()));
    MakeWindow();
  }

  // Anew, as the program makes it from the settings in force.
  void MakeWindow() {
    CloseFile();
    DestroyWindow(window);
    MSG quit;  // posted by the closed window; a modal loop would end on it
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    menu = LoadLocalizedMenu(IDR_MAIN_MENU);
    WindowPlacementRequest request;
    request.x = 40, request.y = 30, request.width = 700, request.height = 500;
    ASSERT_NE(window = CreateMainWindow(GetModuleHandleW(nullptr), request, menu), nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
  }

  void TearDown() override {
    HostedTest::TearDown();
    UnhookWindowsHookEx(guard);
    SetSettingsRoot(nullptr);
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, rootPath.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, rootPath.c_str());
  }

  void Run(int command, int source = 0) { ExecuteCommand(window, command, source, nullptr); }
  // The command whose dialogs the timer procedure answers while they run.
  void RunAnswered(int command, TIMERPROC answer) {
    allowDialogs = true;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, answer);
    Run(command);
    KillTimer(nullptr, timer);
  }
  bool Checked(int command) const {  // a missing item (state -1) is not
    return (GetMenuState(menu, UINT(command), MF_BYCOMMAND) & (MF_CHECKED | 0x80000000)) == MF_CHECKED;
  }

  DWORD Stored(const wchar_t* name) const { return StoredNumber(root, name); }  // ~0u when absent
  std::wstring StoredText(const wchar_t* name) const {
    wchar_t value[400] = L"absent";
    DWORD size = sizeof value;
    RegGetValueW(root, LocalizedString(IDS_REG_KEY), name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
  }

  static int Selected() {  // the one selected row of the view, else -1
    if (SendMessageW(engineHost.view, LB_GETSELCOUNT, 0, 0) != 1) return -1;
    return int(SendMessageW(engineHost.view, LB_GETCARETINDEX, 0, 0));
  }
  static std::wstring SelectedText() {  // "none" when not one row is selected
    wchar_t text[kMaxRowUnits + 1] = L"none";
    if (int row = Selected(); row >= 0) ReadViewRow(engineHost.view, row, text);
    return text;
  }

  // A command whose dialog of one field is answered: each time it shows, what the field shows is noted in
  // shownInField, and the next text is typed into it and OK pressed; once all are typed, Cancel.
  static inline std::vector<std::wstring> typedInField, shownInField;
  static inline int typedField = 0;
  void RunTyping(int command, int field, const std::vector<std::wstring>& texts) {
    typedField = field;
    typedInField = texts;
    shownInField.clear();
    RunAnswered(command, [](HWND, UINT, UINT_PTR, DWORD) {
      wchar_t text[64] = L"";
      HWND dialog = OwnDialog();
      if (!dialog) return;
      GetDlgItemTextW(dialog, typedField, text, 64);
      shownInField.push_back(text);
      bool more = shownInField.size() <= typedInField.size();
      if (more) SetDlgItemTextW(dialog, typedField, typedInField[shownInField.size() - 1].c_str());
      SendMessageW(dialog, WM_COMMAND, more ? IDOK : IDCANCEL, 0);
    });
  }

  static HWND OwnDialog() {  // a visible dialog of this thread
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM out) {
      wchar_t name[8] = L"";
      bool dialog = IsWindowVisible(w) && GetClassNameW(w, name, 8) && !lstrcmpW(name, L"#32770");
      if (dialog) *reinterpret_cast<HWND*>(out) = w;
      return BOOL(!dialog);
    }, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  // A stand-in taskbar and its notification area, each given as left, top, width and height (Wine's has no
  // window of the second class).
  static HWND MakeTaskbar(RECT bar, RECT area) {
    WNDCLASSW type{0, DefWindowProcW, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, L"Shell_TrayWnd"};
    RegisterClassW(&type), type.lpszClassName = L"TrayNotifyWnd", RegisterClassW(&type);
    HWND taskbar = CreateWindowW(L"Shell_TrayWnd", L"", WS_POPUP, bar.left, bar.top, bar.right, bar.bottom, nullptr,
                                 nullptr, nullptr, nullptr);
    CreateWindowW(L"TrayNotifyWnd", L"", WS_CHILD, area.left, area.top, area.right, area.bottom, taskbar, nullptr,
                  nullptr, nullptr);
    return taskbar;
  }

  std::wstring PathOf(const wchar_t* name) const { return directory + L"\\" + name; }
  void Follow(const std::wstring& path) { ASSERT_TRUE(OpenFile(path.c_str())); Poll(); }  // and read all of it
  void OpenLog(const std::wstring& path, const std::string& bytes) { WriteBytes(path, bytes); Follow(path); }
};
