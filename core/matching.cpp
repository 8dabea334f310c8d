#include "core/matching.h"

#include <algorithm>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

int HexDigit(TextUnit c) {
  return c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10
         : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
}

// Six hex digits (RRGGBB) or "-", then '|'.
bool ParseColour(const TextUnit** at, uint32_t* colour) {
  const TextUnit* text = *at;
  if (text[0] == u'-' && text[1] == u'|') {
    *colour = kViewColour;
    *at = text + 2;
    return true;
  }
  uint32_t value = 0;
  for (int i = 0; i < 6; ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = value << 4 | uint32_t(digit);
  }
  if (text[6] != u'|') return false;
  *colour = (value >> 16) | (value & 0xFF00) | (value & 0xFF) << 16;
  *at = text + 7;
  return true;
}

TextUnit* FormatColour(uint32_t colour, TextUnit* out) {
  if (colour == kViewColour) return *out++ = u'-', out;
  uint32_t rgb = (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
  for (int shift = 20; shift >= 0; shift -= 4) *out++ = u"0123456789ABCDEF"[rgb >> shift & 0xF];
  return out;
}

// The first index from at on whose unit is unit, or length; eight units a
// step. Caseless, an ASCII letter's upper case counts too (unit is held
// folded): only those two units differ in the 0x20 bit alone.
template <bool caseless>
size_t FindUnit(const TextUnit* text, size_t at, size_t length, TextUnit unit) {
  const TextUnit fold = caseless && unit >= u'a' && unit <= u'z' ? 0x20 : 0;
#ifdef __SSE2__
  const __m128i wanted = _mm_set1_epi16(short(unit)), folds = _mm_set1_epi16(short(fold));
  for (; at + 8 <= length; at += 8) {
    __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    if (caseless) units = _mm_or_si128(units, folds);
    if (int found = _mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted)))
      return at + size_t(__builtin_ctz(unsigned(found))) / 2;  // two mask bits a unit
  }
#endif
  while (at < length && TextUnit(text[at] | fold) != unit) ++at;
  return at;
}

// Knuth-Morris-Pratt over the row, each unit folded as it is read unless
// matchCase (no copy of the row: each matcher and thread reads only its
// own), with a fast skip to the pattern's first unit: from i on, with
// *matched units of the pattern matched, where the next occurrence ends;
// kNoOccurrence without one. Every occurrence is met once, in one pass.
template <bool caseless>
size_t OccurrenceEnd(const HighlightRule& rule, const TextUnit* row, size_t length, size_t i, size_t* matched) {
  size_t m = rule.length, k = *matched;
  for (; i < length; ++i) {
    if (k == 0) {
      if ((i = FindUnit<caseless>(row, i, length, rule.search[0])) == length) break;
      k = 1;
    } else {
      TextUnit unit = caseless ? FoldUnit(row[i]) : row[i];
      while (k > 0 && rule.search[k] != unit) k = rule.fail[k - 1];
      if (rule.search[k] == unit) ++k;
    }
    if (k == m) {
      *matched = rule.fail[m - 1];
      return i + 1;
    }
  }
  return kNoOccurrence;
}

size_t OccurrenceEnd(const HighlightRule& rule, const TextUnit* row, size_t length, size_t i, size_t* matched) {
  return rule.matchCase ? OccurrenceEnd<false>(rule, row, length, i, matched)
                        : OccurrenceEnd<true>(rule, row, length, i, matched);
}

bool StandsAlone(const TextUnit* row, size_t length, size_t start, size_t end) {
  return !(start > 0 && IsWordUnit(row[start - 1])) && !(end < length && IsWordUnit(row[end]));
}

bool Occurs(const HighlightRule& rule, const TextUnit* row, size_t length) {
  size_t matched = 0;
  for (size_t end = 0; (end = OccurrenceEnd(rule, row, length, end, &matched)) != kNoOccurrence;)
    if (!rule.wholeWord || StandsAlone(row, length, end - rule.length, end)) return true;
  return false;
}

// Whether a slot prepared from one rule serves another: a regex rule with the
// same pattern and flags, or, when nothing was compiled, a rule that is none.
bool SamePattern(const PreparedRegex& regex, const HighlightRule& rule) {
  if (!rule.length || !rule.regex) return regex.length == 0;
  return regex.length == rule.length && regex.matchCase == rule.matchCase && regex.wholeWord == rule.wholeWord &&
         std::equal(rule.pattern, rule.pattern + rule.length, regex.pattern);
}

}  // namespace

bool MakeRule(HighlightRule* rule, const TextUnit* pattern, size_t length) {
  if (length == 0 || length > kMaxPatternUnits) return false;
  std::copy(pattern, pattern + length, rule->pattern);
  rule->pattern[length] = 0;
  rule->length = uint16_t(length);
  for (size_t i = 0; i < length; ++i) rule->search[i] = rule->matchCase ? pattern[i] : FoldUnit(pattern[i]);
  rule->fail[0] = 0;
  for (size_t i = 1, k = 0; i < length; ++i) {
    while (k > 0 && rule->search[i] != rule->search[k]) k = rule->fail[k - 1];
    if (rule->search[i] == rule->search[k]) ++k;
    rule->fail[i] = uint16_t(k);
  }
  return true;
}

bool ParseRule(const TextUnit* value, HighlightRule* rule) {
  HighlightRule parsed;
  const TextUnit* at = value;
  for (; *at && *at != u'|'; ++at) {
    bool* flag = *at == u'c' ? &parsed.matchCase : *at == u'w' ? &parsed.wholeWord : *at == u'a' ? &parsed.alert
                 : *at == u'r' ? &parsed.regex : nullptr;
    if (!flag || *flag) return false;
    *flag = true;
  }
  if (*at++ != u'|' || !ParseColour(&at, &parsed.text) || !ParseColour(&at, &parsed.background) ||
      !MakeRule(&parsed, at, TextLengthWithin(at, kMaxPatternUnits + 1)))
    return false;
  if (parsed.regex && !RegexCompiles(parsed.pattern, parsed.length, parsed.matchCase, parsed.wholeWord, nullptr))
    return false;
  *rule = parsed;
  return true;
}

void FormatRule(const HighlightRule& rule, TextUnit* out) {
  *out = 0;
  if (!rule.length) return;
  if (rule.matchCase) *out++ = u'c';
  if (rule.wholeWord) *out++ = u'w';
  if (rule.alert) *out++ = u'a';
  if (rule.regex) *out++ = u'r';
  *out++ = u'|';
  out = FormatColour(rule.text, out);
  *out++ = u'|';
  out = FormatColour(rule.background, out);
  *out++ = u'|';
  std::copy(rule.pattern, rule.pattern + rule.length + 1u, out);
}

bool RuleMatches(const HighlightRule& rule, const TextUnit* row, size_t length) {
  length = std::min(length, kMaxMatchUnits);
  return rule.length && !rule.regex && Occurs(rule, row, length);
}

void PrepareRules(PreparedRules* prepared, const HighlightRule* rules) {
  static const HighlightRule kNoRules[kMaxRules];
  rules = rules ? rules : kNoRules;
  prepared->rules = rules;
  PreparedRegex* held = prepared->regexes;
  bool same = true;
  for (int slot = 0; slot < kMaxRules && same; ++slot) same = SamePattern(held[slot], rules[slot]);
  if (same) return;
  // Each slot takes the code of a slot that was prepared from the same rule, else compiles.
  PreparedRegex before[kMaxRules];
  std::move(held, held + kMaxRules, before);
  for (int slot = 0; slot < kMaxRules; ++slot) {
    const HighlightRule& rule = rules[slot];
    held[slot] = PreparedRegex{};
    if (!rule.length || !rule.regex) continue;
    PreparedRegex* kept = std::find_if(before, before + kMaxRules, [&](const PreparedRegex& regex) {
      return regex.length && SamePattern(regex, rule);
    });
    if (kept != before + kMaxRules) {
      held[slot] = *kept;
      *kept = PreparedRegex{};
      continue;
    }
    held[slot].regex = CompileRegex(rule.pattern, rule.length, rule.matchCase, rule.wholeWord, nullptr);
    held[slot].length = rule.length, held[slot].matchCase = rule.matchCase, held[slot].wholeWord = rule.wholeWord;
    std::copy(rule.pattern, rule.pattern + rule.length, held[slot].pattern);
  }
  for (PreparedRegex& unused : before) FreeRegex(std::exchange(unused.regex, nullptr));
}

int MatchingRule(PreparedRules* prepared, const TextUnit* row, size_t length, bool countBounds) {
  length = std::min(length, kMaxMatchUnits);
  const HighlightRule* rules = prepared->rules;
  if (!rules) return -1;
  for (int slot = 0; slot < kMaxRules; ++slot) {
    const HighlightRule& rule = rules[slot];
    if (!rule.length) continue;
    if (rule.regex) {
      PreparedRegex& regex = prepared->regexes[slot];
      // Null too when the slot changed since it was prepared.
      if (!regex.regex || !SamePattern(regex, rule)) continue;
      RegexSearch found = SearchRegex(regex.regex, row, length, 0, nullptr);
      if (found == RegexSearch::kMatch) return slot;
      if (found == RegexSearch::kBoundHit && countBounds) ++regex.boundHits;
      continue;
    }
    if (Occurs(rule, row, length)) return slot;
  }
  return -1;
}

uint32_t BoundHitsOf(const PreparedRules& prepared, const HighlightRule& rule) {
  for (const PreparedRegex& regex : prepared.regexes)
    if (regex.length && SamePattern(regex, rule)) return regex.boundHits;
  return 0;
}

uint32_t AllBoundHits(const PreparedRules& prepared) {
  uint32_t hits = 0;
  for (const PreparedRegex& regex : prepared.regexes) hits += regex.boundHits;
  return hits;
}

size_t RowMatchStart(const HighlightRule& text, const TextUnit* row, size_t length, size_t from) {
  size_t matched = 0, end = text.length ? OccurrenceEnd(text, row, length, from, &matched) : kNoOccurrence;
  if (end == kNoOccurrence) return kNoOccurrence;
  size_t start = end - text.length;
  return !text.wholeWord || StandsAlone(row, length, start, end) ? start : kNoOccurrence;
}

size_t RowLastMatchStart(const HighlightRule& text, const TextUnit* row, size_t length, size_t before) {
  if (text.wholeWord || !text.length) {
    size_t start = RowMatchStart(text, row, length);
    return start < before ? start : kNoOccurrence;
  }
  size_t matched = 0, last = kNoOccurrence;
  for (size_t end = 0; (end = OccurrenceEnd(text, row, length, end, &matched)) != kNoOccurrence;) {
    if (end - text.length >= before) break;
    last = end - text.length;
  }
  return last;
}

bool RowMatches(const TextUnit* row, size_t rowLength, const TextUnit* text, bool exact, bool whole) {
  HighlightRule prepared;
  prepared.matchCase = exact, prepared.wholeWord = whole;
  return MakeRule(&prepared, text, TextLength(text)) && RowMatchStart(prepared, row, rowLength) != kNoOccurrence;
}
