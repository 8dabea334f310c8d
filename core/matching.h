// Matching text in rows: the highlight rules, which the line filter also
// uses, and find's row test.
//
// Highlight rules: up to 32 patterns in order; the first that occurs in a row
// gives the row its text and background colours and may ask for an alert.
// Stored as "flags|RRGGBB|RRGGBB|pattern": flags any of c (match case),
// w (whole word), a (alert) and r (the pattern is a regular expression), each
// colour six hex digits or "-" for the view's own, the pattern the rest (it
// may hold '|').
//
// A plain rule carries its pattern as compared and that pattern's failure
// table, so a row is matched in one pass over its units whatever the pattern:
// no pattern can make a load crawl. A regular expression is compiled where
// many rows are matched (PreparedRules) and stops at a bound (core/regex.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/regex.h"
#include "core/text.h"

constexpr int kMaxRules = 32;
constexpr size_t kMaxPatternUnits = 255;
constexpr size_t kRuleValueUnits = 4 + 1 + 6 + 1 + 6 + 1 + kMaxPatternUnits + 1;  // all four flags, terminated
// Colours are 0x00BBGGRR; this one ("-", the platform's CLR_INVALID) is the view's own.
constexpr uint32_t kViewColour = 0xFFFFFFFF;
// The most text one match looks at: a row, or the start of a line the filter
// decides on.
constexpr size_t kMaxMatchUnits = 65536;

struct HighlightRule {
  uint16_t length = 0;  // pattern units; 0 for no rule
  bool matchCase = false, wholeWord = false, alert = false, regex = false;
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
// A stored value (terminated) as a rule; false, leaving rule alone, when it is
// none, which includes a regular expression that does not compile.
bool ParseRule(const TextUnit* value, HighlightRule* rule);
// The stored form, kRuleValueUnits at most; an empty string for no rule.
void FormatRule(const HighlightRule& rule, TextUnit* out);

// Whether the pattern occurs in the first kMaxMatchUnits of the text; with
// wholeWord, any occurrence with no letter or digit on either side. False for
// a regular expression: it is matched through PreparedRules.
bool RuleMatches(const HighlightRule& rule, const TextUnit* row, size_t length);

// Rules made ready for many rows. Each regular expression is compiled once
// and kept while a slot holds the same pattern and flags, with the count of
// rows whose search stopped at the bound.
struct PreparedRegex {
  Regex* regex = nullptr;  // null: none, or the pattern did not compile
  uint32_t boundHits = 0;
  // What it was compiled from; length 0 when the slot holds no regex rule.
  uint16_t length = 0;
  bool matchCase = false, wholeWord = false;
  TextUnit pattern[kMaxPatternUnits] = {};
};
struct PreparedRules {
  const HighlightRule* rules = nullptr;  // kMaxRules slots, as last prepared
  PreparedRegex regexes[kMaxRules];
};

// Takes the rules (kMaxRules slots, or null for none) for the rows to come.
// Only what changed is compiled: a rule that moved to another slot keeps its
// code and count; code no slot holds any more is freed. Cheap when nothing
// changed, as at every poll.
void PrepareRules(PreparedRules* prepared, const HighlightRule* rules);
// The slot of the first rule that matches the row (its first kMaxMatchUnits),
// or -1. A regular expression that stopped at the bound does not match; with
// countBounds the row is counted in that rule's boundHits.
int MatchingRule(PreparedRules* prepared, const TextUnit* row, size_t length, bool countBounds);
// How many rows stopped at the bound of the prepared rule like this one
// (same pattern and flags); 0 when none is.
uint32_t BoundHitsOf(const PreparedRules& prepared, const HighlightRule& rule);
// Rows that stopped at the bound, over all prepared rules.
uint32_t AllBoundHits(const PreparedRules& prepared);

// Find's row test: whether a row holds the text, compared one unit at a time,
// folded unless matchCase; with wholeWord only the first occurrence counts,
// and it must have no letter or digit on either side. A text longer than
// kMaxPatternUnits (find takes 255 units) is in no row.
bool RowMatches(const TextUnit* row, size_t rowLength, const TextUnit* text, bool matchCase, bool wholeWord);
// The same test in one pass over the row, its text made ready once as a rule
// (MakeRule, with matchCase and wholeWord set): where the occurrence the
// verdict rests on starts, kNoOccurrence when the row does not match. From
// from on only, the units before it still telling a word's edge.
constexpr size_t kNoOccurrence = ~size_t(0);
size_t RowMatchStart(const HighlightRule& text, const TextUnit* row, size_t rowLength, size_t from = 0);
// The last such occurrence that starts before `before` (with wholeWord, the
// first occurrence is the only one that counts).
size_t RowLastMatchStart(const HighlightRule& text, const TextUnit* row, size_t rowLength, size_t before);
