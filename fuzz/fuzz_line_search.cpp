// Find through a file's bytes, both ways and through a buffer of random size,
// against every line decoded and tested alone: the byte search may pass a
// line by only when the decoded line does not match.
#include <cstring>

#include "core/line_search.h"
#include "fuzz/stand_in.h"

namespace {

const char16_t* const kRegexes[] = {u"took \\d{3,} ms", u"a.c", u"^ab", u"x$", u"[ab]c+d", u"(?i)Ks", u"\\bé"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  const uint32_t charsets[] = {kCharsetUtf8, kCharsetAnsi, kCharsetOem, kCharsetUtf16Le, kCharsetUtf16Be,
                               kCharsetUtf32Le};
  uint32_t charset = charsets[input.Byte() % 6];
  uint8_t flags = input.Byte();
  size_t capacity = 1 + input.Byte();
  FindQuery query;
  query.matchCase = flags & 1, query.wholeWord = flags & 2, query.regex = flags & 4;
  if (query.regex) {
    const char16_t* chosen = kRegexes[(flags >> 3) % std::size(kRegexes)];
    std::copy(chosen, chosen + std::char_traits<char16_t>::length(chosen), query.text);
  } else {
    std::u16string text = input.Units(2 * (1 + (flags >> 3) % 4));
    std::copy(text.begin(), text.end(), query.text);
    if (text.find(u'\0') != std::u16string::npos) return 0;
  }
  LinePattern* pattern = MakeLinePattern(query, charset, nullptr);
  if (!pattern) return 0;
  FilterStack filters;
  LineFilters given{};
  if (flags & 0x80) {
    given.count = 1;
    given.items[0].hide = true;
    given.items[0].pattern[0] = u'q';
  }
  BuildFilterStack(&filters, given, nullptr);

  Bytes file{input.data, input.size};
  uint32_t unit = CharsetUnitSize(charset), newline = CharsetNewlineUnit(charset);
  std::vector<uint8_t> bytes(capacity);
  std::vector<TextUnit> units(capacity + kChunkUnits);
  LineScan scan{file.Reader(), charset, &kStandInConversions, pattern, &filters, bytes.data(), capacity,
                units.data(), nullptr, nullptr};

  // The reference: each line on the unit grid alone, its first capacity bytes
  // on the grid when it is longer, decoded and tested as a row would be.
  size_t grid = capacity - capacity % unit;
  std::vector<uint64_t> starts, matching;
  std::vector<TextUnit> decoded(kChunkUnits + 8);
  for (uint64_t start = 0; start < file.size;) {
    uint64_t end = start;
    while (end + unit <= file.size) {
      uint32_t value = 0;
      memcpy(&value, file.data + end, unit);
      end += unit;
      if (value == newline) break;
    }
    if (end == start) end = file.size;  // a partial unit alone
    starts.push_back(start);
    size_t length = size_t(end - start), leftover = 0;
    if (length > grid) length = grid;
    size_t count = grid ? DecodeChunk(charset, const_cast<uint8_t*>(file.data + start), length, decoded.data(),
                                      &leftover, kStandInConversions) : 0;
    if (count && decoded[count - 1] == u'\n') --count;
    size_t tested = count && decoded[count - 1] == u'\r' ? count - 1 : count;
    if (grid && LineHoldsMatch(pattern, decoded.data(), tested) &&
        FilterStackPasses(&filters, decoded.data(), count, false))
      matching.push_back(start);
    start = end;
  }
  uint64_t from = starts.empty() ? 0 : starts[input.size ? data[0] % starts.size() : 0];
  uint64_t expectedDown = ~0ull, expectedUp = ~0ull;
  FoundLine found{~0ull, 0};
  for (uint64_t start : matching) {
    if (start >= from && expectedDown == ~0ull) expectedDown = start;
    if (start < from) expectedUp = start;
  }
  ScanEnd down = FindLineDown(scan, from, file.size, &found);
  if ((down == ScanEnd::kFound ? found.start : ~0ull) != expectedDown) __builtin_trap();
  if (down == ScanEnd::kFound && (found.end <= found.start || found.end > file.size)) __builtin_trap();
  ScanEnd up = FindLineUp(scan, 0, from, &found);
  if ((up == ScanEnd::kFound ? found.start : ~0ull) != expectedUp) __builtin_trap();
  ClearFilterStack(&filters);
  FreeLinePattern(pattern);
  return 0;
}
