#include "core/history.h"

void AddToHistoryList(HistoryEntry* entries, const TextUnit* path) {
  int found = 0;
  while (found < kHistoryEntries && !SameText(entries[found], path)) ++found;
  // The oldest entry, when the name is not in the list, is written over.
  for (int k = found < kHistoryEntries ? found : kHistoryEntries - 1; k > 0; --k)
    CopyText(entries[k], entries[k - 1], kHistoryUnits);
  CopyText(entries[0], path, kHistoryUnits);
}

void ClearOlderHistory(HistoryEntry* entries) {
  for (int i = kHistoryEntries - 1; i >= 1; --i) entries[i][0] = 0;
}

void HistoryMenuText(uint32_t index, const TextUnit* path, TextUnit* text, size_t capacity) {
  TextUnit prefix[16];
  size_t at = 0;
  prefix[at++] = u'&';
  at += DecimalText(index, prefix + at);
  prefix[at++] = u' ';
  if (capacity == 0) return;
  if (at >= capacity) {
    text[0] = 0;
    return;
  }
  for (size_t i = 0; i < at; ++i) text[i] = prefix[i];
  for (; *path && at + 2 < capacity; ++path) {
    if (*path == u'&') text[at++] = u'&';
    text[at++] = *path;
  }
  text[at] = 0;
}
