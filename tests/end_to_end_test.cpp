// Starts the real program on a file, as the shell would, and watches it from
// here as another process: its rows, its window and what it keeps with the
// file. Its settings are those of the test prefix's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::vector<LONG> Frame(HWND window) {
  RECT f{};
  GetWindowRect(window, &f);
  return {f.left, f.top, f.right, f.bottom};
}

// With "save position" off the window goes where TESSEL_* say and nothing is
// stored when it closes; choosing Czech restarts the program on the same file,
// which now takes the stored place and stores where it was moved to when it
// closes.
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

}  // namespace
