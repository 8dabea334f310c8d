// The follower's parts that its three files share: reading and the tail
// (file_follower.cpp), the stretch a browsing view holds (file_stretch.cpp),
// and where the view's lines begin in the file (line_checkpoints.cpp).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/charset.h"
#include "core/line_starts.h"
#include "core/log_times.h"
#include "core/rows.h"
#include "engine/followed_file.h"

namespace follower {

// The file the view follows: the first of the view's files.
extern FollowedFile followed;
// The view's files, followed first; viewFileCount of them.
extern FollowedFile* viewFiles[kMaxViewFiles];
extern uint32_t viewFileCount;
// Its lines are fed through its own row stream from here on.
void SelectFile(FollowedFile& f);
// Scratch for the reads and scans of the window's thread.
extern uint8_t byteBuffer[kChunkBytes];
extern TextUnit unitBuffer[kChunkUnits];

double MillisecondsSince(const LARGE_INTEGER& start);
LARGE_INTEGER Now();
uint64_t KbLimitBytes();
size_t RowCapacity();
uint64_t AlignedToUnit(FollowedFile& f, uint64_t offset);

// Reading.
// Around a read or open of a file on a share in a merged view: false after,
// the file then left alone for a second, when the call was cut off.
void BeginIo(FollowedFile& f);
bool EndIo(FollowedFile& f);
bool FileSize(FollowedFile& f, uint64_t* size);
void SeekTo(FollowedFile& f, uint64_t position);
// False when the bytes just before end are no longer those given.
bool BytesStillBefore(FollowedFile& f, uint64_t end, const uint8_t* bytes, size_t count);
void ForgetReadState(FollowedFile& f);
// Reads one chunk (at most most bytes) and feeds its rows; the bytes read, 0 at the end.
size_t ReadAndFeedChunk(FollowedFile& f, size_t capacity, uint64_t most = kChunkBytes);
// Empties the view; moving: only moving through the file, which the host is not told.
void EmptyView(bool moving = false);
// Empties the view of one file's rows: all of them when it is the view's only file.
void EmptyFileRows(FollowedFile& f, bool moving = false);
void EndDrain(FollowedFile& f);
// Once a second: the name given to another file is followed there; true when it was opened.
bool FollowRenamedFile(FollowedFile& f);
// Browsing no more: the tail, following again.
void FollowTheEnd(FollowedFile& f, bool moving);

// The stretch.
// Where the view stands, so that a load that adds or takes rows above can
// put the same rows back in the same place.
struct ViewPlace {
  int top;
  LRESULT caret;
};
ViewPlace TakeViewPlace();
// The place again, shift rows down (up when negative); with selectCaret the
// caret row is then the only one selected.
void RestoreViewPlace(const ViewPlace& place, int shift, bool selectCaret);
void SelectOnlyRow(LRESULT row);
// From following to browsing: what was read so far stays watched from where it stopped.
void EnterBrowsing(FollowedFile& f);
void RefreshAfterStretch(FollowedFile& f);
// Where feeding for the rows before the line at start begins: at most that
// many lines back, within the kb limit's bytes.
uint64_t StartOfLinesBefore(FollowedFile& f, uint64_t start, size_t lines);
// Where the stretch before the line at start begins: no more than the kb
// limit's worth back, and half the lines limit of lines where every line
// makes a row; start itself when the line before is too long to look through.
uint64_t StartOfEarlierStretch(FollowedFile& f, uint64_t start, size_t half);
bool PollWhileBrowsing(FollowedFile& f);
uint64_t StretchStartOf(FollowedFile& f);
uint64_t StretchEndOf(FollowedFile& f);
int ShowLineIn(FollowedFile& f, uint64_t lineStart, uint64_t unit, int rowsBefore);

// The running stamp the lines before the one at lineStart carry to it: their
// last stamped line's, if one lies within reach; kNoStamp without.
int64_t StampCarriedTo(FollowedFile& f, uint64_t lineStart);
// The stamp a line states, as merged, from its first bytes; false without one.
bool HeadStampOf(FollowedFile& f, const uint8_t* bytes, size_t count, const YearHint& hint, int64_t* stamp);

// Browsing a merged view (merged_stretch.cpp): the rows before the view's
// first and after its last, from every file; the view loaded afresh from
// each file's line at lineStarts[file], the rows from the first stamped at
// or after stamp, or from target's row, less rowsBefore, on, returning that
// row (-1: none); the start of every file.
// A line of one file to show rather than the first row at the stamp: the
// row of the line at lineStarts[file] that holds the unit.
struct MergedTarget {
  uint32_t file;
  uint64_t unit;
};
bool LoadEarlierMergedRows();
bool LoadLaterMergedRows();
int ShowMergedAt(const uint64_t* lineStarts, int64_t stamp, size_t rowsBefore, const MergedTarget* target);
void LoadStartOfMergedFiles();

// Checkpoints.
void StartCheckpoints(FollowedFile& f, uint64_t at);
bool UsableFor(const LineCheckpoint& checkpoint, uint64_t line);
bool LineStartOf(FollowedFile& f, uint64_t line, uint64_t* offset);
void PruneCheckpoints(FollowedFile& f);
ByteReader FollowedReader(FollowedFile& f);
// The offsets whose lines can be numbered: [from, to); the line holding the
// byte at offset, counted from countFrom, a place known to begin line
// countFromLine, where that lies after the nearest checkpoint.
bool DecodedSpanOf(FollowedFile& f, uint64_t* from, uint64_t* to);
bool LineOfOffsetIn(FollowedFile& f, uint64_t offset, uint64_t* line, uint64_t countFrom = ~uint64_t(0),
                    uint64_t countFromLine = 0);
// Reads the file at an offset (a ByteReader's call, context the file); its
// own reading stays where it stands.
size_t ReadFollowed(void* context, uint64_t at, uint8_t* bytes, size_t count);
size_t ReadFollowedAt(FollowedFile& f, uint64_t at, uint8_t* bytes, size_t count);
// The year a file's short stamps are read in: its last write's (today's for
// a share that does not answer).
YearHint YearHintOf(FollowedFile& f);

}  // namespace follower
