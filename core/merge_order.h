// Several logs as one view: the order their lines are shown in. Each line is
// keyed by its file's running stamp, then by its file's place among the
// view's files, then by its place in its file. The running stamp is the
// line's own, unless it has none or one earlier than its file's line before
// it: then it takes its file's last stamp, so that each file keeps its own
// line order and a stack trace stays whole. Lines before a file's first stamp
// take kNoStamp and come first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/log_times.h"
#include "core/text.h"

constexpr int64_t kNoStamp = INT64_MIN;

// A stamp (TimeKey, and the zone written after it) on one line of time in
// milliseconds: moved to UTC when it has a zone, taken as written without.
int64_t MergeMilliseconds(int64_t time, int32_t zoneMinutes);

struct MergeKey {
  int64_t stamp = kNoStamp;
  uint32_t file = 0;
  uint64_t line = 0;
};
inline bool operator<(const MergeKey& a, const MergeKey& b) {
  if (a.stamp != b.stamp) return a.stamp < b.stamp;
  return a.file != b.file ? a.file < b.file : a.line < b.line;
}
inline bool operator==(const MergeKey& a, const MergeKey& b) {
  return a.stamp == b.stamp && a.file == b.file && a.line == b.line;
}

// One file's lines keyed as they are decoded, chunk by chunk: the first units
// of each line, enough for a stamp that starts within kStampSearchUnits, are
// kept until its line feed.
constexpr size_t kKeyedHeadUnits = kStampSearchUnits + 48;
struct LineKeyer {
  uint32_t file = 0;
  YearHint hint{1970, 1};
  uint64_t nextLine = 0;     // the place in its file of the line being fed
  int64_t last = kNoStamp;   // its file's running stamp so far
  TextUnit head[kKeyedHeadUnits];
  size_t headLength = 0;
};
// The key of a whole line of the keyer's file, its running stamp advanced.
MergeKey KeyLine(LineKeyer* keyer, const TextUnit* line, size_t length);
// Feeds decoded units; each line they end is keyed and handed to take.
void FeedLineKeys(LineKeyer* keyer, const TextUnit* units, size_t count, void (*take)(void* context, const MergeKey& key),
                  void* context);

// Where a key goes among keys in merged order: after every key before it.
size_t MergePlace(const std::vector<MergeKey>& merged, const MergeKey& key);
