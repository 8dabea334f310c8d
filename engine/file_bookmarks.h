// A followed file's bookmarks: kept in its properties stream, checked against
// the file when it is opened, dropped when the file is cut or rewritten, and
// found again among the view's lines as they load.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bookmarks.h"

// What is kept of one file's bookmarks: the set, and the view's lines found
// to be marked: their numbers, for the marks whose offsets lie in
// [mappedFrom, mappedTo) of the view's numbering mappedEpoch.
struct FileMarks {
  BookmarkSet set;
  std::vector<uint64_t> lines;
  uint64_t mappedEpoch = ~uint64_t(0);
  uint64_t mappedFrom = 0, mappedTo = 0;
};

// The follower's calls for a file of its own: the stored set of the file just
// opened (a mark whose line no longer starts at its offset with the same
// bytes goes); all gone with their lines (the stream written); the file
// closed (the stream keeps them).
struct FollowedFile;
void LoadFileBookmarks(FollowedFile& f);
void DropFileBookmarks(FollowedFile& f);
void ForgetFileBookmarks(FollowedFile& f);

// The commands' calls, on a file of the view (its place among the view's files).
struct RowPlace;
const BookmarkSet& FileBookmarks(uint32_t file = 0);
bool AnyViewBookmarks();
// Marks or unmarks the line that starts at lineStart; kFull leaves the set as
// it was.
Toggled ToggleLineBookmark(uint32_t file, uint64_t lineStart);
void ClearFileBookmarks();  // every file's
// Whether the view's line is bookmarked (its file's line); the lines the view holds.
bool ViewLineBookmarked(const RowPlace& place);
// The view's line of a bookmark's offset; false when it is not loaded.
bool ViewLineOfBookmark(uint32_t file, uint64_t offset, uint64_t* line);
