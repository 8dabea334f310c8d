// Go to time on a file the real engine follows: the dialog answered from a timer, the row selected read from the view.
#include "command_fixture.h"
#include "commands/find.h"
#include "core/log_times.h"
#include "../core/stamped_lines.h"

namespace {

using GoToTimeTest = CommandFixture;

// Line i of 2026-03-01, stamped 01:00:00 + i seconds in the forms logs use in turn.
std::string StampedLine(int i) { return Stamped(i % 6, 3600 + i, i); }

// Writes the file, dated June 2026 for its syslog stamps, and follows it.
void OpenDated(CommandFixture& test, const std::wstring& path, const std::string& bytes) {
  WriteBytes(path, bytes);
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  SYSTEMTIME june{2026, 6, 1, 1, 12, 0, 0, 0};
  FILETIME written;
  SystemTimeToFileTime(&june, &written);
  SetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  test.Follow(path);
}

TEST_F(GoToTimeTest, ShowsTheFirstRowLoggedAtOrAfterTheTime) {
  AppSettings.wrapLines = 0;
  std::string log;  // 40,000 lines, every tenth followed by a stack trace without stamps
  for (int i = 0; i < 40000; ++i)
    log += StampedLine(i) + (i % 10 == 9 ? "\r\n  at Frame.one()\r\n  at Frame.two()" : "") + "\r\n";
  OpenDated(*this, path, log);
  ASSERT_FALSE(Browsing());
  auto row = [](int i) { return Widen(StampedLine(i)); };
  const struct { std::vector<std::wstring> typed, shown; std::wstring selected; bool browsing; } cases[] = {
      {{L"2026-03-01 05:00:00"}, {L"2026-03-01 12:06:39"}, row(14400), true},  // iso with T, zone; the caret on a trace
      {{L"2026-03-01 05:00:00.5"}, {L"2026-03-01 05:00:00.250"}, row(14401), true},  // log4j's comma
      {{L"2026-03-01T01:00:02"}, {L"2026-03-01 05:00:01.250"}, row(2), true},        // slashed
      {{L" 2026-03-01  01:05:03 "}, {L"2026-03-01 01:00:02"}, row(303), true},   // syslog
      {{L"tomorrow", L"01:10:04"}, {L"2026-03-01 01:05:03", L"tomorrow"}, row(604), true},  // apache; a time alone
      {{L"2026-03-01 12:00:04.5"}, {L"2026-03-01 01:10:04"}, row(39605), false},  // behind a level word, near the end
      {{L"2000-01-01 00:00"}, {L"2026-03-01 12:00:05"}, row(0), true},           // before the first stamp
      {{L"2030-01-01 00:00"}, {L"2026-03-01 01:00:00.250"}, L"none", false},     // after the last: the end again
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.typed));
    RunTyping(IDM_GOTO_TIME, IDC_TIME_TEXT, c.typed);
    EXPECT_EQ(std::tuple(shownInField, SelectedText(), Browsing()), std::tuple(c.shown, c.selected, c.browsing));
  }
  // Back at the end, the view holds the file's last rows again.
  EXPECT_TRUE(PumpUntil([&] { return !Rows().empty() && Rows().back() == L"  at Frame.two()"; }));
  EXPECT_EQ(Rows()[Rows().size() - 3], row(39999));
  // A line longer than the kb limit and than the view shows its first rows.
  AppSettings.kbLimit = 1, AppSettings.linesLimit = 5, AppSettings.wrapLines = 1;
  std::string longLine = StampedLine(102) + std::string(4000, '.'), around[2];
  for (int i = 0; i < 200; ++i) around[i > 102] += i == 102 ? "" : StampedLine(i) + "\r\n";
  OpenDated(*this, path, around[0] + longLine + "\r\n" + around[1]);
  RunTyping(IDM_GOTO_TIME, IDC_TIME_TEXT, {L"2026-03-01 01:01:42"});
  EXPECT_EQ(SelectedText(), Widen(longLine.substr(0, 80)));
  EXPECT_TRUE(Browsing());
}

// Stamps out of order still give a row stamped at or after the time; a file without stamps beeps and stays as it was.
TEST_F(GoToTimeTest, StampsOutOfOrderOrNone) {
  AppSettings.wrapLines = 0;
  const struct { bool stamped; std::wstring text; bool found; } cases[] = {
      {true, L"2026-03-01 02:00", true}, {false, L"2026-03-01 02:00", false}, {false, L"02:00", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    std::string log;
    for (int i = 0; i < 20000; ++i) log += (c.stamped ? StampedLine((i * 7919) % 20000) : "plain " + std::to_string(i)) + "\n";
    OpenDated(*this, path, log);
    std::wstring before = SelectedText();
    RunTyping(IDM_GOTO_TIME, IDC_TIME_TEXT, {c.text});
    std::wstring selected = SelectedText();
    EXPECT_TRUE(c.found || (selected == before && !Browsing()));
    std::string narrow(selected.begin(), selected.end());
    int64_t time = -1;
    std::u16string units(selected.begin(), selected.end());
    EXPECT_EQ(FindLineTime(units.data(), units.size(), YearHint{2026, 6}, &time), c.found) << narrow;
    EXPECT_GE(time, c.found ? TimeKey(2026, 3, 1, 2, 0, 0, 0) : -1);
    EXPECT_EQ(shownInField.size(), c.text == L"02:00" ? 2u : 1u);  // a time alone, no stamp to give its day: refused
  }
}

}  // namespace
