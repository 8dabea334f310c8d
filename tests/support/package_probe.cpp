// Drives an installed or unpacked tessel.exe from outside, for scripts/test_package.sh: starts it on a log, waits
// until its view shows exactly the rows given, associates ".log" with it through its own dialog when asked, and
// closes it. Exits 0 when all went as expected; otherwise prints what it saw and exits 1.
//   package_probe <tessel.exe> <log> <associate: 0 or 1> <row>...
#include <cstdio>

#include "resources/resource_ids.h"
#include "test_support.h"

namespace {

constexpr DWORD kWaitMs = 30000;

int Fail(const char* what, const std::vector<std::wstring>& rows = {}) {
  fprintf(stderr, "package_probe: %s\n", what);
  for (const std::wstring& row : rows) fprintf(stderr, "  row: %ls\n", row.c_str());
  return 1;
}

// Checks the ".log" box of the associations dialog and saves.
bool AssociateLog(HWND window) {
  PostMessageW(window, WM_COMMAND, IDM_ASSOCIATIONS, 0);
  HWND dialog = WaitForDialogOwnedBy(window);
  if (!dialog) return false;
  SendMessageW(GetDlgItem(dialog, IDC_ASSOC_LOG), BM_SETCHECK, BST_CHECKED, 0);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  return PumpUntil([&] { return !IsWindow(dialog); }, kWaitMs);
}

}  // namespace

int wmain(int argumentCount, wchar_t** arguments) {
  if (argumentCount < 4) return Fail("usage: package_probe <tessel.exe> <log> <associate: 0 or 1> <row>...");
  std::wstring log = arguments[2], title = log.substr(log.find_last_of(L"\\/") + 1) + L" - Quillon";
  std::vector<std::wstring> wanted(arguments + 4, arguments + argumentCount), seen;
  Program program(log, arguments[1]);
  if (!program.process) return Fail("the program did not start");
  HWND window = WaitForProgramWindow(program.id, title.c_str(), kWaitMs);
  HWND view = window ? FindWindowExW(window, nullptr, L"LISTBOX", nullptr) : nullptr;
  int result = 0;
  if (!view) result = Fail("no window titled with the log's name, or no view in it");
  else if (!PumpUntil([&] { return (seen = ListRows(view)) == wanted; }, kWaitMs))
    result = Fail("the view never showed the rows asked for; it shows:", seen);
  else if (arguments[3][0] == L'1' && !AssociateLog(window)) result = Fail("the associations dialog did not come and go");
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (!program.EndsWithin(kWaitMs)) result = Fail("the program did not end when closed");
  return result;
}
