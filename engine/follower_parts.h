// The follower's parts that its three files share: reading and the tail
// (file_follower.cpp), the stretch a browsing view holds (file_stretch.cpp),
// and where the view's lines begin in the file (line_checkpoints.cpp).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/charset.h"
#include "core/line_starts.h"
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
bool PollWhileBrowsing(FollowedFile& f);
uint64_t StretchStartOf(FollowedFile& f);
uint64_t StretchEndOf(FollowedFile& f);
int ShowLineIn(FollowedFile& f, uint64_t lineStart, uint64_t unit, int rowsBefore);

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

}  // namespace follower
