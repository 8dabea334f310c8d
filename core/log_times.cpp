#include "core/log_times.h"

#include <algorithm>

namespace {

constexpr int64_t kMillisecondsOfDay = int64_t(24) * 60 * 61 * 1000;  // a leap second allowed
const char16_t* const kMonthNames[] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                       u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};


// Reads through text that has ended exactly where end points.
struct Cursor {
  const TextUnit* at;
  const TextUnit* end;
  bool Take(TextUnit unit) {
    if (at >= end || *at != unit) return false;
    ++at;
    return true;
  }
  bool TakeBlanks(size_t least, size_t most) {
    size_t n = 0;
    while (n < most && at + n < end && at[n] == u' ') ++n;
    if (n < least) return false;
    at += n;
    return true;
  }
  // least to most digits, not followed by another digit.
  bool Number(size_t least, size_t most, uint32_t* value) {
    size_t n = 0;
    uint32_t read = 0;
    while (n < most && at + n < end && IsDigitUnit(at[n])) read = read * 10 + uint32_t(at[n++] - u'0');
    if (n < least || (at + n < end && IsDigitUnit(at[n]))) return false;
    at += n, *value = read;
    return true;
  }
  // A month's English abbreviation in any case, not followed by a letter.
  bool Month(uint32_t* month) {
    if (end - at < 3) return false;
    for (uint32_t i = 0; i < 12; ++i) {
      if (FoldUnit(at[0]) != kMonthNames[i][0] || FoldUnit(at[1]) != kMonthNames[i][1] ||
          FoldUnit(at[2]) != kMonthNames[i][2])
        continue;
      if (end - at > 3 && IsWordUnit(at[3])) return false;
      at += 3, *month = i + 1;
      return true;
    }
    return false;
  }
};

struct Clock {
  uint32_t hour = 0, minute = 0, second = 0, millisecond = 0;
};

// h:mm, then optionally :ss and a fraction after '.' or ','.
bool ReadClock(Cursor& c, Clock* clock) {
  if (!c.Number(1, 2, &clock->hour) || !c.Take(u':') || !c.Number(2, 2, &clock->minute)) return false;
  if (Cursor more = c; more.Take(u':') && more.Number(2, 2, &clock->second)) {
    c = more;
    if (Cursor fraction = c; (fraction.Take(u'.') || fraction.Take(u',')) && fraction.at < fraction.end &&
                             IsDigitUnit(*fraction.at)) {
      uint32_t scale = 100;
      for (; fraction.at < fraction.end && IsDigitUnit(*fraction.at); ++fraction.at, scale /= 10)
        clock->millisecond += uint32_t(*fraction.at - u'0') * scale;
      c = fraction;
    }
  }
  return clock->hour < 24 && clock->minute < 60 && clock->second <= 60;
}

bool MakeTime(uint32_t year, uint32_t month, uint32_t day, const Clock& clock, int64_t* time) {
  if (year == 0 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  *time = TimeKey(year, month, day, clock.hour, clock.minute, clock.second, clock.millisecond);
  return true;
}

// 2026-12-07, 2026/12/07: the same separator twice.
bool ReadDate(Cursor& c, uint32_t* year, uint32_t* month, uint32_t* day) {
  if (!c.Number(4, 4, year) || c.at >= c.end || (*c.at != u'-' && *c.at != u'/')) return false;
  TextUnit separator = *c.at++;
  return c.Number(1, 2, month) && c.Take(separator) && c.Number(1, 2, day);
}

// Each reader leaves c just past the stamp it read.
// ISO 8601 and its relatives: a date, 'T' or a blank, a time.
bool IsoAt(Cursor& c, int64_t* time) {
  uint32_t year, month, day;
  Clock clock;
  return ReadDate(c, &year, &month, &day) && (c.Take(u'T') || c.Take(u' ')) && ReadClock(c, &clock) &&
         MakeTime(year, month, day, clock, time);
}

// Apache's 07/Dec/2026:08:15:00.
bool ApacheAt(Cursor& c, int64_t* time) {
  uint32_t year, month, day;
  Clock clock;
  return c.Number(1, 2, &day) && c.Take(u'/') && c.Month(&month) && c.Take(u'/') && c.Number(4, 4, &year) &&
         c.Take(u':') && ReadClock(c, &clock) && MakeTime(year, month, day, clock, time);
}

// Syslog's "Dec  7 08:15:00", its year from the hint.
bool SyslogAt(Cursor& c, const YearHint& hint, int64_t* time) {
  uint32_t month, day;
  Clock clock;
  if (!c.Month(&month) || !c.TakeBlanks(1, 2) || !c.Number(1, 2, &day) || !c.TakeBlanks(1, 1) ||
      !ReadClock(c, &clock))
    return false;
  uint32_t year = month > hint.month && hint.year > 1 ? hint.year - 1 : hint.year;
  return MakeTime(year, month, day, clock, time);
}

// A zone right after a stamp: "Z", "+01:00", "+0100" or "+01"; after one
// blank only "+0100" or "+01:00". Minutes east of UTC, kNoZone for none.
int32_t ReadZone(Cursor c) {
  if (c.Take(u'Z')) return c.at < c.end && IsWordUnit(*c.at) ? kNoZone : 0;
  bool blank = c.TakeBlanks(1, 1);
  int32_t sign = c.Take(u'+') ? 1 : c.Take(u'-') ? -1 : 0;
  uint32_t hours = 0, minutes = 0, both = 0;
  if (sign == 0) return kNoZone;
  if (Cursor packed = c; packed.Number(4, 4, &both)) {
    hours = both / 100, minutes = both % 100, c = packed;
  } else if (!c.Number(2, 2, &hours)) {
    return kNoZone;
  } else if (Cursor rest = c; rest.Take(u':') && rest.Number(2, 2, &minutes)) {
    c = rest;
  } else if (blank) {
    return kNoZone;  // "08:15:00 -12 items" is no zone
  }
  if (hours > 14 || minutes > 59 || (c.at < c.end && IsWordUnit(*c.at))) return kNoZone;
  return sign * int32_t(hours * 60 + minutes);
}

}  // namespace

int64_t TimeKey(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute, uint32_t second,
                uint32_t millisecond) {
  int64_t days = (int64_t(year) * 13 + month) * 32 + day;
  return days * kMillisecondsOfDay + ((int64_t(hour) * 60 + minute) * 61 + second) * 1000 + millisecond;
}

int64_t DayOf(int64_t time) { return time - time % kMillisecondsOfDay; }
int64_t TimeOfDay(int64_t time) { return time % kMillisecondsOfDay; }

bool FindLineTime(const TextUnit* line, size_t length, const YearHint& hint, int64_t* time, size_t* stampEnd,
                  int32_t* zoneMinutes) {
  const TextUnit* end = line + length;
  for (size_t i = 0; i < std::min(length, kStampSearchUnits); ++i) {
    if (i > 0 && IsWordUnit(line[i - 1])) continue;  // a stamp starts a word
    Cursor iso{line + i, end}, apache = iso, syslog = iso;
    const Cursor* read = nullptr;
    if (IsDigitUnit(line[i])) read = IsoAt(iso, time) ? &iso : ApacheAt(apache, time) ? &apache : nullptr;
    else if (SyslogAt(syslog, hint, time)) read = &syslog;
    if (!read) continue;
    if (stampEnd) *stampEnd = size_t(read->at - line);
    if (zoneMinutes) *zoneMinutes = ReadZone(*read);
    return true;
  }
  return false;
}

bool ParseWantedTime(const TextUnit* text, int64_t lastStamp, int64_t* time) {
  const TextUnit* end = text + TextLength(text);
  while (text < end && IsBlankUnit(*text)) ++text;
  while (end > text && IsBlankUnit(end[-1])) --end;
  uint32_t year, month, day;
  Clock clock;
  if (Cursor c{text, end}; ReadDate(c, &year, &month, &day) && (c.Take(u'T') || c.TakeBlanks(1, 8)) &&
                           ReadClock(c, &clock) && c.at == end)
    return MakeTime(year, month, day, clock, time);
  Cursor c{text, end};
  if (lastStamp < 0 || !ReadClock(c, &clock) || c.at != end) return false;
  *time = DayOf(lastStamp) + TimeKey(0, 0, 0, clock.hour, clock.minute, clock.second, clock.millisecond);
  return true;
}

size_t FormatTime(int64_t time, TextUnit* out) {
  int64_t days = DayOf(time) / kMillisecondsOfDay, clock = TimeOfDay(time);
  const int64_t fields[] = {days / 32 / 13, days / 32 % 13, days % 32, clock / 61000 / 60,
                            clock / 61000 % 60, clock / 1000 % 61, clock % 1000};
  const size_t widths[] = {4, 2, 2, 2, 2, 2, 3};
  const char16_t separators[] = u" -- ::.";
  size_t length = 0;
  for (size_t i = 0; i < (fields[6] ? 7u : 6u); ++i) {
    if (i > 0) out[length++] = separators[i];
    int64_t value = fields[i];
    for (size_t digit = widths[i]; digit-- > 0; value /= 10) out[length + digit] = TextUnit(u'0' + value % 10);
    length += widths[i];
  }
  out[length] = 0;
  return length;
}
