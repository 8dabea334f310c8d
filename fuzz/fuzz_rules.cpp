// Stored rule values parsed, formatted back and parsed again; rules and a
// stack of line filters matched against rows, each answer checked against a plain
// search of every position.
#include "core/matching.h"
#include "fuzz/stand_in.h"

namespace {

// Whether the pattern occurs at some position with, for a whole word, no
// word unit on either side.
bool PlainMatch(const HighlightRule& rule, const std::u16string& row) {
  size_t length = std::min(row.size(), kMaxMatchUnits), m = rule.length;
  auto same = [&](TextUnit a, TextUnit b) { return rule.matchCase ? a == b : FoldUnit(a) == FoldUnit(b); };
  for (size_t at = 0; m && at + m <= length; ++at) {
    size_t k = 0;
    while (k < m && same(row[at + k], rule.pattern[k])) ++k;
    if (k < m) continue;
    bool before = at > 0 && IsWordUnit(row[at - 1]), after = at + m < length && IsWordUnit(row[at + m]);
    if (!rule.wholeWord || (!before && !after)) return true;
  }
  return false;
}

HighlightRule rules[kMaxRules];
PreparedRules prepared;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  uint8_t slot = input.Byte() % kMaxRules;
  bool hide = input.Byte() & 1;
  std::u16string value = input.Units(input.Byte() + 8);
  std::u16string row = input.Units(SIZE_MAX);
  HighlightRule rule;
  if (ParseRule(value.c_str(), &rule)) {
    TextUnit stored[kRuleValueUnits];
    FormatRule(rule, stored);
    HighlightRule again;
    TextUnit restored[kRuleValueUnits];
    if (!ParseRule(stored, &again)) __builtin_trap();
    FormatRule(again, restored);
    if (std::u16string(stored) != restored) __builtin_trap();
    rule.regex = false;  // regular expressions have a target of their own
  } else {
    // Any text still makes a pattern, as the dialog and the filter make them.
    rule.matchCase = value.size() & 1, rule.wholeWord = value.size() & 2;
    if (!MakeRule(&rule, value.c_str(), std::min(value.size(), kMaxPatternUnits))) return 0;
  }
  bool matches = RuleMatches(rule, row.c_str(), row.size());
  if (matches != PlainMatch(rule, row)) __builtin_trap();
  rules[slot] = rule;
  PrepareRules(&prepared, rules);
  int found = MatchingRule(&prepared, row.c_str(), row.size(), true);
  rules[slot] = HighlightRule{};
  if (found != (matches ? slot : -1)) __builtin_trap();

  // Two filters, one showing and one hiding, from the pattern and the row's
  // start: each line's verdict against the rule each makes, and the lines
  // counted as they would be fed.
  LineFilters filters{};
  std::copy_n(rule.pattern, std::min<size_t>(rule.length, kFilterPatternUnits - 1), filters.items[0].pattern);
  std::copy_n(row.begin(), std::min<size_t>(row.size(), 2), filters.items[1].pattern);
  filters.items[0].hide = hide, filters.items[1].hide = !hide;
  filters.items[0].matchCase = filters.items[1].matchCase = rule.matchCase;
  filters.count = 2;
  SetLineFilters(filters);
  HighlightRule made[2];
  for (int i = 0; i < 2; ++i) {
    made[i].matchCase = rule.matchCase;
    MakeRule(&made[i], filters.items[i].pattern, TextLength(filters.items[i].pattern));
  }
  size_t passed = 0;
  for (size_t start = 0, end; (end = row.find(u'\n', start)) != std::u16string::npos; start = end + 1) {
    const TextUnit* line = row.c_str() + start;
    size_t length = std::min(end - start, kMaxMatchUnits);
    bool matched[2] = {made[0].length && RuleMatches(made[0], line, length),
                       made[1].length && RuleMatches(made[1], line, length)};
    bool showing = made[hide ? 1 : 0].length, shows = hide ? matched[1] : matched[0], hides = hide ? matched[0] : matched[1];
    bool verdict = !hides && (!showing || shows);
    if (LinePassesFilter(line, length) != verdict) __builtin_trap();
    passed += verdict;
  }
  ResetPendingRow();
  size_t counted = 0;
  for (size_t at = 0; at < row.size(); at += 5) counted += CountShownLines(row.c_str() + at, std::min<size_t>(5, row.size() - at));
  ResetPendingRow();
  if (counted != passed) __builtin_trap();
  return 0;
}
