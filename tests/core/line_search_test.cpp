// Find through a file's bytes: the literal a regular expression's matches hold, and the scans both ways over a file in
// memory, in three charsets and through buffers large and small.
#include "core/line_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/stored_values.h"

const CharsetConversions& TestConversions();  // the system's, or the fuzzers' stand-in (charset_test.cpp)

// A file in memory, for the scans here and the time search (log_times_test.cpp).
size_t ReadString(void* bytes, uint64_t at, uint8_t* out, size_t count) {
  const std::string& text = *static_cast<const std::string*>(bytes);
  if (at >= text.size()) return 0;
  size_t got = std::min<size_t>(count, text.size() - size_t(at));
  memcpy(out, text.data() + at, got);
  return got;
}

namespace {

TEST(RequiredLiteral, TheLongestRunEveryMatchHolds) {
  const struct { std::u16string pattern; bool matchCase; std::u16string literal; } cases[] = {
      {u"took \\d{3,} ms", true, u"took "},
      {u"took \\d{3,} ms", false, u"too"},  // without case k and s have kin beyond ASCII
      {u"\\.log$", false, u".log"},
      {u"ab?c", true, u"a"}, {u"ab+c", true, u"ab"}, {u"ab{2}cd", true, u"ab"}, {u"ab{0,2}cd", true, u"cd"},
      {u"[abc]def", true, u"def"}, {u"x(abc)+yz", true, u"yz"}, {u"(?<=q)rst", true, u"rst"},
      {u"čaj", true, u"čaj"}, {u"čaj", false, u"aj"},
      {u"a|b", true, u""}, {u"(?i)abc", true, u""}, {u"a(*ACCEPT)bc", true, u""}, {u"a\\Qb\\E", true, u""},
      {u"\\d+", true, u""},
      // An escape's argument is no text of its own.
      {u"\\p{Lu}\\d", true, u""}, {u"\\x41BC", true, u"BC"}, {u"\\x{41}BC", true, u"BC"}, {u"\\101BC", true, u"BC"},
      {u"x\\cAy", true, u"x"}, {u"\\N{U+41}BC", true, u"BC"}, {u"(?<n>ab)\\k<n>", true, u""},
      {u"\\pLxy", true, u"xy"}, {u"\\o{101}z", true, u"z"}, {u"(a)\\g{-1}bc\\g1de\\g'1'", true, u"bc"},
      {u"[\\c]xyz]a", true, u"a"}, {u"ab\\c\\\\Ay", true, u"ab"}, {u"ab\\ix", true, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.pattern));
    TextUnit out[kFindTextUnits];
    size_t length = RequiredLiteral(c.pattern.c_str(), c.pattern.size(), c.matchCase, out, kFindTextUnits);
    EXPECT_EQ(std::u16string(out, length), c.literal);
  }
}

std::string Encode(const std::string& ascii, uint32_t charset) {
  if (charset != kCharsetUtf16Le && charset != kCharsetUtf16Be) return ascii;
  std::string wide;
  for (char c : ascii) wide += charset == kCharsetUtf16Le ? std::string{c, '\0'} : std::string{'\0', c};
  return wide;
}

std::string NumberedText(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += "line " + std::to_string(i) + " of a log\n";
  return text;
}

// One scan of the bytes with a buffer of capacity bytes, down from `from` to the end or up from it to the start.
ScanEnd Scan(const std::string& bytes, uint32_t charset, const FindQuery& query, const LineFilters& given,
             size_t capacity, bool down, uint64_t from, FoundLine* found,
             bool (*goOn)(void*, uint64_t) = nullptr, void* context = nullptr, size_t edge = 0) {
  LinePattern* pattern = MakeLinePattern(query, charset, nullptr);
  EXPECT_TRUE(pattern);
  if (!pattern) return ScanEnd::kNone;
  FilterStack filters;
  BuildFilterStack(&filters, given, nullptr);
  std::vector<uint8_t> buffer(capacity);
  std::vector<TextUnit> units(capacity + kChunkUnits);
  LineScan scan{{const_cast<std::string*>(&bytes), ReadString}, charset, &TestConversions(), pattern, &filters,
                buffer.data(), capacity, units.data(), goOn, context};
  ScanEnd end = down ? FindLineDown(scan, from, bytes.size(), found, edge) : FindLineUp(scan, 0, from, found, edge);
  ClearFilterStack(&filters);
  FreeLinePattern(pattern);
  return end;
}

FindQuery Query(const char* text, bool regex, bool matchCase = false, bool wholeWord = false) {
  FindQuery query;
  for (size_t i = 0; text[i]; ++i) query.text[i] = TextUnit(uint8_t(text[i]));
  query.matchCase = matchCase, query.wholeWord = wholeWord, query.regex = regex;
  return query;
}

TEST(LineScan, FindsWholeLinesBothWaysPastHiddenOnes) {
  // Lines start at 0, 6, 23, 41, 46, 51 (61 bytes: longer than the small buffer), 112 and 116.
  const std::string text = "alpha\nbeta took 12 ms\r\ngamma took 345 ms\nBETA\nlast\nneedle " + std::string(53, 'x') + "\n" +
                           "end\nhaz ZETA";
  // The view may end inside a line: edge is the unit it searched the line at from to (down) or from (up).
  const struct { const char* query; bool matchCase, wholeWord, regex; const char16_t* filter; bool down; uint64_t from, expected; size_t edge = 0; } cases[] = {
      {"beta", false, false, false, u"", true, 0, 6}, {"beta", false, false, false, u"", true, 23, 41},
      {"BETA", true, false, false, u"", true, 0, 41}, {"eta", false, true, false, u"", true, 0, ~0ull},
      {"beta", false, false, false, u"", false, 41, 6}, {"beta", false, false, false, u"", false, 46, 41},
      {"took \\d{3,} ms", false, false, true, u"", true, 0, 23}, {"took \\d{3,} ms", false, false, true, u"", false, 46, 23},
      {"ms$", false, false, true, u"", true, 0, 6},  // the CR before the break is no part of the line
      {"^b", false, false, true, u"", false, 112, 41},
      {"beta", false, false, false, u"h|beta", true, 0, ~0ull}, {"took", false, false, false, u"s|gamma", true, 0, 23},
      {"took", false, false, false, u"sc|BETA", false, 112, ~0ull},
      {"needle", false, false, false, u"", true, 0, 51}, {"needle", false, false, false, u"", false, 112, 51},
      {"x\\d", false, false, true, u"", true, 0, ~0ull}, {"end", false, false, false, u"", true, 46, 112},
      {"zeta", false, false, false, u"", true, 0, 116}, {"Haz", false, false, true, u"", false, 120, 116},
      {"needle", false, false, false, u"", true, 51, ~0ull, 1}, {"x", false, false, false, u"", true, 51, 51, 8},
      {"x{3}", false, false, true, u"", true, 51, 51, 20}, {"needle", false, false, false, u"", false, 51, 51, 3},
      {"xx", false, false, false, u"", false, 51, ~0ull, 7}, {"end", false, false, false, u"", false, 112, 112, 2},
      {"took", false, false, false, u"", true, 6, 23, 6},
  };
  for (uint32_t charset : {kCharsetUtf8, kCharsetUtf16Le, kCharsetUtf16Be, kCharsetAnsi}) {
    uint32_t unit = CharsetUnitSize(charset);
    const std::string bytes = Encode(text, charset);
    for (size_t capacity : {size_t(4096), size_t(64)}) {
      for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "charset " << charset << ", buffer " << capacity << ", " << c.query
                                        << (c.down ? " down from " : " up from ") << c.from);
        LineFilters given{};
        ASSERT_TRUE(!*c.filter || ParseStoredFilter(c.filter, &given.items[given.count++]));
        FoundLine found{~0ull, 0};
        ScanEnd end = Scan(bytes, charset, Query(c.query, c.regex, c.matchCase, c.wholeWord), given, capacity, c.down,
                           c.from * unit, &found, nullptr, nullptr, c.edge);
        EXPECT_EQ(end, c.expected == ~0ull ? ScanEnd::kNone : ScanEnd::kFound);
        EXPECT_EQ(found.start, c.expected == ~0ull ? ~0ull : c.expected * unit);
      }
    }
  }
}

// Asks counted; the stopAt-th and every later one says no (0: none does).
struct Asks { size_t count = 0, stopAt = 0; };

bool Ask(void* context, uint64_t) {
  Asks* asks = static_cast<Asks*>(context);
  return ++asks->count < asks->stopAt || asks->stopAt == 0;
}

// The byte search passes by lines without the text's bytes, decoding and testing none (each line tested is asked
// about): ASCII letters without case, and characters of two to four bytes in UTF-8 and in wide units, with case.
TEST(LineScan, TheByteSearchPassesLinesWithoutTheText) {
  const struct { const char16_t* text; bool matchCase; uint32_t charset; } cases[] = {
      {u"NeEdLe", false, kCharsetUtf8}, {u"café €", true, kCharsetUtf8}, {u"x😀", true, kCharsetUtf8},
      {u"x😀", true, kCharsetUtf16Le}, {u"NeEdLe", false, kCharsetUtf16Be}};
  std::string lines = NumberedText(2000);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.text)) + " in charset " + std::to_string(c.charset));
    FindQuery query;
    std::copy(c.text, c.text + std::char_traits<char16_t>::length(c.text), query.text);
    query.matchCase = c.matchCase;
    Asks asks;
    FoundLine found;
    EXPECT_EQ(Scan(Encode(lines, c.charset), c.charset, query, LineFilters{}, 4096, true, 0, &found, Ask, &asks),
              ScanEnd::kNone);
    EXPECT_LT(asks.count, 100u);  // a read of 4 KiB asks once; each of 2000 lines tested would
  }
}

// Faults found before, each in a file of its own, searched both ways with buffers that join lines and that test each
// alone: the line each scan finds is the first (down) and the last (up) that matches tested alone, and the match starts
// at matchUnit of it as decoded (a tab not expanded, a CR inside kept; going up, the last match, at upUnit where that
// differs). goOn is asked, so regular expressions are searched paced.
TEST(LineScan, RegressionsFindWhatEachLineAloneMatches) {
  const std::string escapes = "-\nxxABC\nabab\nx\x01y\nB1\n";  // lines at 0, 2, 8, 13, 17
  const char* escape = "escape argument taken for text";
  std::string ab;  // longer than a joined block of the larger buffer
  while (ab.size() < 2400) ab += "a b\n";
  // Costly starts, then one that commits to no match and, in the next
  // stretch of starts a paced search would try, one that matches.
  std::string costlyThenCommit;
  while (costlyThenCommit.size() < 3013) costlyThenCommit += "aaaaaaaaaaaaaaaaaa-";
  costlyThenCommit.resize(3013);
  costlyThenCommit += "-xxy\n";
  std::string longWide;  // longer than the smaller buffer, its last unit cut short
  for (int i = 0; i < 40; ++i) longWide += std::string("a\0", 2);
  longWide += '\x01';
  const struct {  // up: also up from the end
    const char* fault; std::string text; FindQuery query; uint64_t line; size_t matchUnit;
    uint32_t charset = kCharsetUtf8; bool up = true; size_t upUnit = ~size_t(0);
  } cases[] = {
      {escape, escapes, Query("\\p{Lu}\\d", true, true), 17, 0}, {escape, escapes, Query("\\x41BC", true), 2, 2},
      {escape, escapes, Query("\\101BC", true), 2, 2}, {escape, escapes, Query("x\\cAy", true), 13, 0},
      {escape, escapes, Query("\\N{U+41}BC", true), 2, 2}, {escape, escapes, Query("(?<n>ab)\\k<n>", true), 8, 0},
      {"no native code, no match", escapes, Query("(*NO_JIT)b\\d", true), 17, 0},
      {"a class's POSIX class taken for its end", escapes, Query("[[:upper:]yz]1", true, true), 17, 0},
      {"joined lines: empty place past the last line feed", ab + "zz", Query("\\B", true), 2400, 1},
      {"joined lines: CR of a last line not yet broken", "x\nabc\r", Query("c$", true), 2, 2},
      {"joined lines: a last line of a CR alone, not yet broken", "ab\n\r", Query("^$", true), 3, 0},
      {"joined lines: a possessive quantifier takes the line feed", "a \nb\n", Query("a\\s*+$", true), 0, 0},
      {"joined lines: \\X takes CR and line feed as one", "-\nx\r\r\nb\n", Query("x\\X", true, false, true), 2, 0},
      {"joined lines: \\R takes CR and line feed as one", "-\nx\r\r\nb\n", Query("x\\R$", true), 2, 0},
      {"match unit: the first occurrence, going up the last", "-\nA beta BETA\n", Query("beta", false), 2, 2,
       kCharsetUtf8, true, 7},
      {"match unit: a tab as one unit", "-\n\tbeta\n", Query("beta", false), 2, 1},
      {"match unit: a CR inside the line", "-\na\rbeta\r\n", Query("beta$", true), 2, 2},
      {"match unit: a regular expression's first match, going up the last", "-\nab took 12 took 3\n",
       Query("took \\d", true), 2, 3, kCharsetUtf8, true, 11},
      {"whole word: only the first occurrence counts", "xab ab\n", Query("ab", false, false, true), ~0ull, 0},
      {"whole word: a repeat made possessive", "-\na-- b\n-\n", Query("a\\W*", true, false, true), 2, 0},
      {"paced: starts tried on after a verb ended the whole search", costlyThenCommit,
       Query("(a|aa)*c|x(*COMMIT)y", true), ~0ull, 0},
      {"a partial unit after a long last line taken for a line", longWide, Query("^$", true), ~0ull, 0,
       kCharsetUtf16Le, false},
  };
  for (const auto& c : cases) {
    for (size_t capacity : {size_t(4096), size_t(32)}) {
      for (bool down : {true, false}) {
        if (!down && !c.up) continue;
        SCOPED_TRACE(testing::Message() << c.fault << ", buffer " << capacity << (down ? ", down" : ", up"));
        FoundLine found{~0ull, 0, ~size_t(0)};
        Asks asks;
        ScanEnd end = Scan(c.text, c.charset, c.query, LineFilters{}, capacity, down, down ? 0 : c.text.size(), &found,
                           Ask, &asks);
        EXPECT_EQ(end, c.line == ~0ull ? ScanEnd::kNone : ScanEnd::kFound);
        EXPECT_EQ(found.start, c.line);
        EXPECT_EQ(found.matchUnit, c.line == ~0ull ? ~size_t(0) : !down && c.upUnit != ~size_t(0) ? c.upUnit : c.matchUnit);
      }
    }
  }
}

// However long a line or costly a pattern, goOn is asked often: before each stretch is read, also while passing a long
// line by, each line tested and each call of the regex library. Stopped at any of those asks, the scan ends there.
TEST(LineScan, StopsAtEveryAskWithinLongLinesAndCostlyPatterns) {
  const std::string longLine(200 << 10, 'x');
  std::string costly, costlyLines;  // many starts, each a few thousand steps
  while (costly.size() < 3800) costly += "aaaaaaaaaaaaaaaaaa-", costlyLines += "aaaaaaaaaaaaaaaaaa-\n";
  costly += "b\n", costlyLines += "b\n";
  const struct {
    const char* fault; std::string text; FindQuery query; bool down; uint64_t line; size_t fewest;
  } cases[] = {
      {"stop unheard while passing a long line by", longLine + "\nneedle\n", Query("needle", false), true,
       longLine.size() + 1, 25},
      {"stop unheard while finding a long line's start", "needle\n" + longLine + "\n", Query("needle", false), false,
       0, 25},
      {"stop unheard during a costly regex over one line", costly, Query("(a|aa)*[bc]", true), true, 0, 20},
      {"stop unheard during a costly regex over joined lines", costlyLines, Query("(a|aa)*[bc]", true), true,
       costlyLines.size() - 2, 20},
      {"up: stopped, a line found before the last was tested taken for the last", "x\nx\nx\n", Query("x", false), false,
       4, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    Asks asks;
    FoundLine found{~0ull, 0};
    const size_t capacity = 8192;
    uint64_t from = c.down ? 0 : c.text.size();
    EXPECT_EQ(Scan(c.text, kCharsetUtf8, c.query, LineFilters{}, capacity, c.down, from, &found, Ask, &asks),
              ScanEnd::kFound);
    EXPECT_EQ(found.start, c.line);
    EXPECT_GE(asks.count, c.fewest);
    for (size_t stopAt = 1; stopAt <= c.fewest; ++stopAt) {
      SCOPED_TRACE(testing::Message() << "stopped at ask " << stopAt);
      Asks stopping{0, stopAt};
      EXPECT_EQ(Scan(c.text, kCharsetUtf8, c.query, LineFilters{}, capacity, c.down, from, &found, Ask, &stopping),
                ScanEnd::kStopped);
      EXPECT_EQ(stopping.count, stopAt);  // not asked again once told to stop
    }
  }
}

}  // namespace
