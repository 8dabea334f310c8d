// Bookmarks: lines of a file marked by the user, each known by where the line
// starts in the file and a hash of its first bytes, so that a mark kept over
// a restart is dropped once its line is no longer there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/line_starts.h"
#include "core/text.h"

constexpr size_t kMostBookmarks = 1000;
constexpr size_t kBookmarkHashBytes = 64;

struct Bookmark {
  uint64_t offset = 0;  // where the line starts
  uint64_t hash = 0;    // LineHeadHash of its first bytes
};

// Sorted by offset, one per offset, at most kMostBookmarks.
struct BookmarkSet {
  std::vector<Bookmark> items;
};

// 64-bit FNV-1a.
uint64_t Fnv1a64(const uint8_t* bytes, size_t count);
// The hash of a line's head: its bytes up to kBookmarkHashBytes, stopping
// before its line feed (in the charset's units); bytes hold what the file has
// from the line's start on, count of them.
uint64_t LineHeadHash(const uint8_t* bytes, size_t count, uint32_t charset);
// The same, read from the file; false when nothing could be read there.
bool ReadLineHeadHash(const ByteReader& file, uint64_t start, uint32_t charset, uint64_t* hash);

enum class Toggled { kAdded, kRemoved, kFull };
Toggled ToggleBookmark(BookmarkSet* set, const Bookmark& mark);
bool HasBookmark(const BookmarkSet& set, uint64_t offset);
// The first bookmark after offset, the last before it; null for none.
const Bookmark* NextBookmark(const BookmarkSet& set, uint64_t after);
const Bookmark* PreviousBookmark(const BookmarkSet& set, uint64_t before);

// A key's value: "offset|hash", the offset in decimal and the hash in hex.
constexpr size_t kBookmarkValueUnits = 20 + 1 + 16 + 1;  // terminated
void FormatBookmark(const Bookmark& mark, TextUnit* out);
bool ParseBookmark(const TextUnit* value, Bookmark* mark);
// A profile section's block ("key=value" strings, each terminated, an empty
// one last) read into a set: keys "0" upwards, values that are no bookmark
// skipped, the first kMostBookmarks kept. And the block that writes the set
// back, keys numbered from "0".
void ParseBookmarkSection(const TextUnit* block, size_t units, BookmarkSet* set);
std::vector<TextUnit> BookmarkSectionBlock(const BookmarkSet& set);

// The line that starts at start, decoded whole in the charset, its line feed
// and a CR before it left out; false when nothing could be read there.
struct CharsetConversions;
bool DecodeLineAt(const ByteReader& file, uint64_t start, uint32_t charset, const CharsetConversions& system,
                  std::vector<TextUnit>* line);
