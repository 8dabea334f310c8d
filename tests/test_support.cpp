#include "test_support.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>

#include "engine/charset.h"
#include "engine/file_follower.h"
#include "shell/localization.h"
#include "shell/main_window.h"
#include "shell/settings.h"

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
  if (directory.find(L"quillon-test-") == std::wstring::npos) return;  // never the current folder
  std::wstring from = directory + L'\0';  // the list ends with a second NUL
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

void WriteBytes(const std::wstring& path, const std::string& bytes, bool append) {
  HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void AppendBytes(const std::wstring& path, const std::string& bytes) { WriteBytes(path, bytes, true); }

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

std::string NumberedLines(int from, int to, const char* prefix) {
  std::string text;
  for (int i = from; i < to; ++i) text.append(prefix).append(std::to_string(i)).append("\n");
  return text;
}

std::vector<std::wstring> ListRows(HWND listBox) {
  std::vector<std::wstring> rows;
  LRESULT count = SendMessageW(listBox, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, WPARAM(i), 0);
    std::wstring row(size_t(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(listBox, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(row.data()));
    row.resize(wcslen(row.c_str()));
    rows.push_back(row);
  }
  return rows;
}

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return L"";
  int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), length);
  return wide;
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

void SetScrollLock(bool on) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SCROLL] = on ? 0x01 : 0x00;
  SetKeyboardState(keys);
}

void HostedTest::SetUp() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  AppSettings = Settings{};
  uiLanguage = 0;
  charsetState = CharsetState{};
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
