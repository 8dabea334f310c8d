// Per-file properties kept with the log file itself, in its alternate data
// stream ":Kavex.Quillon.Properties" as profile (INI) text: the charset chosen
// for the file and the window placement used with it.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/bookmarks.h"
#include "core/placement.h"
#include "engine/wide_text.h"

// Called when a file is opened: the stream belongs to that file from now on.
void SetPropertiesFile(const wchar_t* fullPath);
// The view's own sections for placement and filters: empty for a single
// file, else a name of the view's other files (a hash of their paths).
void SetPropertiesScope(const wchar_t* scope);
const wchar_t* PropertiesStreamPath();  // empty without a file

bool ReadStoredCharsetName(TextUnit* name, size_t capacity);
void WriteStoredCharsetName(const wchar_t* name);

// The line filters kept for the file: section "Filters", keys "0" to "15",
// each a quoted "flags|pattern". A key holding anything else is kept as it
// is: saving uses the other keys, numbered from "0", and removes the unused
// ones and an older version's section "Filter", whose one filter is read
// after the others.
struct LineFilters;
void ReadStoredFilters(LineFilters* filters);
void WriteStoredFilters(const LineFilters& filters);
// How many filters saving can keep: the keys not holding something else.
int StoredFilterRoom();

// The file's bookmarks: section "Bookmarks", keys "0" upwards, each
// "offset|hash"; an empty set removes the section. Writing keeps the log's
// last-write time.
void ReadStoredBookmarks(BookmarkSet* set);
void WriteStoredBookmarks(const BookmarkSet& set, HANDLE logFile);

StoredPlacement ReadStoredPlacement();

// Stores the window's placement; writing the stream must not change the log
// file's last-write time, which logFile's time is used to restore.
void SaveWindowPlacement(HWND window, HANDLE logFile);

// Applies the stored placement before the window is first shown; returns the
// show command to use. A placement that would leave the window on no monitor
// is moved onto the nearest one.
int ApplyWindowPlacement(HWND window, int showCommand);
