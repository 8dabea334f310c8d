// Times in log lines, and the time a user asks to go to. Stamps compare as
// written, local to the log; a zone after a stamp is read for the views that
// merge logs from several zones. A time is a key that orders like the
// calendar (TimeKey), with no calendar arithmetic.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"

// Stamps are looked for within a line's first units only.
constexpr size_t kStampSearchUnits = 64;

int64_t TimeKey(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute, uint32_t second,
                uint32_t millisecond);
// The key of the day's start, and that of a time of day within a day.
int64_t DayOf(int64_t time);
int64_t TimeOfDay(int64_t time);

// What a stamp without a year (syslog's "Dec  7 08:15:00") takes: the year of
// the file's last write, or the year before for a month later than that
// write's month.
struct YearHint {
  uint32_t year;
  uint32_t month;
};

// The time of the first stamp in the line's first kStampSearchUnits, in the
// forms logs use, alone or behind a bracket or a level word:
//   2026-12-07T08:15:00.123+01:00  2026-12-07 08:15:00,123  2026/12/07 08:15
//   Dec  7 08:15:00                [07/Dec/2026:08:15:00 +0000]
// False when the line has none. stampEnd, when given, gets where the stamp's
// time of day ends; zoneMinutes the zone written after it (east of UTC:
// "Z", "+01:00", "+0100", "+01", or " -0500" after a blank), kNoZone without.
constexpr int32_t kNoZone = INT32_MIN;
bool FindLineTime(const TextUnit* line, size_t length, const YearHint& hint, int64_t* time,
                  size_t* stampEnd = nullptr, int32_t* zoneMinutes = nullptr);

// The time typed into "Go to time": a date and a time ("2026-12-07 08:15",
// "T" accepted between them, seconds and a fraction optional) or a time alone,
// on the day of lastStamp. Blanks around it are allowed; false for any other
// text.
bool ParseWantedTime(const TextUnit* text, int64_t lastStamp, int64_t* time);

// A time as ParseWantedTime reads it back: "2026-12-07 08:15:00", with
// ".123" when it has milliseconds. out holds at least kTimeTextUnits units.
constexpr size_t kTimeTextUnits = 24;
size_t FormatTime(int64_t time, TextUnit* out);
