// What the follower keeps of one followed file: its handle and names, where
// its reading stands, the stretch a browsing view holds of it, and where its
// lines begin. The follower's calls take it explicitly.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>

#include "core/charset.h"
#include "core/rows.h"
#include "engine/file_bookmarks.h"
#include "engine/file_follower.h"

constexpr size_t kTailCheckBytes = 16;
constexpr uint64_t kNoUnitLimit = ~uint64_t(0);

// Where lines begin, for the view's rows to be traced back to the file: at
// the start of every read (a line start) and after every chunk (the bytes
// decoded so far, and the lines they ended). A line's start is found from the
// last checkpoint before it by counting line breaks, at most a chunk's worth.
struct LineCheckpoint {
  uint64_t offset;
  uint64_t line;     // lines ended before offset
  bool lineStart;    // offset is where that line starts
  uint64_t unit = 0; // units of that line before offset
};

struct FollowedFile {
  uint32_t index = 0;  // its place among the view's files, and its row stream
  HANDLE file = INVALID_HANDLE_VALUE;
  CharsetState charset;  // how it is decoded: found, chosen or autodetected
  wchar_t fullPath[kPathUnits] = {};
  wchar_t requestedName[kPathUnits] = {};
  bool paused = false;
  bool oneShot = false;
  uint64_t lastSize = 0;
  uint64_t readPosition = 0;
  uint64_t sizeForProgress = 0;
  uint64_t filePosition = 0;  // where the handle's own position stands
  DWORD lastIdentityCheck = 0;

  bool continuing = false;     // the current drain handed back and goes on
  bool startedOver = false;    // a load or truncation emptied the view since the last full poll
  bool tailCutByLines = false; // its last load left out lines that would have fitted in the view
  bool drainStarted = false;
  bool progressShown = false;
  LARGE_INTEGER drainStart{};
  LARGE_INTEGER lastFlush{};
  LARGE_INTEGER lastProgress{};

  // Bytes of a character the last chunk did not finish; they lead the next one.
  uint8_t carry[kMaxCarryBytes] = {};
  size_t carryCount = 0;
  // The last bytes read, to notice a file rewritten under our read position.
  uint8_t tail[kTailCheckBytes] = {};
  size_t tailCount = 0;

  // Units decoded but not fed: feeding resumes inside a line from a
  // checkpoint before the unit it resumes at; and, once so many are fed,
  // feeding stops where a stretch loaded before goes on.
  uint64_t unitsToSkip = 0;
  uint64_t unitsToFeed = kNoUnitLimit;

  // Browsing: the view holds a stretch of rows that ends before the file's
  // end; the file is watched, its new lines counted, not read into rows.
  // Either end of the stretch may lie inside a line longer than the view holds.
  bool browsing = false;
  uint64_t browseStart = 0;     // where the browsed stretch starts, hidden lines before its first row too
  RowPlace stretchEndPlace;     // the first row the browsed stretch does not hold
  uint64_t stretchEnd = 0;      // where the line of that row starts
  uint64_t watchedEnd = 0;      // the file's bytes counted for new lines so far
  uint64_t linesArrived = 0;    // line breaks past where following stopped
  uint8_t watchedTail[kTailCheckBytes] = {};
  size_t watchedTailCount = 0;
  uint64_t dataStart = 0;       // past the byte-order mark

  std::deque<LineCheckpoint> checkpoints;
  // Counts up whenever the view's lines are numbered afresh or lines are
  // numbered before the first checkpoint: what was found of them goes.
  uint64_t linesEpoch = 0;

  FileMarks marks;  // its bookmarks

  // On a share, a merged view's reads and opens of it are watched; one cut
  // off leaves the file alone until stalledUntil.
  bool onShare = false;
  bool stalled = false;
  DWORD stalledUntil = 0;
};
