#include "engine/file_bookmarks.h"

#include <algorithm>
#include <vector>

#include "core/charset.h"
#include "engine/charset.h"
#include "engine/file_follower.h"
#include "engine/follower_parts.h"
#include "engine/properties.h"

using namespace follower;

namespace {

void Forget(FileMarks& marks) { marks.mappedEpoch = ~uint64_t(0), marks.lines.clear(); }

// Each file's bookmarks go to its own properties stream.
void Store(FollowedFile& f) {
  if (&f != &followed) SetPropertiesFile(f.fullPath);
  WriteStoredBookmarks(f.marks.set, f.file);
  if (&f != &followed) SetPropertiesFile(followed.fullPath);
}

FollowedFile* ViewFile(uint32_t file) {
  return file < viewFileCount && viewFiles[file]->file != INVALID_HANDLE_VALUE ? viewFiles[file] : nullptr;
}

ByteReader ReaderOf(FollowedFile& f) { return ByteReader{&f, ReadFollowed}; }

// Numbers the marks in [from, to), each counted on from the one before.
void MapMarks(FollowedFile& f, uint64_t from, uint64_t to) {
  FileMarks& marks = f.marks;
  uint32_t unit = CharsetUnitSize(f.charset.active);
  uint64_t knownStart = ~uint64_t(0), knownLine = 0;
  for (auto it = std::lower_bound(marks.set.items.begin(), marks.set.items.end(), from,
                                  [](const Bookmark& mark, uint64_t at) { return mark.offset < at; });
       it != marks.set.items.end() && it->offset < to; ++it) {
    uint64_t line;
    if (it->offset % unit || !LineOfOffsetIn(f, it->offset, &line, knownStart, knownLine)) continue;
    knownStart = it->offset, knownLine = line;
    marks.lines.insert(std::lower_bound(marks.lines.begin(), marks.lines.end(), line), line);
  }
}

// Brings the numbers up to the view's lines as they are now.
void SyncMarkedLines(FollowedFile& f) {
  FileMarks& marks = f.marks;
  uint64_t from, to;
  if (!DecodedSpanOf(f, &from, &to)) return Forget(marks);
  if (marks.mappedEpoch != f.linesEpoch) {
    marks.lines.clear();
    marks.mappedEpoch = f.linesEpoch, marks.mappedFrom = marks.mappedTo = from;
  }
  if (from < marks.mappedFrom) MapMarks(f, from, marks.mappedFrom), marks.mappedFrom = from;
  if (to > marks.mappedTo) MapMarks(f, std::max(marks.mappedTo, marks.mappedFrom), to), marks.mappedTo = to;
}

// Whether a line still starts at offset: the file's first unit past its
// byte-order mark, or one after a line feed.
bool StartsLine(FollowedFile& f, uint64_t offset) {
  uint32_t unit = CharsetUnitSize(f.charset.active), newline = CharsetNewlineUnit(f.charset.active);
  if (offset % unit) return false;
  if (offset <= f.charset.bomLength) return offset == 0 || offset == f.charset.bomLength;
  uint8_t before[4] = {};
  return ReadFollowed(&f, offset - unit, before, unit) == unit && UnitAt(before, unit) == newline;
}

}  // namespace

void LoadFileBookmarks(FollowedFile& f) {
  FileMarks& marks = f.marks;
  Forget(marks);
  ReadStoredBookmarks(&marks.set);
  size_t stored = marks.set.items.size();
  std::erase_if(marks.set.items, [&](const Bookmark& mark) {
    uint64_t hash;
    return !StartsLine(f, mark.offset) || !ReadLineHeadHash(ReaderOf(f), mark.offset, f.charset.active, &hash) ||
           hash != mark.hash;
  });
  if (marks.set.items.size() != stored) Store(f);
}

void DropFileBookmarks(FollowedFile& f) {
  if (f.marks.set.items.empty()) return;
  f.marks.set.items.clear();
  Store(f);
}

void ForgetFileBookmarks(FollowedFile& f) {
  Forget(f.marks);
  f.marks.set.items.clear();
}

const BookmarkSet& FileBookmarks(uint32_t file) { return (file < viewFileCount ? *viewFiles[file] : followed).marks.set; }

bool AnyViewBookmarks() {
  for (uint32_t i = 0; i < viewFileCount; ++i)
    if (!viewFiles[i]->marks.set.items.empty()) return true;
  return false;
}

Toggled ToggleLineBookmark(uint32_t file, uint64_t lineStart) {
  if (!ViewFile(file)) return Toggled::kFull;
  FollowedFile& f = *ViewFile(file);
  Bookmark mark{lineStart, 0};
  if (!ReadLineHeadHash(ReaderOf(f), lineStart, f.charset.active, &mark.hash)) mark.hash = Fnv1a64(nullptr, 0);
  Toggled toggled = ToggleBookmark(&f.marks.set, mark);
  if (toggled == Toggled::kFull) return toggled;
  Forget(f.marks);  // the view's marked lines are found again when next asked for
  Store(f);
  return toggled;
}

void ClearFileBookmarks() {
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    if (f.marks.set.items.empty()) continue;
    f.marks.set.items.clear();
    f.marks.lines.clear();
    Store(f);
  }
}

bool ViewLineBookmarked(const RowPlace& place) {
  FollowedFile* f = ViewFile(place.file);
  if (!f || f->marks.set.items.empty()) return false;
  SyncMarkedLines(*f);
  return std::binary_search(f->marks.lines.begin(), f->marks.lines.end(), place.line);
}

bool ViewLineOfBookmark(uint32_t file, uint64_t offset, uint64_t* line) {
  FollowedFile* f = ViewFile(file);
  uint64_t from, to;
  return f && DecodedSpanOf(*f, &from, &to) && offset >= from && offset < to && LineOfOffsetIn(*f, offset, line);
}
