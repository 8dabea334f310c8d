#include "core/stored_values.h"

#include <algorithm>

void ClampStoredLimits(StoredLimits& limits) {
  if (limits.rowLength == 0) limits.rowLength = 80;
  if (limits.rowLength > kMaxRowLength) limits.rowLength = kMaxRowLength;
  if (limits.linesLimit == 0) limits.linesLimit = 2048;
  if (limits.linesLimit > kMaxLinesLimit) limits.linesLimit = kMaxLinesLimit;
  if (limits.kbLimit == 0) limits.kbLimit = 256;
  if (limits.kbLimit > kMaxKbLimit) limits.kbLimit = kMaxKbLimit;
  // The one height without a positive counterpart is as unusable as zero.
  if (limits.fontHeight == INT32_MIN) limits.fontHeight = 0;
  if (limits.fontHeight < 0) limits.fontHeight = -limits.fontHeight;
  // A zero height would let the font commands shrink it to nothing.
  if (limits.fontHeight == 0) limits.fontHeight = 13;
}

void ReadFilterSection(const TextUnit* pattern, const TextUnit* mode, uint32_t matchCase, LineFilter* filter) {
  *filter = LineFilter{};
  CopyText(filter->pattern, pattern, kFilterPatternUnits);
  filter->hide = SameTextAnyCase(mode, u"hide");
  filter->matchCase = matchCase == 1;
}

bool ParseStoredFilter(const TextUnit* value, LineFilter* filter) {
  LineFilter parsed{};
  bool show = false;
  const TextUnit* at = value;
  for (; *at && *at != u'|'; ++at) {
    bool* flag = *at == u's' ? &show : *at == u'h' ? &parsed.hide : *at == u'c' ? &parsed.matchCase
               : *at == u'r' ? &parsed.regex : nullptr;
    if (!flag || *flag) return false;
    *flag = true;
  }
  if (*at++ != u'|' || show == parsed.hide) return false;
  size_t length = TextLengthWithin(at, kFilterPatternUnits);
  if (length == 0 || length >= kFilterPatternUnits) return false;
  CopyText(parsed.pattern, at, kFilterPatternUnits);
  *filter = parsed;
  return true;
}

void FormatStoredFilter(const LineFilter& filter, TextUnit* out) {
  *out = 0;
  if (!filter.pattern[0]) return;
  *out++ = filter.hide ? u'h' : u's';
  if (filter.matchCase) *out++ = u'c';
  if (filter.regex) *out++ = u'r';
  *out++ = u'|';
  CopyText(out, filter.pattern, kFilterPatternUnits);
}

bool StoredSectionValue(const TextUnit* block, size_t units, uint32_t key, const TextUnit** value, size_t* length) {
  TextUnit name[12];
  size_t nameLength = DecimalText(key, name);
  for (size_t at = 0; at < units && block[at];) {
    const TextUnit* entry = block + at;
    const TextUnit* end = entry + TextLengthWithin(entry, units - at);
    at = size_t(end - block) + 1;
    const TextUnit* equals = std::find(entry, end, u'=');
    if (equals == end) continue;
    const TextUnit *from = entry, *to = equals;
    while (from < to && IsBlankUnit(*from)) ++from;
    while (to > from && IsBlankUnit(to[-1])) --to;
    if (size_t(to - from) != nameLength || !std::equal(from, to, name)) continue;
    from = equals + 1, to = end;
    while (from < to && IsBlankUnit(*from)) ++from;
    while (to > from && IsBlankUnit(to[-1])) --to;
    if (to - from >= 2 && (*from == u'"' || *from == u'\'') && to[-1] == *from) ++from, --to;
    *value = from, *length = size_t(to - from);
    return true;
  }
  return false;
}
