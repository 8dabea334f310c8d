// Random patterns, with random flags, compiled and searched in random rows,
// also as highlight rules through the prepared table. Checked: compiling
// answers alike both ways; a match lies within the row, from the start asked
// for, and with whole words between units that are no word units; a whole
// word is a match without that condition too; the table finds what the
// pattern alone finds, counts what stops at the bound, and keeps the code of
// a rule that moves.
#include "core/matching.h"
#include "core/regex.h"
#include "fuzz/stand_in.h"

namespace {

// Bytes below 0xF0 are units of their own value, so that the syntax and the
// rows meet; 0xF0 and above take the next two bytes as any unit, surrogate
// halves included.
std::u16string Text(Input* input, size_t most) {
  std::u16string text;
  while (input->size && text.size() < most) {
    uint8_t byte = input->Byte();
    if (byte < 0xF0) {
      text += TextUnit(byte);
      continue;
    }
    uint8_t high = input->Byte(), low = input->Byte();
    text += TextUnit(high << 8 | low);
  }
  return text;
}

HighlightRule rules[kMaxRules];
PreparedRules prepared;

RegexSearch Search(const std::u16string& pattern, bool matchCase, bool wholeWord, const std::u16string& row,
                   size_t from) {
  Regex* regex = CompileRegex(pattern.data(), pattern.size(), matchCase, wholeWord, nullptr);
  if (!regex) __builtin_trap();  // it compiled with the flags it has
  RegexSearch found = SearchRegex(regex, row.data(), row.size(), from, nullptr);
  FreeRegex(regex);
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  uint8_t flags = input.Byte();
  bool matchCase = flags & 1, wholeWord = flags & 2;
  int slot = flags >> 3;
  std::u16string pattern = Text(&input, input.Byte());
  std::u16string row = Text(&input, kMaxRowUnits);
  size_t from = flags & 4 ? row.size() / 2 : 0;

  RegexError error;
  Regex* regex = CompileRegex(pattern.data(), pattern.size(), matchCase, wholeWord, &error);
  if (bool compiles = RegexCompiles(pattern.data(), pattern.size(), matchCase, wholeWord, nullptr);
      compiles != (regex != nullptr))
    __builtin_trap();
  if (!regex) {
    if (error.offset > pattern.size() || !error.message[0]) __builtin_trap();
    return 0;
  }
  RegexSpan match{~size_t(0), 0};
  RegexSearch found = SearchRegex(regex, row.data(), row.size(), from, &match);
  FreeRegex(regex);
  if (found == RegexSearch::kMatch) {
    if (match.start < from || match.start > match.end || match.end > row.size()) __builtin_trap();
    if (wholeWord && ((match.start > 0 && IsWordUnit(row[match.start - 1])) ||
                      (match.end < row.size() && IsWordUnit(row[match.end]))))
      __builtin_trap();
    // Unless its search stops at the bound; verbs such as (*COMMIT) end a
    // search where the edges would have moved it on.
    bool verbs = pattern.find(u"(*") != std::u16string::npos;
    if (wholeWord && !verbs && Search(pattern, matchCase, false, row, from) == RegexSearch::kNoMatch)
      __builtin_trap();
  }

  // As a rule: matched from the row's start through the prepared table.
  HighlightRule& rule = rules[slot];
  rule.matchCase = matchCase, rule.wholeWord = wholeWord, rule.regex = true;
  if (!MakeRule(&rule, pattern.data(), pattern.size())) return rules[slot] = HighlightRule{}, 0;
  PrepareRules(&prepared, rules);
  RegexSearch alone = from ? Search(pattern, matchCase, wholeWord, row, 0) : found;
  int matched = MatchingRule(&prepared, row.data(), row.size(), true);
  if ((matched == slot) != (alone == RegexSearch::kMatch) || (matched != slot && matched != -1)) __builtin_trap();
  if (AllBoundHits(prepared) != (alone == RegexSearch::kBoundHit ? 1u : 0u)) __builtin_trap();
  int moved = (slot + 1) % kMaxRules;
  Regex* compiled = prepared.regexes[slot].regex;
  std::swap(rules[slot], rules[moved]);
  PrepareRules(&prepared, rules);
  if (prepared.regexes[moved].regex != compiled || BoundHitsOf(prepared, rules[moved]) != AllBoundHits(prepared))
    __builtin_trap();
  rules[moved] = HighlightRule{};
  PrepareRules(&prepared, rules);
  if (prepared.regexes[moved].regex) __builtin_trap();
  return 0;
}
