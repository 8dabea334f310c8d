// Stamps found in any line, and any text typed as the time to go to: nothing
// is read beyond the text, and a time found always stands for a valid clock.
// The same bytes as a file searched for a time: the search ends within its
// reads and names the start of a line stamped at or after the time.
#include <cstring>
#include <vector>

#include "core/log_times.h"
#include "core/time_search.h"
#include "fuzz/stand_in.h"

const int64_t kDay = TimeKey(0, 0, 1, 0, 0, 0, 0);

namespace {

void SearchFile(Input input, const YearHint& hint, int64_t wanted) {
  const uint32_t charsets[] = {kCharsetUtf8, kCharsetOem, kCharsetUtf16Le, kCharsetUtf16Be, kCharsetUtf32Le,
                               kCharsetUtf32Be};
  uint32_t charset = charsets[input.Byte() % 6];
  size_t capacity = 2 * kStampBytes + input.Byte() * 8;
  Bytes file{input.data, input.size};
  uint32_t unit = CharsetUnitSize(charset), newline = CharsetNewlineUnit(charset);
  std::vector<uint8_t> window(capacity);
  TimeSearch search{file.Reader(), 0, file.size, charset, hint, &kStandInConversions,
                    window.data(), capacity};
  uint64_t line = 0;
  if (FindLineAtTime(search, wanted, &line) == TimeFound::kLine) {
    uint32_t before = 0;
    if (line >= file.size || line % unit) __builtin_trap();
    if (line > 0 && (memcpy(&before, file.data + line - unit, unit), before != newline)) __builtin_trap();
    uint8_t bytes[kStampBytes];
    TextUnit units[kStampBytes];
    size_t length = 0;
    while (length < kStampBytes && line + length + unit <= file.size) {
      uint32_t value = 0;
      memcpy(&value, file.data + line + length, unit);
      if (value == newline) break;
      length += unit;
    }
    memcpy(bytes, file.data + line, length);
    size_t leftover = 0;
    size_t count = DecodeChunk(charset, bytes, length, units, &leftover, kStandInConversions);
    int64_t time = -1;
    if (!FindLineTime(units, count, hint, &time) || time < wanted) __builtin_trap();
  }
  if (search.reads > kMostSearchReads) __builtin_trap();
  search.reads = 0;
  int64_t last = -1;
  if (FindLastStamp(search, &last) && last < 0) __builtin_trap();
  if (search.reads > kMostSearchReads) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  YearHint hint{uint32_t(input.Byte()) * 16 + 1900, uint32_t(input.Byte() % 12) + 1};
  Input file = input;
  std::u16string line = input.Units(SIZE_MAX);
  int64_t time = -1;
  if (FindLineTime(line.data(), line.size(), hint, &time)) {
    if (time < 0 || TimeOfDay(time) >= kDay || DayOf(time) + TimeOfDay(time) != time) __builtin_trap();
  }
  int64_t wanted = -1;
  if (ParseWantedTime(line.c_str(), time, &wanted) && (wanted < 0 || TimeOfDay(wanted) >= kDay)) __builtin_trap();
  SearchFile(file, hint, time >= 0 ? time : TimeKey(2000, 1, 1, 0, 0, 0, 0));
  return 0;
}
