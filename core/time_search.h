// Go to time over the file's bytes: a binary search on byte offsets for the
// first line stamped at or after a time, one window of the file read at each
// step. A line without a stamp belongs to the stamped line before it, so a
// step looks forward from where it lands to the next stamped line. Stamps out
// of order give whatever stamped line the search meets; it always ends.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/charset.h"
#include "core/line_starts.h"
#include "core/log_times.h"

// Bytes of a line decoded to look for its stamp: the units FindLineTime looks
// at, and a stamp starting at the last of them, in any charset.
constexpr size_t kStampBytes = 512;
// Reads one search or one look for the last stamp makes at most.
constexpr size_t kMostSearchReads = 96;

struct TimeSearch {
  ByteReader file;
  uint64_t start;    // where the first line starts: past a byte-order mark
  uint64_t end;      // the file's size when the search began
  uint32_t charset;  // as the view decodes the file
  YearHint hint;
  const CharsetConversions* system;
  uint8_t* buffer;   // the window, capacity bytes: at least 2 * kStampBytes
  size_t capacity;
  size_t reads = 0;  // made so far
};

enum class TimeFound {
  kLine,     // *lineStart: the line found
  kPastEnd,  // the file's stamps all lie before the time
  kNone,     // no stamp met, or the reads ran out
};

// The start of the first line stamped at or after wanted.
TimeFound FindLineAtTime(TimeSearch& search, int64_t wanted, uint64_t* lineStart);

// The stamp of the last stamped line within the last few windows of the file;
// false when they hold none.
bool FindLastStamp(TimeSearch& search, int64_t* time);
