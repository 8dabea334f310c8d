// Helpers shared by the tests: temp files written the way a log writer would.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"

std::wstring MakeTempDirectory();
void RemoveDirectoryTree(const std::wstring& directory);

void WriteBytes(const std::wstring& path, const std::string& bytes, bool append = false);
inline void AppendBytes(const std::wstring& path, const std::string& bytes) { WriteBytes(path, bytes, true); }
std::string ReadBytes(const std::wstring& path);
// Lines "<prefix><from>" up to before "<prefix><to>", each ending in a line feed.
std::string NumberedLines(int from, int to, const char* prefix = "line ");
std::vector<std::wstring> NumberedRows(int from, int to, const char* prefix = "line ");  // as the view shows them

// The rows of a list box, also of another process; *answered false when it stops answering.
std::vector<std::wstring> ListRows(HWND listBox, bool* answered = nullptr);
std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8);
std::wstring WindowText(HWND window);
std::wstring ClipboardText(HWND owner);  // "none" when it holds no text
std::wstring SystemMessage(DWORD error);  // the system's description of an error
std::wstring StatusTip(int pane);         // the tip of a pane of the view's status bar

// Runs the message loop of this thread for the given time.
void PumpMessages(DWORD milliseconds);
// Runs it until done() holds, at most for limit ms: whether it came to hold.
bool PumpUntil(const std::function<bool()>& done, DWORD limit = 5000);

// The settings of the test prefix's registry, as a started program reads them.
void SetProgramSetting(const wchar_t* name, DWORD value);
void DeleteProgramSetting(const wchar_t* name);
DWORD StoredNumber(HKEY root, const wchar_t* name);  // ~0u when absent
inline DWORD ProgramSetting(const wchar_t* name) { return StoredNumber(HKEY_CURRENT_USER, name); }

// The real program started on a file as a second process, or the one showing a window; ended however the test ends.
struct Program {
  HANDLE process = nullptr;
  DWORD id = 0;
  // Several files, separated by line feeds, open as one view.
  explicit Program(const std::wstring& file, const std::wstring& program = L"" TESSEL_EXE_NAME);
  explicit Program(HWND window);
  Program(const Program&) = delete;
  ~Program();
  bool EndsWithin(DWORD milliseconds) const { return WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0; }
};
// The shown main window of a program process (any when 0) with this title (any when null), waited for.
HWND WaitForProgramWindow(DWORD processId, const wchar_t* title = nullptr, DWORD limit = 10000);
// The visible dialog owned by a window, waited for; null when none comes.
HWND WaitForDialogOwnedBy(HWND owner);

// Toggles the thread's Scroll Lock state, as the keyboard would.
void SetScrollLock(bool on);

// Fresh engine state (settings, charset, view, Scroll Lock), a hidden main window whose real list box receives the
// rows, and a temp directory for the log. Polls are driven by hand unless a test pumps messages for timer 1.
struct HostedTest : testing::Test {
  HWND window = nullptr;
  std::wstring directory = MakeTempDirectory(), path = directory + L"\\app.log";
  void SetUp() override;
  void TearDown() override;
  void Poll() { for (PollFile(); PollContinues();) PollFile(); }  // to the end of a long read
  std::vector<std::wstring> Rows() const { return ListRows(engineHost.view); }
};
