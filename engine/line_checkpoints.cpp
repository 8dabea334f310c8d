// Where the view's lines begin in the followed file, kept as checkpoints while
// it is read, and the lines of offsets found among them.
#include "engine/follower_parts.h"

#include <algorithm>

#include "engine/charset.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"

using namespace follower;

namespace follower {

// The view is empty: its lines count afresh from at.
void StartCheckpoints(FollowedFile& f, uint64_t at) {
  SetLinesFed(kFirstLineOrdinal);
  f.checkpoints.clear();
  ++f.linesEpoch;
  f.checkpoints.push_back({at, LinesFed(), true});
}

ByteReader FollowedReader(FollowedFile& f) { return ByteReader{&f, ReadFollowed}; }

bool UsableFor(const LineCheckpoint& checkpoint, uint64_t line) {
  return checkpoint.line < line || (checkpoint.line == line && checkpoint.lineStart);
}

// Where line starts in the file, from the checkpoints; false when it lies
// before them all. Moves the handle's position back where the follower reads.
bool LineStartOf(FollowedFile& f, uint64_t line, uint64_t* offset) {
  for (auto it = f.checkpoints.rbegin(); it != f.checkpoints.rend(); ++it) {
    if (!UsableFor(*it, line)) continue;
    *offset = it->line == line ? it->offset
                               : SkipLines(FollowedReader(f), it->offset, f.charset.active, line - it->line, byteBuffer,
                                           kChunkBytes);
    SeekTo(f, f.filePosition);
    return true;
  }
  return false;
}

// Checkpoints before the one the view's first line is found from serve no more.
void PruneCheckpoints(FollowedFile& f) {
  const RowView& view = CurrentRowView();
  uint64_t first = ViewRows() && ViewLinesKnown(view) ? ViewRowLine(0) : LinesFed();
  if (RowPlace place; Merging()) first = FirstViewRowOf(f.index, &place) ? place.line : LinesFed();
  while (f.checkpoints.size() > 1 && UsableFor(f.checkpoints[1], first)) f.checkpoints.pop_front();
}

}  // namespace follower

uint64_t ViewLinesEpoch() { return followed.linesEpoch; }

namespace follower {

bool DecodedSpanOf(FollowedFile& f, uint64_t* from, uint64_t* to) {
  if (f.file == INVALID_HANDLE_VALUE || f.checkpoints.empty()) return false;
  *from = f.checkpoints.front().offset, *to = f.checkpoints.back().offset;
  return true;
}

bool LineOfOffsetIn(FollowedFile& f, uint64_t offset, uint64_t* line, uint64_t countFrom, uint64_t countFromLine) {
  if (f.file == INVALID_HANDLE_VALUE || f.checkpoints.empty() || offset < f.checkpoints.front().offset ||
      offset > f.checkpoints.back().offset)
    return false;
  auto after = std::upper_bound(f.checkpoints.begin(), f.checkpoints.end(), offset,
                                [](uint64_t at, const LineCheckpoint& checkpoint) { return at < checkpoint.offset; });
  const LineCheckpoint& checkpoint = *(after - 1);
  if (countFrom < checkpoint.offset || countFrom > offset) countFrom = checkpoint.offset, countFromLine = checkpoint.line;
  *line = countFromLine + CountLineBreaks(FollowedReader(f), countFrom, offset, f.charset.active, byteBuffer, kChunkBytes);
  SeekTo(f, f.filePosition);
  return true;
}

}  // namespace follower

bool ViewLineStart(const RowPlace& place, uint64_t* offset) {
  if (place.file >= viewFileCount) return false;
  FollowedFile& f = *viewFiles[place.file];
  return f.file != INVALID_HANDLE_VALUE && LineStartOf(f, place.line, offset);
}
