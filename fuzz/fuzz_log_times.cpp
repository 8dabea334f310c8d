// Stamps found in any line, and any text typed as the time to go to: nothing
// is read beyond the text, and a time found always stands for a valid clock.
#include "core/log_times.h"
#include "fuzz/stand_in.h"

const int64_t kDay = TimeKey(0, 0, 1, 0, 0, 0, 0);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  YearHint hint{uint32_t(input.Byte()) * 16 + 1900, uint32_t(input.Byte() % 12) + 1};
  std::u16string line = input.Units(SIZE_MAX);
  int64_t time = -1;
  if (FindLineTime(line.data(), line.size(), hint, &time)) {
    if (time < 0 || TimeOfDay(time) >= kDay || DayOf(time) + TimeOfDay(time) != time) __builtin_trap();
  }
  int64_t wanted = -1;
  if (ParseWantedTime(line.c_str(), time, &wanted) && (wanted < 0 || TimeOfDay(wanted) >= kDay)) __builtin_trap();
  return 0;
}
