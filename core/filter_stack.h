// The line filters made ready to decide on lines: each plain pattern with its
// failure table, each regular expression compiled. The stack holds its own
// compiled code and match data, so a thread with a stack of its own decides
// exactly as the row builder does, alongside it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/matching.h"
#include "core/regex.h"
#include "core/rows.h"

struct FilterStack {
  int count = 0;
  bool anyShow = false;
  bool hide[kMaxFilters] = {};
  HighlightRule rules[kMaxFilters];   // each plain filter's pattern made ready for matching
  Regex* regexes[kMaxFilters] = {};   // each regular expression's code, else null
  uint32_t boundHits[kMaxFilters] = {};  // lines too costly for a filter's regular expression
};

// Frees what the stack held and makes it the filters that have a pattern (and,
// for a regular expression, one that compiles), as many as fit, in their
// order; those taken are copied to accepted when given. paced: the regular
// expressions made for a scan's pace (core/regex.h), as find's worker uses them.
void BuildFilterStack(FilterStack* stack, const LineFilters& filters, LineFilters* accepted, bool paced = false);
void ClearFilterStack(FilterStack* stack);
// Whether the line becomes rows: no hiding filter matches it and, if any
// filter shows, one showing filter does. A regular expression that stops at
// its bound does not match; with countBounds the line is counted. With pace
// (core/regex.h) the regular expressions ask it; stopped, the line does not pass.
bool FilterStackPasses(FilterStack* stack, const TextUnit* line, size_t length, bool countBounds,
                       const RegexPace* pace = nullptr);
