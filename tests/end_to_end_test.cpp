// Starts the real program on a file, as the shell would, and watches it from here as another process: its rows, its
// window and what it keeps with the file. Its settings are those of the test prefix's registry.
#include "test_support.h"

namespace {

std::vector<LONG> Frame(HWND window) {
  RECT f{};
  GetWindowRect(window, &f);
  return {f.left, f.top, f.right, f.bottom};
}

// With "save position" off the window goes where TESSEL_* say and nothing is stored when it closes; choosing Czech
// restarts the program on the same file, which now takes the stored place and stores where it was moved to on closing.
TEST(EndToEnd, LanguageRestartKeepsTheFileAndThePlaceOnlyWhenAsked) {
  std::wstring directory = MakeTempDirectory(), title = L"log with spaces.log - Quillon";
  std::wstring path = directory + L"\\log with spaces.log", stream = path + L":Kavex.Quillon.Properties";
  WriteBytes(path, "before\n");
  WritePrivateProfileSectionW(L"Position", L"X=300\0Y=200\0Width=600\0Height=400\0", stream.c_str());
  for (const auto& [name, value] : {std::pair{L"TESSEL_X", L"100"}, {L"TESSEL_Y", L"50"},
                                    {L"TESSEL_WIDTH", L"600"}, {L"TESSEL_HEIGHT", L"450"}})
    SetEnvironmentVariableW(name, value);
  SetProgramSetting(L"save position", 0);
  Program started(path);
  HWND first = WaitForProgramWindow(started.id, title.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Frame(first), (std::vector<LONG>{100, 50, 700, 500}));
  DeleteProgramSetting(L"save position");  // on again from now
  PostMessageW(first, WM_COMMAND, 1502, 0);  // Czech
  ASSERT_TRUE(started.EndsWithin(10000));
  HWND restarted = WaitForProgramWindow(0, title.c_str());
  EXPECT_EQ(ProgramSetting(L"language"), 1029u);
  DeleteProgramSetting(L"language");
  ASSERT_NE(restarted, nullptr);
  Program program(restarted);
  EXPECT_EQ(Frame(restarted), (std::vector<LONG>{300, 200, 900, 600}));
  SetWindowPos(restarted, nullptr, 150, 120, 620, 420, SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(restarted, WM_COMMAND, 1206, 0);  // Go to row: centred over the window, a little above the middle
  HWND dialog = WaitForDialogOwnedBy(restarted);  // its own: another test's may stand on top of the shared desktop
  std::vector<LONG> place = Frame(dialog), field = Frame(GetDlgItem(dialog, 258));  // its controls stay inside
  LONG width = place[2] - place[0], height = place[3] - place[1];
  EXPECT_EQ(place, (std::vector<LONG>{460 - width / 2, 330 - height / 2 + (height - 420) / 20, place[0] + width,
                                      place[1] + height}));
  EXPECT_TRUE(field[0] > place[0] && field[2] < place[2] && field[1] > place[1] && field[3] < place[3]);
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  PostMessageW(restarted, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.EndsWithin(10000));
  EXPECT_EQ(GetPrivateProfileIntW(L"Position", L"X", 0, stream.c_str()), 150u);
  RemoveDirectoryTree(directory);
}

// Messages naming memory the real program never handed out, as any process of the desktop may send them: each leaves
// the window answering, its rows as they were, following on. (Under Wine a fault in a message sent from another process
// does not end the program; one in a posted message, or in what a sent one leaves behind, does.)
TEST(ForgedMessages, MadeUpPointersLeaveTheWindowAnsweringAndFollowing) {
  std::wstring directory = MakeTempDirectory(), path = directory + L"\\forged.log";
  WriteBytes(path, NumberedLines(0, 3));
  SetProgramSetting(L"tray minimize", 1);  // the shell hook's rectangle is filled in only then
  Program program(path);
  HWND window = WaitForProgramWindow(program.id, L"forged.log - Quillon");
  DeleteProgramSetting(L"tray minimize");
  HWND view = FindWindowExW(window, nullptr, L"LISTBOX", nullptr);
  std::vector<std::wstring> shown;
  bool answered = true;
  // Waits for the view to show exactly the rows wanted; false when it stops answering or never does.
  auto waitForRows = [&](const std::vector<std::wstring>& wanted) {
    PumpUntil([&] { return (shown = ListRows(view, &answered)) == wanted || !answered; }, 10000);
    return shown == wanted;
  };
  ASSERT_TRUE(window && view && waitForRows(NumberedRows(0, 3)));
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
    EXPECT_TRUE(waitForRows(NumberedRows(0, next))) << shown.size() << " rows";
    return !program.EndsWithin(0);
  };
  for (const auto& forged : posted) {
    SCOPED_TRACE(forged.name);
    PostMessageW(window, forged.message, forged.wparam, forged.lparam);
    ASSERT_TRUE(followingGoesOn());
  }
  // A timer procedure named to the thread itself, and to a dialog of ours
  // (an owned window of its own, outside the main window's children).
  PostThreadMessageW(GetWindowThreadProcessId(window, nullptr), WM_TIMER, 7, exitProcess);
  ASSERT_TRUE(followingGoesOn());
  PostMessageW(window, WM_COMMAND, 1204, 0);  // Find
  HWND findDialog = WaitForDialogOwnedBy(window);
  ASSERT_TRUE(findDialog);
  PostMessageW(findDialog, WM_TIMER, 7, exitProcess);
  PostMessageW(findDialog, WM_COMMAND, IDCANCEL, 0);
  PumpUntil([&] { return !IsWindow(findDialog); });
  ASSERT_TRUE(followingGoesOn());
  // A dialog's set-up message names where its values go: a copy sent from
  // here, and the dialog accepted, must write nothing there.
  PostMessageW(window, WM_COMMAND, 1406, 0);  // Size limits
  HWND dialog = WaitForDialogOwnedBy(window);
  ASSERT_TRUE(dialog);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(dialog, WM_INITDIALOG, 0, 0x10, SMTO_ABORTIFHUNG, 5000, &answer);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  PumpUntil([&] { return !IsWindow(dialog); });
  bool alive = followingGoesOn();
  for (const wchar_t* name : {L"kb limit", L"lines limit"}) DeleteProgramSetting(name);
  ASSERT_TRUE(alive);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.EndsWithin(10000));
  RemoveDirectoryTree(directory);
}

}  // namespace
