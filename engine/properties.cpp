#include "engine/properties.h"

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <vector>

#include "core/regex.h"
#include "core/stored_values.h"
#include "engine/row_builder.h"
#include "engine/engine_host.h"

namespace {

constexpr UINT kStreamNameId = 148;
constexpr size_t kStreamPathUnits = 65664 / sizeof(wchar_t);

wchar_t streamPath[kStreamPathUnits];

const wchar_t kFormat[] = L"Format";
const wchar_t kFilter[] = L"Filter";    // an older version's one filter
// A view of several files keeps its placement and filters in its first
// file's stream under sections of its own: "Position" and "Filters", then a
// space and the view's scope, which names the other files.
wchar_t positionSection[64] = L"Position";
wchar_t filtersSection[64] = L"Filters";
bool scoped = false;
const wchar_t kBookmarks[] = L"Bookmarks";
// A full set's section, with room for keys and values at their longest.
constexpr size_t kBookmarkSectionUnits = kMostBookmarks * (4 + 1 + kBookmarkValueUnits) + 2;
constexpr size_t kFilterSectionUnits = kMaxFilters * (3 + 1 + kFilterValueUnits + 2) + 2;

void WriteNumber(const wchar_t* key, int value) {
  wchar_t text[63];
  swprintf(text, 63, L"%d", value);
  WritePrivateProfileStringW(positionSection, key, text, streamPath);
}

bool TakeLogWriteTime(HANDLE logFile, FILETIME* written) {
  return logFile != INVALID_HANDLE_VALUE && GetFileTime(logFile, nullptr, nullptr, written);
}

// Writing the stream counts as writing the file: its last-write time is put
// back as it was.
void PutBackLogWriteTime(const FILETIME& written) {
  HANDLE stream = CreateFileW(streamPath, FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return;
  SetFileTime(stream, nullptr, nullptr, &written);
  CloseHandle(stream);
}

}  // namespace

void SetPropertiesScope(const wchar_t* scope) {
  scoped = scope && scope[0];
  swprintf(positionSection, std::size(positionSection), scoped ? L"Position %.40ls" : L"Position", scope);
  swprintf(filtersSection, std::size(filtersSection), scoped ? L"Filters %.40ls" : L"Filters", scope);
}

void SetPropertiesFile(const wchar_t* fullPath) {
  streamPath[0] = 0;
  if (!fullPath || !fullPath[0]) return;
  const wchar_t* streamName = HostText(kStreamNameId);
  if (!streamName) streamName = L":Kavex.Quillon.Properties";
  if (wcslen(fullPath) + wcslen(streamName) >= kStreamPathUnits) return;
  swprintf(streamPath, kStreamPathUnits, L"%ls%ls", fullPath, streamName);
}

const wchar_t* PropertiesStreamPath() { return streamPath; }

bool ReadStoredCharsetName(TextUnit* name, size_t capacity) {
  if (!streamPath[0] || capacity == 0) return false;
  DWORD length = GetPrivateProfileStringW(kFormat, L"Charset", L"", AsWide(name), DWORD(capacity), streamPath);
  return length > 0;
}

void WriteStoredCharsetName(const wchar_t* name) {
  if (streamPath[0] && name) WritePrivateProfileStringW(kFormat, L"Charset", name, streamPath);
}

namespace {

enum class FilterKey { kEmpty, kFilter, kOther };

// What a key of section "Filters" holds, given its value. A value that is no
// filter (a regular expression that does not compile included) is kept as it is.
FilterKey FilterKeyOf(const TextUnit* value, size_t length, LineFilter* filter) {
  if (length == 0) return FilterKey::kEmpty;
  TextUnit text[kFilterValueUnits];
  if (length >= kFilterValueUnits) return FilterKey::kOther;
  std::copy(value, value + length, text);
  text[length] = 0;
  if (!ParseStoredFilter(text, filter)) return FilterKey::kOther;
  bool compiles = !filter->regex ||
                  RegexCompiles(filter->pattern, TextLength(filter->pattern), filter->matchCase, false, nullptr);
  return compiles ? FilterKey::kFilter : FilterKey::kOther;
}

FilterKey ReadFilterKey(int key, LineFilter* filter) {
  wchar_t name[4], value[kFilterValueUnits + 1];
  swprintf(name, 4, L"%d", key);
  DWORD length = GetPrivateProfileStringW(filtersSection, name, L"", value, DWORD(std::size(value)), streamPath);
  return FilterKeyOf(AsText(value), length, filter);
}

bool KeyHoldsOther(int key) {
  LineFilter filter;
  return ReadFilterKey(key, &filter) == FilterKey::kOther;
}

}  // namespace

void ReadStoredFilters(LineFilters* filters) {
  *filters = LineFilters{};
  if (!streamPath[0]) return;
  // The section at once: each key read alone opens the stream again. One
  // that does not fit (other keys in it) is read key by key.
  std::vector<wchar_t> block(kFilterSectionUnits);
  DWORD units = GetPrivateProfileSectionW(filtersSection, block.data(), DWORD(block.size()), streamPath);
  bool whole = units + 2 < block.size();
  for (int key = 0; key < kMaxFilters; ++key) {
    LineFilter& item = filters->items[filters->count];
    const TextUnit* value = nullptr;
    size_t length = 0;
    FilterKey read = !whole ? ReadFilterKey(key, &item)
                     : StoredSectionValue(AsText(block.data()), units, uint32_t(key), &value, &length)
                         ? FilterKeyOf(value, length, &item)
                         : FilterKey::kEmpty;
    if (read == FilterKey::kFilter) ++filters->count;
  }
  // The one filter of an older version, until the next save moves it here.
  if (scoped) return;
  wchar_t pattern[kFilterPatternUnits] = L"", mode[8] = L"";
  GetPrivateProfileStringW(kFilter, L"Pattern", L"", pattern, kFilterPatternUnits, streamPath);
  if (!pattern[0] || filters->count == kMaxFilters) return;
  GetPrivateProfileStringW(kFilter, L"Mode", L"show", mode, 8, streamPath);
  ReadFilterSection(AsText(pattern), AsText(mode), GetPrivateProfileIntW(kFilter, L"Case", 0, streamPath),
                    &filters->items[filters->count++]);
}

int StoredFilterRoom() {
  int room = kMaxFilters;
  if (streamPath[0])
    for (int key = 0; key < kMaxFilters; ++key) room -= KeyHoldsOther(key);
  return room;
}

void WriteStoredFilters(const LineFilters& filters) {
  if (!streamPath[0]) return;
  int next = 0;
  for (int key = 0; key < kMaxFilters; ++key) {
    if (KeyHoldsOther(key)) continue;
    wchar_t name[4];
    swprintf(name, 4, L"%d", key);
    if (next >= filters.count) {
      WritePrivateProfileStringW(filtersSection, name, nullptr, streamPath);
      continue;
    }
    // Quoted, or reading it back would drop the pattern's trailing blanks.
    TextUnit value[kFilterValueUnits];
    FormatStoredFilter(filters.items[next++], value);
    wchar_t quoted[kFilterValueUnits + 2];
    swprintf(quoted, std::size(quoted), L"\"%ls\"", AsWide(value));
    WritePrivateProfileStringW(filtersSection, name, quoted, streamPath);
  }
  if (!scoped) WritePrivateProfileStringW(kFilter, nullptr, nullptr, streamPath);
}

void ReadStoredBookmarks(BookmarkSet* set) {
  set->items.clear();
  if (!streamPath[0]) return;
  std::vector<wchar_t> block(kBookmarkSectionUnits);
  DWORD length = GetPrivateProfileSectionW(kBookmarks, block.data(), DWORD(block.size()), streamPath);
  ParseBookmarkSection(AsText(block.data()), length, set);
}

void WriteStoredBookmarks(const BookmarkSet& set, HANDLE logFile) {
  if (!streamPath[0]) return;
  FILETIME written;
  bool haveTime = TakeLogWriteTime(logFile, &written);
  if (set.items.empty()) {
    WritePrivateProfileStringW(kBookmarks, nullptr, nullptr, streamPath);
  } else {
    std::vector<TextUnit> block = BookmarkSectionBlock(set);
    WritePrivateProfileSectionW(kBookmarks, AsWide(block.data()), streamPath);
  }
  if (haveTime) PutBackLogWriteTime(written);
}

StoredPlacement ReadStoredPlacement() {
  StoredPlacement placement{};
  if (!streamPath[0]) return placement;
  placement.x = int(GetPrivateProfileIntW(positionSection, L"X", 0, streamPath));
  placement.y = int(GetPrivateProfileIntW(positionSection, L"Y", 0, streamPath));
  placement.width = int(GetPrivateProfileIntW(positionSection, L"Width", 0, streamPath));
  placement.height = int(GetPrivateProfileIntW(positionSection, L"Height", 0, streamPath));
  placement.maximized = GetPrivateProfileIntW(positionSection, L"Maximized", 0, streamPath) != 0;
  placement.minimized = GetPrivateProfileIntW(positionSection, L"Minimized", 0, streamPath) != 0;
  return placement;
}

void SaveWindowPlacement(HWND window, HANDLE logFile) {
  if (!streamPath[0]) return;
  FILETIME written;
  bool haveTime = TakeLogWriteTime(logFile, &written);
  bool minimized = IsIconic(window);
  bool maximized = IsZoomed(window);
  RECT frame;
  if (!minimized && GetWindowRect(window, &frame)) {
    WriteNumber(L"X", frame.left);
    WriteNumber(L"Y", frame.top);
    WriteNumber(L"Width", frame.right - frame.left);
    WriteNumber(L"Height", frame.bottom - frame.top);
  }
  WritePrivateProfileStringW(positionSection, L"Maximized", maximized ? L"1" : nullptr, streamPath);
  WritePrivateProfileStringW(positionSection, L"Minimized", !maximized && minimized ? L"1" : nullptr,
                             streamPath);
  if (haveTime) PutBackLogWriteTime(written);
}

int ApplyWindowPlacement(HWND window, int showCommand) {
  StoredPlacement placement = ReadStoredPlacement();
  if (placement.maximized) return SW_SHOWMAXIMIZED;
  if (Frame stored; StoredFrame(placement, &stored)) {
    RECT frame{stored.left, stored.top, stored.right, stored.bottom};
    HMONITOR monitor = MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (monitor && GetMonitorInfoW(monitor, &info)) {
      const RECT& work = info.rcWork;
      stored = KeepOnMonitor(stored, MonitorFromRect(&frame, MONITOR_DEFAULTTONULL) != nullptr,
                             Frame{work.left, work.top, work.right, work.bottom});
    }
    MoveWindow(window, stored.left, stored.top, stored.right - stored.left, stored.bottom - stored.top, FALSE);
  }
  return placement.minimized ? SW_SHOWMINNOACTIVE : showCommand;
}
