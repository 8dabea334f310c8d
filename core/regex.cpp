#include "core/regex.h"

#include <new>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

static_assert(sizeof(PCRE2_UCHAR16) == sizeof(TextUnit));

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

// \C could leave a match in the middle of a surrogate pair.
constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_NEVER_BACKSLASH_C;

PCRE2_SPTR16 Units(const TextUnit* text) { return reinterpret_cast<PCRE2_SPTR16>(text); }

bool WordUnitBefore(const pcre2_callout_block* block, size_t at) {
  return at > 0 && at <= block->subject_length && IsWordUnit(TextUnit(block->subject[at - 1]));
}

// Whole words: automatic callouts stand before every item and at the end of
// the pattern. A start after a word unit fails at once; at the end, a match
// with a word unit on either side is refused, so the matcher backtracks into
// the other matches the pattern allows, all within the one bound.
int CheckWordEdges(pcre2_callout_block* block, void*) {
  if (block->pattern_position == 0) return WordUnitBefore(block, block->start_match) ? 1 : 0;
  if (block->next_item_length != 0) return 0;
  // start_match has followed any \K.
  if (WordUnitBefore(block, block->start_match)) return 1;
  size_t end = block->current_position;
  return end < block->subject_length && IsWordUnit(TextUnit(block->subject[end])) ? 1 : 0;
}

pcre2_code* CompileCode(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error) {
  uint32_t options = kCompileOptions | (matchCase ? 0 : PCRE2_CASELESS) | (wholeWord ? PCRE2_AUTO_CALLOUT : 0);
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled = pcre2_compile(Units(pattern), length, options, &code, &offset, nullptr);
  if (!compiled && error) {
    error->offset = offset;
    error->message[0] = 0;
    // A message cut to fit is still reported.
    pcre2_get_error_message(code, reinterpret_cast<PCRE2_UCHAR16*>(error->message), kRegexMessageUnits);
  }
  return compiled;
}

}  // namespace

struct Regex {
  pcre2_code* code = nullptr;
  pcre2_match_data* matchData = nullptr;
  pcre2_match_context* matchContext = nullptr;
  pcre2_jit_stack* jitStack = nullptr;
};

Regex* CompileRegex(const TextUnit* pattern, size_t length, bool matchCase, bool wholeWord, RegexError* error) {
  pcre2_code* code = CompileCode(pattern, length, matchCase, wholeWord, error);
  if (!code) return nullptr;
  Regex* regex = new (std::nothrow) Regex;
  if (!regex) {
    pcre2_code_free(code);
    return nullptr;
  }
  regex->code = code;
  // Without native code (none for this platform, or no memory for it) the
  // interpreter matches, bounded alike.
  bool native = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
  // One pair: only where the whole match lies is wanted.
  regex->matchData = pcre2_match_data_create(1, nullptr);
  regex->matchContext = pcre2_match_context_create(nullptr);
  if (native) regex->jitStack = pcre2_jit_stack_create(kJitStackBytes, kJitStackBytes, nullptr);
  if (!regex->matchData || !regex->matchContext || (native && !regex->jitStack)) {
    FreeRegex(regex);
    return nullptr;
  }
  pcre2_set_match_limit(regex->matchContext, kMatchLimit);
  pcre2_set_depth_limit(regex->matchContext, kMatchLimit);
  pcre2_set_heap_limit(regex->matchContext, kHeapLimitKiB);
  // Without whole words the pattern's own callouts, if any, are passed by.
  if (wholeWord) pcre2_set_callout(regex->matchContext, CheckWordEdges, nullptr);
  if (native) pcre2_jit_stack_assign(regex->matchContext, nullptr, regex->jitStack);
  return regex;
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

RegexSearch SearchRegex(Regex* regex, const TextUnit* text, size_t length, size_t from, RegexSpan* match) {
  if (from > length) return RegexSearch::kNoMatch;
  int result = pcre2_match(regex->code, Units(text), length, from, 0, regex->matchData, regex->matchContext);
  if (result >= 0) {  // 0: the one pair held the whole match
    const PCRE2_SIZE* pairs = pcre2_get_ovector_pointer(regex->matchData);
    if (match) *match = RegexSpan{pairs[0], pairs[1]};
    return RegexSearch::kMatch;
  }
  switch (result) {
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_JIT_STACKLIMIT:
    case PCRE2_ERROR_NOMEMORY:
      return RegexSearch::kBoundHit;
    default:
      return RegexSearch::kNoMatch;
  }
}
