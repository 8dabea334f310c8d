// Printing: the page arithmetic on its own, page setup's margins, and whole jobs through the
// print dialog to the test scheduler's printer "Quillon", read back as text (scripts/cups_env.sh).
#include "commands/command_fixture.h"

#include <commctrl.h>
#include <winspool.h>

#include <cstring>
#include <sstream>

#include "extras/printing.h"

namespace {

using PrintingTest = CommandFixture;

struct {  // what the dialogs showed; margins: page setup's left margin, shown and typed
  int preset, pausedDuring, cancelAt, cancelledAt; std::wstring message; std::vector<std::wstring> margins, typed;
  int reloadAt, printDialogs; std::wstring log;  // from page reloadAt on, the log is rewritten and reloaded
} seen;

int pagesStarted, refuseAt;
int WINAPI RefusingStartPage(HDC dc) {  // the page refuseAt is refused, as an out-of-paper printer would
  if (++pagesStarted < refuseAt) return StartPage(dc);
  SetLastError(ERROR_OUT_OF_PAPER);
  return 0;
}

void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = CommandFixture::OwnDialog(), bar = GetDlgItem(dialog, IDC_PRINT_PROGRESS);
  int position = int(SendMessageW(bar, PBM_GETPOS, 0, 0)), answer = IDOK;
  wchar_t text[256] = L"";  // no dialog: nothing is read, and nothing is pressed
  if (GetDlgItemTextW(dialog, 0x483, text, 256)) {  // page setup: OK, Cancel, OK
    seen.margins.push_back(text);
    SetDlgItemTextW(dialog, 0x483, seen.typed[seen.margins.size() - 1].c_str());
    answer = seen.margins.size() == 2 ? IDCANCEL : IDOK;
  } else if (GetDlgItem(dialog, 0x421)) {  // the print dialog's "Selection"
    seen.preset = IsDlgButtonChecked(dialog, 0x421), ++seen.printDialogs;
  } else if (bar) {
    // A print command posted once during the job, as any process can: it must not start another.
    if (seen.pausedDuring == -1) PostMessageW(engineHost.window, WM_COMMAND, IDM_PRINT, 0);
    seen.pausedDuring = FollowingPaused();
    if (seen.reloadAt && position >= seen.reloadAt) {
      seen.reloadAt = 0;
      WriteBytes(seen.log, NumberedLines(0, 300, "new "));
      SendMessageW(engineHost.window, WM_COMMAND, IDM_RELOAD, 0);
    }
    if (!seen.cancelAt || position < seen.cancelAt) return;
    seen.cancelledAt = position, answer = IDCANCEL;
  } else if (GetDlgItemTextW(dialog, 0xFFFF, text, 256)) {  // a message box
    seen.message = text;
  }
  SendMessageW(dialog, WM_COMMAND, WPARAM(answer), 0);
}

// The printed lines, each page ended by "\f": the text left of the job titled so.
std::vector<std::string> PrintedLines(const std::string& title) {
  std::wstring folder = L"Z:" + Widen(getenv("QUILLON_PRINT_DIR")) + L"/", names = folder + Widen(title) + L".txt";
  WIN32_FIND_DATAW found{};
  HANDLE search = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 600 && (search = FindFirstFileW(names.c_str(), &found)) == INVALID_HANDLE_VALUE; ++i) Sleep(100);
  FindClose(search);
  std::stringstream pages(ReadBytes(folder + found.cFileName));
  DeleteFileW((folder + found.cFileName).c_str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(pages, line);) {
    for (line.erase(line.find_last_not_of(' ') + 1); line.starts_with('\f'); line.erase(0, 1)) lines.push_back("\f");
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST_F(PrintingTest, JobsOnTheTestSchedulersPrinter) {
  if (!getenv("QUILLON_PRINT_DIR")) GTEST_SKIP() << "No QUILLON_PRINT_DIR: scripts/test.sh sets up the printer";
  HDC printer = CreateDCW(L"WINSPOOL", L"Quillon", nullptr, nullptr);
  ASSERT_TRUE(printer && SetDefaultPrinterW(L"Quillon"));
  uint32_t r = PlanPages(PrinterFacts(printer)).rowsPerPage;
  DeleteDC(printer);
  AppSettings.wrapLines = 0;
  std::string wide = std::string(100, 'W') + ' ' + std::string(99, 'W');  // cut at the margin, not wrapped
  // Reloaded after the first page while paused: the rest still prints the rows confirmed.
  const struct { std::string log; uint32_t step; bool paused, preset; int cancelAt, reloadAt, refuseAt; } cases[] = {
      {NumberedLines(0, int(r) + 1, "row "), 0, true, false, 0, 1, 0},      // a full page and one row
      {NumberedLines(0, 3 * int(r), "row "), 0, false, false, 0, 0, 3},     // the third page refused
      {NumberedLines(0, 2 * int(r) + 2, "row "), 2, false, true, 0, 0, 0},  // every other row selected
      {"a&b\tc\n" + wide + "\nx\n", 1, false, false, 0, 0, 0},            // all rows selected, but only 3
      {NumberedLines(0, 3 * int(r), "row "), 0, false, false, 2, 0, 0}, {"", 0, false, false, 0, 0, 0}};
  std::string refusedTitle;
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::string title = "quillon" + std::to_string(GetTickCount()) + "c" + std::to_string(&c - cases);
    OpenLog(PathOf(Widen(title).c_str()), c.log);
    std::vector<std::string> expected;
    std::stringstream rows(c.log);
    uint32_t row = 0, printed = 0;
    for (std::string line; std::getline(rows, line); ++row) {
      if (c.step) SendMessageW(engineHost.view, LB_SETSEL, (row + 1) % c.step == 0, row);
      if (c.preset && (row + 1) % c.step) continue;
      expected.push_back(line == wide ? "cut" : line == "a&b\tc" ? "a&b     c" : line);
      if (++printed % r == 0) expected.push_back("\f");
    }
    if (printed % r) expected.push_back("\f");
    if (c.paused) TogglePause();
    seen = {-1, -1, c.cancelAt, 0, L"", {}, {}, c.reloadAt, 0, PathOf(Widen(title).c_str())};
    pagesStarted = 0, refuseAt = c.refuseAt;
    SetStartPageForTesting(c.refuseAt ? RefusingStartPage : nullptr);
    RunAnswered(IDM_PRINT, AnswerDialogs);
    SetStartPageForTesting(nullptr);
    std::wstring message = c.log.empty()   ? L"Failed preparing to print, no data are available."
                           : c.refuseAt ? L"Printing failed.\n\n" + SystemMessage(ERROR_OUT_OF_PAPER)
                                        : L"";
    EXPECT_EQ(std::make_tuple(seen.printDialogs, seen.preset, seen.pausedDuring, seen.message, FollowingPaused()),
              std::make_tuple(1, int(c.preset), c.log.empty() ? -1 : 1, message, c.paused));
    if (c.reloadAt) {  // the reload did change the view
      Poll();
      EXPECT_EQ(Rows().size() > 1 ? Rows()[1] : L"", L"new 1");
    }
    if (c.refuseAt) refusedTitle = title;  // aborted: nothing reaches the printer
    if (c.log.empty() || c.refuseAt) continue;
    if (c.cancelAt) expected.resize(size_t(seen.cancelledAt) * (r + 1));
    auto lines = PrintedLines(title);
    for (auto& line : lines) line = line.size() > 40 && line.size() < 200 && wide.starts_with(line) ? "cut" : line;
    ASSERT_EQ(lines, expected);
  }
  // Jobs print in order: the aborted one would have shown before the jobs after it.
  std::wstring refused = L"Z:" + Widen(getenv("QUILLON_PRINT_DIR")) + L"/" + Widen(refusedTitle) + L".txt";
  EXPECT_EQ(GetFileAttributesW(refused.c_str()), INVALID_FILE_ATTRIBUTES);
  // A merged view prints its rows in merged order, each after its file's name (the page has no file bars), unless
  // "File names" is off.
  for (bool names : {true, false}) {
    AppSettings.fileNames = names;
    std::string web = "web" + std::to_string(GetTickCount()) + (names ? "n" : "") + ".log", db = "db" + web;
    std::wstring webPath = PathOf(Widen(web).c_str()), dbPath = PathOf(Widen(db).c_str());
    WriteBytes(webPath, "2026/01/01 10:00:01 GET /\n2026/01/01 10:00:03 GET /a\n");
    WriteBytes(dbPath, "2026/01/01 10:00:02 select 1\n");
    const wchar_t* paths[] = {webPath.c_str(), dbPath.c_str()};
    ASSERT_TRUE(OpenFiles(paths, 2));
    Poll();
    seen = {-1, -1, 0, 0, L"", {}, {}, 0, 0, L""};
    RunAnswered(IDM_PRINT, AnswerDialogs);
    std::vector<std::string> lines = PrintedLines(web + "*" + db);  // the scheduler writes " + " as "___"
    for (std::string& line : lines)  // the column's width is the font's: one space stands for any run
      for (size_t run; (run = line.find("  ")) != std::string::npos;) line.erase(run, 1);
    std::string webName = names ? web + " " : "", dbName = names ? db + " " : "";
    EXPECT_EQ(lines, std::vector<std::string>({webName + "2026/01/01 10:00:01 GET /",
                                               dbName + "2026/01/01 10:00:02 select 1",
                                               webName + "2026/01/01 10:00:03 GET /a", "\f"}));
  }
}

TEST_F(PrintingTest, PageSetupKeepsConfirmedMarginsForTheNextSetupAndThePrint) {
  seen = {-1, -1, 0, 0, L"", {}, {L"30", L"40", L"30"}, 0, 0, L""};
  for (int i = 0; i < 3; ++i) RunAnswered(IDM_PRINT_SETUP, AnswerDialogs);
  EXPECT_EQ(seen.margins, std::vector<std::wstring>({L"25", L"30", L"30"}));  // the second was cancelled
  EXPECT_EQ(PrinterFacts(nullptr).margins.left, 3000u);
}

}  // namespace
