#include "test_support.h"

#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/charset.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "shell/main_window.h"
#include "ui/localization.h"
#include "ui/settings.h"

std::wstring MakeTempDirectory() {
  static int sequence = 0;
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  for (;;) {
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"%lsquillon-test-%lu-%d", base, GetCurrentProcessId(), ++sequence);
    if (CreateDirectoryW(path, nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return L"";
  }
}

void RemoveDirectoryTree(const std::wstring& directory) {
  std::error_code ignored;  // only the tests' own folders, never the current one
  if (directory.find(L"quillon-test-") != std::wstring::npos) std::filesystem::remove_all(directory, ignored);
}

void WriteBytes(const std::wstring& path, const std::string& bytes, bool append) {
  HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string NumberedLines(int from, int to, const char* prefix) {
  std::string text;
  for (int i = from; i < to; ++i) text.append(prefix).append(std::to_string(i)).append("\n");
  return text;
}

std::vector<std::wstring> NumberedRows(int from, int to, const char* prefix) {
  std::vector<std::wstring> rows;
  for (int i = from; i < to; ++i) rows.push_back(Widen(prefix + std::to_string(i)));
  return rows;
}

std::vector<std::wstring> ListRows(HWND listBox, bool* answered) {
  std::vector<std::wstring> rows;
  auto ask = [&](UINT message, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
    return SendMessageTimeoutW(listBox, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, result) != 0;
  };
  DWORD_PTR count = 0, length = 0;
  bool ok = ask(LB_GETCOUNT, 0, 0, &count);
  static wchar_t row[kMaxRowUnits + 1];
  for (DWORD_PTR i = 0; ok && i < count && LONG_PTR(count) > 0; ++i) {
    row[0] = L'\0';
    ok = ask(LB_GETTEXTLEN, i, 0, &length) && length <= kMaxRowUnits &&
         ask(LB_GETTEXT, i, reinterpret_cast<LPARAM>(row), &length);
    if (ok) rows.push_back(row);
  }
  if (answered) *answered = ok;
  return rows;
}

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return L"";
  int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), length);
  return wide;
}

std::wstring WindowText(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
  return text;
}

std::wstring ClipboardText(HWND owner) {
  std::wstring text = L"none";
  if (!OpenClipboard(owner)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) text = static_cast<wchar_t*>(GlobalLock(data)), GlobalUnlock(data);
  CloseClipboard();
  return text;
}

std::wstring SystemMessage(DWORD error) {
  wchar_t text[512] = L"";
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
  return text;
}

std::wstring StatusTip(int pane) {
  wchar_t tip[1024] = L"";
  SendMessageW(engineHost.statusBar, SB_GETTIPTEXTW, MAKEWPARAM(pane, 1024), reinterpret_cast<LPARAM>(tip));
  return tip;
}

void PumpMessages(DWORD milliseconds) {
  DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (GetTickCount() - start < milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, DWORD limit) {
  for (DWORD start = GetTickCount(); !done();) {
    if (GetTickCount() - start >= limit) return false;
    PumpMessages(5);
  }
  return true;
}

void SetProgramSetting(const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, LocalizedString(IDS_REG_KEY), name, REG_DWORD, &value, sizeof value);
}

void DeleteProgramSetting(const wchar_t* name) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, LocalizedString(IDS_REG_KEY), name);
}

DWORD StoredNumber(HKEY root, const wchar_t* name) {
  DWORD value = ~0u, size = sizeof value;
  RegGetValueW(root, LocalizedString(IDS_REG_KEY), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

Program::Program(const std::wstring& file, const std::wstring& program) {
  std::wstring commandLine = L"\"" + program + L"\"";
  for (size_t at = 0; at <= file.size();) {
    size_t end = std::min(file.find(L'\n', at), file.size());
    commandLine += L" \"" + file.substr(at, end - at) + L"\"";
    at = end + 1;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return;
  CloseHandle(started.hThread);
  process = started.hProcess, id = started.dwProcessId;
}

Program::Program(HWND window) {
  GetWindowThreadProcessId(window, &id);
  process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
}

Program::~Program() {
  if (!process) return;
  TerminateProcess(process, 1);  // only if it is still there
  CloseHandle(process);
}

HWND WaitForProgramWindow(DWORD processId, const wchar_t* title, DWORD limit) {
  struct Search { DWORD processId; const wchar_t* title; HWND found; } search{processId, title, nullptr};
  PumpUntil([&] {
    EnumWindows([](HWND w, LPARAM out) {
      auto* s = reinterpret_cast<Search*>(out);
      DWORD owner = 0;
      wchar_t name[4] = L"", text[512] = L"";
      GetWindowThreadProcessId(w, &owner);
      GetWindowTextW(w, text, 512);
      if ((!s->processId || owner == s->processId) && (!s->title || !lstrcmpW(text, s->title)) &&
          IsWindowVisible(w) && GetClassNameW(w, name, 4) && !lstrcmpW(name, kMainWindowClass))
        s->found = w;
      return BOOL(!s->found);
    }, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  }, limit);
  return search.found;
}

HWND WaitForDialogOwnedBy(HWND owner) {
  HWND dialog = nullptr;
  PumpUntil([&] {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr));)
      if (GetWindow(w, GW_OWNER) == owner && IsWindowVisible(w)) dialog = w;
    return dialog != nullptr;
  });
  return dialog;
}

void SetScrollLock(bool on) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SCROLL] = on ? 0x01 : 0x00;
  SetKeyboardState(keys);
}

void HostedTest::SetUp() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  AppSettings = Settings{}, uiLanguage = 0, FollowedCharset() = CharsetState{};
  SetRowView(nullptr);
  SetScrollLock(false);
  SetSuspendFlag(false);
  ResetPendingRow();
  DiscardBatchedRows();
  ResetWidestRow();
  ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr)));
  ASSERT_NE(window = CreateMainWindow(GetModuleHandleW(nullptr)), nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
}

void HostedTest::TearDown() {
  CloseFile();
  DestroyWindow(window);
  PumpMessages(0);
  SetScrollLock(false);
  RemoveDirectoryTree(directory);
}
