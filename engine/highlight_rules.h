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
#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr int kMaxRules = 32;
constexpr size_t kMaxPatternUnits = 255;
constexpr size_t kRuleValueUnits = 3 + 1 + 6 + 1 + 6 + 1 + kMaxPatternUnits + 1;  // terminated
constexpr COLORREF kViewColour = CLR_INVALID;  // "-"
// The most text one match looks at: a row, or the start of a line the filter
// decides on.
constexpr size_t kMaxMatchUnits = 65536;

struct HighlightRule {
  uint16_t length = 0;  // pattern units; 0 for no rule
  bool matchCase = false, wholeWord = false, alert = false;
  COLORREF text = kViewColour, background = kViewColour;
  wchar_t pattern[kMaxPatternUnits + 1] = {};
  // Made by MakeRule: the pattern as rows are compared with it, folded unless
  // matchCase, and for each prefix the longest proper prefix that ends it.
  wchar_t search[kMaxPatternUnits] = {};
  uint16_t fail[kMaxPatternUnits] = {};
};

// Unit comparison shared with Find: case folding by table, word units.
wchar_t FoldUnit(wchar_t unit);
bool IsWordUnit(wchar_t unit);

// Sets the pattern and what is derived from it and matchCase, which must be
// set first; false for an empty or over-long pattern.
bool MakeRule(HighlightRule* rule, const wchar_t* pattern, size_t length);
// A stored value (terminated) as a rule; false, leaving rule alone, when it is none.
bool ParseRule(const wchar_t* value, HighlightRule* rule);
// The stored form, kRuleValueUnits at most; an empty string for no rule.
void FormatRule(const HighlightRule& rule, wchar_t* out);

// Whether the pattern occurs in the first kMaxMatchUnits of the text; with
// wholeWord, any occurrence with no letter or digit on either side.
bool RuleMatches(const HighlightRule& rule, const wchar_t* row, size_t length);

// The slot of the first of AppSettings.rules that matches, or -1.
int MatchingRule(const wchar_t* row, size_t length);
// Item data of a row entering the view: its rule's slot + 1, or 0. An alert
// rule's match is noted for the end of the poll.
LPARAM TagNewRow(const wchar_t* row);
bool TakeRuleAlert();
// The rule of a row's item data; null for none.
const HighlightRule* RuleOfTag(LPARAM tag);
