// Holds the followed file open, loads its tail and polls it on timer 1 of the
// host window: appended bytes become rows, a shrinking or rewritten file is read
// again from its start, and a file replaced under its name is opened anew.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "core/charset.h"
#include "core/line_starts.h"
#include "core/log_times.h"
#include "core/rows.h"

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollInterval = 10;       // ms between the end of a poll and the next
constexpr UINT kFirstPollDelay = 20;     // ms after an open
constexpr DWORD kIdentityCheckInterval = 1000;
constexpr size_t kPathUnits = 32768;

// Makes name absolute in the \\?\ or \\?\UNC\ form. False when it does not fit.
bool FullPathOf(const wchar_t* name, wchar_t* out, size_t capacity);
// The full path as the user sees and picks it again: without the long-path
// prefix wherever the path opens as well without it (\\?\UNC\server\... as
// \\server\...); a longer path, or one the system would read otherwise
// unprefixed (a trailing dot, a "..", a volume name), keeps it.
void ShownPathOf(const wchar_t* fullPath, wchar_t* out, size_t capacity);

// Opens and loads name, reporting the file to the host by its shown path; on
// failure the host shows the open error and the file followed so far stays.
// Both arm timer 1 and post its first tick.
bool OpenFile(const wchar_t* name);
void CloseFile();
void LoadFile();  // reload; does nothing without a file
void PollFile();  // timer 1
void TogglePause();

// Cuts the followed file to nothing (keeping its byte-order mark while it is
// still the charset in use) and empties the view. Without a file only the view
// is emptied. False, after the host showed the error, when the file could not
// be written.
bool EraseFileContent();

// The charset commands and autodetection: they take effect by reloading. A
// charset chosen for an open file is also stored in its properties.
void ChooseCharset(int command);
void SetAutodetect(bool on);

// The view holds a stretch of the file's rows. Following, the stretch ends
// at the file's end; otherwise the view is browsing: the file is still
// watched, but its new lines wait until the view goes back to the end.
// Either end of a stretch may lie inside a line longer than the view holds.
bool Browsing();
// Where the loaded stretch starts: the start of its first line (while
// browsing, of the lines the filters hide before it too), and the unit of that
// line its first row starts at; and where it ends: the start of the line of
// the first row it does not hold (the read position's line while following),
// and the unit of that line that row starts at (0: the whole line).
uint64_t StretchStart();
uint64_t StretchStartUnit();
uint64_t StretchEnd();
uint64_t StretchEndUnit();
// Loads the stretch holding unit `unit` of the line that starts at byte
// lineStart (counted in the decoded line, before tabs are expanded), with up
// to rowsBefore rows before its row, browsing unless the stretch reaches the
// end. Returns the view row that holds that unit, or the first after it (-1
// for none: the filters hide it and all after it in the stretch).
int ShowLineAt(uint64_t lineStart, uint64_t unit, int rowsBefore);
// The rows just before the first loaded row, at most half the lines limit of
// them; false when there are none.
bool LoadEarlierRows();
// Browsing, the rows after the last loaded row, the view keeping the last
// half of its rows (following again once the end is reached); false when not
// browsing.
bool LoadLaterRows();
void LoadStartOfFile();  // the file's first rows
void FollowEndAgain();   // the tail, following again
// Line breaks written to the file since browsing began (counted as they come).
uint64_t LinesArrivedWhileBrowsing();

bool FileIsOpen();
HANDLE FollowedFileHandle();     // INVALID_HANDLE_VALUE without a file
bool FollowingPaused();
const wchar_t* FollowedPath();   // full path, empty without a file
uint64_t LastFileSize();
bool PollContinues();            // a long read handed back to the loop and goes on

// Reads a file of the view at an offset (the first past the last), leaving
// the follower's own reading where it stands; nothing without a file.
ByteReader ViewFileReader(uint32_t index);

// The view's lines are numbered afresh whenever this changes.
uint64_t ViewLinesEpoch();
// Where the view's line starts in the file; false when it is not known.
bool ViewLineStart(const RowPlace& place, uint64_t* offset);

// Whether two handles name the same file (its index on its volume, and when
// it was made).
struct FileIdentity {
  uint64_t index;
  int64_t created;
  bool operator==(const FileIdentity&) const = default;
};
bool ReadFileIdentity(HANDLE file, FileIdentity* identity);

// Reads at an offset, for the core's scans over a file (a ByteReader): a seek
// and a read, so a handle is read by one thread only.
size_t ReadFileAt(void* handle, uint64_t at, uint8_t* bytes, size_t count);
inline ByteReader HandleReader(HANDLE file) { return ByteReader{file, ReadFileAt}; }

// How the followed file is decoded (the charset found, chosen or detected).
CharsetState& FollowedCharset();

// Stamps without a year (syslog's) take the year of the file's last write.
YearHint YearHintOf(HANDLE file);

// A view of several files, their lines merged by time: the file OpenFile
// opened first, then up to kMaxViewFiles - 1 more. Each is read, followed,
// cut, rewritten and rotated on its own; a file that cannot be opened stays
// in the view and is tried again once a second.
// Opens the first of names as OpenFile does and adds the rest.
bool OpenFiles(const wchar_t* const* names, size_t count);
// False, after the host showed why, when the view is full or the file is in it.
bool AddFileToView(const wchar_t* name);
// Takes a file other than the first out of the view.
bool RemoveFileFromView(uint32_t index);
uint32_t ViewFileCount();
// OpenFiles is opening a set (its first file is reported opened meanwhile).
bool OpeningSet();
// Counts up whenever a file joins or leaves the view, or another is opened.
uint64_t ViewFilesChanges();
bool ViewMerges();  // more than one file
const wchar_t* ViewFilePath(uint32_t index);  // full path, empty past the last
bool ViewFileOpen(uint32_t index);
bool ViewFileStalled(uint32_t index);  // on a share that stopped answering
uint64_t ViewFileSize(uint32_t index);
HANDLE ViewFileHandle(uint32_t index);  // INVALID_HANDLE_VALUE when it is not open
// Loads a merged view around a time (as the merge orders them: UTC where a
// stamp has a zone): each file from its first line stamped at or after it,
// the rows from the first such on, rowsBefore rows before it; *row that row,
// -1 for none. False, the view left as it was, when every file's stamps lie
// before the time.
bool ShowTimeInView(int64_t stamp, int rowsBefore, int* row);
// A merged view's file: where its part of the view starts (the unit of that
// line its first row starts at) and ends; false when it is not open.
bool ViewFileSpan(uint32_t index, uint64_t* start, uint64_t* startUnit, uint64_t* end);
// The running stamp of the line at lineStart of the view's file: its own, or
// what the lines before carry when later or it has none.
int64_t ViewFileLineStamp(uint32_t index, uint64_t lineStart);
// Loads a merged view around the view file's line at lineStart: the row that
// holds unit `unit` of it, rowsBefore rows before it. Returns that row, -1 for none.
int ShowViewFileLine(uint32_t index, uint64_t lineStart, uint64_t unit, int rowsBefore);
// The file of the view's caret row (0 without rows).
uint32_t CaretViewFile();
CharsetState& ViewFileCharset(uint32_t index);

// The core's line-start scans (core/line_starts.h) over the file, read a
// chunk at a time; both move the handle's position.
uint64_t StartOfLastLines(HANDLE file, uint64_t floor, uint64_t end, uint32_t charset, size_t lines);
uint64_t FindFirstWholeLine(HANDLE file, uint64_t start, uint32_t charset);
