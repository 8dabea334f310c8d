// The Filter dialog on a real view: the filter it sets is kept with the file,
// comes back when the file is opened again, and Clear filter shows every line.
#include "command_fixture.h"
#include "engine/properties.h"

namespace {

using FilterTest = CommandFixture;

void CALLBACK HideLinesWithErrBlank(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window);
  if (dialog == engineHost.window) return;
  SetDlgItemTextW(dialog, IDC_FILTER_PATTERN, L"ERR ");  // its trailing blank counts
  CheckRadioButton(dialog, IDC_FILTER_SHOW, IDC_FILTER_HIDE, IDC_FILTER_HIDE);
  SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(FilterTest, TheDialogsFilterStaysWithTheFileUntilCleared) {
  OpenLog(PathOf(L"app.log"), "ok 1\nERR a\nERR\nok 2\n");
  RunAnswered(IDM_FILTER, HideLinesWithErrBlank);
  Poll();
  const std::vector<std::wstring> filtered{L"ok 1", L"ERR", L"ok 2"};
  EXPECT_EQ(Rows(), filtered);
  EXPECT_EQ(WindowText(window), L"app.log [not ERR ] - Quillon");
  ASSERT_TRUE(OpenFile(PathOf(L"app.log").c_str()));
  Poll();
  EXPECT_EQ(Rows(), filtered);
  Run(IDM_CLEAR_FILTER);
  Poll();
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"ok 1", L"ERR a", L"ERR", L"ok 2"}));
  EXPECT_EQ(GetPrivateProfileIntW(L"Filter", L"Case", 7, PropertiesStreamPath()), 7u);  // the section is gone
}

}  // namespace
