// The Filter dialog on a real view: the stack edited through the dialog's own buttons, kept in the file's properties
// stream beside what the stream already held, named in the title and the row pane's tip.
#include "command_fixture.h"

#include <commctrl.h>

#include "engine/properties.h"
#include "engine/status_bar.h"

namespace {

using FilterTest = CommandFixture;

// A dialog session: "+" adds, "=" only types, "~N" selects filter N and changes it, "-N" removes filter N; each editor
// text is flags then pattern (s or h, c, r). The last step is "ok" or "cancel".
std::vector<std::string> actions;
std::vector<std::wstring> listed;  // before the dialog closed
std::string buttons;  // Add, Change, Remove: 1 enabled, 0 not, before the dialog closed
std::wstring boundNote;  // the editor's note of lines too costly for its filter, before the dialog closed

void TypeFilter(HWND dialog, const std::string& text) {
  size_t flags = text.find_first_not_of("shcr");
  CheckRadioButton(dialog, IDC_FILTER_SHOW, IDC_FILTER_HIDE,
                   text.find('h') < flags ? IDC_FILTER_HIDE : IDC_FILTER_SHOW);
  CheckDlgButton(dialog, IDC_FILTER_CASE, text.find('c') < flags ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_FILTER_REGEX, text.find('r') < flags ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextW(dialog, IDC_FILTER_PATTERN, Widen(text.substr(flags)).c_str());
}

void Click(HWND dialog, int button) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(dialog, button)));
}

void Select(HWND dialog, int item) {
  SendDlgItemMessageW(dialog, IDC_FILTER_LIST, LB_SETCURSEL, WPARAM(item), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_FILTER_LIST, LBN_SELCHANGE),
               LPARAM(GetDlgItem(dialog, IDC_FILTER_LIST)));
}

std::vector<std::wstring> boxes;  // the message boxes the dialog showed, answered
bool busy = false;

void CALLBACK AnswerFilters(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window), box = GetLastActivePopup(dialog);
  if (dialog == engineHost.window) return;
  if (box != dialog || !GetDlgItem(dialog, IDC_FILTER_LIST))
    return boxes.push_back(WindowText(GetDlgItem(box, 0xFFFF))), (void)SendMessageW(box, WM_COMMAND, IDOK, 0);
  if (std::exchange(busy, true)) return;
  for (const std::string& action : actions) {
    if (action == "ok" || action == "cancel") {
      buttons.clear();
      for (int id : {IDC_FILTER_ADD, IDC_FILTER_CHANGE, IDC_FILTER_REMOVE})
        buttons += IsWindowEnabled(GetDlgItem(dialog, id)) ? '1' : '0';
      listed = ListRows(GetDlgItem(dialog, IDC_FILTER_LIST));
      boundNote = WindowText(GetDlgItem(dialog, IDC_FILTER_BOUND));
      Click(dialog, action == "ok" ? IDOK : IDCANCEL);
    } else if (action[0] == '+' || action[0] == '=') {
      TypeFilter(dialog, action.substr(1));
      if (action[0] == '+') Click(dialog, IDC_FILTER_ADD);
    } else {
      Select(dialog, action[1] - '0');
      if (action[0] == '~') TypeFilter(dialog, action.substr(2)), Click(dialog, IDC_FILTER_CHANGE);
      else Click(dialog, IDC_FILTER_REMOVE);
    }
  }
  busy = false;
}

std::wstring StoredKey(const wchar_t* section, const wchar_t* key) {
  wchar_t value[400] = L"";
  GetPrivateProfileStringW(section, key, L"", value, 400, PropertiesStreamPath());
  return value;
}

// Keys "0" to "5" of section "Filters", "|" after each.
std::wstring StoredFilters() {
  std::wstring keys;
  for (const wchar_t* key : {L"0", L"1", L"2", L"3", L"4", L"5"}) keys += StoredKey(L"Filters", key) + L"|";
  return keys;
}

// Each step opens the dialog on the file as the steps before left it.
TEST_F(FilterTest, TheStackIsEditedKeptBesideOtherValuesAndNamed) {
  const std::wstring log = PathOf(L"app.log");
  OpenLog(log, "ERR a\nWARN b\nERR heartbeat x\nok 1\nwarn c\n");
  const struct {
    const char* what; std::vector<std::string> actions; std::vector<std::wstring> listed, rows;
    std::wstring title, stored; std::string buttons = "111";
  } steps[] = {
      {"two shown, one typed hiding is added by OK, its trailing blank kept",
       {"+sERR", "+scWARN", "=hbeat ", "ok"}, {L"ERR", L"WARN (match case)"},
       {L"ERR a", L"WARN b"}, L"app.log [ERR, WARN, not beat ] - Quillon", L"s|ERR|sc|WARN|h|beat ||||"},
      {"changed and removed; the list shows each with its case",
       {"-0", "~0sWARN", "ok"}, {L"WARN", L"not beat "},
       {L"WARN b", L"warn c"}, L"app.log [WARN, not beat ] - Quillon", L"s|WARN|h|beat |||||"},
      {"cancel changes nothing", {"+sok", "cancel"}, {L"WARN", L"not beat ", L"ok"},
       {L"WARN b", L"warn c"}, L"app.log [WARN, not beat ] - Quillon", L"s|WARN|h|beat |||||"},
      {"with none left to select, only Add stays", {"-1", "-0", "cancel"}, {},
       {L"WARN b", L"warn c"}, L"app.log [WARN, not beat ] - Quillon", L"s|WARN|h|beat |||||", "100"},
      {"a regular expression, after one that does not compile was refused", {"+sr(b", "+sr^ok \\d$", "ok"},
       {L"WARN", L"not beat ", L"/^ok \\d$/"}, {L"WARN b", L"ok 1", L"warn c"},
       L"app.log [WARN, not beat , /^ok \\d$/] - Quillon", L"s|WARN|h|beat |sr|^ok \\d$||||"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    actions = step.actions, listed.clear(), boxes.clear();
    RunAnswered(IDM_FILTER, AnswerFilters);
    Poll();
    EXPECT_EQ(std::tuple(listed, buttons, Rows(), WindowText(window), StoredFilters()),
              std::tuple(step.listed, step.buttons, step.rows, step.title, step.stored));
  }
  EXPECT_EQ(boxes, std::vector<std::wstring>{
                       L"The pattern is not a valid regular expression:\nmissing closing parenthesis at position 3."});
  EXPECT_EQ(StatusTip(kPaneRowCount),
            L"Shown: the lines containing \"WARN\" or /^ok \\d$/; Hidden: the lines containing \"beat \" \u2013 Warnings: 2");
  // Kept with the file: opened again, it is filtered again.
  Follow(log);
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"WARN b", L"ok 1", L"warn c"}));
}

TEST_F(FilterTest, TheCostlyLinesNoteFollowsItsFilter) {
  OpenLog(PathOf(L"costly.log"), "ok\n" + std::string(4000, 'a') + "b\n");
  actions = {"+hbeat", "+hr(a+)+$", "ok"};
  RunAnswered(IDM_FILTER, AnswerFilters), Poll();  // the rows built, the costly line counted
  actions = {"-0", "cancel"};
  RunAnswered(IDM_FILTER, AnswerFilters);
  EXPECT_EQ(listed, std::vector<std::wstring>{L"not /(a+)+$/"});
  EXPECT_EQ(boundNote, L"lines too costly to match so far: 1");
}

// A stream an older version wrote: its one filter is read, and moved into "Filters" by the next save; a value that is
// no filter keeps its key, also through Clear filter.
TEST_F(FilterTest, AnOlderFilterMovesAndForeignValuesStay) {
  const std::wstring log = PathOf(L"old.log");
  WriteBytes(log, "ok 1\nERR a\nok beat\n");
  SetPropertiesFile(log.c_str());
  WritePrivateProfileStringW(L"Filter", L"Pattern", L"\"ERR\"", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Filter", L"Mode", L"HIDE", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Filters", L"1", L"not a filter", PropertiesStreamPath());
  Follow(log);
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"ok 1", L"ok beat"}));
  actions = {"+hbeat", "ok"}, listed.clear();
  RunAnswered(IDM_FILTER, AnswerFilters);
  Poll();
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"not ERR", L"not beat"}));
  EXPECT_EQ(Rows(), std::vector<std::wstring>{L"ok 1"});
  EXPECT_EQ(StoredFilters(), L"h|ERR|not a filter|h|beat||||");
  EXPECT_EQ(StoredKey(L"Filter", L"Pattern"), L"");  // the older section is gone
  Run(IDM_CLEAR_FILTER);
  Poll();
  EXPECT_EQ(Rows(), (std::vector<std::wstring>{L"ok 1", L"ERR a", L"ok beat"}));
  EXPECT_EQ(StoredFilters(), L"|not a filter|||||");
  EXPECT_EQ(WindowText(window), L"old.log - Quillon");
}

}  // namespace
