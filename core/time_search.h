// Go to time over the file's bytes: a binary search on byte offsets for the
// first line stamped at or after a time. A line without a stamp belongs to the
// stamped line before it, so each step reads on from where it lands to the
// next stamped line, past lines longer than its window. Stamps out of order
// give whatever stamped line the search meets; it always ends.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/charset.h"
#include "core/line_starts.h"
#include "core/log_times.h"

// Bytes of a line decoded to look for its stamp: the units FindLineTime looks
// at, and a stamp starting at the last of them, in any charset.
constexpr size_t kStampBytes = 512;
// The steps of one search, or the windows of one look for the last stamp.
constexpr size_t kMostSearchReads = 96;
// How far a step reads on for a stamped line, and the search's last scan
// forward: a stamped line and the unstamped ones after it take less.
constexpr uint64_t kMostLineBytes = uint64_t(64) << 20;

struct TimeSearch {
  ByteReader file;
  uint64_t start;    // where the first line starts: past a byte-order mark
  uint64_t end;      // the file's size when the search began
  uint32_t charset;  // as the view decodes the file
  YearHint hint;
  const CharsetConversions* system;
  uint8_t* buffer;   // the window, capacity bytes: at least 2 * kStampBytes
  size_t capacity;
  size_t reads = 0;    // the steps' first windows so far
  size_t readsOn = 0;  // the windows read on after them, and the last scan's
  size_t mostReads = kMostSearchReads;
  uint64_t mostLineBytes = kMostLineBytes;
  // Times as a merged view orders them (MergeMilliseconds: UTC where a stamp
  // has a zone), wanted given so too; else TimeKeys as written.
  bool merged = false;
};

enum class TimeFound {
  kLine,     // *lineStart: the line found
  kPastEnd,  // the file's stamps all lie before the time
  kNone,     // no stamp met, or the line lies further than the search reads
};

// The start of the first line stamped at or after wanted, in a file whose
// stamps are in order: mostReads steps of a binary search, then a scan
// forward from where it got to; either reads on at most mostLineBytes at a
// time. What lies further gives kNone, never another line.
TimeFound FindLineAtTime(TimeSearch& search, int64_t wanted, uint64_t* lineStart);

// The stamp of the last stamped line within the last few windows of the file;
// false when they hold none.
bool FindLastStamp(TimeSearch& search, int64_t* time);
