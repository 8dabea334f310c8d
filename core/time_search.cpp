#include "core/time_search.h"

#include <algorithm>
#include <cstring>

namespace {

// Steps whose window held no stamped line before the search's upper bound,
// kept to come back to; deeper ones are taken as lying at the bound.
constexpr size_t kMostPendingSteps = 16;
// How far back from the end the last stamp is looked for, in steps of less
// than half a window.
constexpr size_t kLastStampWindows = 8;

uint32_t UnitAt(const uint8_t* bytes, uint32_t unit) {
  uint32_t value = 0;
  memcpy(&value, bytes, unit);
  return value;
}

struct Stamped {
  uint64_t line;
  int64_t time;
};

// What one window tells: the last stamped line earlier than the time asked
// for, and the first one at or after it, where the look stops.
struct Look {
  bool haveBefore = false, haveAfter = false;
  Stamped before{}, after{};
  uint64_t seenTo = 0;  // every line starting from the look's start up to here was looked at
};

// Reads one window and looks at the lines starting in [at, limit) in order,
// up to the first stamped at or after wanted. The window may end before limit,
// or cut a line before its stamp could be read: seenTo says how far it went.
// at lies on the file's grid, at or past the start.
Look LookAtLines(TimeSearch& s, uint64_t at, uint64_t limit, int64_t wanted) {
  uint32_t unit = CharsetUnitSize(s.charset), newline = CharsetNewlineUnit(s.charset);
  Look look;
  look.seenTo = at;
  if (s.reads >= kMostSearchReads || at >= limit) return look;
  // One unit before at tells whether a line starts right at it.
  uint64_t from = at > s.start ? at - unit : at;
  size_t wantedBytes = s.capacity - s.capacity % unit;
  ++s.reads;
  size_t got = s.file.read(s.file.context, from, s.buffer, wantedBytes);
  bool atEnd = got < wantedBytes;
  got -= got % unit;
  if (got == 0) return look;

  size_t i = 0;
  if (at > s.start) {
    while (i < got && UnitAt(s.buffer + i, unit) != newline) i += unit;
    i += unit;
  }
  uint8_t bytes[kStampBytes];
  TextUnit units[kStampBytes];
  for (;;) {
    if (i >= got || from + i >= limit) {
      look.seenTo = std::min(from + std::min<uint64_t>(i, got), limit);
      return look;
    }
    size_t next = i;
    while (next < got && UnitAt(s.buffer + next, unit) != newline) next += unit;
    size_t length = std::min(next - i, kStampBytes);
    if (next == got && !atEnd && length < kStampBytes) {  // the window cuts the line before its stamp
      look.seenTo = from + i;
      return look;
    }
    memcpy(bytes, s.buffer + i, length);
    size_t leftover = 0;
    size_t count = DecodeChunk(s.charset, bytes, length, units, &leftover, *s.system);
    int64_t time;
    if (FindLineTime(units, count, s.hint, &time)) {
      if (time >= wanted) {
        look.after = {from + i, time}, look.haveAfter = true;
        look.seenTo = from + i;
        return look;
      }
      look.before = {from + i, time}, look.haveBefore = true;
    }
    i = next + unit;
  }
}

}  // namespace

TimeFound FindLineAtTime(TimeSearch& s, int64_t wanted, uint64_t* lineStart) {
  uint32_t unit = CharsetUnitSize(s.charset);
  // The first stamped line at or after a position only moves forward as the
  // position does: with stamps in order, "stamped at or after wanted" holds
  // from some position on. lo and hi close in on it; at hi it holds (or hi is
  // the end), and the line it names there is the candidate.
  uint64_t lo = s.start, hi = s.end;
  bool haveCandidate = false, metStamp = false, lostStep = false;
  uint64_t candidate = 0;
  // A step that met no stamp within its window says nothing either way: the
  // search goes on before it, and comes back past its window when everything
  // before it turns out earlier than wanted.
  struct Pending {
    uint64_t at, seenTo, hi;
  } pending[kMostPendingSteps];
  size_t pendingCount = 0;
  while (s.reads < kMostSearchReads) {
    if (lo >= hi) {
      if (pendingCount == 0 || pending[pendingCount - 1].at != hi) break;
      const Pending& back = pending[--pendingCount];
      lo = back.seenTo, hi = back.hi;
      continue;
    }
    uint64_t at = lo;
    if (hi - lo > s.capacity) at = lo + (hi - lo) / 2, at -= at % unit;
    Look look = LookAtLines(s, at, hi, wanted);
    metStamp = metStamp || look.haveBefore || look.haveAfter;
    if (look.haveAfter) {
      candidate = look.after.line, haveCandidate = true;
      // An earlier stamp just before it in the window: it is the line sought.
      hi = look.haveBefore ? look.after.line : at;
      if (look.haveBefore) lo = hi;
    } else if (look.haveBefore) {
      lo = look.seenTo;  // all it saw is earlier
    } else if (look.seenTo >= hi) {  // nothing stamped from at up to hi: at stands where hi does
      if (pendingCount && pending[pendingCount - 1].at == hi) pending[pendingCount - 1].at = at;
      hi = at;
    } else if (at == lo) {
      if (look.seenTo <= lo) break;  // the file no longer reads there
      lo = look.seenTo;
    } else {
      if (pendingCount < kMostPendingSteps) pending[pendingCount++] = {at, look.seenTo, hi};
      else lostStep = true;
      hi = at;
    }
  }
  if (haveCandidate) {
    *lineStart = candidate;
    return TimeFound::kLine;
  }
  return metStamp && !lostStep && lo >= hi ? TimeFound::kPastEnd : TimeFound::kNone;
}

bool FindLastStamp(TimeSearch& s, int64_t* time) {
  uint32_t unit = CharsetUnitSize(s.charset);
  // Less than half a window at a time, so that every line starting in it is
  // read far enough for its stamp.
  uint64_t step = (s.capacity - kStampBytes) / 2;
  uint64_t hi = s.end;
  for (size_t window = 0; window < kLastStampWindows && hi > s.start && s.reads < kMostSearchReads; ++window) {
    uint64_t at = hi - s.start > step ? hi - step : s.start;
    at -= at % unit;
    Look look = LookAtLines(s, std::max(at, s.start), hi, INT64_MAX);
    if (look.haveBefore) {
      *time = look.before.time;
      return true;
    }
    hi = at;
  }
  return false;
}
