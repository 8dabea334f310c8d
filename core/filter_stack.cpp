#include "core/filter_stack.h"

#include <algorithm>

void ClearFilterStack(FilterStack* stack) {
  for (Regex*& regex : stack->regexes) FreeRegex(regex), regex = nullptr;
  for (uint32_t& hits : stack->boundHits) hits = 0;
  stack->count = 0;
  stack->anyShow = false;
}

void BuildFilterStack(FilterStack* stack, const LineFilters& filters, LineFilters* accepted, bool paced) {
  ClearFilterStack(stack);
  if (accepted) accepted->count = 0;
  for (int i = 0; i < std::clamp(filters.count, 0, kMaxFilters); ++i) {
    LineFilter taken = filters.items[i];
    taken.pattern[kFilterPatternUnits - 1] = u'\0';
    size_t length = TextLength(taken.pattern);
    int slot = stack->count;
    HighlightRule& rule = stack->rules[slot];
    rule = HighlightRule{};
    rule.matchCase = taken.matchCase;
    if (taken.regex) {
      // One that does not compile is no filter, as one without a pattern.
      Regex*& regex = stack->regexes[slot];
      regex = length ? CompileRegex(taken.pattern, length, taken.matchCase, false, nullptr, paced) : nullptr;
      if (!regex) continue;
    } else if (!MakeRule(&rule, taken.pattern, length)) {
      continue;
    }
    stack->hide[slot] = taken.hide;
    stack->anyShow = stack->anyShow || !taken.hide;
    if (accepted) accepted->items[accepted->count++] = taken;
    ++stack->count;
  }
}

namespace {

RegexSearch FilterMatches(FilterStack* stack, int index, const TextUnit* line, size_t length, bool countBounds,
                          const RegexPace* pace) {
  if (!stack->regexes[index])
    return RuleMatches(stack->rules[index], line, length) ? RegexSearch::kMatch : RegexSearch::kNoMatch;
  Regex* regex = stack->regexes[index];
  RegexSearch found = pace ? SearchRegexPaced(regex, line, length, 0, nullptr, *pace)
                           : SearchRegex(regex, line, length, 0, nullptr);
  if (found == RegexSearch::kBoundHit && countBounds) ++stack->boundHits[index];
  return found;
}

}  // namespace

bool FilterStackPasses(FilterStack* stack, const TextUnit* line, size_t length, bool countBounds,
                       const RegexPace* pace) {
  bool shown = !stack->anyShow;
  for (int i = 0; i < stack->count; ++i) {
    bool hide = stack->hide[i];
    if (shown && !hide) continue;  // another show filter cannot change the verdict
    RegexSearch found = FilterMatches(stack, i, line, length, countBounds, pace);
    if (found == RegexSearch::kStopped) return false;
    if (found != RegexSearch::kMatch) continue;
    if (hide) return false;
    shown = true;
  }
  return shown;
}
