// Values of a file's properties stream: the charset name a load reads, with
// the file's first bytes, the window placement, the filter's section and the
// bookmarks' section; and the size limits from the registry.
#include <cstring>
#include <string>

#include "core/bookmarks.h"
#include "core/placement.h"
#include "core/stored_values.h"
#include "fuzz/stand_in.h"

namespace {

std::u16string storedName;

// Fills the reader's buffer as the profile reader does: up to capacity units.
bool ReadName(TextUnit* name, size_t capacity) {
  size_t n = std::min(storedName.size(), capacity);
  std::copy_n(storedName.begin(), n, name);
  if (n < capacity) name[n] = 0;
  return n > 0;
}

int32_t Number(Input& input) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | input.Byte();
  return int32_t(value);
}

// A bookmark's value read the plain way: 1 to 20 decimal digits within 64
// bits, '|', 1 to 16 hex digits, nothing after.
bool ReferenceBookmark(const std::u16string& value, Bookmark* mark) {
  size_t bar = value.find(u'|');
  if (bar == 0 || bar > 20 || value.size() - bar - 1 == 0 || value.size() - bar - 1 > 16) return false;
  unsigned __int128 offset = 0;
  uint64_t hash = 0;
  for (size_t i = 0; i < bar; ++i) {
    if (value[i] < u'0' || value[i] > u'9') return false;
    offset = offset * 10 + unsigned(value[i] - u'0');
  }
  for (size_t i = bar + 1; i < value.size(); ++i) {
    char16_t c = value[i];
    int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
    if (digit < 0) return false;
    hash = hash << 4 | unsigned(digit);
  }
  if (offset >> 64) return false;
  *mark = Bookmark{uint64_t(offset), hash};
  return true;
}

// A key's value in a section read whole, the plain way: the entries up to
// the first empty one, the first whose key (blanks around it dropped) is the
// number in decimal; its value without blanks around it or a pair of like quotes.
bool ReferenceSectionValue(const std::u16string& block, uint32_t key, std::u16string* value) {
  std::u16string name;
  for (char c : std::to_string(key)) name += char16_t(c);
  auto trim = [](std::u16string text) {
    while (!text.empty() && IsBlankUnit(text.front())) text.erase(0, 1);
    while (!text.empty() && IsBlankUnit(text.back())) text.pop_back();
    return text;
  };
  for (size_t at = 0; at < block.size() && block[at];) {
    size_t end = std::min(block.find(u'\0', at), block.size());
    std::u16string entry = block.substr(at, end - at);
    at = end + 1;
    size_t equals = entry.find(u'=');
    if (equals == std::u16string::npos || trim(entry.substr(0, equals)) != name) continue;
    *value = trim(entry.substr(equals + 1));
    if (value->size() >= 2 && (value->front() == u'"' || value->front() == u'\'') && value->back() == value->front())
      *value = value->substr(1, value->size() - 2);
    return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  uint8_t flags = input.Byte();
  StoredPlacement placement{Number(input), Number(input), Number(input), Number(input), false, false};
  Frame work{Number(input), Number(input), Number(input), Number(input)};
  if (Frame frame; StoredFrame(placement, &frame) && work.left <= work.right && work.top <= work.bottom) {
    Frame kept = KeepOnMonitor(frame, flags & 1, work);
    // Off every monitor, the window lands inside the work area.
    if (!(flags & 1) && (kept.left < work.left || kept.right > work.right || kept.top < work.top ||
                         kept.bottom > work.bottom || kept.right < kept.left || kept.bottom < kept.top))
      __builtin_trap();
  }
  uint8_t probe[kBomProbeBytes] = {};
  for (uint8_t& byte : probe) byte = input.Byte();
  storedName = input.Units(80);
  SetStoredCharsetReader(ReadName);
  CharsetState state;
  state.autodetect = flags & 2, state.explicitChoice = flags & 4;
  uint32_t start = ResolveLoadCharset(state, DetectBom(probe, flags & 8 ? kBomProbeBytes : flags % 6));
  if (start > kBomProbeBytes || !CharsetStreamName(state.active)) __builtin_trap();
  SetStoredCharsetReader(nullptr);

  StoredLimits limits{uint32_t(Number(input)), uint32_t(Number(input)), uint32_t(Number(input)), Number(input)};
  ClampStoredLimits(limits);
  if (limits.rowLength - 1 >= kMaxRowLength || limits.linesLimit - 1 >= kMaxLinesLimit ||
      limits.kbLimit - 1 >= kMaxKbLimit || limits.fontHeight <= 0)
    __builtin_trap();

  std::u16string mode = input.Units(16), pattern = input.Units(2 * kFilterPatternUnits + 8);
  LineFilter filter;
  ReadFilterSection(pattern.c_str(), mode.c_str(), flags >> 4, &filter);
  std::u16string shownMode(mode.c_str());
  for (TextUnit& unit : shownMode) unit = FoldUnit(unit);
  size_t kept = TextLengthWithin(filter.pattern, kFilterPatternUnits);
  if (kept == kFilterPatternUnits || filter.hide != (shownMode == u"hide") || filter.matchCase != (flags >> 4 == 1) ||
      std::u16string(pattern.c_str()).compare(0, kept, filter.pattern, kept) != 0)
    __builtin_trap();

  // A filter of section "Filters" written back reads the same.
  std::u16string value = input.Units(2 * kFilterValueUnits);
  if (LineFilter parsed{}; ParseStoredFilter(value.c_str(), &parsed)) {
    TextUnit written[kFilterValueUnits], again[kFilterValueUnits];
    FormatStoredFilter(parsed, written);
    LineFilter reread{};
    if (!ParseStoredFilter(written, &reread)) __builtin_trap();
    FormatStoredFilter(reread, again);
    if (std::u16string(written) != again) __builtin_trap();
  }

  // A bookmark value as the reference reads it; a section of them sorted, one per offset, at most 1,000, written
  // back and read again the same.
  std::u16string markValue = input.Units(48);
  Bookmark parsed, expected;
  bool accepted = ParseBookmark(std::u16string(markValue.c_str()).c_str(), &parsed);
  if (accepted != ReferenceBookmark(markValue.c_str(), &expected) ||
      (accepted && (parsed.offset != expected.offset || parsed.hash != expected.hash)))
    __builtin_trap();
  std::u16string block = input.Units(size);
  BookmarkSet set, again;
  ParseBookmarkSection(block.data(), block.size(), &set);
  for (size_t i = 1; i < set.items.size(); ++i)
    if (set.items[i - 1].offset >= set.items[i].offset) __builtin_trap();
  std::vector<TextUnit> written = BookmarkSectionBlock(set);
  ParseBookmarkSection(written.data(), written.size(), &again);
  if (set.items.size() > kMostBookmarks || again.items.size() != set.items.size() ||
      !std::equal(set.items.begin(), set.items.end(), again.items.begin(),
                  [](const Bookmark& a, const Bookmark& b) { return a.offset == b.offset && a.hash == b.hash; }))
    __builtin_trap();

  // The same units as a section of filters read whole: each key's value as
  // the plain reading gives it, and within the block.
  for (uint32_t key = 0; key <= kMaxFilters; ++key) {
    const TextUnit* value = nullptr;
    size_t length = 0;
    std::u16string expectedValue;
    bool expectedFound = ReferenceSectionValue(block, key, &expectedValue);
    bool found = StoredSectionValue(block.data(), block.size(), key, &value, &length);
    if (found != expectedFound ||
        (found && (value < block.data() || value + length > block.data() + block.size() ||
                   std::u16string(value, length) != expectedValue)))
      __builtin_trap();
  }
  return 0;
}
