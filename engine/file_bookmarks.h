// The followed file's bookmarks: kept in its properties stream, checked
// against the file when it is opened, dropped when the file is cut or
// rewritten, and found again among the view's lines as they load.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/bookmarks.h"

// The follower's calls: the stored set of the file just opened (a mark whose
// line no longer starts at its offset with the same bytes goes); all gone
// with their lines (the stream written); the file closed (the stream keeps them).
void LoadFileBookmarks();
void DropFileBookmarks();
void ForgetFileBookmarks();

const BookmarkSet& FileBookmarks();
// Marks or unmarks the line that starts at lineStart, the view's line line;
// kFull leaves the set as it was.
Toggled ToggleLineBookmark(uint64_t lineStart, uint64_t line);
void ClearFileBookmarks();
// Whether the view's line is bookmarked; the lines the view holds.
bool ViewLineBookmarked(uint64_t line);
// The view's line of a bookmark's offset; false when it is not loaded.
bool ViewLineOfBookmark(uint64_t offset, uint64_t* line);
