// Drives an installed or unpacked tessel.exe from outside, for scripts/test_package.sh: starts it on a log, waits
// until its view shows exactly the rows given, associates ".log" with it through its own dialog when asked, and
// closes it. Exits 0 when all went as expected; otherwise prints what it saw and exits 1.
//   package_probe <tessel.exe> <log> <associate: 0 or 1> <row>...
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

constexpr DWORD kWaitMs = 30000;

template <typename Found>
bool WaitFor(Found found) {
  for (DWORD start = GetTickCount(); !found(); Sleep(50))
    if (GetTickCount() - start > kWaitMs) return false;
  return true;
}

// The visible top-level window of the process with this title, or the visible one it owns when owner is set.
HWND FindWindowOf(DWORD processId, const std::wstring& title, HWND owner) {
  struct Search { DWORD processId; const std::wstring& title; HWND owner, found; } search{processId, title, owner, nullptr};
  EnumWindows([](HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD id = 0;
    wchar_t text[512] = L"";
    GetWindowThreadProcessId(window, &id);
    GetWindowTextW(window, text, 512);
    bool wanted = search->owner ? GetWindow(window, GW_OWNER) == search->owner : search->title == text;
    if (id == search->processId && IsWindowVisible(window) && wanted) search->found = window;
    return search->found ? FALSE : TRUE;
  }, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<std::wstring> Rows(HWND view) {
  std::vector<std::wstring> rows;
  DWORD_PTR count = 0, length = 0;
  if (!SendMessageTimeoutW(view, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count)) return rows;
  for (DWORD_PTR i = 0; i < count && i < 1000; ++i) {
    if (!SendMessageTimeoutW(view, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length) || length > 4096) break;
    std::wstring row(length + 1, L'\0');
    SendMessageTimeoutW(view, LB_GETTEXT, i, LPARAM(row.data()), SMTO_ABORTIFHUNG, 5000, &length);
    rows.push_back(row.substr(0, length));
  }
  return rows;
}

int Fail(const char* what, const std::vector<std::wstring>& rows = {}) {
  fprintf(stderr, "package_probe: %s\n", what);
  for (const std::wstring& row : rows) fprintf(stderr, "  row: %ls\n", row.c_str());
  return 1;
}

// Checks the ".log" box of the associations dialog and saves.
bool AssociateLog(HWND window) {
  PostMessageW(window, WM_COMMAND, IDM_ASSOCIATIONS, 0);
  HWND dialog = nullptr;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (!WaitFor([&] { return (dialog = FindWindowOf(processId, L"", window)) != nullptr; })) return false;
  SendMessageW(GetDlgItem(dialog, IDC_ASSOC_LOG), BM_SETCHECK, BST_CHECKED, 0);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  return WaitFor([&] { return !IsWindow(dialog); });
}

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount < 4) return Fail("usage: package_probe <tessel.exe> <log> <associate: 0 or 1> <row>...");
  std::wstring log = arguments[2], name = log.substr(log.find_last_of(L"\\/") + 1);
  std::wstring commandLine = L"\"" + std::wstring(arguments[1]) + L"\" \"" + log + L"\"";
  std::vector<std::wstring> wanted(arguments + 4, arguments + argumentCount), seen;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(arguments[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started))
    return Fail("the program did not start");
  CloseHandle(started.hThread);
  HWND window = nullptr, view = nullptr;
  int result = 0;
  if (!WaitFor([&] { return (window = FindWindowOf(started.dwProcessId, name + L" - Quillon", nullptr)) != nullptr; }))
    result = Fail("no window titled with the log's name");
  else if (!(view = FindWindowExW(window, nullptr, L"LISTBOX", nullptr)))
    result = Fail("no view in the window");
  else if (!WaitFor([&] { return (seen = Rows(view)) == wanted; }))
    result = Fail("the view never showed the rows asked for; it shows:", seen);
  else if (arguments[3][0] == L'1' && !AssociateLog(window))
    result = Fail("the associations dialog did not come and go");
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(started.hProcess, kWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(started.hProcess, 1);
    result = Fail("the program did not end when closed");
  }
  CloseHandle(started.hProcess);
  return result;
}
