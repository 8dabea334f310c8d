// Values other programs may have left in the registry or a file's properties
// stream, made into what the program can hold: the size limits and the view
// font's height, and the line filter's section.
#pragma once
#include <cstdint>

#include "core/rows.h"
#include "core/text.h"

// Limits the engine relies on, whatever the registry holds.
constexpr uint32_t kMaxRowLength = kMaxRowUnits;
constexpr uint32_t kMaxLinesLimit = 65535;
constexpr uint32_t kMaxKbLimit = 65535;

struct StoredLimits {
  uint32_t rowLength, linesLimit, kbLimit;
  int32_t fontHeight;  // the view font's, in pixels; stored negative as often as not
};
// Zero limits take their defaults, larger ones the most the engine holds; the
// font height becomes positive and never zero.
void ClampStoredLimits(StoredLimits& limits);

// The one filter an older version kept in section "Filter": its "Mode"
// ("hide" in any case hides, anything else shows) and "Case" (1 matches
// case) as read from the stream, with its pattern.
void ReadFilterSection(const TextUnit* pattern, const TextUnit* mode, uint32_t matchCase, LineFilter* filter);

// A filter of section "Filters": "flags|pattern", the flags in any order, s
// (show) or h (hide), c (match case), r (regular expression); the pattern the
// rest, which may hold '|'. False, leaving filter alone, when it is none.
constexpr size_t kFilterValueUnits = 4 + 1 + kFilterPatternUnits;  // terminated
bool ParseStoredFilter(const TextUnit* value, LineFilter* filter);
// The stored form, kFilterValueUnits at most; empty for a filter without pattern.
void FormatStoredFilter(const LineFilter& filter, TextUnit* out);

// Key key's value in a section as read whole ("key=value" entries, each ended
// by a NUL, then a second NUL), as a read of that key alone gives it: the
// first entry of the key, blanks around key and value dropped, and a pair of
// like quotes around the value too. False when no entry has the key.
bool StoredSectionValue(const TextUnit* block, size_t units, uint32_t key, const TextUnit** value, size_t* length);
