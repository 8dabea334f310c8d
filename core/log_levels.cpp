#include "core/log_levels.h"

#include <algorithm>

#include "core/log_times.h"

namespace {

struct LevelWord {
  const char16_t* word;  // in upper case
  LogLevel level;
};
// .NET's console forms (fail, dbug, trce) and Serilog's three letters follow the common words.
constexpr LevelWord kLevelWords[] = {
    {u"FATAL", LogLevel::kFatal},    {u"CRITICAL", LogLevel::kFatal}, {u"CRIT", LogLevel::kFatal},
    {u"EMERG", LogLevel::kFatal},    {u"ALERT", LogLevel::kFatal},    {u"SEVERE", LogLevel::kFatal},
    {u"ERROR", LogLevel::kError},    {u"ERR", LogLevel::kError},      {u"WARN", LogLevel::kWarning},
    {u"WARNING", LogLevel::kWarning}, {u"DEBUG", LogLevel::kDebug},   {u"TRACE", LogLevel::kDebug},
    {u"VERBOSE", LogLevel::kDebug},  {u"FINE", LogLevel::kDebug},     {u"FINER", LogLevel::kDebug},
    {u"FINEST", LogLevel::kDebug},   {u"INFO", LogLevel::kInfo},      {u"NOTICE", LogLevel::kInfo},
    {u"FAIL", LogLevel::kError},     {u"DBUG", LogLevel::kDebug},     {u"TRCE", LogLevel::kDebug},
    {u"FTL", LogLevel::kFatal},      {u"WRN", LogLevel::kWarning},    {u"DBG", LogLevel::kDebug},
    {u"VRB", LogLevel::kDebug},      {u"INF", LogLevel::kInfo}};

bool IsUpper(TextUnit unit) { return unit >= u'A' && unit <= u'Z'; }
bool IsLower(TextUnit unit) { return unit >= u'a' && unit <= u'z'; }
bool IsLetter(TextUnit unit) { return IsUpper(unit) || IsLower(unit); }

// Where tokens end: blanks, brackets, quotes and the punctuation logs put around a level.
bool IsTokenEnd(TextUnit unit) {
  switch (unit) {
    case u' ': case u'\t': case u'[': case u']': case u'(': case u')': case u'{': case u'}': case u'<':
    case u'>': case u'|': case u'-': case u':': case u'=': case u'"': case u'\'': case u',': case u';':
      return true;
  }
  return false;
}

// The level of a word written in upper case, capitalised, or (where the form
// allows it) in lower case; kNone for any other word.
LogLevel WordLevel(const TextUnit* word, size_t length, bool lowerCaseToo) {
  if (length < 3 || length > 8) return LogLevel::kNone;
  bool upper = true, capitalised = IsUpper(word[0]), lower = true;
  for (size_t i = 0; i < length; ++i) {
    upper = upper && IsUpper(word[i]);
    lower = lower && IsLower(word[i]);
    capitalised = capitalised && (i == 0 || IsLower(word[i]));
  }
  if (!upper && !capitalised && !(lower && lowerCaseToo)) return LogLevel::kNone;
  for (const LevelWord& entry : kLevelWords) {
    size_t i = 0;
    while (i < length && entry.word[i] && FoldUnit(word[i]) == FoldUnit(entry.word[i])) ++i;
    if (i == length && !entry.word[i]) return entry.level;
  }
  return LogLevel::kNone;
}

// The numeric levels of the common Node.js loggers.
LogLevel NumberLevel(const TextUnit* digits, size_t length) {
  if (length != 2 || digits[1] != u'0') return LogLevel::kNone;
  switch (digits[0]) {
    case u'1': case u'2': return LogLevel::kDebug;
    case u'3': return LogLevel::kInfo;
    case u'4': return LogLevel::kWarning;
    case u'5': return LogLevel::kError;
    case u'6': return LogLevel::kFatal;
  }
  return LogLevel::kNone;
}

bool SameWordAnyCase(const TextUnit* text, size_t length, const char16_t* word) {
  size_t i = 0;
  while (i < length && word[i] && FoldUnit(text[i]) == word[i]) ++i;
  return i == length && !word[i];
}

// Whether the word before the '=' or ':' at is a level's key, a quote and blanks allowed between.
bool KeyBefore(const TextUnit* line, size_t at) {
  while (at > 0 && line[at - 1] == u' ') --at;
  if (at > 0 && line[at - 1] == u'"') --at;
  size_t start = at;
  while (start > 0 && IsLetter(line[start - 1])) --start;
  if (start > 0 && IsWordUnit(line[start - 1])) return false;
  return SameWordAnyCase(line + start, at - start, u"level") || SameWordAnyCase(line + start, at - start, u"severity");
}

// The value after a key's '=' or ':', in any case, or a number.
LogLevel KeyValueLevel(const TextUnit* line, size_t length, size_t at) {
  while (at < length && (line[at] == u' ' || line[at] == u'"')) ++at;
  size_t end = at;
  while (end < length && (IsLetter(line[end]) || IsDigitUnit(line[end]))) ++end;
  if (end == at) return LogLevel::kNone;
  return IsDigitUnit(line[at]) ? NumberLevel(line + at, end - at) : WordLevel(line + at, end - at, true);
}

// level=error, severity=ERROR, "level":"error", "level":50: the first such
// key whose value is a level, anywhere in the units looked at.
LogLevel KeyedLevel(const TextUnit* line, size_t length) {
  for (size_t i = 1; i < length; ++i) {
    if (line[i] != u'=' && line[i] != u':') continue;
    if (!KeyBefore(line, i)) continue;
    if (LogLevel level = KeyValueLevel(line, length, i + 1); level != LogLevel::kNone) return level;
  }
  return LogLevel::kNone;
}

// Android's "E/Tag:" after a time: the letter, then a slash.
LogLevel AndroidLevel(TextUnit letter) {
  switch (letter) {
    case u'V': case u'D': return LogLevel::kDebug;
    case u'I': return LogLevel::kInfo;
    case u'W': return LogLevel::kWarning;
    case u'E': return LogLevel::kError;
    case u'F': case u'A': return LogLevel::kFatal;
  }
  return LogLevel::kNone;
}

// A time of day alone at the line's start, as logback writes it ("08:15:00.123"), maybe in brackets.
bool StartsWithClock(const TextUnit* line, size_t length) {
  size_t at = 0;
  while (at < length && (line[at] == u' ' || line[at] == u'[')) ++at;
  for (int field = 0; field < 3; ++field, ++at) {
    size_t digits = 0;
    while (at + digits < length && IsDigitUnit(line[at + digits])) ++digits;
    at += digits;
    if (digits < 1 || digits > 2 || (field < 2 && (at >= length || line[at] != u':'))) return false;
  }
  return true;
}

}  // namespace

LineLevel ReadLineLevel(const TextUnit* line, size_t length) {
  length = std::min(length, kLevelSearchUnits);
  int64_t time;
  size_t at = 0;
  LineLevel read{LogLevel::kNone, FindLineTime(line, length, YearHint{2000, 1}, &time, &at)};
  read.stamped = read.stamped || StartsWithClock(line, length);
  if (read.stamped && at < length && line[at] == u'Z') ++at;  // UTC's zone letter
  // Among the first four words after the stamp; tokens without a letter (a
  // time without a date, a process id) are not counted. A key's value there
  // is read as the key forms read it.
  bool afterNumbers = read.stamped;
  for (int words = 0; at < length && words < 4;) {
    size_t gap = at;
    while (at < length && IsTokenEnd(line[at])) ++at;
    for (size_t i = gap; i < at; ++i)
      if ((line[i] == u'=' || line[i] == u':') && i > 0 && KeyBefore(line, i))
        if ((read.level = KeyValueLevel(line, length, i + 1)) != LogLevel::kNone) return read;
    size_t end = at;
    bool letters = false;
    for (; end < length && !IsTokenEnd(line[end]); ++end) letters = letters || IsLetter(line[end]);
    if (end == at) break;
    if (!letters) {
      at = end, afterNumbers = true;
      continue;
    }
    if (words == 0 && afterNumbers && end - at >= 3 && line[at + 1] == u'/' && IsLetter(line[at + 2]))
      if ((read.level = AndroidLevel(line[at])) != LogLevel::kNone) return read;
    // Lower case as the first word, and closing a bracket: "fatal ...", "[error]", "<warn>", "[core:error]".
    bool closed = end < length && (line[end] == u']' || line[end] == u'>');
    if ((read.level = WordLevel(line + at, end - at, words == 0 || closed)) != LogLevel::kNone) return read;
    at = end, ++words;
  }
  read.level = KeyedLevel(line, length);  // a key further on
  return read;
}

LogLevel ShownLineLevel(const TextUnit* line, size_t length, LevelCarry* carry, bool* stated) {
  LineLevel read = ReadLineLevel(line, length);
  if (stated) *stated = read.level != LogLevel::kNone;
  if (read.stamped) carry->level = read.level;
  return read.level != LogLevel::kNone || read.stamped ? read.level : carry->level;
}
