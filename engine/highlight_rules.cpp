#include "engine/highlight_rules.h"

#include <algorithm>

#include "core/rows.h"
#include "engine/engine_host.h"

namespace {

bool alertPending = false;
// As the settings stood at the last poll, regular expressions compiled.
PreparedRules takenRules;

}  // namespace

void TakeRules(const HighlightRule* rules) { PrepareRules(&takenRules, rules); }

// Rows tagged again are not counted again.
int MatchingRule(const wchar_t* row, size_t length) {
  return MatchingRule(&takenRules, AsText(row), std::min(length, kMaxRowUnits), false);
}

LPARAM TagNewRow(const TextUnit* row) {
  int slot = MatchingRule(&takenRules, row, TextLengthWithin(row, kMaxRowUnits), true);
  if (slot < 0) return 0;
  alertPending = alertPending || takenRules.rules[slot].alert;
  return slot + 1;
}

bool TakeRuleAlert() {
  bool pending = alertPending;
  alertPending = false;
  return pending;
}

bool AnyRules() {
  for (LPARAM tag = 1; tag <= kMaxRules; ++tag)
    if (RuleOfTag(tag)) return true;
  return false;
}

const HighlightRule* RuleOfTag(LPARAM tag) {
  const HighlightRule* rules = takenRules.rules;
  return rules && tag >= 1 && tag <= kMaxRules && rules[tag - 1].length ? &rules[tag - 1] : nullptr;
}

uint32_t RuleBoundHits(const HighlightRule& rule) { return BoundHitsOf(takenRules, rule); }

uint32_t BoundHitRows() { return AllBoundHits(takenRules); }
