// Where a load starts: the core's scans, read through a buffer of random
// capacity, against a plain walk over all the bytes one unit at a time.
#include <cstring>

#include "core/line_starts.h"
#include "fuzz/stand_in.h"

namespace {

bool IsNewline(const Bytes& file, uint64_t at, uint32_t unit, uint32_t newline) {
  uint32_t value = 0;
  memcpy(&value, file.data + at, unit);
  return value == newline;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  const uint32_t charsets[] = {kCharsetUtf8, kCharsetAnsi, kCharsetUtf16Le, kCharsetUtf16Be, kCharsetUtf32Le,
                               kCharsetUtf32Be};
  uint32_t charset = charsets[input.Byte() % 6];
  size_t lines = input.Byte();
  size_t capacity = 4 + input.Byte();
  uint8_t floorPick = input.Byte(), endPick = input.Byte();
  Bytes file{input.data, input.size};
  uint64_t end = file.size - endPick % (file.size + 1);
  uint64_t floor = floorPick % (end + 1);
  uint32_t unit = CharsetUnitSize(charset), newline = CharsetNewlineUnit(charset);
  uint8_t buffer[260];
  ByteReader reader = file.Reader();

  // Backwards from the end on the file's grid: just past the line break
  // before the last `lines` breaks, or the floor.
  uint64_t expected = floor;
  size_t found = 0;
  for (uint64_t at = end - end % unit; at >= unit && at - unit >= floor; at -= unit) {
    if (IsNewline(file, at - unit, unit, newline) && ++found > lines) {
      expected = at;
      break;
    }
  }
  uint64_t start = StartOfLastLines(reader, floor, end, charset, lines, buffer, capacity);
  if (start != expected) __builtin_trap();
  // A chunk larger than the blocks its walk counts at once.
  static uint8_t large[8192];
  if (StartOfLastLines(reader, floor, end, charset, lines, large, sizeof large) != expected) __builtin_trap();
  // It begins a whole line and holds at most `lines` breaks after it, counted
  // on the file's grid (a floor may lie off it).
  if (start > floor && !IsNewline(file, start - unit, unit, newline)) __builtin_trap();
  uint64_t first = start + (unit - start % unit) % unit, last = end - end % unit;
  if (first < last && CountNewlines(file.data + first, size_t(last - first), unit, newline) > lines) __builtin_trap();

  // Forwards from floor in whole units: just past the first break, or the
  // end of the data on that grid.
  expected = floor >= file.size ? floor : floor + (file.size - floor) / unit * unit;
  for (uint64_t at = floor; at + unit <= file.size; at += unit) {
    if (IsNewline(file, at, unit, newline)) {
      expected = at + unit;
      break;
    }
  }
  if (FindFirstWholeLine(reader, floor, charset, buffer, capacity) != expected) __builtin_trap();

  // Browsing's scans from floor in whole units: past `lines` breaks, or the
  // end of the data on that grid; and the breaks counted up to end.
  expected = floor >= file.size ? floor : floor + (file.size - floor) / unit * unit;
  found = 0;
  for (uint64_t at = floor; lines > 0 && at + unit <= file.size; at += unit) {
    if (IsNewline(file, at, unit, newline) && ++found == lines) {
      expected = at + unit;
      break;
    }
  }
  if (lines == 0) expected = floor;
  if (SkipLines(reader, floor, charset, lines, buffer, capacity) != expected ||
      SkipLines(reader, floor, charset, lines, large, sizeof large) != expected)
    __builtin_trap();
  uint64_t breaks = 0;
  for (uint64_t at = floor; at + unit <= end; at += unit) breaks += IsNewline(file, at, unit, newline);
  if (CountLineBreaks(reader, floor, end, charset, buffer, capacity) != breaks) __builtin_trap();
  return 0;
}
