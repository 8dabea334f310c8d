#include "core/time_search.h"

#include <algorithm>
#include <cstring>

#include "core/merge_order.h"

namespace {

// How far back from the end the last stamp is looked for, in steps of less
// than half a window.
constexpr size_t kLastStampWindows = 8;

// Where the first line break at or after i lies in bytes[0..got), got for none.
size_t NextNewline(const uint8_t* bytes, size_t i, size_t got, uint32_t unit, uint32_t newline) {
  if (unit == 1) {
    const void* found = memchr(bytes + i, int(newline), got - i);
    return found ? size_t(static_cast<const uint8_t*>(found) - bytes) : got;
  }
  while (i < got && UnitAt(bytes + i, unit) != newline) i += unit;
  return i;
}

struct Stamped {
  uint64_t line;
  int64_t time;
};

// What a look tells: the last stamped line earlier than the time asked for,
// and the first one at or after it, where the look stops.
struct Look {
  bool haveBefore = false, haveAfter = false;
  Stamped before{}, after{};
  uint64_t seenTo = 0;  // every line starting from the look's start up to here was looked at
};

enum class ReadOn {
  kToStamp,  // a step: to the end of the first window that holds a stamped line
  kToTime,   // the last scan: to the first line stamped at or after the time
};

// Looks at the lines starting in [at, limit) in order, up to the first stamped
// at or after wanted, a window at a time. A step's first window counts in
// reads; the windows after it, and all of the last scan's, in readsOn, read
// only while they start less than mostLineBytes past at. seenTo falls short
// of limit when that bound stops the look, or the file no longer reads there.
// at lies on the file's grid, at or past the start, before limit.
Look LookAtLines(TimeSearch& s, uint64_t at, uint64_t limit, int64_t wanted, ReadOn readOn) {
  uint32_t unit = CharsetUnitSize(s.charset), newline = CharsetNewlineUnit(s.charset);
  size_t wantedBytes = s.capacity - s.capacity % unit;
  Look look;
  look.seenTo = at;
  // One unit before at tells whether a line starts right at it.
  uint64_t from = at > s.start ? at - unit : at;
  bool inLine = at > s.start;  // from lies within a line that started earlier
  uint8_t bytes[kStampBytes];
  TextUnit units[kStampBytes];
  for (bool first = readOn == ReadOn::kToStamp;; first = false) {
    if (from >= limit) {
      look.seenTo = limit;
      return look;
    }
    if (first) ++s.reads;
    else if (from >= at && from - at >= s.mostLineBytes) return look;
    else ++s.readsOn;
    size_t got = s.file.read(s.file.context, from, s.buffer, wantedBytes);
    bool atEnd = got < wantedBytes;
    uint64_t dataEnd = from + got;
    got -= got % unit;
    size_t i = 0;
    if (inLine) {
      i = NextNewline(s.buffer, 0, got, unit, newline);
      if (i < got) i += unit, inLine = false;
    }
    while (!inLine && i < got) {
      uint64_t line = from + i;
      if (line >= limit) {
        look.seenTo = limit;
        return look;
      }
      size_t next = NextNewline(s.buffer, i, got, unit, newline);
      size_t length = std::min(next - i, kStampBytes);
      if (next == got && !atEnd && length < kStampBytes) break;  // the window cuts the line before its stamp
      memcpy(bytes, s.buffer + i, length);
      size_t leftover = 0;
      size_t count = DecodeChunk(s.charset, bytes, length, units, &leftover, *s.system);
      int64_t time;
      int32_t zone = kNoZone;
      if (FindLineTime(units, count, s.hint, &time, nullptr, &zone)) {
        if (s.merged) time = MergeMilliseconds(time, zone);
        if (time >= wanted) {
          look.after = {line, time}, look.haveAfter = true;
          look.seenTo = line;
          return look;
        }
        look.before = {line, time}, look.haveBefore = true;
      }
      if (next == got) inLine = true;  // it goes on past the window
      i = next == got ? got : next + unit;
    }
    if (atEnd) {  // every line the file holds was looked at
      look.seenTo = std::clamp(dataEnd, at, limit);
      return look;
    }
    uint64_t reached = from + i;  // where a line starts, or within one that goes on
    look.seenTo = std::clamp(reached, at, limit);
    if ((readOn == ReadOn::kToStamp && look.haveBefore) || reached <= from) return look;
    from = reached;
  }
}

}  // namespace

TimeFound FindLineAtTime(TimeSearch& s, int64_t wanted, uint64_t* lineStart) {
  uint32_t unit = CharsetUnitSize(s.charset);
  // With stamps in order, "the first stamped line at or after here is at or
  // after wanted" holds from some position on. lo and hi close in on it:
  // every stamped line before lo is earlier than wanted, and after tells what
  // the first stamped line at or after hi is.
  enum class After { kNothing, kCandidate, kUnknown };
  uint64_t lo = s.start, hi = s.end, candidate = 0;
  After after = After::kNothing;
  bool metStamp = false;
  while (lo < hi && s.reads < s.mostReads) {
    uint64_t at = lo;
    if (hi - lo > s.capacity) at = lo + (hi - lo) / 2, at -= at % unit;
    Look look = LookAtLines(s, at, hi, wanted, ReadOn::kToStamp);
    metStamp = metStamp || look.haveBefore || look.haveAfter;
    if (look.haveAfter) {
      candidate = look.after.line, after = After::kCandidate;
      // An earlier stamp before it in the look: it is the line sought.
      hi = look.haveBefore ? look.after.line : at;
      if (look.haveBefore) lo = hi;
    } else if (look.haveBefore) {
      lo = look.seenTo;  // all it saw is earlier
    } else if (look.seenTo >= hi) {
      hi = at;  // nothing stamped from at up to hi: at stands where hi does
    } else if (at == lo) {
      if (look.seenTo <= lo) break;  // the file no longer reads there
      lo = look.seenTo;
    } else {
      hi = at, after = After::kUnknown;  // no stamped line within the bound
    }
  }
  // The steps ran out before closing in: the lines from lo on, one by one.
  if (lo < hi) {
    Look scan = LookAtLines(s, lo, hi, wanted, ReadOn::kToTime);
    if (scan.haveAfter) {
      *lineStart = scan.after.line;
      return TimeFound::kLine;
    }
    metStamp = metStamp || scan.haveBefore;
    if (scan.seenTo < hi) return TimeFound::kNone;
  }
  if (after == After::kCandidate) {
    *lineStart = candidate;
    return TimeFound::kLine;
  }
  return after == After::kNothing && metStamp ? TimeFound::kPastEnd : TimeFound::kNone;
}

bool FindLastStamp(TimeSearch& s, int64_t* time) {
  uint32_t unit = CharsetUnitSize(s.charset);
  // Less than half a window at a time, so that every line starting in it is
  // read far enough for its stamp.
  uint64_t step = (s.capacity - kStampBytes) / 2;
  uint64_t hi = s.end;
  for (size_t window = 0; window < kLastStampWindows && hi > s.start && s.reads < s.mostReads; ++window) {
    uint64_t at = hi - s.start > step ? hi - step : s.start;
    at -= at % unit;
    Look look = LookAtLines(s, std::max(at, s.start), hi, INT64_MAX, ReadOn::kToStamp);
    if (look.haveBefore) {
      *time = look.before.time;
      return true;
    }
    hi = at;
  }
  return false;
}
