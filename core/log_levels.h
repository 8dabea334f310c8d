// The level a log line states near its start (ERROR, [warn], level=info,
// "level":50, E/Tag: ...), and the level of lines that only continue the
// line before them, such as a stack trace under an error.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"

enum class LogLevel : uint8_t { kNone, kDebug, kInfo, kWarning, kError, kFatal };
constexpr size_t kLogLevels = 6;

// Levels are looked for within a line's first units only.
constexpr size_t kLevelSearchUnits = 256;

struct LineLevel {
  LogLevel level;  // as the line states it; kNone when it states none
  bool stamped;    // whether the line has a time (FindLineTime's forms, or a time of day at its start)
};
LineLevel ReadLineLevel(const TextUnit* line, size_t length);

// What a file's lines carry over: the level of its last stamped line.
struct LevelCarry {
  LogLevel level = LogLevel::kNone;
};
// The level a line is shown with: its own; or, when it states none and has
// no stamp, the level of the stamped line it follows. Advances the carry.
// stated, when given, gets whether the line states its level itself.
LogLevel ShownLineLevel(const TextUnit* line, size_t length, LevelCarry* carry, bool* stated = nullptr);
