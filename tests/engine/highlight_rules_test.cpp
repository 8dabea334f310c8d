#include "engine/highlight_rules.h"

#include <gtest/gtest.h>

namespace {

// A stored value, a row, and whether the value is a rule that matches the row;
// a rule's value also comes back as it was stored.
TEST(HighlightRules, ParseFormatAndMatch) {
  const std::wstring a255(255, L'a'), longRow = std::wstring(4095 - 257, L'a') + L" " + a255 + L" ";
  const struct { std::wstring value, row; bool parses, matches; } cases[] = {
      {L"|-|-|error", L"an Error here", true, true},
      {L"c|-|-|Error", L"an error", true, false},
      {L"cwa|FF8000|00000A|a|b", L"x a|b", true, true},  // the pattern keeps its '|'
      {L"w|-|-|ab", L"xab ab", true, true},                // a later occurrence is whole
      {L"w|-|-|ab", L"xab abc ab_", true, true},          // '_' is no word unit
      {L"w|-|-|ab", L"xab abc 1ab", true, false}, {L"w|-|-|aa", L"aaa", true, false},
      {L"w|-|-|a-a", L"xa-a-a", true, true},  // the whole occurrence overlaps one that is not
      {L"|-|-|aab", L"aaab", true, true}, {L"|-|-|abac", L"ababac", true, true},
      {L"w|-|-|" + a255, std::wstring(4095, L'a'), true, false},
      {L"w|-|-|" + a255, longRow, true, true},
      {L"|-|-|" + a255 + L"a", L"a", false, false},  // a pattern too long
      {L"|-|-|", L"", false, false},
      {L"x|-|-|p", L"p", false, false}, {L"cc|-|-|p", L"p", false, false},  // unknown and repeated flags
      {L"|12345|-|p", L"p", false, false}, {L"|12345G|-|p", L"p", false, false}, {L"|-|1234567|p", L"p", false, false},
      {L"|-|-p", L"-p", false, false}, {L"-|-|p", L"p", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.value.substr(0, 20)));
    HighlightRule rule;
    ASSERT_EQ(ParseRule(AsText(c.value.c_str()), &rule), c.parses);
    EXPECT_EQ(RuleMatches(rule, AsText(c.row.data()), c.row.size()), c.matches);
    wchar_t stored[kRuleValueUnits];
    FormatRule(rule, AsText(stored));
    EXPECT_EQ(stored, c.parses ? c.value : L"");
  }
  HighlightRule rule;
  ASSERT_TRUE(ParseRule(u"a|ff8000|-|x", &rule));
  EXPECT_TRUE(rule.alert && rule.text == RGB(255, 128, 0) && rule.background == kViewColour);
}

}  // namespace
