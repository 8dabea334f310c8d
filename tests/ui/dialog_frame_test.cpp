// The frame every dialog shares, on the real About and Version history dialogs driven from a timer; the real error box.
#include "../commands/command_fixture.h"

#include <commctrl.h>

#include "ui/dialog_frame.h"

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
  NMLINK click{{version, IDC_VERSION, UINT(NM_CLICK)}, {}};  // told by a control that is no link: no link's click
  wcscpy(click.item.szUrl, L"check");
  std::wstring shown = WindowText(version);
  SendMessageW(dialog, WM_NOTIFY, IDC_VERSION, reinterpret_cast<LPARAM>(&click));
  seen += WindowText(version) == shown ? L"|kept" : L"|changed";
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

int readId;  // the control whose text the timer reads before it closes its dialog

void CALLBACK ReadThenClose(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = CommandFixture::OwnDialog(), control = GetDlgItem(dialog, readId);
  if (!control) return;
  seen = WindowText(control);
  SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(DialogFrameTest, ControlHelpShowsUntilAButtonIsPressedAndVersionHistoryShowsItsWholeText) {
  CreateTrackingTooltip(window);
  EXPECT_EQ(SendMessageW(trackingTooltip, TTM_GETMAXTIPWIDTH, 0, 0), 300);  // a long help text wraps
  RunAnswered(IDM_ABOUT, AskForHelpThenClose);
  DestroyWindow(std::exchange(trackingTooltip, nullptr));
  EXPECT_EQ(seen, std::wstring(LocalizedString(IDS_CONTROL_HELP_BASE + IDC_VERSION)) + L"|shown|hidden|kept");
  EXPECT_EQ(ShowDialog(window, 999, CommonDialogProc), -1);
  EXPECT_FALSE(centerNextWindow);  // a dialog that could not be made leaves no window to centre
  readId = IDC_HISTORY_TEXT;  // all of it after its byte-order mark
  RunAnswered(IDM_VERSION_HISTORY, ReadThenClose);
  ASSERT_EQ(seen.size(), SizeofResource(nullptr, FindResourceW(nullptr, L"HISTORY", L"TEXT")) / 2 - 1);
  EXPECT_EQ(seen.substr(0, 7), L"1.7.2\r\n");
}

// The real error in a real box: a device opens but is no file. The file followed before stays followed.
TEST_F(DialogFrameTest, AFailedOpenShowsItsMessageAndTheRealErrorAndKeepsTheFile) {
  OpenLog(PathOf(L"app.log"), "still here\n");
  allowDialogs = true, readId = 0xFFFF;  // the box's text
  UINT_PTR timer = SetTimer(nullptr, 0, 10, ReadThenClose);
  for (const auto& [name, error] :
       {std::pair{PathOf(L"absent.log"), DWORD(ERROR_FILE_NOT_FOUND)}, {L"NUL", DWORD(ERROR_NOT_SUPPORTED)}}) {
    SCOPED_TRACE(error);
    seen.clear();
    ASSERT_NE(SystemMessage(error), L"");
    EXPECT_FALSE(OpenFile(name.c_str()));
    EXPECT_EQ(seen, LocalizedString(IDS_OPEN_FAILED) + SystemMessage(error));
  }
  KillTimer(nullptr, timer);
  AppendBytes(PathOf(L"app.log"), "and following\n");
  Poll();
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"still here", L"and following"}));
  wchar_t text[520];  // each part cut at 256 units; an unknown error, or none, leaves the message alone
  std::wstring message(300, L'm');
  ComposeErrorMessage(message.c_str(), ERROR_FILE_NOT_FOUND, text, 520);
  EXPECT_EQ(text, message.substr(0, 256) + SystemMessage(ERROR_FILE_NOT_FOUND).substr(0, 256));
  for (DWORD error : {DWORD(0x2000FFFF), DWORD(ERROR_SUCCESS)}) {  // a failure never reads "completed successfully"
    ComposeErrorMessage(L"Failed.\n\n", error, text, 520);
    EXPECT_STREQ(text, L"Failed.\n\n") << error;
  }
}

}  // namespace
