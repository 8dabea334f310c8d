// The real program reached as any process of the desktop may reach it:
// messages naming memory it never handed out. Each one must leave the window
// answering, its rows as they were, and following going on. (Under Wine a
// fault in a message sent from another process does not end the program; one
// in a posted message, or in what a sent one leaves behind, does.)
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Morvane\\Quillon";
constexpr UINT kWait = 5000;

// The rows of another process's view, or nothing when it does not answer.
bool ReadRows(HWND view, std::vector<std::wstring>* rows) {
  DWORD_PTR count = 0;
  rows->clear();
  if (!SendMessageTimeoutW(view, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kWait, &count)) return false;
  for (DWORD_PTR i = 0; i < count && LONG_PTR(count) > 0; ++i) {
    wchar_t row[4096] = L"";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(view, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kWait, &length) || length >= 4096 ||
        !SendMessageTimeoutW(view, LB_GETTEXT, i, LPARAM(row), SMTO_ABORTIFHUNG, kWait, &length))
      return false;
    rows->push_back(row);
  }
  return true;
}

// Waits for the view to show exactly the rows wanted; false when it stops answering or never does.
bool WaitForRows(HWND view, const std::vector<std::wstring>& wanted, std::vector<std::wstring>* shown) {
  for (int i = 0; i < 500; ++i, Sleep(20))
    if (!ReadRows(view, shown) || *shown == wanted) return *shown == wanted;
  return false;
}

std::vector<std::wstring> Lines(int from, int to) {
  std::vector<std::wstring> lines;
  for (int i = from; i < to; ++i) lines.push_back(L"line " + std::to_wstring(i));
  return lines;
}

// Ends the program however the test ends.
struct ProgramGuard {
  PROCESS_INFORMATION started{};
  std::wstring directory;
  ~ProgramGuard() {
    if (started.hProcess) TerminateProcess(started.hProcess, 1), CloseHandle(started.hThread), CloseHandle(started.hProcess);
    RemoveDirectoryTree(directory);
  }
};

TEST(ForgedMessages, MadeUpPointersLeaveTheWindowAnsweringAndFollowing) {
  ProgramGuard program{{}, MakeTempDirectory()};
  std::wstring file = L"forged.log", path = program.directory + L"\\" + file;
  WriteBytes(path, NumberedLines(0, 3));
  DWORD on = 1;  // the shell hook's rectangle is filled in only then
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"tray minimize", REG_DWORD, &on, sizeof on);
  std::wstring commandLine = L"" TESSEL_EXE_NAME " \"" + path + L"\"";  // CTest runs us in the build folder
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION& started = program.started;
  bool created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &started);
  HWND window = nullptr;
  for (int i = 0; i < 500 && !(window && IsWindowVisible(window)); ++i, Sleep(20))
    window = FindWindowW(L"W", (file + L" - Quillon").c_str());
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"tray minimize");
  ASSERT_TRUE(created);
  HWND view = FindWindowExW(window, nullptr, L"LISTBOX", nullptr);
  std::vector<std::wstring> shown;
  ASSERT_TRUE(view && WaitForRows(view, Lines(0, 3), &shown));

  UINT find = RegisterWindowMessageW(L"commdlg_FindReplace"), shellHook = RegisterWindowMessageW(L"SHELLHOOK");
  // A system library's function lies at the same address in every process.
  auto exitProcess = LPARAM(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "ExitProcess"));
  const struct { const char* name; UINT message; WPARAM wparam; LPARAM lparam; } posted[] = {
      {"find record, none", find, 0, 0},
      {"find record, unmapped", find, 0, 0x10},
      {"minimize rectangle, unmapped", shellHook, HSHELL_GETMINRECT, 0x10},
      {"update result, unmapped", WM_APP + 3, 0, 0x10},
      {"timer procedure, the end of the process", WM_TIMER, 7, exitProcess},
      {"notification, unmapped", WM_NOTIFY, 0, 0x10}};
  int next = 3;
  // A timer's message comes only once the posted ones are handled: a row
  // appended after a forged message shows that it has been.
  auto followingGoesOn = [&] {
    AppendBytes(path, NumberedLines(next, next + 1));
    ++next;
    EXPECT_TRUE(WaitForRows(view, Lines(0, next), &shown)) << shown.size() << " rows";
    return WaitForSingleObject(started.hProcess, 0) == WAIT_TIMEOUT;
  };
  for (const auto& forged : posted) {
    SCOPED_TRACE(forged.name);
    PostMessageW(window, forged.message, forged.wparam, forged.lparam);
    ASSERT_TRUE(followingGoesOn());
  }

  // A dialog's set-up message names where its values go: a copy sent from
  // here, and the dialog accepted, must write nothing there.
  PostMessageW(window, WM_COMMAND, 1406, 0);  // Size limits
  HWND dialog = nullptr;
  for (int i = 0; i < 250 && !IsWindowVisible(dialog); ++i, Sleep(20))
    for (HWND other = nullptr; (other = FindWindowExW(nullptr, other, L"#32770", nullptr));)
      if (GetWindow(other, GW_OWNER) == window) dialog = other;
  ASSERT_TRUE(dialog);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(dialog, WM_INITDIALOG, 0, 0x10, SMTO_ABORTIFHUNG, kWait, &answer);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 250 && IsWindow(dialog); ++i) Sleep(20);
  bool alive = followingGoesOn();
  for (const wchar_t* name : {L"kb limit", L"lines limit"}) RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name);
  ASSERT_TRUE(alive);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(started.hProcess, 10000), WAIT_OBJECT_0);
}

}  // namespace
