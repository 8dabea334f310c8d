// The highlight rules' matching; also run natively (fuzz/).
#include "core/matching.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A stored value, a row, and whether the value is a rule that matches the row; a rule's value also comes back as it was
// stored. Regular expressions are matched as the engine matches them, compiled once.
TEST(HighlightRules, ParseFormatAndMatch) {
  const std::u16string a255(255, u'a'), longRow = std::u16string(4095 - 257, u'a') + u" " + a255 + u" ";
  std::u16string words, logRow;  // full rows a pattern of ordinary use must get through
  while (words.size() < 4095) words += u"word ";
  while (logRow.size() < 4080) logRow += u"12:00:01.123 INFO GET /api/items?id=42 took 87 ms; ";
  words.resize(4095), logRow.resize(4080), logRow += u" took 1234 ms";
  const struct { std::u16string value, row; bool parses, matches; } cases[] = {
      {u"|-|-|error", u"an Error here", true, true}, {u"c|-|-|Error", u"an error", true, false},
      {u"cwa|FF8000|00000A|a|b", u"x a|b", true, true},  // the pattern keeps its '|'
      {u"w|-|-|ab", u"xab ab", true, true},                // a later occurrence is whole
      {u"w|-|-|ab", u"xab abc ab_", true, true},          // '_' is no word unit
      {u"w|-|-|ab", u"xab abc 1ab", true, false}, {u"w|-|-|aa", u"aaa", true, false},
      {u"w|-|-|a-a", u"xa-a-a", true, true},  // the whole occurrence overlaps one that is not
      {u"|-|-|aab", u"aaab", true, true}, {u"|-|-|abac", u"ababac", true, true},
      {u"w|-|-|" + a255, std::u16string(4095, u'a'), true, false}, {u"w|-|-|" + a255, longRow, true, true},
      {u"|-|-|" + a255 + u"a", u"a", false, false},  // a pattern too long
      {u"|-|-|", u"", false, false}, {u"x|-|-|p", u"p", false, false},  // empty; an unknown flag
      {u"cc|-|-|p", u"p", false, false}, {u"rr|-|-|p", u"p", false, false},  // repeated flags
      {u"|12345|-|p", u"p", false, false}, {u"|12345G|-|p", u"p", false, false}, {u"|-|1234567|p", u"p", false, false},
      {u"|-|-p", u"-p", false, false}, {u"-|-|p", u"p", false, false},
      {u"r|-|-|TOOK \\d{3,} MS", u"GET took 870 ms", true, true}, {u"r|-|-|took \\d{3,}", u"took 87", true, false},
      {u"cr|-|-|took \\d+", u"TOOK 870", true, false},
      {u"r|-|-|\u00C9T\u00C9", u"un \u00E9t\u00E9", true, true},  // beyond ASCII, unlike plain rules
      {u"r|-|-|(*NO_JIT)took \\d+", u"took 87", true, true},  // no native code: matched all the same
      {u"wr|-|-|(*NO_JIT)ab", u"xab ab", true, true},
      {u"wr|-|-|a|ab", u"ab-", true, true},                            // the longer match is whole
      {u"wr|-|-|(*UCP)a|ab", u"ab-", true, true}, {u"wr|-|-|\\Qa.b", u"xa.b a.b", true, true},  // open quote
      {u"wr|-|-|(?x) b | c  # b or c", u"ab cd c", true, true},     // a comment to the end
      {u"wr|-|-|ab", u"xab ab_", true, true}, {u"wr|-|-|\\d+", u"id42 x7", true, false},
      {u"wr|-|-|\\d+", u"id42 (7)", true, true},
      {u"wr|-|-|a\\W*", u"a-- b", true, true},  // a repeat gives back what stands beside a word
      {u"r|-|-|x.", u"x\xD83D", true, false},  // half a pair, the row cut, matches nothing
      {u"r|-|-|^.x", u"\xDE00x", true, false}, {u"wr|-|-|x", u"\xDE00x\xD83D", true, true},
      {u"r|-|-|^.$", u"\xD83D\xDE00", true, true},  // a whole pair is one character
      {u"r|-|-|(\\w+\\s*)+$", words, true, true}, {u"wr|-|-|took \\d{3,} ms", logRow, true, true},
      {u"cwar|FF8000|-|\\bx+", u"a xx", true, true}, {u"cwar|FF8000|00000A|" + a255, a255, true, true},  // the longest
      {u"r|-|-|(a", u"(a", false, false}, {u"r|-|-|\\C", u"x", false, false},  // they do not compile
  };
  HighlightRule rules[kMaxRules];
  PreparedRules prepared;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.value.substr(0, 20)));
    HighlightRule rule;
    ASSERT_EQ(ParseRule(c.value.c_str(), &rule), c.parses);
    rules[0] = rule;
    PrepareRules(&prepared, rules);
    bool matches = rule.regex ? MatchingRule(&prepared, c.row.data(), c.row.size(), true) == 0
                              : RuleMatches(rule, c.row.data(), c.row.size());
    EXPECT_EQ(matches, c.matches);
    TextUnit stored[kRuleValueUnits + 1];
    stored[kRuleValueUnits] = u'#';  // written beyond the stored form's room, it would go
    FormatRule(rule, stored);
    EXPECT_EQ(std::u16string(stored), c.parses ? c.value : u"");
    EXPECT_EQ(stored[kRuleValueUnits], u'#');
  }
  PrepareRules(&prepared, nullptr);
  HighlightRule rule;
  ASSERT_TRUE(ParseRule(u"a|ff8000|-|x", &rule));
  EXPECT_TRUE(rule.alert && rule.text == 0x0080FFu && rule.background == kViewColour);
}

// A row on which a pattern backtracks without end does not match it, found after a bounded search, and is counted for
// that rule: again when the rule moves to another slot, anew when its pattern or flags change.
TEST(HighlightRules, RowsTooCostlyForARegexAreCountedAsNotMatching) {
  HighlightRule rules[kMaxRules];
  ASSERT_TRUE(ParseRule(u"r|-|-|(a+)+$", &rules[2]) && ParseRule(u"|-|-|b", &rules[9]));
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
