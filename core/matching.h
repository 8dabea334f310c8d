// Matching text in rows: the highlight rules, which the line filter also
// uses, and find's row test.
//
// Highlight rules: up to 32 patterns in order; the first that occurs in a row
// gives the row its text and background colours and may ask for an alert.
// Stored as "flags|RRGGBB|RRGGBB|pattern": flags any of c (match case),
// w (whole word) and a (alert), each colour six hex digits or "-" for the
// view's own, the pattern the rest (it may hold '|').
//
// A rule carries its pattern as compared and that pattern's failure table,
// so a row is matched in one pass over its units whatever the pattern: no
// pattern can make a load crawl.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"

constexpr int kMaxRules = 32;
constexpr size_t kMaxPatternUnits = 255;
constexpr size_t kRuleValueUnits = 3 + 1 + 6 + 1 + 6 + 1 + kMaxPatternUnits + 1;  // terminated
// Colours are 0x00BBGGRR; this one ("-", the platform's CLR_INVALID) is the view's own.
constexpr uint32_t kViewColour = 0xFFFFFFFF;
// The most text one match looks at: a row, or the start of a line the filter
// decides on.
constexpr size_t kMaxMatchUnits = 65536;

struct HighlightRule {
  uint16_t length = 0;  // pattern units; 0 for no rule
  bool matchCase = false, wholeWord = false, alert = false;
  uint32_t text = kViewColour, background = kViewColour;
  TextUnit pattern[kMaxPatternUnits + 1] = {};
  // Made by MakeRule: the pattern as rows are compared with it, folded unless
  // matchCase, and for each prefix the longest proper prefix that ends it.
  TextUnit search[kMaxPatternUnits] = {};
  uint16_t fail[kMaxPatternUnits] = {};
};

// Sets the pattern and what is derived from it and matchCase, which must be
// set first; false for an empty or over-long pattern.
bool MakeRule(HighlightRule* rule, const TextUnit* pattern, size_t length);
// A stored value (terminated) as a rule; false, leaving rule alone, when it is none.
bool ParseRule(const TextUnit* value, HighlightRule* rule);
// The stored form, kRuleValueUnits at most; an empty string for no rule.
void FormatRule(const HighlightRule& rule, TextUnit* out);

// Whether the pattern occurs in the first kMaxMatchUnits of the text; with
// wholeWord, any occurrence with no letter or digit on either side.
bool RuleMatches(const HighlightRule& rule, const TextUnit* row, size_t length);
// The slot of the first of the kMaxRules rules that matches the row (its first
// kMaxMatchUnits), or -1.
int MatchingRule(const HighlightRule* rules, const TextUnit* row, size_t length);

// Find's row test: whether a row holds the text, compared one unit at a time,
// folded unless matchCase; with wholeWord only the first occurrence counts,
// and it must have no letter or digit on either side.
bool RowMatches(const TextUnit* row, size_t rowLength, const TextUnit* text, bool matchCase, bool wholeWord);
