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
void AppendBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// Lines "<prefix><from>" up to before "<prefix><to>", each ending in a line feed.
std::string NumberedLines(int from, int to, const char* prefix = "line ");

std::vector<std::wstring> ListRows(HWND listBox);
std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8);

// Runs the message loop of this thread for the given time.
void PumpMessages(DWORD milliseconds);
// Runs it until done() holds, at most for limit ms: whether it came to hold.
bool PumpUntil(const std::function<bool()>& done, DWORD limit = 5000);

// Toggles the thread's Scroll Lock state, as the keyboard would.
void SetScrollLock(bool on);

// Fresh engine state (settings, charset, view, Scroll Lock), a hidden main
// window whose real list box receives the rows, and a temp directory for the
// log. Polls are driven by hand unless a test pumps messages for timer 1.
struct HostedTest : testing::Test {
  HWND window = nullptr;
  std::wstring directory = MakeTempDirectory(), path = directory + L"\\app.log";
  void SetUp() override;
  void TearDown() override;
  void Poll() { for (PollFile(); PollContinues();) PollFile(); }  // to the end of a long read
  std::vector<std::wstring> Rows() const { return ListRows(engineHost.view); }
};
