#include "core/regex.h"

#include <algorithm>
#include <bit>
#include <new>
#include <string>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

static_assert(sizeof(PCRE2_UCHAR16) == sizeof(TextUnit));

struct Regex {
  pcre2_code* code = nullptr;
  pcre2_match_data* matchData = nullptr;
  pcre2_match_context* matchContext = nullptr;
  pcre2_jit_stack* jitStack = nullptr;
  bool wholeWord = false;
  bool startMoves = false;  // \K may move where a match starts
  // Made for paced searches: the starts tried a stretch at a time, with the
  // limits the match context holds set again only when they change.
  bool paced = false;
  uint32_t limitSet = 0;
  size_t offsetLimitSet = PCRE2_UNSET;
};

namespace {

// The bound, in the library's steps. (a+)+$ against 4,000 a's and a b stops
// there in well under a millisecond, while ordinary patterns need at most a
// few thousand steps over a full row, and nested repeats that do finish over
// one some ten thousand.
constexpr uint32_t kMatchLimit = 100000;
// The interpreter's backtracking memory (it runs where native code cannot be
// made), in KiB; native code has a stack of a fixed size.
constexpr uint32_t kHeapLimitKiB = 4096;
constexpr size_t kJitStackBytes = 256 * 1024;
// The most steps one call of the library may take over many starts: a few
// milliseconds where each step is slowest (the interpreter's, some 12 ns),
// so that a paced search asks again that often.
constexpr uint64_t kCallSteps = kMatchLimit;
// SearchStarts' own result when the pace said stop: no error of the library's.
constexpr int kStoppedResult = 1 << 30;

// \C could leave a match in the middle of a surrogate pair.
constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_NEVER_BACKSLASH_C;
// A paced search tries its starts a stretch at a time; the offset limit this
// allows makes each call a little slower, so rows go without it.
constexpr uint32_t kPacedOptions = PCRE2_USE_OFFSET_LIMIT;

// Whole words, if a match stands beside a word unit all the same: searched
// again from the next start so often at most, then the row is left undecided.
constexpr int kMaxEdgeRetries = 32;

// What may only stand at the very start of a pattern, in (* and ).
constexpr const char16_t* kStartOptions[] = {
    u"UTF16)", u"UTF)", u"UCP)", u"NOTEMPTY)", u"NOTEMPTY_ATSTART)", u"NO_AUTO_POSSESS)", u"NO_DOTSTAR_ANCHOR)",
    u"NO_JIT)", u"NO_START_OPT)", u"LIMIT_HEAP=", u"LIMIT_MATCH=", u"LIMIT_DEPTH=", u"LIMIT_RECURSION=",
    u"CR)", u"LF)", u"CRLF)", u"ANY)", u"NUL)", u"ANYCRLF)", u"BSR_ANYCRLF)", u"BSR_UNICODE)"};

PCRE2_SPTR16 Units(const TextUnit* text) { return reinterpret_cast<PCRE2_SPTR16>(text); }

// How many units the start options take at the pattern's start.
size_t StartOptionsLength(const TextUnit* pattern, size_t length) {
  size_t at = 0;
  while (at + 2 < length && pattern[at] == u'(' && pattern[at + 1] == u'*') {
    size_t end = 0;
    for (const char16_t* option : kStartOptions) {
      size_t i = at + 2, k = 0;
      while (option[k] && i < length && pattern[i] == option[k]) ++i, ++k;
      if (option[k]) continue;
      if (option[k - 1] == u'=') {
        while (i < length && pattern[i] >= u'0' && pattern[i] <= u'9') ++i;
        if (i == length || pattern[i] != u')') continue;
        ++i;
      }
      end = i;
      break;
    }
    if (!end) break;
    at = end;
  }
  return at;
}

bool WordUnitBefore(const pcre2_callout_block* block, size_t at) {
  return at > 0 && at <= block->subject_length && IsWordUnit(TextUnit(block->subject[at - 1]));
}

bool WordUnitAfter(const TextUnit* text, size_t length, size_t at) { return at < length && IsWordUnit(text[at]); }

// Whole words: the pattern is one group, with automatic callouts before every
// item and one at its end. At the end a match with a word unit on either side
// is refused, so the matcher backtracks into the other matches the pattern
// allows, within the one bound. A start after a word unit fails at once,
// unless \K may move the start.
int CheckWordEdges(pcre2_callout_block* block, void* regex) {
  if (block->next_item_length != 0)
    return !static_cast<const Regex*>(regex)->startMoves && block->current_position == block->start_match &&
           WordUnitBefore(block, block->start_match);
  if (WordUnitBefore(block, block->start_match)) return 1;
  return WordUnitAfter(reinterpret_cast<const TextUnit*>(block->subject), block->subject_length,
                       block->current_position);
}

void TakeError(int code, size_t offset, RegexError* error) {
  if (!error) return;
  error->offset = offset;
  error->message[0] = 0;
  // A message cut to fit is still reported.
  pcre2_get_error_message(code, reinterpret_cast<PCRE2_UCHAR16*>(error->message), kRegexMessageUnits);
}

// For whole words the pattern is made one group, its start options before:
// so that the callout at its end closes every alternative. The group is
// closed after a quote left open (\Q) or a comment to the line's end ((?x)
// and #) in the next tries; the first that compiles is the pattern as given.
pcre2_code* CompileCode(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error,
                        uint32_t more = 0) {
  uint32_t options = kCompileOptions | more | (matchCase ? 0 : PCRE2_CASELESS);
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled = pcre2_compile(Units(pattern), length, options, &code, &offset, nullptr);
  if (!compiled) return TakeError(code, offset, error), nullptr;
  if (!wholeWord) return compiled;
  pcre2_code_free(compiled);
  size_t start = StartOptionsLength(pattern, length);
  std::u16string grouped(pattern, start);
  grouped.append(u"(?:").append(pattern + start, length - start);
  for (const char16_t* close : {u")", u"\\E)", u"\n)"}) {
    std::u16string tried = grouped + close;
    int triedCode = 0;
    PCRE2_SIZE triedOffset = 0;
    // Repeats the library would make possessive could not give back what the
    // callout at the end refuses: "a\W*" would never stand whole in "a-- b".
    compiled = pcre2_compile(Units(tried.data()), tried.size(), options | PCRE2_AUTO_CALLOUT | PCRE2_NO_AUTO_POSSESS,
                             &triedCode, &triedOffset, nullptr);
    if (compiled) return compiled;
    // Told as the pattern was typed: grown too large with the callouts, say.
    if (close[0] == u')') {
      code = triedCode;
      offset = triedOffset <= start ? triedOffset : std::min(std::max<size_t>(triedOffset, start + 3) - 3, length);
    }
  }
  return TakeError(code, offset, error), nullptr;
}

// Whether trying the starts a stretch at a time finds what one call finds:
// not where a verb ((*COMMIT), (*SKIP)) may end the whole search or move its
// next start, nor where \G anchors to where a call starts. Any (* after the
// start options, or \G, is taken for one.
bool StartsMayBeSplit(const TextUnit* pattern, size_t length) {
  for (size_t i = StartOptionsLength(pattern, length); i + 1 < length; ++i)
    if ((pattern[i] == u'(' && pattern[i + 1] == u'*') || (pattern[i] == u'\\' && pattern[i + 1] == u'G'))
      return false;
  return true;
}

bool MovesStart(const TextUnit* pattern, size_t length) {
  for (size_t i = 0; i + 1 < length; ++i)
    if (pattern[i] == u'\\' && pattern[i + 1] == u'K') return true;
  return false;
}

// Besides the bounds, an error no search should meet leaves the row
// undecided too: counted where bounds are counted, never passed off as a
// row without a match.
RegexSearch Failure(int result) {
  return result == PCRE2_ERROR_NOMATCH ? RegexSearch::kNoMatch : RegexSearch::kBoundHit;
}

Regex* MakeRegex(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error,
                 uint32_t more) {
  pcre2_code* code = CompileCode(pattern, length, matchCase, wholeWord, error, more);
  if (!code) return nullptr;
  Regex* regex = new (std::nothrow) Regex;
  if (!regex) {
    pcre2_code_free(code);
    return nullptr;
  }
  regex->code = code;
  regex->wholeWord = wholeWord;
  regex->startMoves = MovesStart(pattern, length);
  regex->paced = (more & kPacedOptions) && StartsMayBeSplit(pattern, length);
  // Without native code (none for this platform, no memory for it, or a
  // pattern that declines it, as (*NO_JIT) does while the call succeeds) the
  // interpreter matches, bounded alike.
  size_t nativeSize = 0;
  bool native = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0 &&
                pcre2_pattern_info(code, PCRE2_INFO_JITSIZE, &nativeSize) == 0 && nativeSize > 0;
  // One pair: only where the whole match lies is wanted.
  regex->matchData = pcre2_match_data_create(1, nullptr);
  regex->matchContext = pcre2_match_context_create(nullptr);
  if (native) regex->jitStack = pcre2_jit_stack_create(kJitStackBytes, kJitStackBytes, nullptr);
  if (!regex->matchData || !regex->matchContext || (native && !regex->jitStack)) {
    FreeRegex(regex);
    return nullptr;
  }
  pcre2_set_match_limit(regex->matchContext, regex->limitSet = kMatchLimit);
  pcre2_set_depth_limit(regex->matchContext, kMatchLimit);
  pcre2_set_heap_limit(regex->matchContext, kHeapLimitKiB);
  // Without whole words the pattern's own callouts, if any, are passed by.
  if (wholeWord) pcre2_set_callout(regex->matchContext, CheckWordEdges, regex);
  if (native) pcre2_jit_stack_assign(regex->matchContext, nullptr, regex->jitStack);
  return regex;
}

}  // namespace

Regex* CompileRegex(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error,
                    bool paced) {
  return MakeRegex(pattern, length, matchCase, wholeWord, error, paced ? kPacedOptions : 0);
}

// ^ matches after a line feed that ends the text too: the text may end with
// an empty line, as a line of a CR alone not yet broken leaves it.
Regex* CompileManyLinesRegex(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord) {
  return MakeRegex(pattern, length, matchCase, wholeWord, nullptr, PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX | kPacedOptions);
}

void FreeRegex(Regex* regex) {
  if (!regex) return;
  pcre2_jit_stack_free(regex->jitStack);
  pcre2_match_context_free(regex->matchContext);
  pcre2_match_data_free(regex->matchData);
  pcre2_code_free(regex->code);
  delete regex;
}

bool RegexCompiles(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error) {
  pcre2_code* code = CompileCode(pattern, length, matchCase, wholeWord, error);
  pcre2_code_free(code);
  return code != nullptr;
}

namespace {

void SetLimits(Regex* regex, uint32_t limit, size_t offsetLimit) {
  if (regex->limitSet != limit) pcre2_set_match_limit(regex->matchContext, regex->limitSet = limit);
  if (regex->offsetLimitSet != offsetLimit)
    pcre2_set_offset_limit(regex->matchContext, regex->offsetLimitSet = offsetLimit);
}

// The first match starting in [first, last], each start stopped at limit steps.
int MatchStarts(Regex* regex, const TextUnit* text, size_t length, size_t first, size_t last, uint32_t limit) {
  SetLimits(regex, limit, last < length ? last : PCRE2_UNSET);
  return regex->jitStack
             ? pcre2_jit_match(regex->code, Units(text), length, first, 0, regex->matchData, regex->matchContext)
             : pcre2_match(regex->code, Units(text), length, first, 0, regex->matchData, regex->matchContext);
}

// The library's step limit holds for each start on its own: over a long text
// one call could take minutes. The starts in [first, last] are tried within
// kCallSteps, each with its share as its limit; where one needs more, they
// are tried again a sixteenth at a time with sixteen times the share, down to
// the full kMatchLimit. What stops there is the bound, at the start where a
// single call would have stopped: the answer is that call's.
int SearchStarts(Regex* regex, const TextUnit* text, size_t length, size_t first, size_t last,
                 const RegexPace& pace) {
  if (!pace.goOn(pace.context)) return kStoppedResult;
  if (!regex->paced) return MatchStarts(regex, text, length, first, length, kMatchLimit);
  // Each start's share, a power of two no more than kCallSteps / starts: a
  // shift, not a division. One start alone has the whole bound.
  size_t starts = last - first + 1;
  uint64_t share = starts == 1 ? kMatchLimit : kCallSteps >> std::bit_width(starts - 1);
  uint32_t limit = uint32_t(std::clamp<uint64_t>(share, 1, kMatchLimit));
  int result = MatchStarts(regex, text, length, first, last, limit);
  if (result != PCRE2_ERROR_MATCHLIMIT || limit == kMatchLimit) return result;
  size_t piece = (starts + 15) / 16;
  for (size_t at = first; at <= last; at += piece) {
    result = SearchStarts(regex, text, length, at, std::min(last, at + piece - 1), pace);
    if (result != PCRE2_ERROR_NOMATCH) return result;
    if (last - at < piece) break;
  }
  return PCRE2_ERROR_NOMATCH;
}

// The search from from on, its calls of the library made by call(from),
// again from the next start where whole words refuse what it found.
template <typename Call>
RegexSearch SearchWith(Regex* regex, const TextUnit* text, size_t length, size_t from, RegexSpan* match,
                       Call call) {
  for (int retries = 0; from <= length && retries <= kMaxEdgeRetries; ++retries) {
    int result = call(from);
    if (result == kStoppedResult) return RegexSearch::kStopped;
    if (result < 0) return Failure(result);
    // 0: the one pair held the whole match.
    const PCRE2_SIZE* pairs = pcre2_get_ovector_pointer(regex->matchData);
    RegexSpan found{pairs[0], pairs[1]};
    // (*ACCEPT) ends a match before the callout at the end of the pattern.
    bool edged = found.start > 0 && IsWordUnit(text[found.start - 1]);
    if (!regex->wholeWord || !(edged || WordUnitAfter(text, length, found.end))) {
      if (match) *match = found;
      return RegexSearch::kMatch;
    }
    size_t next = found.start + 1;  // past a whole surrogate pair
    from = next < length && (text[next] & 0xFC00) == 0xDC00 && (text[next - 1] & 0xFC00) == 0xD800 ? next + 1 : next;
  }
  return from > length ? RegexSearch::kNoMatch : RegexSearch::kBoundHit;
}

}  // namespace

RegexSearch SearchRegex(Regex* regex, const TextUnit* text, size_t length, size_t from, RegexSpan* match) {
  // The limits as made. Native code is entered directly, past the checks the
  // interpreter's entry makes on every call: rows are short, and matched by
  // the thousand.
  return SearchWith(regex, text, length, from, match, [&](size_t start) {
    return regex->jitStack
               ? pcre2_jit_match(regex->code, Units(text), length, start, 0, regex->matchData, regex->matchContext)
               : pcre2_match(regex->code, Units(text), length, start, 0, regex->matchData, regex->matchContext);
  });
}

RegexSearch SearchRegexPaced(Regex* regex, const TextUnit* text, size_t length, size_t from, RegexSpan* match,
                             const RegexPace& pace) {
  RegexSearch found = SearchWith(regex, text, length, from, match, [&](size_t start) {
    return SearchStarts(regex, text, length, start, length, pace);
  });
  SetLimits(regex, kMatchLimit, PCRE2_UNSET);  // as made, for SearchRegex
  return found;
}
