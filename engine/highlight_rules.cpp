#include "engine/highlight_rules.h"

#include <algorithm>

#include "core/rows.h"
#include "engine/engine_host.h"

namespace {

bool alertPending = false;
const HighlightRule kNoRules[kMaxRules];

const HighlightRule* takenRules = nullptr;  // as the settings stood at the last poll

const HighlightRule* Rules() { return takenRules ? takenRules : kNoRules; }

}  // namespace

void TakeRules(const HighlightRule* rules) { takenRules = rules; }

int MatchingRule(const wchar_t* row, size_t length) {
  return MatchingRule(Rules(), AsText(row), std::min(length, kMaxRowUnits));
}

LPARAM TagNewRow(const TextUnit* row) {
  const HighlightRule* rules = Rules();
  int slot = MatchingRule(rules, row, TextLengthWithin(row, kMaxRowUnits));
  if (slot < 0) return 0;
  alertPending = alertPending || rules[slot].alert;
  return slot + 1;
}

bool TakeRuleAlert() {
  bool pending = alertPending;
  alertPending = false;
  return pending;
}

const HighlightRule* RuleOfTag(LPARAM tag) {
  const HighlightRule* rules = Rules();
  return tag >= 1 && tag <= kMaxRules && rules[tag - 1].length ? &rules[tag - 1] : nullptr;
}
