// The recent files list: the last ten files opened, newest first, and the
// text of its menu entries.
#pragma once
#include <cstddef>

#include "core/text.h"

constexpr int kHistoryEntries = 10;
constexpr size_t kHistoryUnits = 32768;
using HistoryEntry = TextUnit[kHistoryUnits];

// A file was opened under this name: it goes to the top (moving up if it is
// there already, compared exactly); an eleventh name pushes out the oldest.
void AddToHistoryList(HistoryEntry* entries, const TextUnit* path);
// Empties every entry but the newest.
void ClearOlderHistory(HistoryEntry* entries);
// The menu text of entry index: "&<index> <path>" with the path's ampersands
// doubled, so that they show instead of marking a mnemonic.
void HistoryMenuText(uint32_t index, const TextUnit* path, TextUnit* text, size_t capacity);
