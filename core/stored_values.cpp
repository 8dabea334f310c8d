#include "core/stored_values.h"

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
