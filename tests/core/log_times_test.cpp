// Times in log lines and the time asked for; also run natively (fuzz/).
#include "core/log_times.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int64_t At(uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s = 0, uint32_t ms = 0) {
  return TimeKey(y, mo, d, h, mi, s, ms);
}

// A line, and the time of its stamp (-1: none); syslog's year from a file
// last written in March 2026.
TEST(LogTimes, StampsInTheFormsLogsUse) {
  const struct { std::u16string line; int64_t time; } cases[] = {
      {u"2026-12-07T08:15:00.123+01:00 started", At(2026, 12, 7, 8, 15, 0, 123)},
      {u"2026-12-07 08:15:00,5 INFO x", At(2026, 12, 7, 8, 15, 0, 500)},  // log4j's comma
      {u"2026/12/07 08:15 done", At(2026, 12, 7, 8, 15)},
      {u"[2026-12-07 23:59:60Z] leap", At(2026, 12, 7, 23, 59, 60)},
      {u"INFO  2026-01-02 03:04:05 behind a level word", At(2026, 1, 2, 3, 4, 5)},
      {u"host [07/Dec/2026:08:15:00 +0000] \"GET /\"", At(2026, 12, 7, 8, 15)},
      {u"Mar  7 08:15:00 host cron", At(2026, 3, 7, 8, 15)},
      {u"dec 17 08:15:00 host", At(2025, 12, 17, 8, 15)},  // a later month: the year before
      {std::u16string(63, u' ') + u"2026-12-07 08:15", At(2026, 12, 7, 8, 15)},  // starts within 64 units
      {std::u16string(64, u' ') + u"2026-12-07 08:15", -1},
      {u"x2026-12-07 08:15", -1}, {u"12026-12-07 08:15", -1},  // inside a word or a longer number
      {u"2026-12-07 is a day", -1}, {u"2026-13-07 08:15", -1}, {u"2026-12-07 24:00", -1},
      {u"2026-12/07 08:15", -1}, {u"Decimal 7 08:15:00", -1}, {u"08:15:00 time alone", -1}, {u"", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.line));
    int64_t time = -1;
    EXPECT_EQ(FindLineTime(c.line.data(), c.line.size(), YearHint{2026, 3}, &time), c.time >= 0);
    EXPECT_EQ(time, c.time);
  }
}

// What a user types into "Go to time", on a file whose last stamp is 2026-12-07 22:00.
TEST(LogTimes, TheTimeAskedFor) {
  const int64_t last = At(2026, 12, 7, 22, 0);
  const struct { std::u16string text; int64_t time; } cases[] = {
      {u"2026-12-06 08:15", At(2026, 12, 6, 8, 15)}, {u" 2026-12-06T08:15:30.25 ", At(2026, 12, 6, 8, 15, 30, 250)},
      {u"08:15", At(2026, 12, 7, 8, 15)}, {u"8:15:09", At(2026, 12, 7, 8, 15, 9)},
      {u"tomorrow", -1}, {u"08:15 pm", -1}, {u"2026-12-06", -1}, {u"", -1}, {u"25:00", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    int64_t time = -1;
    EXPECT_EQ(ParseWantedTime(c.text.c_str(), last, &time), c.time >= 0);
    EXPECT_EQ(time, c.time);
  }
  int64_t time = -1;
  EXPECT_FALSE(ParseWantedTime(u"08:15", -1, &time));  // a time alone needs a stamp in the file
  EXPECT_LT(At(2026, 12, 6, 23, 59, 60, 999), At(2026, 12, 7, 0, 0));  // keys order like the calendar
}

}  // namespace
