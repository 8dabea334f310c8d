// Starts the real program on a file, as the shell would, and watches it from
// here as another process: its rows, its window and what it keeps with the
// file. Its settings are those of the test prefix's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Morvane\\Quillon";

// The shown main window of the program following the file, and its view.
std::pair<HWND, HWND> WaitForProgram(const std::wstring& file) {
  HWND window = nullptr;
  for (int i = 0; i < 500 && !(window && IsWindowVisible(window)); ++i, Sleep(20))
    window = FindWindowW(L"W", (file + L" - Quillon").c_str());
  return {window, window ? FindWindowExW(window, nullptr, L"LISTBOX", nullptr) : nullptr};
}

std::vector<LONG> Frame(HWND window) {
  RECT f{};
  return GetWindowRect(window, &f) ? std::vector<LONG>{f.left, f.top, f.right, f.bottom} : std::vector<LONG>{};
}

// With "save position" off the window goes where TESSEL_* say and nothing is
// stored when it closes; choosing Czech restarts the program on the same file,
// which now takes the stored place, follows the file, and stores where it was
// moved to when it closes.
TEST(EndToEnd, LanguageRestartKeepsTheFileAndThePlaceOnlyWhenAsked) {
  std::wstring directory = MakeTempDirectory(), file = L"log with spaces.log", path = directory + L"\\" + file;
  std::wstring stream = path + L":Kavex.Quillon.Properties";
  WriteBytes(path, "before\n");
  for (const auto& [key, value] : {std::pair{L"X", L"300"}, {L"Y", L"200"}, {L"Width", L"600"}, {L"Height", L"400"}})
    WritePrivateProfileStringW(L"Position", key, value, stream.c_str());
  for (const auto& [name, value] : {std::pair{L"TESSEL_X", L"100"}, {L"TESSEL_Y", L"50"}, {L"TESSEL_WIDTH", L"600"},
                                    {L"TESSEL_HEIGHT", L"450"}})
    SetEnvironmentVariableW(name, value);
  DWORD off = 0;
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"save position", REG_DWORD, &off, sizeof off);
  std::wstring commandLine = L"" TESSEL_EXE_NAME " \"" + path + L"\"";  // CTest runs us in the build folder
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &started));
  auto [first, firstView] = WaitForProgram(file);
  ASSERT_NE(firstView, nullptr);
  EXPECT_EQ(Frame(first), (std::vector<LONG>{100, 50, 700, 500}));
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"save position");  // on again from now
  PostMessageW(first, WM_COMMAND, 1502, 0);  // Czech
  ASSERT_EQ(WaitForSingleObject(started.hProcess, 10000), WAIT_OBJECT_0);
  auto [restarted, view] = WaitForProgram(file);
  DWORD language = 0, size = sizeof language;
  RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"language", RRF_RT_REG_DWORD, nullptr, &language, &size);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"language");
  EXPECT_EQ(language, 1029u);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(Frame(restarted), (std::vector<LONG>{300, 200, 900, 600}));
  AppendBytes(path, "after\t1\nand ");
  AppendBytes(path, "more\n");
  std::vector<std::wstring> rows, expected{L"before", L"after   1", L"and more"};
  for (int i = 0; i < 250 && (rows = ListRows(view)) != expected; ++i) Sleep(20);
  EXPECT_EQ(rows, expected);
  SetWindowPos(restarted, nullptr, 150, 120, 620, 420, SWP_NOZORDER | SWP_NOACTIVATE);
  DWORD id = 0, code = 1;
  GetWindowThreadProcessId(restarted, &id);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id);
  PostMessageW(restarted, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
  EXPECT_TRUE(GetExitCodeProcess(process, &code) && code == 0);
  EXPECT_EQ(GetPrivateProfileIntW(L"Position", L"X", 0, stream.c_str()), 150u);
  EXPECT_EQ(ReadBytes(path), "before\nafter\t1\nand more\n");  // the log itself is left alone
  CloseHandle(process);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  RemoveDirectoryTree(directory);
}

}  // namespace
