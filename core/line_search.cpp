#include "core/line_search.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/matching.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kMostNeedleBytes = 4 * kFindTextUnits;
constexpr size_t kNone = ~size_t(0);

// The bytes searched for, and for each whether it stands for an ASCII letter
// without case (held lower-case, compared with the 0x20 bit set).
struct Needle {
  size_t length = 0;
  uint8_t bytes[kMostNeedleBytes] = {};
  bool folded[kMostNeedleBytes] = {};
  size_t second = 0;  // the other byte the wide search compares, besides the first
};

bool IsAsciiLetter(TextUnit unit) { return (unit | 0x20) >= u'a' && (unit | 0x20) <= u'z'; }

// The units as the file holds them in the charset; false where that is not
// one byte string (a charset decoded through tables, a replacement character
// that invalid bytes may also give, a lone surrogate).
bool EncodeNeedle(const TextUnit* units, size_t count, uint32_t charset, bool caseless, Needle* needle) {
  size_t at = 0;
  auto put = [&](uint8_t byte, bool fold) {
    needle->folded[at] = fold;
    needle->bytes[at++] = fold ? uint8_t(byte | 0x20) : byte;
  };
  for (size_t i = 0; i < count; ++i) {
    TextUnit unit = units[i];
    bool fold = caseless && IsAsciiLetter(unit);
    switch (charset) {
      case kCharsetUtf16Le: put(uint8_t(unit), fold), put(uint8_t(unit >> 8), false); break;
      case kCharsetUtf16Be: put(uint8_t(unit >> 8), false), put(uint8_t(unit), fold); break;
      case kCharsetUtf8: {
        if (unit == 0xFFFD) return false;
        uint32_t code = unit;
        if ((unit & 0xFC00) == 0xD800) {
          if (i + 1 == count || (units[i + 1] & 0xFC00) != 0xDC00) return false;
          code = 0x10000 + ((uint32_t(unit) - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if ((unit & 0xFC00) == 0xDC00) {
          return false;
        }
        if (code < 0x80) put(uint8_t(code), fold);
        else if (code < 0x800) put(uint8_t(0xC0 | code >> 6), false), put(uint8_t(0x80 | (code & 0x3F)), false);
        else if (code < 0x10000)
          put(uint8_t(0xE0 | code >> 12), false), put(uint8_t(0x80 | (code >> 6 & 0x3F)), false),
              put(uint8_t(0x80 | (code & 0x3F)), false);
        else
          put(uint8_t(0xF0 | code >> 18), false), put(uint8_t(0x80 | (code >> 12 & 0x3F)), false),
              put(uint8_t(0x80 | (code >> 6 & 0x3F)), false), put(uint8_t(0x80 | (code & 0x3F)), false);
        break;
      }
      case kCharsetAnsi: case kCharsetOem: case kCharsetCurrent:
        // Every code page the system offers here reads ASCII bytes as ASCII.
        if (unit >= 0x80) return false;
        put(uint8_t(unit), fold);
        break;
      default:
        return false;
    }
  }
  needle->length = at;
  // The second byte compared: the last one that is neither a blank nor the
  // zero half of a wide unit, which most text is full of.
  needle->second = 0;
  for (size_t i = at; i-- > 1;)
    if (needle->bytes[i] != 0 && needle->bytes[i] != ' ') {
      needle->second = i;
      break;
    }
  return at > 0;
}

bool NeedleAt(const Needle& needle, const uint8_t* bytes) {
  for (size_t i = 0; i < needle.length; ++i)
    if (uint8_t(needle.folded[i] ? bytes[i] | 0x20 : bytes[i]) != needle.bytes[i]) return false;
  return true;
}

// The first offset in [from, end) on the unit grid where the needle starts and
// fits before end; kNone without one. from lies on the grid.
size_t FindNeedle(const Needle& needle, uint32_t unit, const uint8_t* bytes, size_t from, size_t end) {
  size_t length = needle.length;
  if (end < from + length) return kNone;
  size_t last = end - length;  // the last start
  size_t at = from;
#if defined(__SSE2__)
  size_t second = needle.second;
  const __m128i first = _mm_set1_epi8(char(needle.bytes[0])), other = _mm_set1_epi8(char(needle.bytes[second]));
  const __m128i firstFold = _mm_set1_epi8(needle.folded[0] ? 0x20 : 0);
  const __m128i otherFold = _mm_set1_epi8(needle.folded[second] ? 0x20 : 0);
  // Starts off the grid of a wide unit are no candidates.
  const unsigned grid = unit == 2 ? 0x5555 : unit == 4 ? 0x1111 : 0xFFFF;
  for (; at + 16 <= last + 1; at += 16) {
    __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at)), firstFold);
    __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + second)), otherFold);
    unsigned hits = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, other)))) & grid;
    while (hits) {
      size_t start = at + size_t(__builtin_ctz(hits));
      if (NeedleAt(needle, bytes + start)) return start;
      hits &= hits - 1;
    }
  }
#endif
  for (; at <= last; at += unit)
    if (NeedleAt(needle, bytes + at)) return at;
  return kNone;
}

}  // namespace

struct LinePattern {
  FindQuery query;
  HighlightRule text;  // plain text made ready for find's row test
  Regex* regex = nullptr;
  // The same searched through many lines at once, where that finds at least
  // every line that matches alone; null where it might not.
  Regex* manyLines = nullptr;
  uint32_t unit = 1;
  uint32_t newline = '\n';
  Needle needle;
};

namespace {

bool IsQuantifierStart(const TextUnit* p, size_t n, size_t i, size_t* end, bool* none) {
  if (p[i] == u'*' || p[i] == u'?' || p[i] == u'+') {
    *none = p[i] != u'+';
    *end = i + 1;
  } else if (p[i] == u'{') {
    size_t k = i + 1, digits = 0;
    uint32_t least = 0;
    while (k < n && p[k] >= u'0' && p[k] <= u'9') least = std::min<uint32_t>(least * 10 + (p[k++] - u'0'), 1000), ++digits;
    if (k < n && p[k] == u',') {
      ++k;
      while (k < n && p[k] >= u'0' && p[k] <= u'9') ++k, ++digits;
    }
    if (!digits || k >= n || p[k] != u'}') return false;
    *none = least == 0;
    *end = k + 1;
  } else {
    return false;
  }
  if (*end < n && (p[*end] == u'+' || p[*end] == u'?')) ++*end;  // possessive or lazy
  return true;
}

bool IsHexDigit(TextUnit unit) { return IsDigitUnit(unit) || ((unit | 0x20) >= u'a' && (unit | 0x20) <= u'f'); }

// Past the delimiter that closes what opens at i ('{', '<' or '\''); 0
// when it does not open there or is not closed.
size_t PastDelimited(const TextUnit* p, size_t n, size_t i) {
  if (i >= n) return 0;
  TextUnit close = p[i] == u'{' ? u'}' : p[i] == u'<' ? u'>' : p[i] == u'\'' ? u'\'' : 0;
  if (!close) return 0;
  for (size_t k = i + 1; k < n; ++k)
    if (p[k] == close) return k + 1;
  return 0;
}

// The units the escape at i (a backslash, then a letter or digit) takes with
// its argument: \x41 is one character, \p{Lu} one class, \k<n> one
// reference, none of them text. 0 when unsure.
size_t EscapeLength(const TextUnit* p, size_t n, size_t i) {
  size_t k = i + 2;
  switch (p[i + 1]) {
    case u'x':
      if (k < n && p[k] == u'{') return PastDelimited(p, n, k) ? PastDelimited(p, n, k) - i : 0;
      while (k < n && k < i + 4 && IsHexDigit(p[k])) ++k;
      return k - i;
    case u'o':
      return PastDelimited(p, n, k) && p[k] == u'{' ? PastDelimited(p, n, k) - i : 0;
    case u'c':
      return k < n && p[k] < 0x80 ? 3 : 0;
    case u'N':
      if (k < n && p[k] == u'{') return PastDelimited(p, n, k) ? PastDelimited(p, n, k) - i : 0;
      return 2;
    case u'p': case u'P':
      if (k < n && p[k] == u'{') return PastDelimited(p, n, k) ? PastDelimited(p, n, k) - i : 0;
      return k < n && p[k] < 0x80 ? 3 : 0;
    case u'k':
      return PastDelimited(p, n, k) ? PastDelimited(p, n, k) - i : 0;
    case u'g':
      if (PastDelimited(p, n, k)) return PastDelimited(p, n, k) - i;
      if (k < n && (p[k] == u'-' || p[k] == u'+')) ++k;
      if (k >= n || !IsDigitUnit(p[k])) return 0;
      while (k < n && IsDigitUnit(p[k])) ++k;
      return k - i;
    default:
      break;
  }
  if (IsDigitUnit(p[i + 1])) {  // octal, or a back-reference: all its digits
    while (k < n && IsDigitUnit(p[k])) ++k;
    return k - i;
  }
  // The escapes of one letter the library knows; any other is beyond this reading.
  for (const char16_t* known = u"aefnrtdDhHsSvVwWRXbBAzZGK"; *known; ++known)
    if (p[i + 1] == *known) return 2;
  return 0;
}

// Past a character class opened at i; n when it is not closed or is beyond
// this reading.
size_t PastClass(const TextUnit* p, size_t n, size_t i) {
  size_t k = i + 1;
  if (k < n && p[k] == u'^') ++k;
  if (k < n && p[k] == u']') ++k;
  while (k < n && p[k] != u']') {
    if (p[k] == u'\\' && k + 1 < n && (p[k + 1] == u'Q' || p[k + 1] == u'E')) return n;
    if (p[k] == u'\\') k += k + 1 < n && p[k + 1] == u'c' ? 3 : 2;  // \c takes any character, ] too
    else if (p[k] == u'[' && k + 1 < n && p[k + 1] == u':') {
      size_t close = k + 2;
      while (close + 1 < n && !(p[close] == u':' && p[close + 1] == u']')) ++close;
      k = close + 2;
    } else {
      ++k;
    }
  }
  return k < n ? k + 1 : n;
}

}  // namespace

size_t RequiredLiteral(const TextUnit* p, size_t n, bool matchCase, TextUnit* out, size_t capacity) {
  TextUnit run[kFindTextUnits];
  size_t runLength = 0, bestLength = 0, lastUnits = 0;  // lastUnits: the run's last character, 0 after another item
  auto endRun = [&] {
    if (runLength > bestLength && runLength <= capacity) std::copy(run, run + runLength, out), bestLength = runLength;
    runLength = 0, lastUnits = 0;
  };
  auto add = [&](const TextUnit* units, size_t count) {
    if (runLength + count > kFindTextUnits) endRun();
    std::copy(units, units + count, run + runLength);
    runLength += count, lastUnits = count;
  };
  size_t i = 0;
  while (i < n) {
    TextUnit c = p[i];
    size_t end = 0;
    bool none = false;
    if (IsQuantifierStart(p, n, i, &end, &none)) {
      // It repeats the last character: kept when it must stand at least once.
      if (lastUnits && none) runLength -= lastUnits;
      endRun();
      i = end;
      continue;
    }
    switch (c) {
      case u'|': case u')':
        return 0;
      case u'(': {
        if (i + 2 < n && (p[i + 1] == u'*' || (p[i + 1] == u'?' && (IsAsciiLetter(p[i + 2]) || p[i + 2] == u'^' ||
                                                                   p[i + 2] == u'-'))))
          return 0;  // a verb, or options set for what follows
        int depth = 0;
        size_t k = i;
        for (; k < n; ++k) {
          if (p[k] == u'\\' && k + 1 < n && (p[k + 1] == u'Q' || p[k + 1] == u'E')) return 0;
          if (p[k] == u'\\') k += k + 1 < n && p[k + 1] == u'c' ? 2 : 1;
          else if (p[k] == u'[') k = PastClass(p, n, k) - 1;
          else if (p[k] == u'(') ++depth;
          else if (p[k] == u')' && --depth == 0) break;
        }
        if (k >= n) return 0;
        endRun();
        i = k + 1;
        continue;
      }
      case u'[':
        endRun();
        i = PastClass(p, n, i);
        continue;
      case u'.': case u'^': case u'$': case u'{': case u'}': case u']':
        endRun();
        ++i;
        continue;
      case u'\\': {
        if (i + 1 >= n) return 0;
        TextUnit next = p[i + 1];
        if (next == u'Q' || next == u'E') return 0;
        if (next >= 0x80) {  // that character itself, maybe a pair: passed by
          endRun();
          i += 2 + ((next & 0xFC00) == 0xD800 && i + 2 < n && (p[i + 2] & 0xFC00) == 0xDC00);
          continue;
        }
        if (!IsAsciiLetter(next) && !IsDigitUnit(next)) {
          add(&p[i + 1], 1);
          i += 2;
          continue;
        }
        size_t escape = EscapeLength(p, n, i);
        if (!escape) return 0;
        endRun();
        i += escape;
        continue;
      }
      default:
        break;
    }
    size_t units = (c & 0xFC00) == 0xD800 && i + 1 < n && (p[i + 1] & 0xFC00) == 0xDC00 ? 2 : 1;
    // Without case, Unicode folds letters beyond ASCII, and k and s too
    // (the Kelvin sign, the long s): none of them is a byte to look for.
    bool safe = matchCase || (c < 0x80 && (c | 0x20) != u'k' && (c | 0x20) != u's');
    if (safe) add(&p[i], units);
    else endRun();
    i += units;
  }
  endRun();
  return bestLength;
}

namespace {

// Searched through lines joined by line feeds, a pattern finds a match in
// every line where it finds one alone, unless it looks around, anchors to the
// text's ends or is beyond this simple reading; the feed is no word unit, as
// the text's ends are not. Nor where it may take the feed for good, so that
// it cannot end the match where the line alone ends: a possessive quantifier,
// \R, or \X (CR and LF are one character to it). Only where each line feed
// unit is a line feed byte.
bool SearchableAcrossLines(const TextUnit* p, size_t n, uint32_t charset) {
  if (charset != kCharsetUtf8 && charset != kCharsetUtf16Le && charset != kCharsetUtf16Be) return false;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (p[i] == u'(' && (p[i + 1] == u'*' || (p[i + 1] == u'?' && (i + 2 >= n || p[i + 2] != u':')))) return false;
    if ((p[i] == u'*' || p[i] == u'+' || p[i] == u'?' || p[i] == u'}') && p[i + 1] == u'+') return false;
    if (p[i] != u'\\') continue;
    TextUnit next = p[++i];
    if (next == u'A' || next == u'z' || next == u'Z' || next == u'G' || next == u'K' || next == u'Q' ||
        next == u'R' || next == u'X')
      return false;
    if (next == u'c') ++i;  // its argument may be a backslash
  }
  return true;
}

}  // namespace

LinePattern* MakeLinePattern(const FindQuery& given, uint32_t charset, RegexError* error) {
  static_assert(kFindTextUnits <= kMaxPatternUnits);
  LinePattern* pattern = new (std::nothrow) LinePattern;
  if (!pattern) return nullptr;
  pattern->query = given;
  FindQuery& query = pattern->query;
  query.text[kFindTextUnits] = 0;
  size_t length = TextLength(query.text);
  if (length == 0) return FreeLinePattern(pattern), nullptr;
  if (query.regex) {
    pattern->regex = CompileRegex(query.text, length, query.matchCase, query.wholeWord, error, true);
    if (!pattern->regex) return FreeLinePattern(pattern), nullptr;
    if (SearchableAcrossLines(query.text, length, charset))
      pattern->manyLines = CompileManyLinesRegex(query.text, length, query.matchCase, query.wholeWord);
  } else {
    pattern->text.matchCase = query.matchCase, pattern->text.wholeWord = query.wholeWord;
    MakeRule(&pattern->text, query.text, length);
  }
  pattern->unit = CharsetUnitSize(charset);
  pattern->newline = CharsetNewlineUnit(charset);
  TextUnit literal[kFindTextUnits];
  size_t literalLength = query.regex ? RequiredLiteral(query.text, length, query.matchCase, literal, kFindTextUnits)
                                     : (std::copy(query.text, query.text + length, literal), length);
  if (!literalLength || !EncodeNeedle(literal, literalLength, charset, !query.matchCase, &pattern->needle))
    pattern->needle.length = 0;
  return pattern;
}

void FreeLinePattern(LinePattern* pattern) {
  if (!pattern) return;
  FreeRegex(pattern->regex);
  FreeRegex(pattern->manyLines);
  delete pattern;
}

namespace {

// Where the match starts in a decoded line, from unit from on; kNoOccurrence
// without one (a regular expression stopped at its bound, or by the pace,
// has none).
size_t MatchStart(LinePattern* pattern, const TextUnit* line, size_t length, const RegexPace* pace, size_t from = 0) {
  if (from > length) return kNoOccurrence;
  if (!pattern->regex) return RowMatchStart(pattern->text, line, length, from);
  RegexSpan span;
  RegexSearch found = pace ? SearchRegexPaced(pattern->regex, line, length, from, &span, *pace)
                           : SearchRegex(pattern->regex, line, length, from, &span);
  return found == RegexSearch::kMatch ? span.start : kNoOccurrence;
}

// Where the last match that starts before `before` starts: what a search
// going up meets first.
size_t LastMatchStart(LinePattern* pattern, const TextUnit* line, size_t length, const RegexPace* pace,
                      size_t before) {
  if (!pattern->regex) return RowLastMatchStart(pattern->text, line, length, before);
  size_t last = kNoOccurrence;
  for (size_t from = 0; from <= length;) {
    size_t start = MatchStart(pattern, line, length, pace, from);
    if (start == kNoOccurrence || start >= before) break;
    last = start;
    from = start + 1;
  }
  return last;
}

}  // namespace

bool LineHoldsMatch(LinePattern* pattern, const TextUnit* line, size_t length, size_t* matchUnit) {
  size_t start = MatchStart(pattern, line, length, nullptr);
  if (start == kNoOccurrence) return false;
  if (matchUnit) *matchUnit = start;
  return true;
}

namespace {

// One scan's asking whether to go on: before each stretch is read, each line
// is tested, each call of the regular expressions' library and each read of
// the skip past a long line. Once goOn says no, all that follows gives up.
struct Pacer {
  const LineScan* scan;
  uint64_t at;  // the offset reached, as goOn is told
  bool stopped;
  RegexPace regex;
  bool up = false;  // going up, a line's last match is the one met first
};

bool GoesOn(Pacer* pacer) {
  const LineScan& scan = *pacer->scan;
  if (!pacer->stopped && scan.goOn && !scan.goOn(scan.context, pacer->at)) pacer->stopped = true;
  return !pacer->stopped;
}

bool RegexGoesOn(void* pacer) { return GoesOn(static_cast<Pacer*>(pacer)); }

size_t ReadPaced(void* context, uint64_t at, uint8_t* bytes, size_t count) {
  Pacer* pacer = static_cast<Pacer*>(context);
  pacer->at = at;
  return GoesOn(pacer) ? pacer->scan->file.read(pacer->scan->file.context, at, bytes, count) : 0;
}

// A line found in the bytes searched: where it starts and ends, and where in
// it the match starts (FoundLine's matchUnit); start kNone for none.
struct LineHit {
  size_t start = kNone, end = 0, matchUnit = 0;
};

// Decodes bytes[0, count) of one line (its break included, if it has one) and
// tests it: the filters see it as the row builder does (its first
// kMaxMatchUnits units, a CR kept), find without its break and CR, for a
// match that starts in [from, before).
constexpr size_t kWholeLine = ~size_t(0);
bool LineMatches(Pacer* pacer, const uint8_t* bytes, size_t count, TextUnit* decoded, size_t* matchUnit,
                 size_t from = 0, size_t before = kWholeLine) {
  const LineScan& scan = *pacer->scan;
  if (!GoesOn(pacer)) return false;
  size_t units = 0;
  for (size_t at = 0; at < count;) {
    size_t piece = std::min(count - at, kChunkBytes), leftover = 0;
    units += DecodeChunk(scan.charset, const_cast<uint8_t*>(bytes + at), piece, decoded + units, &leftover,
                         *scan.system);
    if (leftover == piece) break;  // no whole character left
    at += piece - leftover;
  }
  const TextUnit* line = decoded;
  if (units && line[units - 1] == u'\n') --units;
  size_t tested = units && line[units - 1] == u'\r' ? units - 1 : units;
  const RegexPace* pace = scan.goOn ? &pacer->regex : nullptr;
  size_t start = pacer->up ? LastMatchStart(scan.pattern, line, tested, pace, before)
                            : MatchStart(scan.pattern, line, tested, pace, from);
  if (start == kNoOccurrence || start >= before ||
      (scan.filters && !FilterStackPasses(scan.filters, line, std::min(units, kMaxMatchUnits), false, pace)))
    return false;
  *matchUnit = start;
  return !pacer->stopped;
}

// Past the first line break in bytes[from, end) on the unit grid; kNone without one.
size_t PastBreak(const LinePattern& pattern, const uint8_t* bytes, size_t from, size_t end) {
  if (pattern.unit == 1) {
    const void* found = memchr(bytes + from, int(pattern.newline), end - from);
    return found ? size_t(static_cast<const uint8_t*>(found) - bytes) + 1 : kNone;
  }
  for (size_t at = from; at + pattern.unit <= end; at += pattern.unit)
    if (UnitAt(bytes + at, pattern.unit) == pattern.newline) return at + pattern.unit;
  return kNone;
}

// Where the line holding offset at starts, no earlier than from.
size_t LineStartBefore(const LinePattern& pattern, const uint8_t* bytes, size_t from, size_t at) {
  at -= (at - from) % pattern.unit;
  while (at > from && UnitAt(bytes + at - pattern.unit, pattern.unit) != pattern.newline) at -= pattern.unit;
  return at;
}

// Tests the whole lines in bytes[0, count), which starts a line, in order:
// the first (or, with last, the last) line holding a match.
LineHit MatchingLineAlone(Pacer* pacer, const uint8_t* bytes, size_t count, bool last) {
  const LineScan& scan = *pacer->scan;
  const LinePattern& pattern = *scan.pattern;
  LineHit found;
  for (size_t at = 0; at < count && !pacer->stopped;) {
    size_t start = at;
    if (pattern.needle.length) {
      size_t candidate = FindNeedle(pattern.needle, pattern.unit, bytes, at, count);
      if (candidate == kNone) break;
      start = LineStartBefore(pattern, bytes, at, candidate);
      at = candidate;
    }
    size_t end = PastBreak(pattern, bytes, at, count);
    if (end == kNone) end = count;
    size_t matchUnit = 0;
    if (LineMatches(pacer, bytes + start, end - start, scan.units, &matchUnit)) {
      found = LineHit{start, end, matchUnit};
      if (!last) break;
    }
    at = end;
  }
  return found;
}

constexpr size_t kJoinedBytes = size_t(256) << 10;

// Blocks of whole lines decoded at once, the CR before each line feed left
// out, and searched in one go: only a line a match starts in is then tested
// alone, which decides. A block the byte search finds no candidate in is
// passed by whole.
LineHit MatchingLineAcross(Pacer* pacer, const uint8_t* bytes, size_t count, bool last) {
  const LineScan& scan = *pacer->scan;
  const LinePattern& pattern = *scan.pattern;
  const RegexPace* pace = scan.goOn ? &pacer->regex : nullptr;
  uint32_t unit = pattern.unit;
  size_t blockBytes = std::min(scan.byteCapacity / 2, kJoinedBytes);
  blockBytes -= blockBytes % unit;
  // A unit of text takes at least a unit of the file here (UTF-8, UTF-16).
  TextUnit* joined = scan.units;
  TextUnit* alone = scan.units + blockBytes;
  LineHit found;
  // Whether the search is done with the line found.
  auto take = [&](size_t start, size_t end, size_t matchUnit) {
    found = LineHit{start, end, matchUnit};
    return !last;
  };
  for (size_t at = 0; at < count && !pacer->stopped;) {
    size_t end = std::min(count, at + blockBytes);
    if (end < count) {
      size_t lastBreak = 0;
      for (size_t k = end; k >= at + unit && !lastBreak; k -= unit)
        if (UnitAt(bytes + k - unit, unit) == pattern.newline) lastBreak = k;
      if (!lastBreak) {  // a line longer than the block, alone
        size_t lineEnd = PastBreak(pattern, bytes, at, count), matchUnit = 0;
        if (lineEnd == kNone) lineEnd = count;
        if (LineMatches(pacer, bytes + at, lineEnd - at, scan.units, &matchUnit) && take(at, lineEnd, matchUnit))
          return found;
        at = lineEnd;
        continue;
      }
      end = lastBreak;
    }
    if (pattern.needle.length && FindNeedle(pattern.needle, unit, bytes, at, end) == kNone) {
      at = end;
      continue;
    }
    size_t units = 0;
    for (size_t from = at; from < end;) {
      size_t piece = std::min(end - from, kChunkBytes), leftover = 0;
      units += DecodeChunk(scan.charset, const_cast<uint8_t*>(bytes + from), piece, joined + units, &leftover,
                           *scan.system);
      if (leftover == piece) break;
      from += piece - leftover;
    }
    // Whether the block's last line is broken, before its CR goes: a line of
    // a CR alone, not yet broken, is a line, empty once its CR is left out.
    bool brokenLast = units && joined[units - 1] == u'\n';
    // A CR that ends the block ends a line not yet broken (a writer midway
    // through CR LF): left out, as the line alone leaves it out.
    size_t kept = 0;
    for (size_t i = 0; i < units; ++i)
      if (!(joined[i] == u'\r' && (i + 1 == units || joined[i + 1] == u'\n'))) joined[kept++] = joined[i];
    units = kept;
    // The line the cursor stands on, in units and in bytes alike: each line
    // feed unit is a line feed in the file.
    size_t cursorUnit = 0, cursorByte = at, from = 0;
    for (;;) {
      RegexSpan span;
      RegexSearch result = pace ? SearchRegexPaced(pattern.manyLines, joined, units, from, &span, *pace)
                                : SearchRegex(pattern.manyLines, joined, units, from, &span);
      // Past the last line feed is no line (\B matches there).
      if (result == RegexSearch::kNoMatch || result == RegexSearch::kStopped ||
          (result == RegexSearch::kMatch && brokenLast && span.start >= units))
        break;
      if (result == RegexSearch::kBoundHit) {  // the rest of the block line by line
        LineHit rest = MatchingLineAlone(pacer, bytes + cursorByte, end - cursorByte, last);
        if (rest.start != kNone && take(cursorByte + rest.start, cursorByte + rest.end, rest.matchUnit))
          return found;
        break;
      }
      size_t lineUnit = span.start;
      while (lineUnit > cursorUnit && joined[lineUnit - 1] != u'\n') --lineUnit;
      while (cursorUnit < lineUnit) {
        while (joined[cursorUnit] != u'\n') ++cursorUnit;
        ++cursorUnit;
        size_t next = PastBreak(pattern, bytes, cursorByte, end);
        cursorByte = next == kNone ? end : next;
      }
      size_t lineEnd = PastBreak(pattern, bytes, cursorByte, end), matchUnit = 0;
      if (lineEnd == kNone) lineEnd = end;
      if (LineMatches(pacer, bytes + cursorByte, lineEnd - cursorByte, alone, &matchUnit) &&
          take(cursorByte, lineEnd, matchUnit))
        return found;
      size_t next = lineUnit;
      while (next < units && joined[next] != u'\n') ++next;
      if (next >= units || pacer->stopped) break;
      from = next + 1;
    }
    at = end;
  }
  return found;
}

// Blocks too small to hold a few lines are not worth joining.
LineHit MatchingLineIn(Pacer* pacer, const uint8_t* bytes, size_t count, bool last) {
  return pacer->scan->pattern->manyLines && pacer->scan->byteCapacity >= 64
             ? MatchingLineAcross(pacer, bytes, count, last)
             : MatchingLineAlone(pacer, bytes, count, last);
}

uint64_t GridFloor(uint64_t at, uint32_t unit) { return at - at % unit; }

// Whether the unit before at is a line break, read anew.
bool BreakBefore(const LineScan& scan, uint64_t at) {
  uint32_t unit = scan.pattern->unit;
  uint8_t bytes[4];
  return at >= unit && scan.file.read(scan.file.context, at - unit, bytes, unit) == unit &&
         UnitAt(bytes, unit) == scan.pattern->newline;
}

// The one line that starts at lineStart, on its first capacity bytes, for a
// match that starts in [from, before): its hit, start kNone for none; *next
// where the line after it starts (kNone: none in the bytes read).
LineHit EdgeLineHit(Pacer* pacer, uint64_t lineStart, size_t capacity, size_t from, size_t before, uint64_t* next) {
  const LineScan& scan = *pacer->scan;
  *next = kNone;
  pacer->at = lineStart;
  size_t got = GoesOn(pacer) ? scan.file.read(scan.file.context, lineStart, scan.bytes, capacity) : 0;
  size_t end = PastBreak(*scan.pattern, scan.bytes, 0, got);
  if (end != kNone) *next = lineStart + end;
  else end = got;  // the line goes on past the buffer, or is the last (a partial unit its own)
  size_t matchUnit = 0;
  if (end && LineMatches(pacer, scan.bytes, end, scan.units, &matchUnit, from, before)) return {0, end, matchUnit};
  return {};
}

}  // namespace

ScanEnd FindLineDown(const LineScan& scan, uint64_t from, uint64_t end, FoundLine* line, size_t firstFrom) {
  const LinePattern& pattern = *scan.pattern;
  uint32_t unit = pattern.unit;
  size_t capacity = GridFloor(scan.byteCapacity, unit);
  if (capacity == 0) return ScanEnd::kNone;
  Pacer pacer{&scan, from, false, {}};
  pacer.regex = RegexPace{RegexGoesOn, &pacer};
  const ByteReader paced{&pacer, ReadPaced};
  if (firstFrom > 0 && from < end) {
    uint64_t next = 0;
    LineHit hit = EdgeLineHit(&pacer, from, size_t(std::min<uint64_t>(capacity, end - from)), firstFrom, kWholeLine, &next);
    if (hit.start != kNone) return *line = {from, from + hit.end, hit.matchUnit}, ScanEnd::kFound;
    if (pacer.stopped) return ScanEnd::kStopped;
    if (next == kNone) {  // longer than the buffer, or the last line
      next = FindFirstWholeLine(paced, from + GridFloor(std::min<uint64_t>(capacity, end - from), unit), scan.charset,
                                scan.bytes, capacity);
      if (pacer.stopped) return ScanEnd::kStopped;
      if (next <= from || next > end || !BreakBefore(scan, next)) return ScanEnd::kNone;
    }
    from = next;
  }
  while (from < end) {
    pacer.at = from;
    if (!GoesOn(&pacer)) return ScanEnd::kStopped;
    size_t wanted = size_t(std::min<uint64_t>(capacity, end - from));
    size_t got = scan.file.read(scan.file.context, from, scan.bytes, wanted);
    if (got == 0) return ScanEnd::kNone;
    bool reachesEnd = from + got >= end;
    size_t lines = reachesEnd ? got : 0;  // the whole lines read; the last line counts at the end
    if (!reachesEnd)
      for (size_t at = GridFloor(got, unit); at >= unit && !lines; at -= unit)
        if (UnitAt(scan.bytes + at - unit, unit) == pattern.newline) lines = at;
    if (lines == 0) {
      // A line longer than the buffer: its start is tested, then the scan
      // goes on past its break.
      LineHit hit = MatchingLineIn(&pacer, scan.bytes, GridFloor(got, unit), false);
      if (hit.start != kNone) return *line = {from + hit.start, from + hit.end, hit.matchUnit}, ScanEnd::kFound;
      if (pacer.stopped) return ScanEnd::kStopped;
      uint64_t next = FindFirstWholeLine(paced, from + GridFloor(got, unit), scan.charset, scan.bytes, capacity);
      if (pacer.stopped) return ScanEnd::kStopped;
      // Without a break it ran to the end: a partial unit after it is its own, no line.
      if (next <= from || !BreakBefore(scan, next)) return ScanEnd::kNone;
      from = next;
      continue;
    }
    LineHit hit = MatchingLineIn(&pacer, scan.bytes, lines, false);
    if (hit.start != kNone) return *line = {from + hit.start, from + hit.end, hit.matchUnit}, ScanEnd::kFound;
    if (pacer.stopped) return ScanEnd::kStopped;
    from += lines;
  }
  return ScanEnd::kNone;
}

ScanEnd FindLineUp(const LineScan& scan, uint64_t floor, uint64_t to, FoundLine* line, size_t lastBefore) {
  const LinePattern& pattern = *scan.pattern;
  uint32_t unit = pattern.unit;
  size_t capacity = GridFloor(scan.byteCapacity, unit);
  if (capacity == 0) return ScanEnd::kNone;
  Pacer pacer{&scan, to, false, {}};
  pacer.regex = RegexPace{RegexGoesOn, &pacer};
  pacer.up = true;
  const ByteReader paced{&pacer, ReadPaced};
  if (lastBefore > 0) {
    uint64_t next = 0;
    LineHit hit = EdgeLineHit(&pacer, to, capacity, 0, lastBefore, &next);
    if (hit.start != kNone) return *line = {to, to + hit.end, hit.matchUnit}, ScanEnd::kFound;
    if (pacer.stopped) return ScanEnd::kStopped;
  }
  while (to > floor) {
    pacer.at = to;
    if (!GoesOn(&pacer)) return ScanEnd::kStopped;
    uint64_t from = to - std::min<uint64_t>(capacity, to - floor);
    from += (unit - (from - floor) % unit) % unit;  // on the grid that floor and to share
    if (from >= to) return ScanEnd::kNone;
    size_t wanted = size_t(to - from);
    if (scan.file.read(scan.file.context, from, scan.bytes, wanted) != wanted) return ScanEnd::kNone;
    // The line the stretch starts inside waits for the next one.
    size_t first = from == floor ? 0 : PastBreak(pattern, scan.bytes, 0, wanted);
    if (first == wanted || first == kNone) {
      // One line longer than the buffer ends at to: its start is found and tested.
      bool broken = UnitAt(scan.bytes + wanted - unit, unit) == pattern.newline;
      uint64_t start = StartOfLastLines(paced, floor, to, scan.charset, broken ? 1 : 0, scan.bytes, capacity);
      if (pacer.stopped) return ScanEnd::kStopped;
      size_t head = size_t(std::min<uint64_t>(capacity, to - start));
      if (start >= to || scan.file.read(scan.file.context, start, scan.bytes, head) != head) return ScanEnd::kNone;
      LineHit hit = MatchingLineIn(&pacer, scan.bytes, head, false);
      if (hit.start == 0) return *line = {start, start + hit.end, hit.matchUnit}, ScanEnd::kFound;
      if (pacer.stopped) return ScanEnd::kStopped;
      to = start;
      continue;
    }
    // Stopped before the stretch's last line was tested, a line found is not the last.
    LineHit hit = MatchingLineIn(&pacer, scan.bytes + first, wanted - first, true);
    if (pacer.stopped) return ScanEnd::kStopped;
    if (hit.start != kNone)
      return *line = {from + first + hit.start, from + first + hit.end, hit.matchUnit}, ScanEnd::kFound;
    to = from + first;
  }
  return ScanEnd::kNone;
}
