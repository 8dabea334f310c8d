// The host's highlight rules on the rows entering the view: each row's
// rule is found once and kept as its item data.
#pragma once
#include <windows.h>

#include "core/matching.h"
#include "engine/wide_text.h"

// The host's kMaxRules slots (null: none), taken with its options at each poll:
// rows are tagged and drawn without asking the host again. Regular expressions
// are compiled here, again only when a slot's pattern or flags changed.
void TakeRules(const HighlightRule* rules);
// The slot of the first of the host's rules that matches, or -1.
int MatchingRule(const wchar_t* row, size_t length);
// Item data of a row entering the view: its rule's slot + 1, or 0. An alert
// rule's match is noted for the end of the poll.
LPARAM TagNewRow(const TextUnit* row);
bool TakeRuleAlert();
// Whether any slot holds a rule: without one, every row's tag is 0.
bool AnyRules();
// The rule of a row's item data; null for none.
const HighlightRule* RuleOfTag(LPARAM tag);
// A row's tag not known yet: it is found when the row is drawn.
constexpr LPARAM kUntaggedRow = 0x7FFF;
// Rows entering the view whose search stopped at the bound of the taken rule
// like this one (same pattern and flags), since it was taken; of all rules.
uint32_t RuleBoundHits(const HighlightRule& rule);
uint32_t BoundHitRows();
