// Times in log lines and the time asked for; also run natively (fuzz/).
#include "core/log_times.h"

#include <gtest/gtest.h>

#include "core/log_levels.h"
#include "core/merge_order.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/time_search.h"
#include "stamped_lines.h"

const CharsetConversions& TestConversions();  // the system's, or the fuzzers' stand-in (charset_test.cpp)
size_t ReadString(void* bytes, uint64_t at, uint8_t* out, size_t count);  // from a std::string (line_search_test.cpp)

static void PrintTo(TimeFound found, std::ostream* out) {
  *out << (found == TimeFound::kLine ? "kLine" : found == TimeFound::kPastEnd ? "kPastEnd" : "kNone");
}

namespace {

int64_t At(uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s = 0, uint32_t ms = 0) {
  return TimeKey(y, mo, d, h, mi, s, ms);
}

// A line, the time of its stamp (-1: none) and the zone after it; syslog's year from a file last written in March 2026.
TEST(LogTimes, StampsInTheFormsLogsUse) {
  const struct { std::u16string line; int64_t time; int32_t zone = kNoZone; } cases[] = {
      {u"2026-12-07T08:15:00.123+01:00 started", At(2026, 12, 7, 8, 15, 0, 123), 60},
      {u"2026-12-07T08:15:00-05:30 x", At(2026, 12, 7, 8, 15), -330}, {u"2026-12-07 08:15+01 x", At(2026, 12, 7, 8, 15), 60},
      {u"2026-12-07 08:15:00 -0500 x", At(2026, 12, 7, 8, 15), -300},
      {u"2026-12-07 08:15:00 -12 items", At(2026, 12, 7, 8, 15)}, {u"2026-12-07 08:15Zulu", At(2026, 12, 7, 8, 15)},
      {u"2026-12-07 08:15:00+15:00", At(2026, 12, 7, 8, 15)}, {u"2026-12-07 08:15:00+01001", At(2026, 12, 7, 8, 15)},
      {u"2026-12-07 08:15:00,5 INFO x", At(2026, 12, 7, 8, 15, 0, 500)},  // log4j's comma
      {u"2026/12/07 08:15 done", At(2026, 12, 7, 8, 15)}, {u"[2026-12-07 23:59:60Z] leap", At(2026, 12, 7, 23, 59, 60), 0},
      {u"INFO  2026-01-02 03:04:05 behind a level word", At(2026, 1, 2, 3, 4, 5)},
      {u"host [07/Dec/2026:08:15:00 +0000] \"GET /\"", At(2026, 12, 7, 8, 15), 0},
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
    int32_t zone = kNoZone;
    EXPECT_EQ(FindLineTime(c.line.data(), c.line.size(), YearHint{2026, 3}, &time, nullptr, &zone), c.time >= 0);
    EXPECT_EQ(time, c.time);
    EXPECT_EQ(zone, c.zone);
  }
  // On one line of time for a merged view: a zone moves a stamp to UTC, a stamp without one stays as written.
  EXPECT_EQ(MergeMilliseconds(At(1970, 1, 1, 0, 0), kNoZone), 0);
  EXPECT_EQ(MergeMilliseconds(At(2026, 12, 7, 8, 15), 60), MergeMilliseconds(At(2026, 12, 7, 7, 15), 0));
  EXPECT_EQ(MergeMilliseconds(At(2026, 12, 7, 7, 15, 1, 5), kNoZone), 1796627700000 + 1005);
}

// Lines of one file in order, each with the level it is shown with: its own, or that of the stamped line it continues.
TEST(LogLevels, TheLevelsRealLogsStateAndTheLinesThatContinueThem) {
  constexpr LogLevel none = LogLevel::kNone, debug = LogLevel::kDebug, info = LogLevel::kInfo,
                     warning = LogLevel::kWarning, error = LogLevel::kError, fatal = LogLevel::kFatal;
  const struct { std::u16string line; LogLevel shown; } lines[] = {
      {u"2026-12-07 08:15:00,123 ERROR [main] com.example.App - Failed", error},  // log4j
      {u"java.lang.IllegalStateException: closed", error},                     // its stack trace
      {u"\tat com.example.App.run(App.java:42)", error}, {u"Caused by: java.io.IOException", error},
      {u"08:15:00.123 [worker-1] WARN  c.e.Pool - slow", warning},  // logback: a time alone is skipped
      {u"2026-12-07 08:15:00,123 - app.db - INFO - connected", info},  // Python logging
      {u"CRITICAL:root:disk full", fatal},                              // Python's default format, no stamp
      {u"Traceback (most recent call last):", info},  // continues the last stamped line, not an unstamped one
      {u"2016-06-30 12:00:07.1234|ERROR|Orders|failed", error},  // NLog
      {u"[08:15:00 WRN] Retrying", warning},                    // Serilog
      {u"fail: Microsoft.AspNetCore.Server[1]", error},           // .NET's console logger
      {u"Dec  7 08:15:00 host sshd[123]: error: no such user", none},  // syslog: a word in the message
      {u"2026/12/07 08:15:00 [error] 1234#0: *1 open() failed", error},  // nginx
      {u"[Mon Dec 07 08:15:00.123456 2026] [core:error] [pid 42] AH00037", error},  // Apache
      {u"[Mon Dec 07 08:15:00.123456 2026] [mpm_event:notice] [pid 42] resuming", info},
      {u"time=2026-12-07T08:15:00Z level=warn msg=\"disk at 91%\"", warning},  // logfmt
      {u"ts=2026-12-07T08:15:00Z caller=main.go:42 component=api severity=DEBUG", debug},
      {u"level=error ts=2026-12-07T08:15:00Z caller=db.go:7", error},  // a key before the stamp
      {u"{\"name\":\"api\",\"hostname\":\"h\",\"pid\":7,\"level\":50,\"msg\":\"x\"}", error},  // bunyan
      {u"{\"level\":\"fatal\",\"time\":\"2026-12-07T08:15:00Z\"}", fatal},
      {u"{\"time\":\"2026-12-07T08:15:01Z\",\"level\":35}", none},  // no such number
      {u"12-07 08:15:00.123 E/ActivityManager( 1234): ANR", error}, {u"12-07 08:15:00.123 W/Looper( 1): slow", warning},
      {u"2016-06-30 12:00:07 fatal out of memory", fatal},  // lower case as the first word
      {u"2016-06-30 12:00:07Z <warning> late", warning},
      {u"2026-12-07 08:15:00 Checked: no error found", none},   // not among the first words, or lower case
      {u"2026-12-07 08:15:00 one two three four ERROR", none},  // past the fourth word
      {u"    at the end of a line with no level", none},      // continues the stamped line before
      {u"2026-12-07 08:15:00 ERRORS, Errored, eRROR, debugger, INFORMATION", none},
      {u"2026-12-07 08:15:00 battery level=low A/B test", none},
      {u"E/Tag: a letter form with no time before it", none}, {u"", none}};
  LevelCarry carry;
  for (const auto& l : lines) {
    SCOPED_TRACE(testing::PrintToString(l.line));
    EXPECT_EQ(int(ShownLineLevel(l.line.data(), l.line.size(), &carry)), int(l.shown));
  }
}

// What a user types into "Go to time", on a file whose last stamp is 2026-12-07 22:00.
TEST(LogTimes, TheTimeAskedFor) {
  const int64_t last = At(2026, 12, 7, 22, 0);
  const struct { std::u16string text; int64_t time; } cases[] = {
      {u"2026-12-06 08:15", At(2026, 12, 6, 8, 15)}, {u" 2026-12-06T08:15:30.25 ", At(2026, 12, 6, 8, 15, 30, 250)},
      {u"08:15", At(2026, 12, 7, 8, 15)}, {u"8:15:09", At(2026, 12, 7, 8, 15, 9)},
      {u"2026-12-06 08:15:30.25", At(2026, 12, 6, 8, 15, 30, 250)},
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
  // A time shown in the dialog reads back as itself.
  for (int64_t shown : {At(2026, 12, 7, 8, 5, 9), At(999, 1, 2, 23, 59, 60, 7), At(2026, 12, 31, 0, 0, 0, 120)}) {
    TextUnit text[kTimeTextUnits];
    FormatTime(shown, text);
    SCOPED_TRACE(testing::PrintToString(std::u16string(text)));
    EXPECT_TRUE(ParseWantedTime(text, -1, &time));
    EXPECT_EQ(time, shown);
  }
}

// The search over a file's bytes, against a plain walk over all its lines.
struct LogFile {
  std::string bytes;
  std::vector<uint64_t> starts;  // of the lines
  std::vector<int64_t> times;    // of their stamps, -1 for none
  void Add(const std::string& line, int64_t time) {
    starts.push_back(bytes.size()), times.push_back(time);
    bytes += line + "\r\n";
  }
};

int64_t StampOf(int seconds) { return TimeKey(2026, 3, 1, uint32_t(seconds / 3600), uint32_t(seconds / 60 % 60),
                                              uint32_t(seconds % 60), 0); }

// Lines `step` seconds apart from 01:00 in one form, `plain` unstamped ones after each and `gapLines` after `gapAt`.
LogFile MakeLog(int lines, int form, int step, int plain, int gapAt = -1, int gapLines = 400) {
  LogFile log;
  for (int i = 0; i < lines; ++i) {
    int seconds = 3600 + i * step;
    std::string line = Stamped(form < 0 ? i % 6 : form, seconds, i);
    log.Add(line, StampOf(seconds) + (form == 0 || form == 1 || (form < 0 && i % 6 < 2) ? 250 : 0));
    for (int k = 0; k < plain; ++k) log.Add("    at frame " + std::to_string(k) + " of line " + std::to_string(i), -1);
    if (i == gapAt)
      for (int k = 0; k < gapLines; ++k) log.Add("    unstamped " + std::string(40, 'x'), -1);
  }
  return log;
}

// A thousand slashed stamps a second apart from 01:00 on; `count` lines spread evenly among them carry `tail` bytes
// more, behind their stamp or as an unstamped line after them.
LogFile MakeLongLines(int count, size_t tail, bool unstamped) {
  LogFile log;
  for (int i = 0, next = 0; i < 1000; ++i) {
    bool longOne = next < count && i == (next + 1) * 1000 / (count + 1);
    next += longOne;
    log.Add(Stamped(2, 3600 + i, i) + (longOne && !unstamped ? std::string(tail, 'x') : ""), StampOf(3600 + i));
    if (longOne && unstamped) log.Add(std::string(tail, '='), -1);
  }
  return log;
}

struct Outcome { TimeFound found; uint64_t line; bool operator==(const Outcome&) const = default; };
void PrintTo(const Outcome& outcome, std::ostream* out) { PrintTo(outcome.found, out); *out << " at " << outcome.line; }

Outcome Search(const LogFile& log, int64_t wanted, size_t capacity, size_t* reads,
               size_t mostReads = kMostSearchReads, uint64_t mostLineBytes = kMostLineBytes) {
  std::vector<uint8_t> window(capacity);
  TimeSearch search{ByteReader{const_cast<std::string*>(&log.bytes), ReadString}, 0, log.bytes.size(), kCharsetUtf8,
                    YearHint{2026, 3}, &TestConversions(), window.data(), capacity};
  search.mostReads = mostReads, search.mostLineBytes = mostLineBytes;
  Outcome outcome{};
  outcome.found = FindLineAtTime(search, wanted, &outcome.line);
  *reads = search.reads;
  return outcome;
}

// In order: the first line stamped at or after the time.
Outcome Expected(const LogFile& log, int64_t wanted) {
  for (size_t i = 0; i < log.times.size(); ++i)
    if (log.times[i] >= wanted) return {TimeFound::kLine, log.starts[i]};
  bool stamped = std::any_of(log.times.begin(), log.times.end(), [](int64_t t) { return t >= 0; });
  return {stamped ? TimeFound::kPastEnd : TimeFound::kNone, 0};
}

TEST(TimeSearch, FindsTheFirstLineAtOrAfterTheTimeInEachForm) {
  const struct { const char* what; LogFile log; } files[] = {
      {"iso with T, zone, fraction", MakeLog(3000, 0, 7, 0)}, {"log4j comma", MakeLog(3000, 1, 7, 0)},
      {"slashed", MakeLog(3000, 2, 7, 0)}, {"syslog", MakeLog(3000, 3, 7, 0)}, {"apache", MakeLog(3000, 4, 7, 0)},
      {"behind a level word and a bracket", MakeLog(3000, 5, 7, 0)}, {"forms mixed", MakeLog(3000, -1, 7, 0)},
      {"one second repeated", MakeLog(3000, 3, 0, 0)}, {"stamps on some lines only", MakeLog(800, -1, 7, 5)},
      {"an unstamped stretch longer than a window", MakeLog(800, 2, 7, 1, 500)},
  };
  const int64_t times[] = {StampOf(0), StampOf(3600), StampOf(3600) + 1, StampOf(3600 + 7 * 123 + 3),
                           StampOf(3600 + 7 * 500), StampOf(3600 + 7 * 500 + 1), StampOf(3600 + 7 * 799),
                           StampOf(3600 + 7 * 799) + 1, StampOf(3600 + 7 * 2999), StampOf(3600 * 23)};
  for (const auto& file : files) {
    for (int64_t wanted : times) {
      for (size_t capacity : {size_t(2 * kStampBytes), kChunkBytes}) {
        SCOPED_TRACE(testing::Message() << file.what << ", time " << wanted << ", window " << capacity);
        size_t reads = 0;
        EXPECT_EQ(Search(file.log, wanted, capacity, &reads), Expected(file.log, wanted));
        EXPECT_LE(reads, kMostSearchReads);
      }
    }
  }
}

// Lines of megabytes, and stretches without a stamp, longer than the window: a step that lands in one reads on to the
// stamped line after it. Reads running out used to give the end of the file, or a later line.
TEST(TimeSearch, LinesOfMegabytesGiveTheFirstLineAtOrAfterTheTime) {
  const size_t kMiB = size_t(1) << 20;
  const struct { const char* what; LogFile log; } files[] = {
      {"three lines of 2 MiB", MakeLongLines(3, 2 * kMiB, false)},  // line 751 used to give the end
      {"six lines of 2 MiB", MakeLongLines(6, 2 * kMiB, false)},    // line 429 used to give line 502
      {"unstamped lines of 3 MiB", MakeLongLines(5, 3 * kMiB, true)},
      {"short unstamped lines, 400 KiB", MakeLog(1000, 2, 1, 0, 600, 8000)},
  };
  for (const auto& file : files) {
    std::vector<int64_t> times = {StampOf(0), StampOf(3600 + 999) + 1};
    for (int i = 0; i < 1000; i += 97) times.push_back(StampOf(3600 + i)), times.push_back(StampOf(3600 + i) + 1);
    for (int i : {142, 143, 429, 501, 601, 751, 858}) times.push_back(StampOf(3600 + i));
    for (int64_t wanted : times) {
      SCOPED_TRACE(testing::Message() << file.what << ", time " << wanted);
      size_t reads = 0;
      EXPECT_EQ(Search(file.log, wanted, kChunkBytes, &reads), Expected(file.log, wanted));
      EXPECT_LE(reads, kMostSearchReads);
    }
  }
}

// Bounds shrunk: the steps run out, and the search scans on from where it got to; or a line goes on further than the
// search reads, and it gives nothing rather than another line or the end of the file.
TEST(TimeSearch, PastItsBoundsTheSearchGivesNothingRatherThanAnotherLine) {
  LogFile plain = MakeLog(3000, 2, 7, 0), traces = MakeLog(800, -1, 7, 5), none = MakeLog(0, 0, 0, 0);
  LogFile longOne = MakeLongLines(1, 3 << 20, false);  // line 500
  for (int i = 0; i < 4000; ++i) none.Add("no stamp in line " + std::to_string(i), -1);
  // Stamps a step of seconds apart from 01:00 on; lastFound: the last stamped line found, after which, and past
  // the end, nothing is (unless it is the last).
  const struct {
    const char* what; const LogFile* log;
    int step, lines; size_t window, mostReads; uint64_t mostLineBytes; int lastFound;
  } cases[] = {
      {"no steps: a scan of the whole file", &plain, 7, 3000, 2 * kStampBytes, 0, 1 << 20, 2999},
      {"two steps, then a scan", &traces, 7, 800, 2 * kStampBytes, 2, 1 << 20, 799},
      {"no steps, no stamps", &none, 7, 800, 2 * kStampBytes, 0, 1 << 20, 799},
      {"no steps: a scan of 4 KiB", &plain, 7, 3000, 2 * kStampBytes, 0, 4 << 10, 100},
      {"a line longer than a step reads on", &longOne, 1, 1000, kChunkBytes, kMostSearchReads, 1 << 20, 500},
  };
  for (const auto& c : cases) {
    for (int line : {0, 1, 50, 100, 200, 499, 500, 501, 799, 1500, 2999, 5000}) {
      int64_t wanted = StampOf(3600 + line * c.step);
      SCOPED_TRACE(testing::Message() << c.what << ", line " << line);
      size_t reads = 0;
      bool reached = line <= c.lastFound || c.lastFound == c.lines - 1;
      EXPECT_EQ(Search(*c.log, wanted, c.window, &reads, c.mostReads, c.mostLineBytes),
                (reached ? Expected(*c.log, wanted) : Outcome{TimeFound::kNone, 0}));
      EXPECT_LE(reads, c.mostReads);
    }
  }
}

// Stamps out of order, or none: a stamped line at or after the time, or nothing, within the reads allowed.
TEST(TimeSearch, EndsOnAnyFile) {
  LogFile shuffled, none, last;
  for (int i = 0; i < 4000; ++i) {
    int seconds = 3600 + (i * 7919) % 4000;
    shuffled.Add(Stamped(i % 6, seconds, i), StampOf(seconds) + (i % 6 < 2 ? 250 : 0));
    none.Add("no stamp in line " + std::to_string(i), -1);
  }
  for (int64_t wanted : {StampOf(0), StampOf(3600 + 2000), StampOf(3600 + 3999), StampOf(3600 + 4000)}) {
    SCOPED_TRACE(wanted);
    size_t reads = 0;
    Outcome got = Search(shuffled, wanted, 2 * kStampBytes, &reads);
    EXPECT_LE(reads, kMostSearchReads);
    if (got.found == TimeFound::kLine) {
      size_t index = size_t(std::find(shuffled.starts.begin(), shuffled.starts.end(), got.line) - shuffled.starts.begin());
      ASSERT_LT(index, shuffled.times.size());
      EXPECT_GE(shuffled.times[index], wanted);
    }
    EXPECT_EQ(Search(none, wanted, 2 * kStampBytes, &reads).found, TimeFound::kNone);
    EXPECT_LE(reads, kMostSearchReads);
  }
}

// The last stamp: behind a tail of unstamped lines, in UTF-16 past its mark; none near the end.
TEST(TimeSearch, TheLastStampNearTheEnd) {
  LogFile log = MakeLog(200, 1, 7, 30);
  const std::u16string wide = u"\xFEFF" u"2026-03-01 01:00:00 first\n" u"Mar  2 00:00:01 last\n  trace\n";
  std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  LogFile plain = MakeLog(0, 0, 0, 0);
  for (int i = 0; i < 3000; ++i) plain.Add("plain line " + std::to_string(i), -1);
  plain.bytes = "2026-03-01 00:00:00 far from the end\n" + plain.bytes;
  const struct { const std::string* bytes; uint32_t charset; uint64_t start; int64_t time; } cases[] = {
      {&log.bytes, kCharsetUtf8, 0, StampOf(3600 + 7 * 199) + 250},
      {&utf16, kCharsetUtf16Le, 2, TimeKey(2026, 3, 2, 0, 0, 1, 0)},
      {&plain.bytes, kCharsetUtf8, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charset);
    std::vector<uint8_t> window(2 * kStampBytes);
    TimeSearch search{ByteReader{const_cast<std::string*>(c.bytes), ReadString}, c.start, c.bytes->size(), c.charset,
                      YearHint{2026, 3}, &TestConversions(), window.data(), window.size()};
    int64_t time = -1;
    EXPECT_EQ(FindLastStamp(search, &time), c.time >= 0);
    EXPECT_EQ(time, c.time);
  }
}

}  // namespace
