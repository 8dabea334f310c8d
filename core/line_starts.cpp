#include "core/line_starts.h"

#include <algorithm>
#include <cstring>

#include "core/charset.h"

uint32_t UnitAt(const uint8_t* bytes, uint32_t unit) {
  uint32_t value = 0;
  memcpy(&value, bytes, unit);
  return value;
}

size_t CountNewlines(const uint8_t* bytes, size_t count, uint32_t unit, uint32_t newline) {
  if (unit == 1) return size_t(std::count(bytes, bytes + count, uint8_t(newline)));
  size_t found = 0;
  for (size_t i = 0; i + unit <= count; i += unit) found += UnitAt(bytes + i, unit) == newline;
  return found;
}

uint64_t FindFirstWholeLine(const ByteReader& file, uint64_t start, uint32_t charset, uint8_t* buffer,
                            size_t capacity) {
  uint32_t unit = CharsetUnitSize(charset);
  uint32_t newline = CharsetNewlineUnit(charset);
  // Whole units per read: a full read never ends inside a unit.
  size_t wanted = capacity - capacity % unit;
  uint64_t position = start;
  for (;;) {
    size_t got = wanted ? file.read(file.context, position, buffer, wanted) : 0;
    if (got == 0) return position;
    for (size_t i = 0; i + unit <= got; i += unit)
      if (UnitAt(buffer + i, unit) == newline) return position + i + unit;
    // A partial unit ends the data; the search ends before it, on the grid.
    if (got % unit) return position + got - got % unit;
    position += got;
  }
}

constexpr size_t kWalkBlockBytes = 1024;

uint64_t StartOfLastLines(const ByteReader& file, uint64_t floor, uint64_t end, uint32_t charset, size_t lines,
                          uint8_t* buffer, size_t capacity) {
  uint32_t unit = CharsetUnitSize(charset);
  uint32_t newline = CharsetNewlineUnit(charset);
  uint64_t position = end - end % unit;
  size_t found = 0;
  while (position > floor) {
    uint64_t from = position - std::min<uint64_t>(capacity, position - floor);
    from += (unit - from % unit) % unit;
    if (from >= position) break;
    size_t wanted = size_t(position - from);
    if (file.read(file.context, from, buffer, wanted) != wanted) return floor;
    // Most chunks lie wholly within the lines wanted: counted at once, only
    // the chunk holding the start is walked unit by unit.
    size_t here = CountNewlines(buffer, wanted, unit, newline);
    if (found + here <= lines) {
      found += here;
      position = from;
      continue;
    }
    // That chunk too is counted a block at a time from its end; only the
    // block holding the start is walked.
    for (size_t i = wanted; i >= unit;) {
      size_t block = i > kWalkBlockBytes ? i - kWalkBlockBytes : 0;
      block += (unit - block % unit) % unit;
      size_t inBlock = CountNewlines(buffer + block, i - block, unit, newline);
      if (found + inBlock <= lines) {
        found += inBlock;
        i = block;
        continue;
      }
      for (; i >= block + unit; i -= unit)
        if (UnitAt(buffer + i - unit, unit) == newline && ++found > lines) return from + i;
    }
    position = from;
  }
  return floor;
}

uint64_t SkipLines(const ByteReader& file, uint64_t from, uint32_t charset, uint64_t lines, uint8_t* buffer,
                   size_t capacity) {
  uint32_t unit = CharsetUnitSize(charset);
  uint32_t newline = CharsetNewlineUnit(charset);
  size_t wanted = capacity - capacity % unit;
  uint64_t position = from;
  while (lines > 0) {
    size_t got = wanted ? file.read(file.context, position, buffer, wanted) : 0;
    size_t whole = got - got % unit;
    if (whole == 0) return position;
    size_t here = CountNewlines(buffer, whole, unit, newline);
    if (here < lines) {
      lines -= here;
      position += whole;
      if (whole < got || got < wanted) return position;
      continue;
    }
    // Counted a block at a time; only the block holding the end is walked.
    for (size_t i = 0; i < whole;) {
      size_t blockEnd = std::min(whole, i + kWalkBlockBytes);
      size_t inBlock = CountNewlines(buffer + i, blockEnd - i, unit, newline);
      if (inBlock < lines) {
        lines -= inBlock;
        i = blockEnd;
        continue;
      }
      for (; i < blockEnd; i += unit)
        if (UnitAt(buffer + i, unit) == newline && --lines == 0) return position + i + unit;
    }
  }
  return position;
}

uint64_t CountLineBreaks(const ByteReader& file, uint64_t from, uint64_t to, uint32_t charset, uint8_t* buffer,
                         size_t capacity) {
  uint32_t unit = CharsetUnitSize(charset);
  uint32_t newline = CharsetNewlineUnit(charset);
  size_t wanted = capacity - capacity % unit;
  uint64_t found = 0;
  while (from < to && wanted) {
    size_t got = file.read(file.context, from, buffer, size_t(std::min<uint64_t>(wanted, to - from)));
    size_t whole = got - got % unit;
    if (whole == 0) break;
    found += CountNewlines(buffer, whole, unit, newline);
    from += whole;
  }
  return found;
}
