#include "engine/file_bookmarks.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/charset.h"
#include "engine/charset.h"
#include "engine/file_follower.h"
#include "engine/properties.h"

namespace {

BookmarkSet marks;

// The bookmarks found among the view's lines: their numbers, for the marks
// whose offsets lie in [mappedFrom, mappedTo) of the numbering mappedEpoch.
std::vector<uint64_t> markedLines;
uint64_t mappedEpoch = ~uint64_t(0);
uint64_t mappedFrom = 0, mappedTo = 0;

void Forget() { mappedEpoch = ~uint64_t(0), markedLines.clear(); }

void Store() { WriteStoredBookmarks(marks, FollowedFileHandle()); }

// Numbers the marks in [from, to), each counted on from the one before.
void MapMarks(uint64_t from, uint64_t to) {
  uint32_t unit = CharsetUnitSize(FollowedCharset().active);
  uint64_t knownStart = ~uint64_t(0), knownLine = 0;
  for (auto it = std::lower_bound(marks.items.begin(), marks.items.end(), from,
                                  [](const Bookmark& mark, uint64_t at) { return mark.offset < at; });
       it != marks.items.end() && it->offset < to; ++it) {
    uint64_t line;
    if (it->offset % unit || !LineOfOffset(it->offset, &line, knownStart, knownLine)) continue;
    knownStart = it->offset, knownLine = line;
    markedLines.insert(std::lower_bound(markedLines.begin(), markedLines.end(), line), line);
  }
}

// Brings the numbers up to the view's lines as they are now.
void SyncMarkedLines() {
  uint64_t from, to;
  if (!DecodedSpan(&from, &to)) return Forget();
  if (mappedEpoch != ViewLinesEpoch()) {
    markedLines.clear();
    mappedEpoch = ViewLinesEpoch(), mappedFrom = mappedTo = from;
  }
  if (from < mappedFrom) MapMarks(from, mappedFrom), mappedFrom = from;
  if (to > mappedTo) MapMarks(std::max(mappedTo, mappedFrom), to), mappedTo = to;
}

// Whether a line still starts at offset: the file's first unit past its
// byte-order mark, or one after a line feed.
bool StartsLine(uint64_t offset) {
  uint32_t unit = CharsetUnitSize(FollowedCharset().active), newline = CharsetNewlineUnit(FollowedCharset().active);
  if (offset % unit) return false;
  if (offset <= FollowedCharset().bomLength) return offset == 0 || offset == FollowedCharset().bomLength;
  uint8_t before[4] = {};
  if (ReadFollowedBytes(offset - unit, before, unit) != unit) return false;
  uint32_t value = 0;
  memcpy(&value, before, unit);
  return value == newline;
}

}  // namespace

void LoadFileBookmarks() {
  Forget();
  ReadStoredBookmarks(&marks);
  size_t stored = marks.items.size();
  std::erase_if(marks.items, [](const Bookmark& mark) {
    uint64_t hash;
    return !StartsLine(mark.offset) ||
           !ReadLineHeadHash(FollowedBytesReader(), mark.offset, FollowedCharset().active, &hash) || hash != mark.hash;
  });
  if (marks.items.size() != stored) Store();
}

void DropFileBookmarks() {
  if (marks.items.empty()) return;
  marks.items.clear();
  Store();
}

void ForgetFileBookmarks() {
  Forget();
  marks.items.clear();
}

const BookmarkSet& FileBookmarks() { return marks; }

Toggled ToggleLineBookmark(uint64_t lineStart, uint64_t line) {
  Bookmark mark{lineStart, 0};
  if (!ReadLineHeadHash(FollowedBytesReader(), lineStart, FollowedCharset().active, &mark.hash)) mark.hash = Fnv1a64(nullptr, 0);
  Toggled toggled = ToggleBookmark(&marks, mark);
  if (toggled == Toggled::kFull) return toggled;
  SyncMarkedLines();
  auto at = std::lower_bound(markedLines.begin(), markedLines.end(), line);
  bool there = at != markedLines.end() && *at == line;
  if (toggled == Toggled::kAdded && !there) markedLines.insert(at, line);
  if (toggled == Toggled::kRemoved && there) markedLines.erase(at);
  Store();
  return toggled;
}

void ClearFileBookmarks() {
  if (marks.items.empty()) return;
  marks.items.clear();
  markedLines.clear();
  Store();
}

bool ViewLineBookmarked(uint64_t line) {
  if (marks.items.empty()) return false;
  SyncMarkedLines();
  return std::binary_search(markedLines.begin(), markedLines.end(), line);
}

bool ViewLineOfBookmark(uint64_t offset, uint64_t* line) {
  uint64_t from, to;
  return DecodedSpan(&from, &to) && offset >= from && offset < to && LineOfOffset(offset, line);
}
