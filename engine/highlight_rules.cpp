#include "engine/highlight_rules.h"

#include <emmintrin.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "engine/row_builder.h"
#include "shell/settings.h"

namespace {

bool alertPending = false;

// towlower once for every unit: folding a row is then a lookup a unit.
const wchar_t* FoldTable() {
  static wchar_t table[65536];
  static bool made = false;
  if (!made) {
    for (size_t unit = 0; unit < 65536; ++unit) table[unit] = wchar_t(towlower(wint_t(unit)));
    made = true;
  }
  return table;
}

// Six hex digits (RRGGBB) or "-", then '|'.
bool ParseColour(const wchar_t** at, COLORREF* colour) {
  const wchar_t* text = *at;
  if (text[0] == L'-' && text[1] == L'|') {
    *colour = kViewColour;
    *at = text + 2;
    return true;
  }
  uint32_t value = 0;
  for (int i = 0; i < 6; ++i) {
    wchar_t c = text[i];
    int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'F' ? c - L'A' + 10
                : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | uint32_t(digit);
  }
  if (text[6] != L'|') return false;
  *colour = RGB(value >> 16, value >> 8 & 0xFF, value & 0xFF);
  *at = text + 7;
  return true;
}

wchar_t* FormatColour(COLORREF colour, wchar_t* out) {
  if (colour == kViewColour) return *out++ = L'-', out;
  return out + swprintf(out, 7, L"%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

// The first index from at on whose unit is unit, or length; eight units a step.
size_t FindUnit(const wchar_t* text, size_t at, size_t length, wchar_t unit) {
  __m128i wanted = _mm_set1_epi16(short(unit));
  for (; at + 8 <= length; at += 8) {
    __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    if (int found = _mm_movemask_epi8(_mm_cmpeq_epi16(units, wanted)))
      return at + size_t(__builtin_ctz(unsigned(found))) / 2;  // two mask bits a unit
  }
  while (at < length && text[at] != unit) ++at;
  return at;
}

const wchar_t* FoldRow(const wchar_t* row, size_t length) {
  static wchar_t folded[kMaxMatchUnits];
  const wchar_t* table = FoldTable();
  for (size_t i = 0; i < length; ++i) folded[i] = table[row[i]];
  return folded;
}

// Knuth-Morris-Pratt over text, the row as compared (folded unless
// matchCase), with a fast skip to the pattern's first unit: every occurrence
// is met once, in one pass. Word edges are read from the row itself.
bool Occurs(const HighlightRule& rule, const wchar_t* text, const wchar_t* row, size_t length) {
  size_t m = rule.length, k = 0;
  for (size_t i = 0; i < length; ++i) {
    if (k == 0) {
      if ((i = FindUnit(text, i, length, rule.search[0])) == length) return false;
      k = 1;
    } else {
      while (k > 0 && rule.search[k] != text[i]) k = rule.fail[k - 1];
      if (rule.search[k] == text[i]) ++k;
    }
    if (k < m) continue;
    size_t start = i + 1 - m;
    bool wordBefore = start > 0 && IsWordUnit(row[start - 1]), wordAfter = i + 1 < length && IsWordUnit(row[i + 1]);
    if (!rule.wholeWord || (!wordBefore && !wordAfter)) return true;
    k = rule.fail[m - 1];
  }
  return false;
}

}  // namespace

wchar_t FoldUnit(wchar_t unit) { return FoldTable()[unit]; }
bool IsWordUnit(wchar_t unit) { return iswalnum(wint_t(unit)) != 0; }

bool MakeRule(HighlightRule* rule, const wchar_t* pattern, size_t length) {
  if (length == 0 || length > kMaxPatternUnits) return false;
  wmemcpy(rule->pattern, pattern, length);
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

bool ParseRule(const wchar_t* value, HighlightRule* rule) {
  HighlightRule parsed;
  const wchar_t* at = value;
  for (; *at && *at != L'|'; ++at) {
    bool* flag = *at == L'c' ? &parsed.matchCase : *at == L'w' ? &parsed.wholeWord : *at == L'a' ? &parsed.alert : nullptr;
    if (!flag || *flag) return false;
    *flag = true;
  }
  if (*at++ != L'|' || !ParseColour(&at, &parsed.text) || !ParseColour(&at, &parsed.background) ||
      !MakeRule(&parsed, at, wcsnlen(at, kMaxPatternUnits + 1)))
    return false;
  *rule = parsed;
  return true;
}

void FormatRule(const HighlightRule& rule, wchar_t* out) {
  *out = 0;
  if (!rule.length) return;
  if (rule.matchCase) *out++ = L'c';
  if (rule.wholeWord) *out++ = L'w';
  if (rule.alert) *out++ = L'a';
  *out++ = L'|';
  out = FormatColour(rule.text, out);
  *out++ = L'|';
  out = FormatColour(rule.background, out);
  *out++ = L'|';
  wmemcpy(out, rule.pattern, rule.length + 1u);
}

bool RuleMatches(const HighlightRule& rule, const wchar_t* row, size_t length) {
  length = std::min(length, kMaxMatchUnits);
  return rule.length && Occurs(rule, rule.matchCase ? row : FoldRow(row, length), row, length);
}

// The row is folded once for all the rules that ignore case.
int MatchingRule(const wchar_t* row, size_t length) {
  length = std::min(length, kMaxRowUnits);
  const wchar_t* folded = nullptr;
  for (int slot = 0; slot < kMaxRules; ++slot) {
    const HighlightRule& rule = AppSettings.rules[slot];
    if (!rule.length) continue;
    if (!rule.matchCase && !folded) folded = FoldRow(row, length);
    if (Occurs(rule, rule.matchCase ? row : folded, row, length)) return slot;
  }
  return -1;
}

LPARAM TagNewRow(const wchar_t* row) {
  int slot = MatchingRule(row, wcsnlen(row, kMaxRowUnits));
  if (slot < 0) return 0;
  alertPending = alertPending || AppSettings.rules[slot].alert;
  return slot + 1;
}

bool TakeRuleAlert() {
  bool pending = alertPending;
  alertPending = false;
  return pending;
}

const HighlightRule* RuleOfTag(LPARAM tag) {
  return tag >= 1 && tag <= kMaxRules && AppSettings.rules[tag - 1].length ? &AppSettings.rules[tag - 1] : nullptr;
}
