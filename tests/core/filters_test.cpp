// The line filters: their stored form and how a stack of them decides.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/rows.h"
#include "core/stored_values.h"

namespace {

// Stored values that are filters, and how they are written back (the flags in
// their order); values that are none leave the filter alone.
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

// "s" shows, "h" hides, "c" matches case: a line passes when no hiding filter
// matches it and, if any filter shows, one showing filter does.
TEST(LineFilterStack, ShowAndHideCombined) {
  const struct { std::vector<std::u16string> filters; std::u16string line; bool passes; } cases[] = {
      {{}, u"anything", true},
      {{u"sERR"}, u"an err here", true}, {{u"scERR"}, u"an err here", false},
      {{u"sERR", u"sWARN"}, u"WARN x", true}, {{u"sERR", u"sWARN"}, u"INFO x", false},
      {{u"hbeat"}, u"INFO x", true}, {{u"hbeat"}, u"heartbeat", false},
      {{u"sERR", u"sWARN", u"hbeat"}, u"WARN heartbeat", false},
      {{u"hbeat", u"sERR", u"sWARN"}, u"ERR x", true},  // the order changes nothing
      {{u"s"}, u"INFO x", true},                        // a filter without pattern is none
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.line));
    LineFilters filters{};
    for (const std::u16string& filter : c.filters) {
      LineFilter& item = filters.items[filters.count++];
      item.hide = filter[0] == u'h';
      item.matchCase = filter.size() > 1 && filter[1] == u'c';
      std::u16string pattern = filter.substr(item.matchCase ? 2 : 1);
      std::copy(pattern.begin(), pattern.end(), item.pattern);
    }
    SetLineFilters(filters);
    SetLineFilters(CurrentLineFilters());  // taken again, as a rotation does
    EXPECT_EQ(LinePassesFilter(c.line.c_str(), c.line.size()), c.passes);
  }
  SetLineFilters(LineFilters{});
}

}  // namespace
