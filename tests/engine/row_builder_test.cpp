#include "engine/row_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/settings.h"
#include "test_support.h"

namespace {

struct RowBuilderTest : testing::Test {
  MemoryView memory;
  RowView view{};

  void SetUp() override {
    AppSettings = Settings{};
    view = MemoryRowView(&memory);
    SetRowView(&view);
    ResetPendingRow();
    DiscardBatchedRows();
    ResetWidestRow();
    SetSuspendFlag(false);
    SetScrollLock(false);
  }
  void TearDown() override {
    SetScrollLock(false);
    ResetPendingRow();
    DiscardBatchedRows();
    SetRowView(nullptr);
  }

  size_t Capacity() const {
    return AppSettings.wrapLines ? AppSettings.rowLength : kMaxRowUnits;
  }
  void Feed(const std::wstring& units) {
    FeedUnits(units.data(), units.size(), Capacity());
    FlushRows();
  }
  std::vector<std::wstring> Rows() const { return memory.rows; }
};

using RowList = std::vector<std::wstring>;

TEST_F(RowBuilderTest, CarriageReturnsVanishWherever) {
  Feed(L"a\r\nb\n");
  EXPECT_EQ(Rows(), (RowList{L"a", L"b"}));
  Feed(L"a\rb\n");
  EXPECT_EQ(Rows(), (RowList{L"a", L"b", L"ab"}));
}

TEST_F(RowBuilderTest, TabsExpandToEightColumns) {
  Feed(L"x\ty\n\tz\n12345678\tq\n");
  EXPECT_EQ(Rows(), (RowList{L"x       y", L"        z", L"12345678        q"}));
}

TEST_F(RowBuilderTest, WrappingAtTheRowLength) {
  AppSettings.rowLength = 10;
  Feed(L"12345678\tab\n");  // the tab reaches column 10 and ends the row
  EXPECT_EQ(Rows(), (RowList{L"12345678  ", L"ab"}));
  memory.rows.clear();
  Feed(L"0123456789\nnext\n");  // an exact multiple leaves an empty row behind
  EXPECT_EQ(Rows(), (RowList{L"0123456789", L"", L"next"}));
}

TEST_F(RowBuilderTest, WithoutWrappingRowsStillStopAt4095) {
  AppSettings.wrapLines = 0;
  Feed(std::wstring(5000, L'x') + L"\n");
  ASSERT_EQ(memory.rows.size(), 2u);
  EXPECT_EQ(memory.rows[0].size(), 4095u);
  EXPECT_EQ(memory.rows[1].size(), 905u);
  EXPECT_EQ(WidestRow(), 4095u);
}

TEST_F(RowBuilderTest, NulShowsAsReplacementAndMarksAreDropped) {
  Feed(std::wstring(L"a\0b\xFEFF\xFFFE" L"c\n", 7));
  EXPECT_EQ(Rows(), (RowList{std::wstring(L"a\xFFFD" L"bc")}));
}

TEST_F(RowBuilderTest, CutEmptyShowsOneBlankRowPerRun) {
  AppSettings.cutEmpty = 1;
  struct Case {
    std::wstring input;
    RowList rows;
  };
  const Case cases[] = {
      {L"a\n\nb\n", {L"a", L"b"}},
      {L"a\n\n\nb\n", {L"a", L"", L"b"}},
      {L"a\n\n\n\n\nb\n", {L"a", L"", L"b"}},
      {L"a\n   \n\t\nb\n", {L"a", L"        ", L"b"}},
      {L"a\n\x3000\nb\n", {L"a", L"b"}},
      {L"a\n\x2001\nb\n", {L"a", L"\x2001", L"b"}},  // U+2001 is not blank
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input.size()));
    memory.rows.clear();
    ResetPendingRow();
    Feed(c.input);
    EXPECT_EQ(Rows(), c.rows);
  }
}

TEST_F(RowBuilderTest, UnfinishedLineWaitsForItsLineFeed) {
  Feed(L"abc");
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(PendingRowLength(), 3u);
  Feed(L"def\n");
  EXPECT_EQ(Rows(), (RowList{L"abcdef"}));
  EXPECT_EQ(PendingRowLength(), 0u);
}

TEST_F(RowBuilderTest, RowLimitTrimsFromTheTop) {
  AppSettings.linesLimit = 3;
  for (int i = 1; i <= 5; ++i) Feed(L"r" + std::to_wstring(i) + L"\n");
  EXPECT_EQ(Rows(), (RowList{L"r3", L"r4", L"r5"}));
}

TEST_F(RowBuilderTest, ScrollLockLetsTheViewGrowUntilReleased) {
  AppSettings.linesLimit = 3;
  SetScrollLock(true);
  for (int i = 1; i <= 5; ++i) Feed(L"r" + std::to_wstring(i) + L"\n");
  EXPECT_EQ(Rows().size(), 5u);
  EndOfPoll();
  EXPECT_EQ(memory.scrolledToEnd, 0);  // no autoscroll while locked
  SetScrollLock(false);
  Feed(L"r6\n");
  EXPECT_EQ(Rows(), (RowList{L"r4", L"r5", L"r6"}));
}

TEST_F(RowBuilderTest, BlockedViewStopsAtTwiceTheLimitKeepingThePlace) {
  AppSettings.linesLimit = 3;
  SetSuspendFlag(true);
  for (int i = 1; i <= 6; ++i) Feed(L"r" + std::to_wstring(i) + L"\n");
  memory.top = 4;  // the user reads r5
  Feed(L"r7\nr8\n");
  EXPECT_EQ(Rows(), (RowList{L"r3", L"r4", L"r5", L"r6", L"r7", L"r8"}));
  EXPECT_EQ(memory.rows[size_t(memory.top)], L"r5");
}

// A huge poll must not push rows through the view only to trim them again.
TEST_F(RowBuilderTest, RowsTrimmedWithinOnePollNeverReachTheView) {
  AppSettings.linesLimit = 100;
  Feed(L"old\n");
  std::wstring many;
  for (int i = 0; i < 100000; ++i) many += L"row " + std::to_wstring(i) + L"\n";
  memory.appends = 0;
  FeedUnits(many.data(), many.size(), Capacity());
  EndOfPoll();
  ASSERT_EQ(memory.rows.size(), 100u);
  EXPECT_EQ(memory.rows.front(), L"row 99900");
  EXPECT_EQ(memory.rows.back(), L"row 99999");
  EXPECT_EQ(memory.appends, 100);
  EXPECT_EQ(memory.scrolledToEnd, 1);
}

TEST_F(RowBuilderTest, WidestRowCountsRowsThatWereTrimmed) {
  AppSettings.linesLimit = 1;
  Feed(L"a much longer row than the rest\nshort\n");
  EXPECT_EQ(Rows(), (RowList{L"short"}));
  EXPECT_EQ(WidestRow(), 31u);
}

}  // namespace
