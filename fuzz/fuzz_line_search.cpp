// Find through a file's bytes, both ways, every match in turn, through a
// buffer of random size, against each line decoded and tested alone by a
// plain reference: a comparison at every start for find's row test, a
// regular expression compiled apart and searched in the line alone, filters
// built apart. The byte search and the joined lines may pass a line by only
// when the line alone does not match; the line found, where it ends and where
// its match starts must be the reference's. Regular expressions are made from
// the input (escapes with arguments, classes, groups, quantifiers, anchors,
// verbs); the file is the input's bytes, or text made of pieces that meet the
// pattern (CR, CR LF, no last line feed). A scan told to stop at some ask
// ends there.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/line_search.h"
#include "fuzz/stand_in.h"

namespace {

const char16_t* const kTokens[] = {
    u"a", u"b", u"x", u"A", u"k", u"s", u"\u00E9", u"\u212A", u"\u017F", u"1", u" ", u"-", u"_",
    u".", u"^", u"$", u"\\b", u"\\B", u"\\d", u"\\w", u"\\s", u"\\W", u"\\h", u"\\v", u"\\R", u"\\X", u"\\N",
    u"[ab]", u"[^a]", u"[\\x{41}-\\x{5A}]", u"[\\c]a]", u"[[:alpha:]]", u"(", u")", u"(?:", u"(?|", u"|",
    u"*", u"+", u"?", u"{2}", u"{1,3}", u"{,2}", u"*?", u"++", u"{0}",
    u"\\x41", u"\\x{61}", u"\\xe9", u"\\x", u"\\o{141}", u"\\101", u"\\0", u"\\cA", u"\\c\\", u"\\N{U+61}",
    u"\\p{Lu}", u"\\pL", u"\\P{L}", u"\\p{Ll}", u"(?<n>a)", u"\\k<n>", u"\\k'n'", u"\\k{n}",
    u"\\g{1}", u"\\g1", u"\\g-1", u"\\g<1>", u"\\g'n'", u"(a)", u"\\1", u"\\Qa.b\\E", u"\\Q", u"\\E",
    u"(?i)", u"(?-i)", u"(?=a)", u"(?<=a)", u"(?!b)", u"(?<!x)", u"\\K", u"\\r", u"\\n", u"\\t", u"\\A",
    u"\\z", u"\\Z", u"\\G", u"(*ACCEPT)", u"(*COMMIT)", u"(*SKIP)", u"\\\\", u"\\.", u"\\$", u"\\ ",
    u"(a|aa)*", u"(?#c)", u"\\e", u"\\f", u"\\a"};
const char16_t* const kStarts[] = {u"", u"(*NO_JIT)", u"(*UTF)", u"(*UCP)", u"(*NO_START_OPT)", u"(*LIMIT_MATCH=50)"};

// Pieces of text the file is made of, and find's plain texts too.
const char16_t* const kPieces[] = {u"a", u"b", u"x", u"A", u"B", u"k", u"s", u"\u00E9", u"1", u"_", u" ", u"-",
                                   u".", u"\r", u"\n", u"\r\n", u"\t", u"ab", u"\u212A", u"\u017F", u"\0", u"q",
                                   u"aaaaaaaa", u"\xD83D\xDE00"};

std::u16string RegexFrom(Input* input) {
  std::u16string pattern = kStarts[input->Byte() % std::size(kStarts)];
  for (size_t tokens = input->Byte() % 12; tokens > 0 && pattern.size() < kFindTextUnits - 24; --tokens) {
    uint8_t byte = input->Byte();
    if (byte < 0xF0) pattern += kTokens[byte % std::size(kTokens)];
    else pattern += TextUnit(input->Byte() | input->Byte() << 8);  // any unit
  }
  return pattern.substr(0, kFindTextUnits);
}

std::u16string TextFrom(Input* input) {
  std::u16string text;
  for (size_t pieces = 1 + input->Byte() % 6; pieces > 0; --pieces) text += kPieces[input->Byte() % std::size(kPieces)];
  return text.substr(0, kFindTextUnits);
}

void PutUnit(std::vector<uint8_t>* file, uint32_t charset, uint32_t code) {
  auto put = [&](uint8_t byte) { file->push_back(byte); };
  switch (charset) {
    case kCharsetUtf8:
      if (code < 0x80) put(uint8_t(code));
      else if (code < 0x800) put(uint8_t(0xC0 | code >> 6)), put(uint8_t(0x80 | (code & 0x3F)));
      else if (code < 0x10000)
        put(uint8_t(0xE0 | code >> 12)), put(uint8_t(0x80 | (code >> 6 & 0x3F))), put(uint8_t(0x80 | (code & 0x3F)));
      else
        put(uint8_t(0xF0 | code >> 18)), put(uint8_t(0x80 | (code >> 12 & 0x3F))),
            put(uint8_t(0x80 | (code >> 6 & 0x3F))), put(uint8_t(0x80 | (code & 0x3F)));
      break;
    case kCharsetUtf16Le: case kCharsetUtf16Be: {
      std::u16string units(1, char16_t(code));
      if (code >= 0x10000) units = {char16_t(0xD7C0 + (code >> 10)), char16_t(0xDC00 | (code & 0x3FF))};
      for (uint32_t unit : units) {
        if (charset == kCharsetUtf16Le) put(uint8_t(unit)), put(uint8_t(unit >> 8));
        else put(uint8_t(unit >> 8)), put(uint8_t(unit));
      }
      break;
    }
    case kCharsetUtf32Le:
      for (int shift = 0; shift < 32; shift += 8) put(uint8_t(code >> shift));
      break;
    default:  // a code page: ASCII as itself, the rest some byte beyond it
      put(code < 0x80 ? uint8_t(code) : uint8_t(0x80 | (code & 0x7F)));
      break;
  }
}

// Pieces encoded in the charset, as many as the input's bytes choose; a byte
// from 0xF0 on repeats the piece before up to 256 times, so that a short
// input makes long lines and many.
std::vector<uint8_t> FileOfPieces(Input* input, uint32_t charset) {
  std::vector<uint8_t> file;
  std::u16string piece;
  while (input->size && file.size() < (16u << 10)) {
    uint8_t byte = input->Byte();
    size_t times = byte >= 0xF0 ? size_t(byte - 0xEF) << 4 : 1;
    if (byte < 0xF0) piece = kPieces[byte % std::size(kPieces)];
    for (size_t time = 0; time < times; ++time) {
      for (size_t i = 0; i < piece.size(); ++i) {
        uint32_t code = piece[i];
        if ((code & 0xFC00) == 0xD800 && i + 1 < piece.size())
          code = 0x10000 + ((code - 0xD800) << 10) + (piece[++i] - 0xDC00);
        PutUnit(&file, charset, code);
      }
    }
  }
  return file;
}

constexpr size_t kNoMatch = ~size_t(0);

// Find's row test at every start from `from` on, as the dialog's rows were
// once tested: where the first occurrence starts, if it counts; with last,
// the last occurrence that starts before `before` (whole words: the first
// still the only one that counts).
size_t PlainMatch(const std::u16string& text, const TextUnit* line, size_t length, bool matchCase, bool wholeWord,
                  size_t from = 0, bool last = false, size_t before = kNoMatch) {
  size_t m = text.size(), found = kNoMatch;
  for (size_t at = last && wholeWord ? 0 : from; m && at + m <= length && at < before; ++at) {
    size_t k = 0;
    while (k < m && (matchCase ? line[at + k] == text[k] : FoldUnit(line[at + k]) == FoldUnit(text[k]))) ++k;
    if (k < m) continue;
    bool edge = at > 0 && IsWordUnit(line[at - 1]), after = at + m < length && IsWordUnit(line[at + m]);
    if (wholeWord) return !edge && !after ? at : kNoMatch;
    if (!last) return at;
    found = at;
  }
  return found;
}

// The regular expression searched in the line alone, the same way.
size_t RegexMatch(Regex* regex, const TextUnit* line, size_t length, size_t from = 0, bool last = false,
                  size_t before = kNoMatch) {
  size_t found = kNoMatch;
  RegexSpan span;
  while (from <= length && SearchRegex(regex, line, length, from, &span) == RegexSearch::kMatch && span.start < before) {
    if (!last) return span.start;
    found = span.start, from = span.start + 1;
  }
  return found;
}

struct Line {
  uint64_t start, end;  // end: past its break, or past the part tested of a longer line
  size_t matchUnit, lastUnit;  // the first match, and the last one (what going up finds)
};

// A scan's asks counted; from stopAt on (0: never) each says no.
struct Asks {
  size_t count, stopAt;
};

bool Ask(void* context, uint64_t) {
  Asks* asks = static_cast<Asks*>(context);
  return ++asks->count < asks->stopAt || asks->stopAt == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  const uint32_t charsets[] = {kCharsetUtf8, kCharsetAnsi, kCharsetOem, kCharsetUtf16Le, kCharsetUtf16Be,
                               kCharsetUtf32Le};
  uint32_t charset = charsets[input.Byte() % 6];
  uint8_t flags = input.Byte();
  size_t capacity = 1 + input.Byte() + (flags & 0x40 ? 4096 : 0);
  uint8_t filterKind = input.Byte(), stopAt = input.Byte();
  FindQuery query;
  query.matchCase = flags & 1, query.wholeWord = flags & 2, query.regex = flags & 4;
  std::u16string text = query.regex ? RegexFrom(&input) : TextFrom(&input);
  if (text.empty() || text.find(u'\0') != std::u16string::npos) return 0;
  // The interpreter under the sanitizers takes seconds for what the native
  // code does in milliseconds: its lines stay short.
  if (text.rfind(u"(*NO_JIT)", 0) == 0) capacity = std::min<size_t>(capacity, 256);
  std::copy(text.begin(), text.end(), query.text);
  LinePattern* pattern = MakeLinePattern(query, charset, nullptr);
  Regex* alone =
      query.regex ? CompileRegex(text.data(), text.size(), query.matchCase, query.wholeWord, nullptr) : nullptr;
  if (!pattern != (query.regex && !alone)) __builtin_trap();  // compiles alike
  if (!pattern) return 0;

  LineFilters given{};
  const char16_t* const filters[] = {u"q", u"A", u"b$", u"\\d", u"(a|aa)*[bc]"};
  if (filterKind % 6) {
    LineFilter& filter = given.items[given.count++];
    const char16_t* chosen = filters[filterKind % 6 - 1];
    std::copy(chosen, chosen + std::char_traits<char16_t>::length(chosen), filter.pattern);
    filter.hide = filterKind & 0x10, filter.matchCase = filterKind & 0x20, filter.regex = filterKind % 6 > 2;
  }
  FilterStack scanFilters, referenceFilters;
  BuildFilterStack(&scanFilters, given, nullptr, true);
  BuildFilterStack(&referenceFilters, given, nullptr);

  std::vector<uint8_t> made;
  if (flags & 0x20) made = FileOfPieces(&input, charset);
  Bytes file = flags & 0x20 ? Bytes{made.data(), made.size()} : Bytes{input.data, input.size};
  uint32_t unit = CharsetUnitSize(charset), newline = CharsetNewlineUnit(charset);
  std::vector<uint8_t> bytes(capacity);
  std::vector<TextUnit> units(capacity + kChunkUnits);
  Asks asks{0, 0};
  LineScan scan{file.Reader(), charset, &kStandInConversions, pattern, &scanFilters, bytes.data(), capacity,
                units.data(), Ask, &asks};

  // The reference: each line on the unit grid alone, its first capacity bytes
  // on the grid when it is longer, decoded and tested as a row would be.
  size_t grid = capacity - capacity % unit;
  std::vector<uint64_t> starts;
  std::vector<Line> matching;
  std::vector<TextUnit> decoded(kChunkUnits + 8);
  // The line searched from an edge (the view holds part of it): its first
  // match from the unit edge on, and its last before it.
  uint64_t from = 0;
  size_t edge = input.Byte() % 8;
  Line edgeLine{~0ull, 0, kNoMatch, kNoMatch};
  for (uint64_t start = 0; start < file.size;) {
    uint64_t end = start;
    bool broken = false;
    while (end + unit <= file.size && !broken) {
      uint32_t value = 0;
      memcpy(&value, file.data + end, unit);
      end += unit;
      broken = value == newline;
    }
    if (!broken) end = file.size;  // the last line, a partial unit included
    starts.push_back(start);
    size_t length = std::min<size_t>(size_t(end - start), grid), leftover = 0;
    size_t count = grid ? DecodeChunk(charset, const_cast<uint8_t*>(file.data + start), length, decoded.data(),
                                      &leftover, kStandInConversions) : 0;
    if (count && decoded[count - 1] == u'\n') --count;
    size_t tested = count && decoded[count - 1] == u'\r' ? count - 1 : count;
    auto match = [&](size_t from, bool last, size_t before) {
      if (!grid) return kNoMatch;
      return alone ? RegexMatch(alone, decoded.data(), tested, from, last, before)
                   : PlainMatch(text, decoded.data(), tested, query.matchCase, query.wholeWord, from, last, before);
    };
    bool passes = FilterStackPasses(&referenceFilters, decoded.data(), std::min(count, kMaxMatchUnits), false);
    size_t matchUnit = match(0, false, kNoMatch);
    if (matchUnit != kNoMatch && passes) matching.push_back(Line{start, start + length, matchUnit, match(0, true, kNoMatch)});
    if (starts.size() == 1 + (input.size ? data[0] : 0) % 64) {
      from = start;
      if (passes) edgeLine = Line{start, start + length, match(edge, false, kNoMatch), match(0, true, edge)};
    }
    start = end;
  }

  // Down from a line start to the end, and up from it to the start, match
  // after match (eight at most); stopped at an ask, the scan ends there. The
  // first turn each way, with an edge, searches the line at from only from
  // (down) or before (up) that unit.
  if (edgeLine.start == ~0ull) edge = 0, from = starts.empty() ? 0 : starts.back();
  auto same = [](const FoundLine& found, const Line& line, bool up) {
    return found.start == line.start && found.end == line.end &&
           found.matchUnit == (up ? line.lastUnit : line.matchUnit);
  };
  size_t next = 0;
  while (next < matching.size() && matching[next].start < from) ++next;
  size_t lastAbove = next;
  // Past the edge line searched from its edge, down goes on after it.
  if (edge && next < matching.size() && matching[next].start == from) ++next;
  for (uint64_t at = from, turns = 0; turns < 8; ++turns) {
    FoundLine found;
    asks = Asks{0, stopAt};
    bool edged = turns == 0 && edge && edgeLine.matchUnit != kNoMatch;
    ScanEnd end = FindLineDown(scan, at, file.size, &found, turns == 0 ? edge : 0);
    if (end == ScanEnd::kStopped) {
      if (asks.count != stopAt) __builtin_trap();
      break;
    }
    if ((end == ScanEnd::kFound) != (edged || next < matching.size())) __builtin_trap();
    if (end == ScanEnd::kNone) break;
    if (!same(found, edged ? edgeLine : matching[next], false)) __builtin_trap();
    // On from the next line, past the rest of a longer one.
    auto after = std::upper_bound(starts.begin(), starts.end(), edged ? from : matching[next++].start);
    if (after == starts.end()) break;
    at = *after;
  }
  for (uint64_t to = from, turns = 0; turns < 8; ++turns) {
    FoundLine found;
    asks = Asks{0, stopAt};
    bool edged = turns == 0 && edge && edgeLine.lastUnit != kNoMatch;
    ScanEnd end = FindLineUp(scan, 0, to, &found, turns == 0 ? edge : 0);
    if (end == ScanEnd::kStopped) {
      if (asks.count != stopAt) __builtin_trap();
      break;
    }
    if ((end == ScanEnd::kFound) != (edged || lastAbove > 0)) __builtin_trap();
    if (end == ScanEnd::kNone) break;
    if (!same(found, edged ? Line{edgeLine.start, edgeLine.end, 0, edgeLine.lastUnit} : matching[--lastAbove], true))
      __builtin_trap();
    to = found.start;
  }
  ClearFilterStack(&scanFilters);
  ClearFilterStack(&referenceFilters);
  FreeRegex(alone);
  FreeLinePattern(pattern);
  return 0;
}
