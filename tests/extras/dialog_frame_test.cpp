// The frame every dialog shares, on the real About and Version history
// dialogs, driven from a timer while they run; and the error box's text.
#include "../commands/command_fixture.h"

#include <commctrl.h>

#include "extras/dialog_frame.h"

namespace {

using DialogFrameTest = CommandFixture;

std::wstring seen;  // what the timer found, in order

void CALLBACK AskForHelpThenClose(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window), version = GetDlgItem(dialog, IDC_VERSION);
  if (dialog == engineHost.window || !seen.empty()) return;
  HELPINFO help{sizeof help, HELPINFO_WINDOW, IDC_VERSION, version, 0, {}};
  SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
  wchar_t tip[128] = L"";
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool, tool.hwnd = engineHost.window, tool.uId = UINT_PTR(engineHost.window), tool.lpszText = tip;
  SendMessageW(trackingTooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
  seen = std::wstring(tip) + (IsWindowVisible(trackingTooltip) ? L"|shown" : L"|hidden");
  SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // any command hides it
  seen += IsWindowVisible(trackingTooltip) ? L"|shown" : L"|hidden";
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(DialogFrameTest, ControlHelpShowsTheControlsStringUntilAButtonIsPressed) {
  CreateTrackingTooltip(window);
  allowDialogs = true;
  UINT_PTR timer = SetTimer(nullptr, 0, 10, AskForHelpThenClose);
  Run(IDM_ABOUT);
  KillTimer(nullptr, timer);
  DestroyWindow(trackingTooltip);
  trackingTooltip = nullptr;
  EXPECT_EQ(seen, std::wstring(LocalizedString(IDS_CONTROL_HELP_BASE + IDC_VERSION)) + L"|shown|hidden");
  EXPECT_EQ(ShowDialog(window, 999, CommonDialogProc), -1);
  EXPECT_FALSE(centerNextWindow);  // a dialog that could not be made leaves no window to centre
}

void CALLBACK ReadHistoryThenClose(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window), text = GetDlgItem(dialog, IDC_HISTORY_TEXT);
  if (!text) return;
  seen.resize(size_t(GetWindowTextLengthW(text)) + 1);
  seen.resize(size_t(GetWindowTextW(text, seen.data(), int(seen.size()))));
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(DialogFrameTest, VersionHistoryShowsTheWholeTextAfterItsByteOrderMark) {
  HRSRC history = FindResourceW(nullptr, L"HISTORY", L"TEXT");
  allowDialogs = true;
  UINT_PTR timer = SetTimer(nullptr, 0, 10, ReadHistoryThenClose);
  Run(IDM_VERSION_HISTORY);
  KillTimer(nullptr, timer);
  ASSERT_EQ(seen.size(), SizeofResource(nullptr, history) / 2 - 1);
  EXPECT_EQ(seen.substr(0, 7), L"1.7.2\r\n");
}

void CALLBACK ReadMessageBoxThenClose(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = CommandFixture::OwnDialog();
  wchar_t text[600] = L"";
  if (!box) return;
  GetDlgItemTextW(box, 0xFFFF, text, 600);
  seen = text;
  SendMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(DialogFrameTest, AFailedOpenShowsItsMessageFollowedByTheSystemsDescription) {
  wchar_t system[512] = L"";
  ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND,
                           0, system, 512, nullptr), 0u);
  seen.clear(), allowDialogs = true;
  UINT_PTR timer = SetTimer(nullptr, 0, 10, ReadMessageBoxThenClose);
  EXPECT_FALSE(OpenFile(PathOf(L"absent.log").c_str()));
  KillTimer(nullptr, timer);
  EXPECT_EQ(seen, std::wstring(LocalizedString(IDS_OPEN_FAILED)) + system);
}

TEST(ErrorMessage, EachPartIsCutAt256UnitsAndAnUnknownOrNoErrorLeavesTheMessageAlone) {
  wchar_t system[1024], text[520];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                ERROR_FILE_NOT_FOUND, 0, system, 1024, nullptr);
  ASSERT_GT(length, 0u);
  std::wstring message(300, L'm');
  ComposeErrorMessage(message.c_str(), ERROR_FILE_NOT_FOUND, text, 520);
  EXPECT_EQ(std::wstring(text), message.substr(0, 256) + std::wstring(system).substr(0, 256));
  for (DWORD error : {DWORD(0x2000FFFF), DWORD(ERROR_SUCCESS)}) {  // a failure never reads "completed successfully"
    ComposeErrorMessage(L"Failed.\n\n", error, text, 520);
    EXPECT_STREQ(text, L"Failed.\n\n") << error;
  }
}

}  // namespace
