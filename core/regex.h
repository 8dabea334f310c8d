// Regular expressions over rows as they are (UTF-16, unconverted), through
// PCRE2: compiled once, then searched in many rows with no allocation per row.
// Rows are untrusted: invalid UTF-16 (a lone surrogate) matches nothing but
// is no error. A search that backtracks without end stops at a bound counted
// in the library's steps and in a fixed stack, never in time: the row counts
// as undecided, which callers treat as not matching and count.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"

struct Regex;  // the compiled code with its match data and stack, one owner

constexpr size_t kRegexMessageUnits = 128;

struct RegexError {
  size_t offset = 0;  // in units: where in the pattern compiling stopped
  TextUnit message[kRegexMessageUnits] = {};  // the library's words, terminated
};

// Compiled as UTF with Unicode classes, without case unless matchCase, and
// made native code where the platform allows. With wholeWord a match counts
// only between units that are no word units (IsWordUnit) or the text's ends;
// every match the pattern allows is tried, not just the first. Null when the
// pattern does not compile (error, when given, says why) or memory ran out.
// paced: made for SearchRegexPaced, each call a little slower.
Regex* CompileRegex(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error,
                    bool paced = false);
// The same, paced, for text of many lines, each ended by a line feed: ^ and
// $ match at the edges of every line too, ^ also at the text's end after a
// line feed.
Regex* CompileManyLinesRegex(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord);
// Frees all a compiled pattern holds; null is fine.
void FreeRegex(Regex* regex);
// Whether the pattern compiles, without keeping it; error as CompileRegex.
bool RegexCompiles(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error);

enum class RegexSearch : uint8_t { kNoMatch, kMatch, kBoundHit, kStopped };

struct RegexSpan {
  size_t start = 0, end = 0;  // units of the row, end past the match
};

// The first match starting at from or later in text[0, length); lookbehinds
// may read before from. kBoundHit when the search stopped at the bound.
RegexSearch SearchRegex(Regex* regex, const TextUnit* text, size_t length, size_t from, RegexSpan* match);

// Asked between the library's calls of a paced search; false stops it.
struct RegexPace {
  bool (*goOn)(void* context);
  void* context;
};
// The same search, the pace's goOn asked before each call of the library;
// kStopped when it says no. Compiled paced, however long the text, no call
// takes more than a few milliseconds: the starts are tried a stretch at a
// time where they cost much. Not a pattern with a verb after its start
// options, or \G: (*COMMIT) may end the whole search, so it takes one call.
RegexSearch SearchRegexPaced(Regex* regex, const TextUnit* text, size_t length, size_t from, RegexSpan* match,
                             const RegexPace& pace);
