#include "core/merge_order.h"

#include <algorithm>

namespace {

constexpr int64_t kMillisecondsOfDay = int64_t(86400) * 1000;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

int64_t MergeMilliseconds(int64_t time, int32_t zoneMinutes) {
  // TimeKey's fields back: days as (year * 13 + month) * 32 + day, a day of
  // 24 * 60 * 61 seconds (a leap second allowed).
  constexpr int64_t kKeyDay = int64_t(24) * 60 * 61 * 1000;
  int64_t days = time / kKeyDay, clock = time % kKeyDay;
  int64_t year = days / 32 / 13, month = days / 32 % 13, day = days % 32;
  int64_t hour = clock / 61000 / 60, minute = clock / 61000 % 60, rest = clock % 61000;
  int64_t milliseconds = DaysFromCivil(year, month, day) * kMillisecondsOfDay + (hour * 60 + minute) * 60000 + rest;
  return zoneMinutes == kNoZone ? milliseconds : milliseconds - int64_t(zoneMinutes) * 60000;
}

MergeKey KeyLine(LineKeyer* keyer, const TextUnit* line, size_t length) {
  int64_t time;
  int32_t zone = kNoZone;
  if (FindLineTime(line, std::min(length, kKeyedHeadUnits), keyer->hint, &time, nullptr, &zone))
    keyer->last = std::max(keyer->last, MergeMilliseconds(time, zone));
  return MergeKey{keyer->last, keyer->file, keyer->nextLine++};
}

void FeedLineKeys(LineKeyer* keyer, const TextUnit* units, size_t count, void (*take)(void* context, const MergeKey& key),
                  void* context) {
  for (size_t i = 0; i < count; ++i) {
    if (units[i] == u'\n') {
      take(context, KeyLine(keyer, keyer->head, keyer->headLength));
      keyer->headLength = 0;
    } else if (keyer->headLength < kKeyedHeadUnits) {
      keyer->head[keyer->headLength++] = units[i];
    }
  }
}

size_t MergePlace(const std::vector<MergeKey>& merged, const MergeKey& key) {
  return size_t(std::upper_bound(merged.begin(), merged.end(), key) - merged.begin());
}
