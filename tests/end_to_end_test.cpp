// Starts the real program on a file, writes to that file from here and reads
// the rows back from the program's list box, as another process would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

using RowList = std::vector<std::wstring>;

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  path.resize(path.rfind(L'\\'));  // tests folder
  path.resize(path.rfind(L'\\'));  // build folder
  return path + L"\\" TESSEL_EXE_NAME;
}

// A main window (class "W") of a process, or of any other process when
// `except` is set, and with a given title when `title` is set.
struct WindowSearch {
  DWORD process;
  DWORD except;
  const wchar_t* title;
  HWND found;
  DWORD owner;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[8];
  wchar_t title[300];
  bool processFits = search->except ? owner != search->except : owner == search->process;
  if (processFits && GetClassNameW(window, className, 8) && wcscmp(className, L"W") == 0 &&
      (!search->title || (GetWindowTextW(window, title, 300) && wcscmp(title, search->title) == 0))) {
    search->found = window;
    search->owner = owner;
    return FALSE;
  }
  return TRUE;
}

bool WaitForWindow(WindowSearch* search) {
  for (int i = 0; i < 500 && !search->found; ++i) {
    EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(search));
    if (!search->found) Sleep(20);
  }
  return search->found != nullptr;
}

HWND WaitForMainWindow(DWORD process) {
  WindowSearch search{process, 0, nullptr, nullptr, 0};
  WaitForWindow(&search);
  return search.found;
}

// The window is listed as soon as it exists, before it has made its children.
HWND WaitForView(HWND window) {
  HWND view = nullptr;
  for (int i = 0; i < 250 && !(view = FindWindowExW(window, nullptr, L"LISTBOX", nullptr)); ++i) Sleep(20);
  return view;
}

bool StartProgram(const std::wstring& log, PROCESS_INFORMATION* process) {
  std::wstring commandLine = L"\"" + ProgramPath() + L"\" \"" + log + L"\"";
  STARTUPINFOW startup{sizeof(startup)};
  return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, process);
}

bool WaitForRows(HWND view, const RowList& expected) {
  for (int i = 0; i < 250; ++i) {
    if (ListRows(view) == expected) return true;
    Sleep(20);
  }
  return false;
}

TEST(EndToEnd, ProgramFollowsAFileWrittenByAnotherProcess) {
  std::wstring directory = MakeTempDirectory();
  std::wstring log = directory + L"\\service.log";
  WriteBytes(log, "2026-12-06 10:00:00 INFO started\n");

  PROCESS_INFORMATION process{};
  SetEnvironmentVariableW(L"TESSEL_X", L"0x64");
  bool started = StartProgram(log, &process);
  SetEnvironmentVariableW(L"TESSEL_X", nullptr);
  ASSERT_TRUE(started) << GetLastError();

  HWND window = WaitForMainWindow(process.dwProcessId);
  ASSERT_NE(window, nullptr);
  RECT frame;
  GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, 100);
  wchar_t title[128] = L"";
  for (int i = 0; i < 100 && wcscmp(title, L"service.log - Quillon") != 0; ++i) {
    GetWindowTextW(window, title, 128);
    Sleep(20);
  }
  EXPECT_STREQ(title, L"service.log - Quillon");
  HWND view = WaitForView(window);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(WaitForRows(view, {L"2026-12-06 10:00:00 INFO started"}));

  AppendBytes(log, "2026-12-06 10:00:01 WARN disk\t80%\n2026-12-06 10:00:02 INFO ");
  AppendBytes(log, "done\n");
  EXPECT_TRUE(WaitForRows(view, {L"2026-12-06 10:00:00 INFO started",
                                 L"2026-12-06 10:00:01 WARN disk   80%",
                                 L"2026-12-06 10:00:02 INFO done"}));

  WIN32_FILE_ATTRIBUTE_DATA before{};
  GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &before);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);

  // Closing stored the window's place with the file, and left the file's time alone.
  std::wstring stream = log + L":Kavex.Quillon.Properties";
  EXPECT_GT(GetPrivateProfileIntW(L"Position", L"Width", 0, stream.c_str()), 0u);
  WIN32_FILE_ATTRIBUTE_DATA after{};
  GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &after);
  EXPECT_EQ(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0);
  EXPECT_EQ(ReadBytes(log).size(), 97u);  // the content is untouched
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  RemoveDirectoryTree(directory);
}

TEST(EndToEnd, LanguageChoiceRestartsWithTheSameFile) {
  std::wstring directory = MakeTempDirectory();
  std::wstring log = directory + L"\\my logs with spaces.log";
  WriteBytes(log, "before the restart\n");
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(StartProgram(log, &process));
  HWND window = WaitForMainWindow(process.dwProcessId);
  ASSERT_NE(window, nullptr);
  HWND view = WaitForView(window);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(WaitForRows(view, {L"before the restart"}));

  PostMessageW(window, WM_COMMAND, 1502, 0);  // Czech
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  // The restarted program: another process, titled by the same file.
  WindowSearch search{0, process.dwProcessId, L"my logs with spaces.log - Quillon", nullptr, 0};
  ASSERT_TRUE(WaitForWindow(&search));
  HWND restartedView = WaitForView(search.found);
  ASSERT_NE(restartedView, nullptr);
  AppendBytes(log, "after it\n");
  EXPECT_TRUE(WaitForRows(restartedView, {L"before the restart", L"after it"}))
      << testing::PrintToString(ListRows(restartedView));

  HKEY key;
  DWORD language = 0, size = sizeof language;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Morvane\\Quillon", 0, KEY_READ | KEY_WRITE, &key) ==
      ERROR_SUCCESS) {
    RegQueryValueExW(key, L"language", nullptr, nullptr, reinterpret_cast<BYTE*>(&language), &size);
    RegDeleteValueW(key, L"language");
    RegCloseKey(key);
  }
  EXPECT_EQ(language, 1029u);

  HANDLE restarted = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, search.owner);
  PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (restarted) {
    if (WaitForSingleObject(restarted, 10000) != WAIT_OBJECT_0) TerminateProcess(restarted, 1);
    CloseHandle(restarted);
  }
  for (int i = 0; i < 250 && IsWindow(search.found); ++i) Sleep(20);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  RemoveDirectoryTree(directory);
}

}  // namespace
