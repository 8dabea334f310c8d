// Starts the real program on a file, as the shell would, and watches it from
// here as another process: its rows, its window and what it keeps with the
// file. Its settings are those of the test prefix's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Morvane\\Quillon";

// The shown main window of the program following the file.
HWND WaitForProgram(const std::wstring& file) {
  HWND window = nullptr;
  for (int i = 0; i < 500 && !(window && IsWindowVisible(window)); ++i, Sleep(20))
    window = FindWindowW(L"W", (file + L" - Quillon").c_str());
  return window;
}

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
  std::wstring directory = MakeTempDirectory(), file = L"log with spaces.log";
  std::wstring path = directory + L"\\" + file, stream = path + L":Kavex.Quillon.Properties";
  WriteBytes(path, "before\n");
  WritePrivateProfileSectionW(L"Position", L"X=300\0Y=200\0Width=600\0Height=400\0", stream.c_str());
  for (const auto& [name, value] : {std::pair{L"TESSEL_X", L"100"}, {L"TESSEL_Y", L"50"},
                                    {L"TESSEL_WIDTH", L"600"}, {L"TESSEL_HEIGHT", L"450"}})
    SetEnvironmentVariableW(name, value);
  DWORD off = 0;
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"save position", REG_DWORD, &off, sizeof off);
  std::wstring commandLine = L"" TESSEL_EXE_NAME " \"" + path + L"\"";  // CTest runs us in the build folder
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started));
  HWND first = WaitForProgram(file);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Frame(first), (std::vector<LONG>{100, 50, 700, 500}));
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"save position");  // on again from now
  PostMessageW(first, WM_COMMAND, 1502, 0);  // Czech
  ASSERT_EQ(WaitForSingleObject(started.hProcess, 10000), WAIT_OBJECT_0);
  HWND restarted = WaitForProgram(file);
  DWORD language = 0, size = sizeof language;
  RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"language", RRF_RT_REG_DWORD, nullptr, &language, &size);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"language");
  EXPECT_EQ(language, 1029u);
  ASSERT_NE(restarted, nullptr);
  EXPECT_EQ(Frame(restarted), (std::vector<LONG>{300, 200, 900, 600}));
  SetWindowPos(restarted, nullptr, 150, 120, 620, 420, SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(restarted, WM_COMMAND, 1206, 0);  // Go to row: centred over the window, a little above the middle
  HWND dialog = nullptr;  // its own: another test's dialog may stand on top of the shared desktop
  for (int i = 0; i < 250 && !IsWindowVisible(dialog); ++i, Sleep(20))
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr));)
      if (GetWindow(w, GW_OWNER) == restarted) dialog = w;
  std::vector<LONG> place = Frame(dialog), field = Frame(GetDlgItem(dialog, 258));  // its controls stay inside
  LONG width = place[2] - place[0], height = place[3] - place[1];
  EXPECT_EQ(place, (std::vector<LONG>{460 - width / 2, 330 - height / 2 + (height - 420) / 20, place[0] + width, place[1] + height}));
  EXPECT_TRUE(field[0] > place[0] && field[2] < place[2] && field[1] > place[1] && field[3] < place[3]);
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  DWORD id = 0;
  GetWindowThreadProcessId(restarted, &id);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
  PostMessageW(restarted, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  TerminateProcess(process, 1);  // if it did not end
  EXPECT_EQ(GetPrivateProfileIntW(L"Position", L"X", 0, stream.c_str()), 150u);
  CloseHandle(process);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  RemoveDirectoryTree(directory);
}

}  // namespace
