// The Filter dialog on a real view: the filter it sets is kept with the file,
// comes back when the file is opened again, and Clear filter shows every line.
#include "command_fixture.h"
#include "engine/properties.h"

namespace {

using FilterTest = CommandFixture;

void CALLBACK HideLinesWithErrBlank(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window);
  if (dialog == engineHost.window) return;
  KillTimer(nullptr, timer);
  SetDlgItemTextW(dialog, IDC_FILTER_PATTERN, L"ERR ");  // its trailing blank counts
  CheckRadioButton(dialog, IDC_FILTER_SHOW, IDC_FILTER_HIDE, IDC_FILTER_HIDE);
  SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(FilterTest, TheDialogsFilterStaysWithTheFileUntilCleared) {
  OpenLog(PathOf(L"app.log"), "ok 1\nERR a\nERR\nok 2\n");
  allowDialogs = true;
  SetTimer(nullptr, 0, 10, HideLinesWithErrBlank);
  Run(IDM_FILTER);
  Poll();
  const std::vector<std::wstring> filtered{L"ok 1", L"ERR", L"ok 2"};
  EXPECT_EQ(Rows(), filtered);
  wchar_t title[64];
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"app.log [not ERR ] - Quillon");
  ASSERT_TRUE(OpenFile(PathOf(L"app.log").c_str()));
  Poll();
  EXPECT_EQ(Rows(), filtered);
  Run(IDM_CLEAR_FILTER);
  Poll();
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"ok 1", L"ERR a", L"ERR", L"ok 2"}));
  EXPECT_EQ(GetPrivateProfileIntW(L"Filter", L"Case", 7, PropertiesStreamPath()), 7u);  // the section is gone
}

}  // namespace
