// Stamps found in any line, and any text typed as the time to go to: nothing
// is read beyond the text, and a time found always stands for a valid clock.
// The same bytes as a file searched for a time: the search ends within its
// reads and names the start of a line stamped at or after the time. And a log
// built from them with its stamps in order: the search names exactly the line
// a plain walk finds, or nothing when its bounds stop it short. The line's
// level comes from its first units alone, and from something there that
// names it: a level word, whole in any case, a JSON number, a letter and '/'.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/log_levels.h"
#include "core/log_times.h"
#include "core/time_search.h"
#include "fuzz/stand_in.h"

const int64_t kDay = TimeKey(0, 0, 1, 0, 0, 0, 0);

namespace {

// Windows one look reads on at most: each starts at least kStampBytes after
// the one before, and all but the last within the bound.
bool ReadOnWithinBounds(const TimeSearch& search) {
  return search.readsOn <= (search.reads + 1) * (search.mostLineBytes / kStampBytes + 2);
}

void SearchFile(Input input, const YearHint& hint, int64_t wanted, uint8_t boundsPick) {
  const uint32_t charsets[] = {kCharsetUtf8, kCharsetOem, kCharsetUtf16Le, kCharsetUtf16Be, kCharsetUtf32Le,
                               kCharsetUtf32Be};
  uint32_t charset = charsets[input.Byte() % 6];
  size_t capacity = 2 * kStampBytes + input.Byte() * 8;
  Bytes file{input.data, input.size};
  uint32_t unit = CharsetUnitSize(charset), newline = CharsetNewlineUnit(charset);
  std::vector<uint8_t> window(capacity);
  TimeSearch search{file.Reader(), 0, file.size, charset, hint, &kStandInConversions,
                    window.data(), capacity};
  // Now and then bounds small enough to stop it short.
  if (boundsPick >= 192) search.mostLineBytes = 64 * (boundsPick % 32), search.mostReads = boundsPick % 8;
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
  if (search.reads > search.mostReads || !ReadOnWithinBounds(search)) __builtin_trap();
  search.reads = 0;
  int64_t last = -1;
  if (FindLastStamp(search, &last) && last < 0) __builtin_trap();
  if (search.reads > search.mostReads) __builtin_trap();
}

// A log built from the bytes, its stamps in order, and what a plain walk
// knows of it.
struct OrderedLog {
  uint32_t charset = kCharsetUtf8;
  uint64_t start = 0;  // past a byte-order mark
  std::vector<uint8_t> bytes;
  std::vector<uint64_t> starts;  // of the stamped lines
  std::vector<int64_t> times;    // of their stamps
};

// Where a built log stops growing.
constexpr size_t kMostLogBytes = 64 << 10;
// Moments in 2026 on a calendar of twelve months of 28 days, in ms: the last
// whole minute of it.
constexpr uint64_t kLastMoment = uint64_t(12 * 28) * 86400000 - 60000;
constexpr int kStampForms = 6;

void Put(OrderedLog& log, char16_t unit) {
  std::vector<uint8_t>& out = log.bytes;
  uint8_t low = uint8_t(unit), high = uint8_t(unit >> 8);
  switch (log.charset) {
    case kCharsetUtf8:
      if (unit < 0x80) out.push_back(low);
      else if (unit < 0x800) out.insert(out.end(), {uint8_t(0xC0 | unit >> 6), uint8_t(0x80 | (unit & 0x3F))});
      else out.insert(out.end(), {uint8_t(0xE0 | unit >> 12), uint8_t(0x80 | (unit >> 6 & 0x3F)), uint8_t(0x80 | (unit & 0x3F))});
      break;
    case kCharsetUtf16Le: out.insert(out.end(), {low, high}); break;
    case kCharsetUtf16Be: out.insert(out.end(), {high, low}); break;
    case kCharsetUtf32Le: out.insert(out.end(), {low, high, 0, 0}); break;
    case kCharsetUtf32Be: out.insert(out.end(), {0, 0, high, low}); break;
    default: out.push_back(unit < 0x80 ? low : uint8_t('~'));  // the code page's ASCII half only
  }
}

void PutText(OrderedLog& log, const char* text) {
  while (*text) Put(log, char16_t(*text++));
}

void PutNumber(OrderedLog& log, uint32_t value, int digits) {
  char text[8] = {};
  for (int i = digits - 1; i >= 0; --i, value /= 10) text[i] = char('0' + value % 10);
  PutText(log, text);
}

void PutLineEnd(OrderedLog& log, bool crlf) {
  if (crlf) Put(log, u'\r');
  Put(log, u'\n');
}

// Text without a digit, so without a stamp; with units beyond ASCII, one of
// them holding a line feed's byte in UTF-16 and one a carriage return's.
void PutFiller(OrderedLog& log, size_t length, uint8_t seed) {
  const char16_t kFiller[] = u" x=q-|\u00e9 \u0a0a\u0d0a\r";
  const size_t kUnits = sizeof kFiller / sizeof *kFiller - 1;
  for (size_t i = 0; i < length; ++i) Put(log, kFiller[(seed + i * 7) % kUnits]);
}

// The ms a form writes: the fraction, or the seconds, some drop.
uint64_t Precision(int form) { return form < 2 ? 1 : form == 5 ? 60000 : 1000; }

// A stamp for the moment (a whole one of the form's precision) in one of the
// forms logs use, behind a prefix without a digit; the time it stands for.
// Syslog's year comes from a hint of December 2026.
int64_t PutStamp(OrderedLog& log, uint64_t moment, int form, uint8_t prefix) {
  const char* const kPrefixes[] = {"", "[", "INFO  ", "host - - ["};
  const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  uint32_t day = uint32_t(moment / 86400000), clock = uint32_t(moment % 86400000);
  uint32_t month = day / 28 + 1;
  day = day % 28 + 1;
  uint32_t hour = clock / 3600000, minute = clock / 60000 % 60, second = clock / 1000 % 60, milli = clock % 1000;
  PutText(log, kPrefixes[prefix % 4]);
  if (form == 3) {
    PutText(log, kMonths[month - 1]), PutText(log, day < 10 ? "  " : " "), PutNumber(log, day, day < 10 ? 1 : 2);
    PutText(log, " ");
  } else if (form == 4) {
    PutNumber(log, day, 2), PutText(log, "/"), PutText(log, kMonths[month - 1]), PutText(log, "/2026:");
  } else {
    const char* separator = form == 2 ? "/" : "-";
    PutText(log, "2026"), PutText(log, separator), PutNumber(log, month, 2), PutText(log, separator);
    PutNumber(log, day, 2), PutText(log, form == 0 ? "T" : " ");
  }
  PutNumber(log, hour, 2), PutText(log, ":"), PutNumber(log, minute, 2);
  if (form != 5) PutText(log, ":"), PutNumber(log, second, 2);
  if (form < 2) PutText(log, form == 0 ? "." : ","), PutNumber(log, milli, 3);
  if (form == 4) PutText(log, " +0000]");
  return TimeKey(2026, month, day, hour, minute, second, milli);
}

// Line by line from the bytes: a stamped line after a gap (none, so the time
// repeats, up to days), an unstamped line, or a few short ones; some of them
// long. LF or CRLF, and a last line with or without its line feed.
OrderedLog BuildOrderedLog(Input& input) {
  const uint32_t charsets[] = {kCharsetUtf8, kCharsetOem, kCharsetUtf16Le, kCharsetUtf16Be, kCharsetUtf32Le,
                               kCharsetUtf32Be};
  const uint64_t kGapScales[] = {0, 1, 1000, 3600000, 86400000};
  OrderedLog log;
  log.charset = charsets[input.Byte() % 6];
  uint8_t flags = input.Byte();
  bool crlf = flags & 1, lastLineFeed = flags & 2;
  if ((flags & 4) && log.charset != kCharsetOem) {  // a byte-order mark, which the search starts past
    Put(log, u'\uFEFF');
    log.start = log.bytes.size();
  }
  uint64_t moment = uint64_t(input.Byte()) * 3600000;
  bool lineOpen = false;
  while (input.size > 0 && log.bytes.size() < kMostLogBytes) {
    if (lineOpen) PutLineEnd(log, crlf);
    uint8_t what = input.Byte(), size = input.Byte();
    size_t length = what & 0x80 ? size_t(size) * 23 : size;
    if (what % 4 < 2) {
      // Forms that drop the fraction or the seconds round up, so that the times stay in order.
      uint8_t gap = input.Byte();
      int form = (what >> 2) % kStampForms;
      moment = std::min(kLastMoment, moment + (gap & 0x1F) * kGapScales[(gap >> 5) % 5]);
      moment += (Precision(form) - moment % Precision(form)) % Precision(form);
      log.starts.push_back(log.bytes.size());
      log.times.push_back(PutStamp(log, moment, form, what >> 5));
      PutText(log, " ");
      PutFiller(log, length, size);
    } else if (what % 4 == 2) {
      PutFiller(log, length, size);
    } else {
      for (int k = size % 8; k > 0; --k) PutFiller(log, size % 13, uint8_t(k)), PutLineEnd(log, crlf);
      PutFiller(log, size % 5, size);
    }
    lineOpen = true;
  }
  if (lineOpen && lastLineFeed) PutLineEnd(log, crlf);
  return log;
}

void SearchOrderedLog(Input input) {
  uint8_t windowPick = input.Byte(), boundPick = input.Byte(), readsPick = input.Byte();
  uint8_t wantedPick = input.Byte(), stampPick = input.Byte();
  OrderedLog log = BuildOrderedLog(input);
  uint32_t unit = CharsetUnitSize(log.charset);
  size_t capacity = 2 * kStampBytes + unit * (windowPick % 16);
  std::vector<uint8_t> window(capacity);
  Bytes file{log.bytes.data(), log.bytes.size()};
  TimeSearch search{file.Reader(), log.start, file.size, log.charset, YearHint{2026, 12}, &kStandInConversions,
                    window.data(), capacity};
  // Bounds scaled down to the log's size, and mostly the program's reads.
  search.mostLineBytes = boundPick < 224 ? 64 + uint64_t(boundPick) * 64 : kMostLineBytes;
  search.mostReads = readsPick < 192 ? kMostSearchReads : readsPick % 8;

  // A stamp's time, a millisecond either side of it, or one before or past them all.
  int64_t wanted = wantedPick & 4 ? TimeKey(2027, 1, 1, 0, 0, 0, 0) : TimeKey(2025, 1, 1, 0, 0, 0, 0);
  if (!log.times.empty() && wantedPick % 4 < 3) wanted = log.times[stampPick % log.times.size()] + wantedPick % 4 - 1;
  TimeFound expected = log.times.empty() ? TimeFound::kNone : TimeFound::kPastEnd;
  uint64_t expectedLine = 0;
  for (size_t i = 0; i < log.times.size(); ++i) {
    if (log.times[i] >= wanted) {
      expected = TimeFound::kLine, expectedLine = log.starts[i];
      break;
    }
  }
  // With no stretch between stamped lines as long as the bound, nothing may stop it short.
  uint64_t widest = 0, previous = log.start;
  for (uint64_t start : log.starts) widest = std::max(widest, start - previous), previous = start;
  widest = std::max(widest, file.size - previous);
  bool exact = search.mostReads == kMostSearchReads && widest < search.mostLineBytes;

  uint64_t line = 0;
  TimeFound found = FindLineAtTime(search, wanted, &line);
  if (found == TimeFound::kLine && (expected != TimeFound::kLine || line != expectedLine)) __builtin_trap();
  if (found == TimeFound::kPastEnd && expected != TimeFound::kPastEnd) __builtin_trap();
  if (found == TimeFound::kNone && exact && expected != TimeFound::kNone) __builtin_trap();
  if (search.reads > search.mostReads || !ReadOnWithinBounds(search)) __builtin_trap();

  // The last stamp: the file's, when its line starts within the last step back from the end.
  search.reads = 0, search.readsOn = 0;
  int64_t last = -1;
  uint64_t step = (capacity - kStampBytes) / 2;
  bool near = !log.times.empty() && log.starts.back() + step >= file.size && search.mostReads > 0;
  if (FindLastStamp(search, &last) ? log.times.empty() || last != log.times.back() : near) __builtin_trap();
  if (search.reads > search.mostReads) __builtin_trap();
}

// Whether the text holds what could name the level: a plain reading of the forms.
bool NamesLevel(const std::u16string& text, LogLevel level) {
  const struct { const char* word; LogLevel level; } kWords[] = {
      {"fatal", LogLevel::kFatal}, {"critical", LogLevel::kFatal}, {"crit", LogLevel::kFatal},
      {"emerg", LogLevel::kFatal}, {"alert", LogLevel::kFatal}, {"severe", LogLevel::kFatal},
      {"ftl", LogLevel::kFatal}, {"error", LogLevel::kError}, {"err", LogLevel::kError},
      {"fail", LogLevel::kError}, {"warn", LogLevel::kWarning}, {"warning", LogLevel::kWarning},
      {"wrn", LogLevel::kWarning}, {"debug", LogLevel::kDebug}, {"trace", LogLevel::kDebug},
      {"verbose", LogLevel::kDebug}, {"fine", LogLevel::kDebug}, {"finer", LogLevel::kDebug},
      {"finest", LogLevel::kDebug}, {"dbug", LogLevel::kDebug}, {"trce", LogLevel::kDebug},
      {"dbg", LogLevel::kDebug}, {"vrb", LogLevel::kDebug}, {"info", LogLevel::kInfo},
      {"notice", LogLevel::kInfo}, {"inf", LogLevel::kInfo}};
  const char* const kLetters[] = {"", "VD", "I", "W", "E", "FA"};  // Android's, by level
  const char* const kNumbers[] = {"", "1020", "30", "40", "50", "60"};
  auto isLetter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
  auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  for (size_t i = 0; i < text.size(); ++i) {
    if (i > 0 && (isLetter(text[i - 1]) || isDigit(text[i - 1]))) continue;
    size_t end = i;
    while (end < text.size() && (isLetter(text[end]) || isDigit(text[end]))) ++end;
    std::string word;
    for (size_t k = i; k < end; ++k) word.push_back(char(text[k] | (isLetter(text[k]) ? 0x20 : 0)));
    for (const auto& entry : kWords) if (entry.level == level && word == entry.word) return true;
    if (end == i + 1 && end < text.size() && text[end] == u'/' && strchr(kLetters[size_t(level)], char(text[i])))
      return true;
    for (const char* n = kNumbers[size_t(level)]; *n; n += 2) if (word == std::string(n, 2)) return true;
  }
  return false;
}

void CheckLineLevel(const std::u16string& line) {
  std::u16string head = line.substr(0, kLevelSearchUnits);
  LineLevel read = ReadLineLevel(line.data(), line.size()), ofHead = ReadLineLevel(head.data(), head.size());
  if (read.level != ofHead.level || read.stamped != ofHead.stamped) __builtin_trap();
  int64_t time;
  if (FindLineTime(head.data(), head.size(), YearHint{2000, 1}, &time) && !read.stamped) __builtin_trap();
  if (read.level != LogLevel::kNone && !NamesLevel(head, read.level)) __builtin_trap();
  // A stamped line shows its own level whatever came before; an unstamped one without a level, the carried one.
  LevelCarry carry{LogLevel::kError};
  LogLevel shown = ShownLineLevel(line.data(), line.size(), &carry);
  if (shown != (read.stamped || read.level != LogLevel::kNone ? read.level : LogLevel::kError)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  uint8_t yearPick = input.Byte(), monthPick = input.Byte();
  YearHint hint{uint32_t(yearPick) * 16 + 1900, uint32_t(monthPick % 12) + 1};
  Input file = input;
  std::u16string line = input.Units(SIZE_MAX);
  int64_t time = -1;
  if (FindLineTime(line.data(), line.size(), hint, &time)) {
    if (time < 0 || TimeOfDay(time) >= kDay || DayOf(time) + TimeOfDay(time) != time) __builtin_trap();
  }
  int64_t wanted = -1;
  if (ParseWantedTime(line.c_str(), time, &wanted) && (wanted < 0 || TimeOfDay(wanted) >= kDay)) __builtin_trap();
  CheckLineLevel(line);
  SearchFile(file, hint, time >= 0 ? time : TimeKey(2000, 1, 1, 0, 0, 0, 0), monthPick);
  SearchOrderedLog(file);
  return 0;
}
