// The line filters: their stored form and how a stack of them decides.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/rows.h"
#include "core/stored_values.h"

namespace {

// Stored filters and how they are written back (the flags in their order); other values leave the filter alone.
TEST(StoredFilters, ParseAndFormat) {
  const std::u16string longest(255, u'p');
  const struct { std::u16string value; bool hide, matchCase, regex; std::u16string pattern, written; } filters[] = {
      {u"s|ERROR", false, false, false, u"ERROR", u"s|ERROR"},
      {u"rch|a|b ", true, true, true, u"a|b ", u"hcr|a|b "},  // any order; the pattern keeps '|' and blanks
      {u"h|" + longest, true, false, false, longest, u"h|" + longest},
  };
  for (const auto& c : filters) {
    SCOPED_TRACE(testing::PrintToString(c.value.substr(0, 12)));
    LineFilter filter{};
    ASSERT_TRUE(ParseStoredFilter(c.value.c_str(), &filter));
    EXPECT_EQ(std::u16string(filter.pattern), c.pattern);
    EXPECT_EQ((std::vector<bool>{filter.hide, filter.matchCase, filter.regex}),
              (std::vector<bool>{c.hide, c.matchCase, c.regex}));
    TextUnit written[kFilterValueUnits];
    FormatStoredFilter(filter, written);
    EXPECT_EQ(std::u16string(written), c.written);
  }
  // Too long, empty, neither or both of show and hide, a flag twice, an unknown one, no bar.
  for (const std::u16string& value : {u"s|" + longest + u"p", std::u16string(u"s|"), std::u16string(u"|x"),
                                      std::u16string(u"sh|x"), std::u16string(u"ss|x"), std::u16string(u"sx|x"),
                                      std::u16string(u"S|x"), std::u16string(u"s x"), std::u16string()}) {
    LineFilter filter{};
    filter.pattern[0] = u'?';
    EXPECT_FALSE(ParseStoredFilter(value.c_str(), &filter)) << testing::PrintToString(value.substr(0, 12));
    EXPECT_EQ(filter.pattern[0], u'?');  // left alone
  }
}

// A line passes when no hiding filter matches it and, if any filter shows, one showing filter does.
TEST(LineFilterStack, ShowAndHideCombined) {
  const struct { std::vector<std::u16string> filters; std::u16string line; bool passes; } cases[] = {
      {{}, u"anything", true},
      {{u"s|ERR"}, u"an err here", true}, {{u"sc|ERR"}, u"an err here", false},
      {{u"s|ERR", u"s|WARN"}, u"WARN x", true}, {{u"s|ERR", u"s|WARN"}, u"INFO x", false},
      {{u"h|beat"}, u"INFO x", true}, {{u"h|beat"}, u"heartbeat", false},
      {{u"s|ERR", u"s|WARN", u"h|beat"}, u"WARN heartbeat", false},
      {{u"h|beat", u"s|ERR", u"s|WARN"}, u"ERR x", true},  // the order changes nothing
      {{u"s|ERR", u"h|beat"}, u"ERR heartbeat", false}, {{u"s|ERR"}, u"ERR heartbeat", true},  // one dropped: gone
      {{u"sr|WARN(ING)?$", u"hr|^\\s"}, u"a warning", true}, {{u"sr|WARN(ING)?$", u"hr|^\\s"}, u" warn", false},
      {{u"scr|WARN"}, u"warn", false}, {{u"sr|\\d{3,} ms"}, u"took 87 ms", false},
      {{u"sr|(a"}, u"(a", true},  // does not compile: no filter
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.line));
    LineFilters filters{};
    for (const std::u16string& value : c.filters)
      ASSERT_TRUE(ParseStoredFilter(value.c_str(), &filters.items[filters.count++]));
    SetLineFilters(filters);
    SetLineFilters(CurrentLineFilters());  // taken again, as a rotation does
    EXPECT_EQ(LinePassesFilter(c.line.c_str(), c.line.size()), c.passes);
  }
  SetLineFilters(LineFilters{});
}

// A line on which a filter's pattern backtracks without end is found after a bounded search, does not match, and is
// counted for that filter when rows are built, not when lines are only counted for the tail's start.
TEST(LineFilterStack, LinesTooCostlyForARegexAreCountedAsNotMatching) {
  LineFilters filters{};
  ASSERT_TRUE(ParseStoredFilter(u"s|b", &filters.items[0]) && ParseStoredFilter(u"hr|(a+)+$", &filters.items[1]));
  filters.count = 2;
  SetLineFilters(filters);
  const std::u16string lines = std::u16string(4000, u'a') + u"b\n" + u"ab\n";
  EXPECT_EQ(CountShownLines(lines.c_str(), lines.size()), 2u);
  EXPECT_EQ(FilterBoundHitLines(), 0u);
  EXPECT_TRUE(LinePassesFilter(lines.c_str(), 4001));
  EXPECT_EQ(FilterBoundHits(1), 1u);
  EXPECT_EQ(FilterBoundHits(0), 0u);
  SetLineFilters(filters);
  EXPECT_EQ(FilterBoundHitLines(), 0u);  // counted anew once set again
  SetLineFilters(LineFilters{});
}

}  // namespace
