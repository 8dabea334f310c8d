// Find through a file's bytes without building rows: whole lines decoded in
// the charset the view decodes them in, each tested whole (a line break and
// the CR before it left out), the lines the filters hide passed by. Where the
// charset lets the text be written in the file's own bytes (UTF-8, UTF-16,
// ASCII in a code page), a byte search for it, or for a literal every match
// of the regular expression holds, first skips the stretches without one:
// only a candidate line is decoded, and the decoded line decides.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/charset.h"
#include "core/filter_stack.h"
#include "core/line_starts.h"
#include "core/regex.h"
#include "core/text.h"

constexpr size_t kFindTextUnits = 255;

struct FindQuery {
  TextUnit text[kFindTextUnits + 1] = {};  // terminated
  bool matchCase = false, wholeWord = false, regex = false;
};

// A query made ready for one thread, with the bytes a candidate holds.
struct LinePattern;
// Null when the text is empty, a regular expression does not compile (error,
// when given, says why) or memory ran out.
LinePattern* MakeLinePattern(const FindQuery& query, uint32_t charset, RegexError* error);
void FreeLinePattern(LinePattern* pattern);
// Whether a decoded line holds a match: find's row test (as RowMatches
// decides, in one pass), or the regular expression (one that stops at its
// bound does not match). matchUnit, when given, takes where the match starts
// (as FoundLine's).
bool LineHoldsMatch(LinePattern* pattern, const TextUnit* line, size_t length, size_t* matchUnit = nullptr);
// The longest run of units that every match of the regular expression holds
// in a row, without case unless matchCase where they are ASCII; 0 when
// there is none or the pattern is beyond this simple reading (alternatives,
// options set inside, quotes, verbs).
size_t RequiredLiteral(const TextUnit* pattern, size_t length, bool matchCase, TextUnit* out, size_t capacity);

struct LineScan {
  ByteReader file;
  uint32_t charset;
  const CharsetConversions* system;
  LinePattern* pattern;
  FilterStack* filters;  // the thread's own; null for none
  // Working memory: a line longer than byteCapacity is tested on its first
  // byteCapacity bytes. units holds byteCapacity + kChunkUnits.
  uint8_t* bytes;
  size_t byteCapacity;
  TextUnit* units;
  // Asked with the offset reached at least every few milliseconds of work:
  // before each stretch is read (also while skipping a long line's rest),
  // each line tested and each call of the regular expressions' library
  // (core/regex.h); false stops the scan.
  bool (*goOn)(void* context, uint64_t at);
  void* context;
};

enum class ScanEnd : uint8_t { kFound, kNone, kStopped };
struct FoundLine {
  uint64_t start = 0, end = 0;  // end: past its break, or past the part tested of a longer line
  // Where the match starts, in units of the line as decoded from its start:
  // before tabs are expanded, a CR inside the line counted, its break left
  // out. Find's row test: the occurrence its verdict rests on (the first);
  // a regular expression: its first match. Going up, the last one instead
  // (find's row test with whole words still has only the first).
  size_t matchUnit = 0;
};

// The first line holding a match among those that start in [from, end); from
// starts a line, and a last line without a break ends at end. kStopped as
// soon as goOn says no. With firstFrom, the line at from holds only a match
// that starts at that unit or later (the view searched the rest of it).
ScanEnd FindLineDown(const LineScan& scan, uint64_t from, uint64_t end, FoundLine* found, size_t firstFrom = 0);
// The last line holding a match among those that end at or before to (a line
// start) and start at floor or later. With lastBefore, the line that starts
// at to comes first, holding a match only where one starts before that unit.
ScanEnd FindLineUp(const LineScan& scan, uint64_t floor, uint64_t to, FoundLine* found, size_t lastBefore = 0);
