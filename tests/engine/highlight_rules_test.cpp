#include "engine/highlight_rules.h"

#include <gtest/gtest.h>

namespace {

// A stored value, a row, and whether the value is a rule that matches the row;
// a rule's value also comes back as it was stored. Regular expressions are
// matched as the engine matches them, compiled once.
TEST(HighlightRules, ParseFormatAndMatch) {
  const std::wstring a255(255, L'a'), longRow = std::wstring(4095 - 257, L'a') + L" " + a255 + L" ";
  std::wstring words, logRow;  // full rows a pattern of ordinary use must get through
  while (words.size() < 4095) words += L"word ";
  while (logRow.size() < 4080) logRow += L"12:00:01.123 INFO GET /api/items?id=42 took 87 ms; ";
  words.resize(4095), logRow.resize(4080), logRow += L" took 1234 ms";
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
      {L"r|-|-|TOOK \\d{3,} MS", L"GET took 870 ms", true, true}, {L"r|-|-|took \\d{3,}", L"took 87", true, false},
      {L"cr|-|-|took \\d+", L"TOOK 870", true, false},
      {L"r|-|-|\u00C9T\u00C9", L"un \u00E9t\u00E9", true, true},  // beyond ASCII, unlike plain rules
      {L"wr|-|-|a|ab", L"ab-", true, true},                            // the longer match is whole
      {L"wr|-|-|(*UCP)a|ab", L"ab-", true, true}, {L"wr|-|-|\\Qa.b", L"xa.b a.b", true, true},  // open quote
      {L"wr|-|-|(?x) b | c  # b or c", L"ab cd c", true, true},     // a comment to the end
      {L"wr|-|-|ab", L"xab ab_", true, true}, {L"wr|-|-|\\d+", L"id42 x7", true, false},
      {L"wr|-|-|\\d+", L"id42 (7)", true, true},
      {L"r|-|-|x.", L"x\xD83D", true, false},  // half a pair, the row cut, matches nothing
      {L"r|-|-|^.x", L"\xDE00x", true, false}, {L"wr|-|-|x", L"\xDE00x\xD83D", true, true},
      {L"r|-|-|^.$", L"\xD83D\xDE00", true, true},  // a whole pair is one character
      {L"r|-|-|(\\w+\\s*)+$", words, true, true}, {L"wr|-|-|took \\d{3,} ms", logRow, true, true},
      {L"cwar|FF8000|-|\\bx+", L"a xx", true, true}, {L"cwar|FF8000|00000A|" + a255, a255, true, true},  // the longest
      {L"r|-|-|(a", L"(a", false, false}, {L"r|-|-|\\C", L"x", false, false},  // they do not compile
      {L"rr|-|-|p", L"p", false, false},
  };
  HighlightRule rules[kMaxRules];
  PreparedRules prepared;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.value.substr(0, 20)));
    HighlightRule rule;
    ASSERT_EQ(ParseRule(AsText(c.value.c_str()), &rule), c.parses);
    rules[0] = rule;
    PrepareRules(&prepared, rules);
    bool matches = rule.regex ? MatchingRule(&prepared, AsText(c.row.data()), c.row.size(), true) == 0
                              : RuleMatches(rule, AsText(c.row.data()), c.row.size());
    EXPECT_EQ(matches, c.matches);
    wchar_t stored[kRuleValueUnits + 1];
    stored[kRuleValueUnits] = L'#';  // written beyond the stored form's room, it would go
    FormatRule(rule, AsText(stored));
    EXPECT_EQ(stored, c.parses ? c.value : L"");
    EXPECT_EQ(stored[kRuleValueUnits], L'#');
  }
  PrepareRules(&prepared, nullptr);
  HighlightRule rule;
  ASSERT_TRUE(ParseRule(u"a|ff8000|-|x", &rule));
  EXPECT_TRUE(rule.alert && rule.text == RGB(255, 128, 0) && rule.background == kViewColour);
}

// A row on which a pattern backtracks without end does not match it, found
// after a bounded search, and is counted for that rule: again when the rule
// moves to another slot, anew when its pattern or flags change.
TEST(HighlightRules, RowsTooCostlyForARegexAreCountedAsNotMatching) {
  HighlightRule rules[kMaxRules];
  ASSERT_TRUE(ParseRule(u"r|-|-|(a+)+$", &rules[2]));
  ASSERT_TRUE(ParseRule(u"|-|-|b", &rules[9]));
  PreparedRules prepared;
  PrepareRules(&prepared, rules);
  const std::u16string costly = std::u16string(4000, u'a') + u"b";
  auto match = [&](const std::u16string& row, bool count) { return MatchingRule(&prepared, row.data(), row.size(), count); };
  EXPECT_EQ(match(costly, true), 9);
  EXPECT_EQ(match(u"aaa", true), 2);
  EXPECT_EQ(match(costly, false), 9);  // tagged again: not counted again
  EXPECT_EQ(BoundHitsOf(prepared, rules[2]), 1u);
  std::swap(rules[2], rules[7]);
  PrepareRules(&prepared, rules);
  EXPECT_EQ(match(costly, true), 9);
  EXPECT_EQ(BoundHitsOf(prepared, rules[7]), 2u);
  EXPECT_EQ(AllBoundHits(prepared), 2u);
  rules[7].wholeWord = true;
  PrepareRules(&prepared, rules);
  EXPECT_EQ(AllBoundHits(prepared), 0u);
  EXPECT_EQ(match(costly, true), 9);
  EXPECT_EQ(match(u"aa aaa", true), 7);
  EXPECT_EQ(BoundHitsOf(prepared, rules[7]), 1u);
  PrepareRules(&prepared, nullptr);
  EXPECT_EQ(match(u"aaa", true), -1);
}

}  // namespace
