// Highlight rules on the real view and registry: rows tagged as they arrive and through trimming, drawn in their rule's
// colours, the alert, and the dialog storing and recolouring without a reload, or changing nothing.
#include "command_fixture.h"
#include "commands/bookmark_commands.h"
#include "engine/file_bookmarks.h"
#include "engine/status_bar.h"
#include "shell/tray_icon.h"
#include "ui/highlight_view.h"
#include "ui/platform.h"
#include "ui/view_margins.h"

namespace {

struct RulesTest : CommandFixture {
  void Store(const wchar_t* name, const wchar_t* value) {
    RegSetKeyValueW(root, LocalizedString(IDS_REG_KEY), name, REG_SZ, value, DWORD((wcslen(value) + 1) * 2));
  }
  template <typename Oracle> void ExpectTags(Oracle tagOf) {
    std::vector<LRESULT> tags, expected;
    for (const std::wstring& row : Rows()) expected.push_back(tagOf(row));
    for (size_t i = 0; i < expected.size(); ++i)
      tags.push_back(SendMessageW(engineHost.view, LB_GETITEMDATA, i, 0));
    EXPECT_EQ(tags, expected);
  }
  COLORREF Pixel(int row, int x) {  // the view as it paints itself
    RECT item;
    SendMessageW(engineHost.view, LB_SETTOPINDEX, WPARAM(row), 0);
    SendMessageW(engineHost.view, LB_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    HDC screen = GetDC(engineHost.view), dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, CreateCompatibleBitmap(screen, 800, 800));
    SendMessageW(engineHost.view, WM_PRINTCLIENT, WPARAM(dc), PRF_CLIENT);
    COLORREF pixel = GetPixel(dc, x, item.top + 1);
    DeleteObject(SelectObject(dc, old)), DeleteDC(dc), ReleaseDC(engineHost.view, screen);
    return pixel;
  }
};

int flashes = 0;
BOOL WINAPI CountFlash(PFLASHWINFO info) { return flashes += info->dwFlags == (FLASHW_ALL | FLASHW_TIMERNOFG), TRUE; }

bool cancel = false, full = false, busy = false;
std::vector<std::wstring> listed;  // the dialog's list as OK was clicked
void CALLBACK DriveRules(HWND, UINT, UINT_PTR, DWORD) {  // the dialog as a user works it
  HWND dialog = GetLastActivePopup(engineHost.window), colours = GetLastActivePopup(dialog);
  if (dialog != engineHost.window && (colours != dialog || !GetDlgItem(dialog, IDC_RULE_LIST)))
    return (void)SendMessageW(colours, WM_COMMAND, IDOK, 0);  // the colour it opened with
  if (dialog == engineHost.window || std::exchange(busy, true)) return;
  auto click = [&](int id, int code = 0) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(GetDlgItem(dialog, id))); };
  auto select = [&](int row) { SendDlgItemMessageW(dialog, IDC_RULE_LIST, LB_SETCURSEL, row, 0), click(IDC_RULE_LIST, LBN_SELCHANGE); };
  if (full) {  // neither Add nor OK takes a rule beyond the free slots
    SetDlgItemTextW(dialog, IDC_RULE_PATTERN, L"more"), click(IDC_RULE_ADD);
    return listed = ListRows(GetDlgItem(dialog, IDC_RULE_LIST)), click(IDOK), void(busy = false);
  }
  select(0), click(IDC_RULE_REMOVE);  // "ERROR" goes; "ok" is selected and in the fields
  if (cancel) return click(IDC_RULE_REMOVE), click(IDC_RULE_REMOVE), click(IDCANCEL), void(busy = false);
  SetDlgItemTextW(dialog, IDC_RULE_PATTERN, L"row 8");
  CheckDlgButton(dialog, IDC_RULE_WHOLE_WORD, BST_UNCHECKED);
  click(IDC_RULE_ADD), click(IDC_RULE_UP), click(IDC_RULE_UP), select(1);  // "row 8", "ok", "zzz"
  CheckDlgButton(dialog, IDC_RULE_MATCH_CASE, BST_CHECKED);
  click(IDC_RULE_TEXT_CHOOSE), click(IDC_RULE_CHANGE), select(2), click(IDC_RULE_REMOVE);
  SetDlgItemTextW(dialog, IDC_RULE_PATTERN, L"error");  // typed, then OK without Add
  CheckDlgButton(dialog, IDC_RULE_WHOLE_WORD, BST_UNCHECKED);
  listed = ListRows(GetDlgItem(dialog, IDC_RULE_LIST)), click(IDOK), busy = false;
}

TEST_F(RulesTest, RowsKeepTheirRuleAndTheDialogStoresAndRecoloursOrChangesNothing) {
  Store(L"rule 0", L"|FF0000|-|ERROR"), Store(L"rule 1", L"not a rule"), Store(L"rule 2", L"wa|-|00FF00|ok");
  std::wstring tooLong = L"|-|-|" + std::wstring(300, L'x');
  Store(L"rule 3", L""), Store(L"rule 5", tooLong.c_str()), Store(L"rule 6", L"|-|-|zzz"), Store(L"rule 32", L"|-|-|row");
  DWORD number = 7;
  RegSetKeyValueW(root, LocalizedString(IDS_REG_KEY), L"rule 4", REG_DWORD, &number, sizeof number);
  LoadSettings();
  EXPECT_EQ(AppSettings.keptRules, 0b110010u);
  AppSettings.linesLimit = 100, AppSettings.trayMinimize = 1;
  auto first = [](const std::wstring& row) -> LRESULT {
    return row == L"Error ok" || row == L"error" ? 1 : row == L"ok" || row.ends_with(L" ok") ? 3 : 0;
  };
  decltype(flashWindowEx) saved = std::exchange(flashWindowEx, CountFlash);
  HWND front = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(front);  // another program is in front
  OpenLog(path, NumberedLines(0, 97, "row ") + "all ok\nError ok\nokay\n");
  ExpectTags(first);
  AppendBytes(path, NumberedLines(0, 79, "new ") + "ok\n"), Poll();  // the survivors are put back
  ExpectTags(first);
  AppendBytes(path, "error\n"), Poll();  // no alert rule
  EXPECT_EQ(flashes, 2);
  EXPECT_EQ(Pixel(16, 600), RGB(0, 255, 0));  // "all ok"
  // "Error ok": its rule sets the text alone, its level the background; "row 15" is plain. Levels toggled off and on.
  EXPECT_EQ(std::vector<COLORREF>({Pixel(17, 600), Pixel(15, 600)}),
            std::vector<COLORREF>({Blend(AppSettings.background, RGB(255, 0, 0), 2), AppSettings.background}));
  Run(IDM_LEVEL_COLORS), Poll();  // the rows built again, without levels
  EXPECT_EQ(std::vector<COLORREF>({Pixel(17, 600), Stored(L"level colors")}), std::vector<COLORREF>({AppSettings.background, 0}));
  Run(IDM_LEVEL_COLORS), Poll();
  EXPECT_EQ(StatusTip(kPaneRowCount), L"Errors: 2");  // "Error ok" and "error"
  SendMessageW(engineHost.view, LB_SETSEL, TRUE, 16);
  EXPECT_EQ(Pixel(16, 600), GetSysColor(COLOR_HIGHLIGHT));
  // A click in the gutter beside row 17 bookmarks its line and paints the mark there; the selection stays.
  RECT item{}, frame{};
  SendMessageW(engineHost.view, LB_GETITEMRECT, 17, reinterpret_cast<LPARAM>(&item));
  POINT at{-GutterWidth() / 2, (item.top + item.bottom) / 2};
  ClientToScreen(engineHost.view, &at), GetWindowRect(engineHost.view, &frame);
  LPARAM screen = MAKELPARAM(at.x, at.y);
  SendMessageW(engineHost.view, WM_NCLBUTTONDOWN, SendMessageW(engineHost.view, WM_NCHITTEST, 0, screen), screen);
  HDC dc = GetWindowDC(engineHost.view);
  EXPECT_EQ(GetPixel(dc, at.x - frame.left, at.y - frame.top), RGB(0, 120, 215));
  ReleaseDC(engineHost.view, dc);
  EXPECT_TRUE(ViewLineBookmarked(ViewRowPlace(17)) && !ViewLineBookmarked(ViewRowPlace(16)));
  EXPECT_EQ(SendMessageW(engineHost.view, LB_GETSELCOUNT, 0, 0) + SendMessageW(engineHost.view, LB_GETSEL, 16, 0), 2);
  LoadTrayResources(), SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  for (int i = 0; i < 2; ++i) AppendBytes(path, "ok\n"), Poll();
  EXPECT_TRUE(std::wstring(TrayIconRecord().szTip).starts_with(L"A highlighted row arrived\napp.log\n\\\\?\\"));
  flashWindowEx = saved, DestroyWindow(front), ShowWindow(window, SW_RESTORE);
  for (bool cancelled : {true, false}) {
    cancel = cancelled, RunAnswered(IDM_HIGHLIGHT_RULES, DriveRules);
    EXPECT_EQ(StoredText(L"rule 0"), cancelled ? L"|FF0000|-|ERROR" : L"a|-|00FF00|row 8");
    ExpectTags(cancelled ? +first : +[](const std::wstring& row) -> LRESULT {
      return row.starts_with(L"row 8") ? 1 : row == L"ok" || row.ends_with(L" ok") ? 3 : row == L"error" ? 4 : 0;
    });
  }
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"row 8   [alert]", L"ok   [match case, whole word, alert]"}));
  EXPECT_EQ(Stored(L"rule 4"), 7u);
  const std::pair<const wchar_t*, std::wstring> slots[] = {  // rule 6 emptied
      {L"rule 1", L"not a rule"}, {L"rule 2", L"cwa|000000|00FF00|ok"}, {L"rule 3", L"ca|000000|00FF00|error"},
      {L"rule 5", tooLong}, {L"rule 6", L""}, {L"rule 7", L"absent"}, {L"rule 32", L"|-|-|row"}};
  for (const auto& [name, value] : slots) EXPECT_EQ(StoredText(name), value) << testing::PrintToString(name);
}

// The overview stands between the rows and their scroll bar and marks, where each row maps, its level, its rule, a
// bookmark and the find text; it outlines the rows on screen, moves the view where it is clicked, repaints only the
// bands that change, and goes with Display, Overview. The scroll bar follows the view and moves it.
TEST_F(RulesTest, TheOverviewMarksTheRowsAndMovesTheView) {
  Store(L"rule 0", L"|-|00FF00|beat"), LoadSettings();
  std::string text;
  for (int i = 0; i < 300; ++i)
    text += (i % 50 == 10 ? "ERROR " : i % 50 == 20 ? "WARN " : i % 50 == 30 ? "beat " : i % 50 == 40 ? "needle " : "ok ") +
            std::to_string(i) + "\n";
  OpenLog(path, text);
  HWND strip = FindWindowExW(window, nullptr, L"QuillonOverview", nullptr), bar = ViewScrollBar();
  auto rect = [](HWND w) { RECT r{}; GetWindowRect(w, &r); return r; };
  RECT rows = rect(engineHost.view), client{};
  ASSERT_TRUE(strip && IsWindowVisible(strip));
  EXPECT_TRUE(rect(strip).left == rows.right && rect(bar).left == rect(strip).right);
  EXPECT_EQ(rect(strip).right - rect(strip).left, GetSystemMetrics(SM_CXVSCROLL));
  allowDialogs = true, Run(IDM_FIND);
  SetDlgItemTextW(dialogFocusWindow, IDC_FIND_TEXT, L"needle"), SendMessageW(dialogFocusWindow, WM_COMMAND, IDOK, 0);
  SendMessageW(dialogFocusWindow, WM_COMMAND, IDCANCEL, 0);
  ToggleBookmarkOfRow(60);
  UpdateWindow(engineHost.view), UpdateWindow(strip);
  GetClientRect(strip, &client);
  int width = client.right, height = client.bottom;
  auto pixel = [&](int x, int row) {  // in the middle of the row's band
    HDC dc = GetDC(strip);
    COLORREF colour = GetPixel(dc, x, (row * height / 300 + (row + 1) * height / 300) / 2);
    ReleaseDC(strip, dc);
    return colour;
  };
  ASSERT_GT(height, 300);
  EXPECT_EQ((std::vector<COLORREF>{pixel(width / 2, 10), pixel(width / 2, 20), pixel(width / 2, 30), pixel(2, 60),
                                   pixel(width - 2, 40), pixel(width / 2, 5), pixel(0, 5), pixel(width - 1, 299)}),
            (std::vector<COLORREF>{RGB(230, 30, 30), RGB(255, 176, 0), RGB(0, 255, 0), RGB(0, 120, 215),
                                   RGB(150, 80, 220), Blend(AppSettings.background, AppSettings.textColor, 1),
                                   Blend(AppSettings.background, AppSettings.textColor, 1),
                                   Blend(AppSettings.background, AppSettings.textColor, 5)}));
  RECT changed{};  // a bookmark repaints its own few bands
  ToggleBookmarkOfRow(62);
  EXPECT_TRUE(GetUpdateRect(strip, &changed, FALSE) && changed.bottom - changed.top <= 4);
  SendMessageW(strip, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, height / 2));  // dragged from the middle
  SendMessageW(strip, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2, height / 4));
  SendMessageW(strip, WM_LBUTTONUP, 0, MAKELPARAM(2, height / 4));
  LRESULT top = SendMessageW(engineHost.view, LB_GETTOPINDEX, 0, 0), page = SendMessageW(engineHost.view, LB_GETITEMHEIGHT, 0, 0);
  GetClientRect(engineHost.view, &client), page = client.bottom / page;
  EXPECT_EQ(top, height / 4 * 300 / height - page / 2);
  UpdateWindow(engineHost.view), UpdateWindow(strip);
  SCROLLINFO shown{sizeof shown, SIF_ALL, 0, 0, 0, 0, 0};
  GetScrollInfo(bar, SB_CTL, &shown);
  EXPECT_EQ((std::vector<int>{shown.nMin, shown.nMax, int(shown.nPage), shown.nPos, int(pixel(0, int(top + page / 2)))}),
            (std::vector<int>{0, 299, int(page), int(top), int(Blend(AppSettings.background, AppSettings.textColor, 5))}));
  SendMessageW(window, WM_VSCROLL, SB_PAGEDOWN, LPARAM(bar)), UpdateWindow(engineHost.view);
  SendMessageW(window, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 7), LPARAM(bar)), UpdateWindow(engineHost.view);
  GetScrollInfo(bar, SB_CTL, &shown);
  EXPECT_EQ(SendMessageW(engineHost.view, LB_GETTOPINDEX, 0, 0) + shown.nPos, 14);
  Run(IDM_OVERVIEW);
  EXPECT_TRUE(!IsWindowVisible(strip) && rect(engineHost.view).right == rect(bar).left && Stored(L"overview") == 0);
  Run(IDM_OVERVIEW);
  EXPECT_TRUE(IsWindowVisible(strip) && Stored(L"overview") == 1);
  // A view of many rows is refreshed at a pace while rows keep arriving, and each time catches up with them.
  AppSettings.linesLimit = 30000, OpenLog(path, NumberedLines(0, 30000, "ok "));
  for (const char* level : {"ERROR ", "WARN "}) {
    AppendBytes(path, NumberedLines(0, 300, level)), Poll(), UpdateWindow(engineHost.view);
    COLORREF wanted = level[0] == 'E' ? RGB(230, 30, 30) : RGB(255, 176, 0);
    EXPECT_TRUE(PumpUntil([&] { return UpdateWindow(strip), pixel(width / 2, 298) == wanted; })) << level;
  }
}

TEST_F(RulesTest, TheRulesTakeOnlyTheSlotsOfNoOtherValue) {
  for (int slot = 0; slot < kMaxRules; ++slot) Store((L"rule " + std::to_wstring(slot)).c_str(), slot == 9 ? L"kept" : L"|-|-|x");
  LoadSettings();
  full = true, RunAnswered(IDM_HIGHLIGHT_RULES, DriveRules), full = false;
  EXPECT_EQ(listed.size(), 31u);
  EXPECT_EQ(StoredText(L"rule 9"), L"kept");
  EXPECT_EQ(StoredText(L"rule 31"), L"|-|-|x");
}

std::vector<std::wstring> boxes;  // the message boxes the dialog showed, as answered
DWORD caret = 0;                   // where the pattern's caret stood after a refusal
void CALLBACK DriveRegexRules(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetLastActivePopup(engineHost.window), box = GetLastActivePopup(dialog);
  if (dialog == engineHost.window) return;
  if (box != dialog || !GetDlgItem(dialog, IDC_RULE_LIST))
    return boxes.push_back(WindowText(GetDlgItem(box, 0xFFFF))), (void)SendMessageW(box, WM_COMMAND, IDOK, 0);
  if (std::exchange(busy, true)) return;
  auto click = [&](int id) { SendMessageW(dialog, WM_COMMAND, id, LPARAM(GetDlgItem(dialog, id))); };
  auto type = [&](const wchar_t* pattern) { SetDlgItemTextW(dialog, IDC_RULE_PATTERN, pattern); };
  listed = ListRows(GetDlgItem(dialog, IDC_RULE_LIST));
  CheckDlgButton(dialog, IDC_RULE_REGEX, BST_CHECKED);
  type(L"(warn"), click(IDC_RULE_ADD), type(L"warn \\d+"), click(IDC_RULE_ADD);
  type(L"a)"), click(IDOK);  // refused: the dialog stays
  caret = DWORD(SendDlgItemMessageW(dialog, IDC_RULE_PATTERN, EM_GETSEL, 0, 0));
  type(L"end$"), click(IDOK), busy = false;
}

// A regex rule passes by rows on which it backtracks without end, counted in the row pane's tip and beside the rule in
// the dialog; retagging counts them no more. The dialog refuses a pattern that does not compile, telling why and where;
// a stored one stays in the registry as it is.
TEST_F(RulesTest, RegexRulesCountCostlyRowsAndTheDialogRefusesWhatDoesNotCompile) {
  Store(L"rule 0", L"r|FF0000|-|(a+)+$"), Store(L"rule 1", L"r|-|-|(b"), Store(L"rule 2", L"|-|-|b");
  LoadSettings();
  EXPECT_EQ(AppSettings.keptRules, 0b10u);
  AppSettings.wrapLines = 0;
  const std::string costly = std::string(4000, 'a') + "b\n";
  OpenLog(path, costly + "aaa\n" + costly);
  ExpectTags([](const std::wstring& row) -> LRESULT { return row == L"aaa" ? 1 : 3; });
  const std::wstring tip = L"Highlighting skipped rows too costly to match: 2";
  EXPECT_EQ(StatusTip(kPaneRowCount), tip);
  RunAnswered(IDM_HIGHLIGHT_RULES, DriveRegexRules);
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"(a+)+$   [regular expression]   rows too costly to match: 2", L"b"}));
  const std::wstring refused = L"The pattern is not a valid regular expression:\n";
  EXPECT_EQ(boxes, (std::vector<std::wstring>{refused + L"missing closing parenthesis at position 6.",
                                              refused + L"unmatched closing parenthesis at position 2."}));
  EXPECT_EQ(caret, MAKELONG(1, 1));
  const std::pair<const wchar_t*, std::wstring> slots[] = {
      {L"rule 0", L"r|FF0000|-|(a+)+$"}, {L"rule 1", L"r|-|-|(b"}, {L"rule 2", L"|-|-|b"},
      {L"rule 3", L"r|FF0000|-|warn \\d+"}, {L"rule 4", L"r|FF0000|-|end$"}};
  for (const auto& [name, value] : slots) EXPECT_EQ(StoredText(name), value) << testing::PrintToString(name);
  AppendBytes(path, "warn 12\n"), Poll();
  EXPECT_EQ(SendMessageW(engineHost.view, LB_GETITEMDATA, 3, 0), 4);
  EXPECT_EQ(StatusTip(kPaneRowCount), L"Warnings: 1 \u2013 " + tip);  // "warn 12" states its level
}

// Rules that take long over a full view are applied to the rows on screen at once and to the others as they are drawn:
// tagging 4,000 rows that each stop a pattern at its bound would hold the window for a second.
TEST_F(RulesTest, RetaggingACostlyRuleLeavesTheRowsOffScreenToTheirDrawing) {
  AppSettings.wrapLines = 0, AppSettings.linesLimit = 5000, AppSettings.kbLimit = 20000;
  std::string costly;
  for (int i = 0; i < 4000; ++i) costly += std::string(4000, 'a') + "b\n";
  OpenLog(path, costly);
  ASSERT_EQ(SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0), 4000);
  ASSERT_TRUE(ParseRule(u"r|-|-|(a+)+$", &AppSettings.rules[0]) && ParseRule(u"|-|-|b", &AppSettings.rules[1]));
  RetagViewRows();
  auto tagOf = [](int row) { return SendMessageW(engineHost.view, LB_GETITEMDATA, WPARAM(row), 0); };
  int untagged = 0, firstUntagged = -1;
  for (int row = 0; row < 4000; ++row) {
    LRESULT tag = tagOf(row);
    if (tag == kUntaggedRow && !untagged++) firstUntagged = row;
    EXPECT_TRUE(tag == kUntaggedRow || tag == 2) << row;
  }
  ASSERT_GT(untagged, 0);
  EXPECT_EQ(tagOf(3999), 2);  // on screen: the view follows the end
  SendMessageW(engineHost.view, LB_SETTOPINDEX, WPARAM(firstUntagged), 0);
  UpdateWindow(engineHost.view);
  EXPECT_EQ(tagOf(firstUntagged), 2);
  EXPECT_EQ(tagOf(firstUntagged + 1), 2);
}

// The view's pixels as they are on the screen.
std::vector<COLORREF> ViewOnScreen() {
  RECT client;
  GetClientRect(engineHost.view, &client);
  HDC screen = GetDC(engineHost.view), dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
  SelectObject(dc, old);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<COLORREF> pixels(size_t(client.right) * size_t(client.bottom));
  GetDIBits(dc, bitmap, 0, UINT(client.bottom), pixels.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap), DeleteDC(dc), ReleaseDC(engineHost.view, screen);
  return pixels;
}

WNDPROC hostProc = nullptr;
int rowsDrawn = 0;
LRESULT CALLBACK CountDrawnRows(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);  // counted where the paint reaches
  if (message == WM_DRAWITEM && item->itemAction == ODA_DRAWENTIRE) rowsDrawn += RectVisible(item->hDC, &item->rcItem);
  return CallWindowProcW(hostProc, window, message, wparam, lparam);
}

// Rows arriving a few at a time are drawn alone, the rest scrolled; the screen ends as a full repaint draws it.
TEST_F(RulesTest, ArrivingRowsLeaveTheScreenAsAFullRepaintDrawsIt) {
  Store(L"rule 0", L"|FFFFFF|C00000|ERROR"), Store(L"rule 1", L"|-|FFF0B0|warn");
  LoadSettings();
  AppSettings.linesLimit = 80;  // reached at the fourth case: up to it the view scrolls
  SetWindowPos(window, nullptr, 0, 0, 700, 505, SWP_NOMOVE | SWP_NOZORDER);  // a row in part at the bottom
  OpenLog(path, NumberedLines(0, 40, "ERROR ") + NumberedLines(0, 20, "warn "));
  SetForegroundWindow(window), SetFocus(engineHost.view);
  ASSERT_EQ(GetFocus(), engineHost.view);
  LRESULT last = SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) - 1;
  for (LRESULT row : {last - 3, last - 5}) SendMessageW(engineHost.view, LB_SETSEL, TRUE, row);
  hostProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, LONG_PTR(CountDrawnRows)));
  // mostDrawn: the rows painted for it and the uncovered ones, of the 37 shown;
  // all of them while the view still scrolls
  const struct { const char* what; std::string text; bool held; int mostDrawn; } cases[] = {
      {"one row", "warn 1\n", false, 37}, {"three rows", "ERROR a\nplain\nwarn b\n", false, 37},
      {"a line wrapped in two", "warn " + std::string(100, 'x') + "\n", false, 37},
      {"sixteen rows", NumberedLines(0, 16, "warn "), false, 37},
      {"seventeen rows", NumberedLines(0, 17, "ERROR "), false, 20}, {"one row, the view full", "warn 1\n", false, 4},
      {"three rows, the view full", "ERROR a\nplain\nwarn b\n", false, 6},
      {"held by a thumb drag", "ERROR held\nwarn held\n", true, 4},
      {"more than the limit, put back whole", NumberedLines(0, 90, "warn "), false, 37},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetSuspendFlag(c.held), UpdateWindow(engineHost.view);
    RECT uncovered{0, 24, 300, 36};  // the third row, owed a repaint when the poll comes
    HDC dc = GetDC(engineHost.view);
    FillRect(dc, &uncovered, HBRUSH(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(engineHost.view, dc), InvalidateRect(engineHost.view, &uncovered, TRUE);
    rowsDrawn = 0, AppendBytes(path, c.text), Poll(), UpdateWindow(engineHost.view);
    EXPECT_LE(rowsDrawn, c.mostDrawn);
    std::vector<COLORREF> drawn = ViewOnScreen();
    InvalidateRect(engineHost.view, nullptr, TRUE), UpdateWindow(engineHost.view);
    EXPECT_TRUE(drawn == ViewOnScreen());
  }
  // Redraw off over a long read, which hands back to the message loop: a row selected meanwhile (by the user, by
  // another process), and a paint asked for meanwhile, are drawn too.
  SendMessageW(engineHost.view, LB_SETSEL, FALSE, -1), UpdateWindow(engineHost.view);
  SuspendViewRedraw();
  SendMessageW(engineHost.view, LB_SETSEL, TRUE, SendMessageW(engineHost.view, LB_GETTOPINDEX, 0, 0) + 2);
  RECT uncovered{0, 0, 300, 100};
  HDC dc = GetDC(engineHost.view);
  FillRect(dc, &uncovered, HBRUSH(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(engineHost.view, dc), InvalidateRect(engineHost.view, &uncovered, TRUE), UpdateWindow(engineHost.view);
  AppendBytes(path, "warn after\n"), Poll(), UpdateWindow(engineHost.view);
  std::vector<COLORREF> drawn = ViewOnScreen();
  InvalidateRect(engineHost.view, nullptr, TRUE), UpdateWindow(engineHost.view);
  EXPECT_TRUE(drawn == ViewOnScreen());
  SetWindowLongPtrW(window, GWLP_WNDPROC, LONG_PTR(hostProc));
}

// Owner-drawn, the view gives its rows the height a plain list box would and the width of the widest; the
// dotted rectangle marks only the focused row, and not before the keyboard was used.
TEST_F(RulesTest, RowsAreMeasuredAndMarkedAsInAPlainListBox) {
  HWND plain = CreateWindowExW(0, L"LISTBOX", nullptr, WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
  HDC screen = GetDC(plain), dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, CreateCompatibleBitmap(screen, 40, 20));
  SIZE wide;
  AppSettings.wrapLines = 0, OpenLog(path, std::string(50, 'x') + "\n");
  for (LONG height : {0, 40}) {  // as created, then changed
    if (height) AppSettings.font.lfHeight = height, ApplyViewFont();
    SendMessageW(plain, WM_SETFONT, WPARAM(ViewFont()), FALSE);
    EXPECT_EQ(SendMessageW(engineHost.view, LB_GETITEMHEIGHT, 0, 0), SendMessageW(plain, LB_GETITEMHEIGHT, 0, 0));
    SelectObject(dc, ViewFont()), GetTextExtentPoint32W(dc, std::wstring(50, L'W').c_str(), 50, &wide);
    EXPECT_EQ(SendMessageW(engineHost.view, LB_GETHORIZONTALEXTENT, 0, 0), wide.cx + 4);
  }
  for (UINT state : {0u, UINT(ODS_FOCUS), UINT(ODS_FOCUS | ODS_NOFOCUSRECT)}) {
    DRAWITEMSTRUCT item{ODT_LISTBOX, 0, 0, ODA_DRAWENTIRE, state, engineHost.view, dc, {0, 0, 40, 20}, 0};
    int marked = 0;  // on the left edge, before the text
    DrawViewRow(&item);
    for (int y = 0; y < 20; ++y) marked += GetPixel(dc, 0, y) != AppSettings.background;
    EXPECT_EQ(marked, state == ODS_FOCUS ? 10 : 0) << state;
  }
  DeleteObject(SelectObject(dc, old)), DeleteDC(dc), ReleaseDC(plain, screen);
}

}  // namespace
