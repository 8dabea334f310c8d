#include "engine/row_builder.h"

#include "test_support.h"
#include "ui/settings.h"

namespace {

// The real list box of the hosted main window, fed units directly.
struct RowBuilderTest : HostedTest {
  void Feed(const std::wstring& units) {
    TakeEngineOptions();
    FeedUnits(AsText(units.data()), units.size(), AppSettings.wrapLines ? AppSettings.rowLength : kMaxRowUnits);
    EndOfPoll();
  }
  LRESULT Ask(UINT message) const { return SendMessageW(engineHost.view, message, 0, 0); }
};

TEST_F(RowBuilderTest, LinesBecomeRows) {
  const struct {  // rowLength 0: no wrapping
    const char* name; uint32_t rowLength; bool cutEmpty; std::wstring input; std::vector<std::wstring> rows;
  } cases[] = {
      {"CR vanishes, tabs stop every 8 columns", 80, false, L"x\ty\r\n12345678\tq\rr\n",
       {L"x       y", L"12345678        qr"}},
      {"a tab reaching the row length ends the row", 10, false, L"12345678\tab\n", {L"12345678  ", L"ab"}},
      {"an exact multiple leaves an empty row", 10, false, L"0123456789\nnext\n", {L"0123456789", L"", L"next"}},
      {"no row is longer than 4095", 0, false, std::wstring(5000, L'x') + L"\n",
       {std::wstring(4095, L'x'), std::wstring(905, L'x')}},
      {"NUL shows as a replacement, marks vanish", 80, false, std::wstring(L"a\0b\xFEFF\xFFFE" L"c\n", 7),
       {L"a\xFFFD" L"bc"}},
      {"one blank row is hidden", 80, true, L"a\n\nb\n", {L"a", L"b"}},
      {"four blank rows show as one", 80, true, L"a\n\n\n\n\nb\n", {L"a", L"", L"b"}},
      {"spaces and tabs are blank", 80, true, L"a\n   \n\t\nb\n", {L"a", L"        ", L"b"}},
      {"no-break and ideographic spaces are blank", 80, true, L"a\n\x00A0\n\x3000\n\x00A0\nb\n",
       {L"a", L"\x3000", L"b"}},
      {"U+2001 and U+FFFD are not blank", 80, true, L"a\n\x2001\n\xFFFD\nb\n", {L"a", L"\x2001", L"\xFFFD", L"b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SendMessageW(engineHost.view, LB_RESETCONTENT, 0, 0);
    ResetPendingRow();
    AppSettings.wrapLines = c.rowLength != 0, AppSettings.rowLength = c.rowLength ? c.rowLength : 80;
    AppSettings.cutEmpty = c.cutEmpty;
    Feed(c.input);
    EXPECT_EQ(Rows(), c.rows);
  }
}

// A huge poll keeps no more rows than can be shown; a blocked view is trimmed from the front, the row read in place.
TEST_F(RowBuilderTest, ALargePollKeepsOnlyTheRowsTheViewCanHoldAndABlockedViewKeepsThePlace) {
  AppSettings.linesLimit = 100;
  for (bool blocked : {false, true}) {
    SCOPED_TRACE(blocked);
    SendMessageW(engineHost.view, LB_RESETCONTENT, 0, 0);
    SetSuspendFlag(blocked);
    Feed(Widen(NumberedLines(0, 100000, "r")));
    EXPECT_EQ(Rows(), NumberedRows(blocked ? 99800 : 99900, 100000, "r"));
    EXPECT_EQ(Ask(LB_GETCARETINDEX), blocked ? 0 : 99);  // autoscroll only when not blocked
  }
  SendMessageW(engineHost.view, LB_SETTOPINDEX, 50, 0);  // the user reads r99850
  Feed(Widen(NumberedLines(100000, 100020, "r")));
  EXPECT_EQ(Rows(), NumberedRows(99820, 100020, "r"));
  EXPECT_EQ(Rows()[size_t(Ask(LB_GETTOPINDEX))], L"r99850");
}

TEST_F(RowBuilderTest, ExtentFollowsTheWidestRowEvenWhenTrimmed) {
  AppSettings.wrapLines = 0, AppSettings.linesLimit = 1;
  auto extentAfter = [&](const std::wstring& units) {
    Feed(units);
    return int(Ask(LB_GETHORIZONTALEXTENT)) - 4;
  };
  int ten = extentAfter(std::wstring(10, L'x') + L"\n");
  EXPECT_GT(ten, 0);
  EXPECT_EQ(extentAfter(std::wstring(40, L'y') + L"\nshort\n"), 4 * ten);
  EXPECT_EQ(extentAfter(L"tiny\n"), 4 * ten);  // the widest row stays, trimmed or not
  EXPECT_EQ(WidestRow(), 40u);
  AppSettings.wrapLines = 1, AppSettings.rowLength = 20;
  UpdateHorizontalExtent();
  EXPECT_EQ(int(Ask(LB_GETHORIZONTALEXTENT)) - 4, 2 * ten);
}

}  // namespace
