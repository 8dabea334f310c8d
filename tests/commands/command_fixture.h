// A real main window with menu 1000, a throwaway settings key, a temp
// directory, and a guard that refuses every dialog, message box and popup
// menu window (counting them), so that no test can block on one.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

struct CommandFixture : testing::Test {
  HWND window = nullptr;
  HMENU menu = nullptr;
  HKEY root = nullptr;
  std::wstring rootPath;
  std::wstring directory;
  static int refusedDialogs;  // "#32770": dialogs and message boxes
  static int refusedPopups;   // "#32768": popup menus
  static std::vector<std::pair<UINT, DWORD>> shownErrors;

  void SetUp() override;
  void TearDown() override;

  void Run(int command, int source = 0);
  bool Checked(int command) const;
  bool Enabled(int command) const;
  bool Enabled(HMENU popup, int command) const;

  // Values the settings store wrote under the throwaway key.
  bool StoredNumber(const wchar_t* name, DWORD* value) const;
  std::vector<BYTE> StoredBytes(const wchar_t* name) const;
  DWORD StoredValueCount() const;

  std::wstring PathOf(const wchar_t* name) const { return directory + L"\\" + name; }
  // Writes the file, opens it and reads all of it into the view.
  void OpenLog(const std::wstring& path, const std::string& bytes);
  void PollToEnd();
  std::vector<std::wstring> Rows() const;
  void AddRows(const std::vector<std::wstring>& rows);
  void DropPendingMessages();  // posted commands and close requests
  std::wstring StatusText(int pane) const;
};
