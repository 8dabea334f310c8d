#include "core/bookmarks.h"

#include <algorithm>

#include "core/charset.h"

namespace {

bool OffsetBefore(const Bookmark& mark, uint64_t offset) { return mark.offset < offset; }

std::vector<Bookmark>::const_iterator LowerBound(const BookmarkSet& set, uint64_t offset) {
  return std::lower_bound(set.items.begin(), set.items.end(), offset, OffsetBefore);
}

// Parses digits of the given base up to the terminator or stop; false for
// none, another unit or a value past 64 bits.
bool ParseNumber(const TextUnit*& text, unsigned base, TextUnit stop, uint64_t* value) {
  uint64_t result = 0;
  const TextUnit* start = text;
  for (; *text && *text != stop; ++text) {
    TextUnit unit = FoldUnit(*text);
    unsigned digit = IsDigitUnit(unit) ? unsigned(unit - u'0') : unit >= u'a' && unit <= u'f' ? unsigned(unit - u'a' + 10) : 16;
    if (digit >= base || result > (~uint64_t(0) - digit) / base) return false;
    result = result * base + digit;
  }
  *value = result;
  return text != start && text - start <= 20;
}

}  // namespace

uint64_t Fnv1a64(const uint8_t* bytes, size_t count) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
  return hash;
}

uint64_t LineHeadHash(const uint8_t* bytes, size_t count, uint32_t charset) {
  uint32_t unit = CharsetUnitSize(charset), newline = CharsetNewlineUnit(charset);
  size_t length = 0;
  for (count = std::min(count, kBookmarkHashBytes); length + unit <= count && UnitAt(bytes + length, unit) != newline;)
    length += unit;
  return Fnv1a64(bytes, length);
}

bool ReadLineHeadHash(const ByteReader& file, uint64_t start, uint32_t charset, uint64_t* hash) {
  uint8_t head[kBookmarkHashBytes];
  size_t got = file.read(file.context, start, head, sizeof head);
  if (got == 0) return false;
  *hash = LineHeadHash(head, got, charset);
  return true;
}

Toggled ToggleBookmark(BookmarkSet* set, const Bookmark& mark) {
  auto at = std::lower_bound(set->items.begin(), set->items.end(), mark.offset, OffsetBefore);
  if (at != set->items.end() && at->offset == mark.offset) {
    set->items.erase(at);
    return Toggled::kRemoved;
  }
  if (set->items.size() >= kMostBookmarks) return Toggled::kFull;
  set->items.insert(at, mark);
  return Toggled::kAdded;
}

bool HasBookmark(const BookmarkSet& set, uint64_t offset) {
  auto at = LowerBound(set, offset);
  return at != set.items.end() && at->offset == offset;
}

const Bookmark* NextBookmark(const BookmarkSet& set, uint64_t after) {
  auto at = std::upper_bound(set.items.begin(), set.items.end(), after,
                             [](uint64_t offset, const Bookmark& mark) { return offset < mark.offset; });
  return at == set.items.end() ? nullptr : &*at;
}

const Bookmark* PreviousBookmark(const BookmarkSet& set, uint64_t before) {
  auto at = LowerBound(set, before);
  return at == set.items.begin() ? nullptr : &*(at - 1);
}

void FormatBookmark(const Bookmark& mark, TextUnit* out) {
  char text[kBookmarkValueUnits];
  char* end = text + sizeof text;
  char* at = end;
  *--at = 0;
  uint64_t hash = mark.hash;
  for (int i = 0; i < 16; ++i, hash >>= 4) *--at = "0123456789abcdef"[hash & 15];
  *--at = '|';
  uint64_t offset = mark.offset;
  do *--at = char('0' + offset % 10); while ((offset /= 10) != 0);
  for (; at < end; ++at) *out++ = TextUnit(*at);
}

bool ParseBookmark(const TextUnit* value, Bookmark* mark) {
  Bookmark read;
  if (!ParseNumber(value, 10, u'|', &read.offset) || *value++ != u'|') return false;
  const TextUnit* hash = value;
  if (!ParseNumber(value, 16, 0, &read.hash) || value - hash > 16) return false;
  *mark = read;
  return true;
}

void ParseBookmarkSection(const TextUnit* block, size_t units, BookmarkSet* set) {
  set->items.clear();
  std::vector<std::pair<uint64_t, Bookmark>> keyed;
  for (size_t at = 0; at < units && block[at];) {
    const TextUnit* entry = block + at;
    size_t length = TextLengthWithin(entry, units - at);
    at += length + 1;
    const TextUnit* text = entry;
    uint64_t key;
    Bookmark mark;
    if (!ParseNumber(text, 10, u'=', &key) || *text != u'=') continue;
    TextUnit value[kBookmarkValueUnits];
    size_t valueLength = size_t(entry + length - text - 1);
    if (valueLength >= kBookmarkValueUnits) continue;
    std::copy(text + 1, text + 1 + valueLength, value);
    value[valueLength] = 0;
    if (ParseBookmark(value, &mark)) keyed.push_back({key, mark});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [key, mark] : keyed) {
    if (set->items.size() >= kMostBookmarks) break;
    if (!HasBookmark(*set, mark.offset)) ToggleBookmark(set, mark);
  }
}

std::vector<TextUnit> BookmarkSectionBlock(const BookmarkSet& set) {
  std::vector<TextUnit> block;
  for (size_t i = 0; i < set.items.size(); ++i) {
    TextUnit key[12], value[kBookmarkValueUnits];
    size_t keyLength = DecimalText(uint32_t(i), key);
    block.insert(block.end(), key, key + keyLength);
    block.push_back(u'=');
    FormatBookmark(set.items[i], value);
    block.insert(block.end(), value, value + TextLength(value));
    block.push_back(0);
  }
  block.push_back(0);
  return block;
}

bool DecodeLineAt(const ByteReader& file, uint64_t start, uint32_t charset, const CharsetConversions& system,
                  std::vector<TextUnit>* line) {
  line->clear();
  std::vector<uint8_t> bytes(kChunkBytes);
  std::vector<TextUnit> units(kChunkUnits);
  uint64_t end = FindFirstWholeLine(file, start, charset, bytes.data(), bytes.size());
  size_t carried = 0;
  for (uint64_t at = start; at < end;) {
    size_t got = file.read(file.context, at, bytes.data() + carried, size_t(std::min<uint64_t>(kChunkBytes - carried, end - at)));
    if (got == 0) break;
    at += got;
    size_t decoded = DecodeKeepingCarry(charset, bytes.data(), carried + got, 0, units.data(), bytes.data(), &carried, system);
    line->insert(line->end(), units.begin(), units.begin() + ptrdiff_t(decoded));
  }
  if (end <= start) return false;
  if (!line->empty() && line->back() == u'\n') line->pop_back();
  if (!line->empty() && line->back() == u'\r') line->pop_back();
  return true;
}
