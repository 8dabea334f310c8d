#include "engine/file_follower.h"

#include <commctrl.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/bookmarks.h"
#include "core/line_starts.h"
#include "core/time_search.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_bookmarks.h"
#include "engine/follower_parts.h"
#include "engine/io_watch.h"
#include "engine/properties.h"
#include "engine/row_builder.h"

using namespace follower;

namespace follower {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr double kProgressDelayMs = 100;
// A poll that has read for this long gives waiting messages their turn and
// goes on from the next tick.
constexpr double kSliceMs = 50;
constexpr double kLongestSliceMs = 80;
// What finding the tail's start past filtered lines may take at most.
constexpr double kTailScanBudgetMs = 50;
// While a writer outpaces us and the drain never ends, the view still shows
// what was read at this pace.
constexpr double kDrainFlushMs = 500;
constexpr size_t kMostBatchedUnits = size_t(4) << 20;
// The progress bar is redrawn at this pace, not for every chunk.
constexpr double kProgressStepMs = 100;

FollowedFile followed;
FollowedFile* viewFiles[kMaxViewFiles] = {&followed};
bool openingSet = false;  // OpenFiles opens a set: its first file is read keyed by time at once
uint32_t viewFileCount = 1;
std::unique_ptr<FollowedFile> addedFiles[kMaxViewFiles];  // the files after the first
uint64_t viewFilesChanges = 0;
// A merged view loaded whole starts each file's tail with a share of the
// lines limit: most of what eight tails of the limit each hold is pushed out
// by the merge at once. While such a load is set up, tailShare is the lines
// a file's tail starts with (0: the limit); shareToCheck keeps it until the
// load's reading ends, to fill up a view that came out short.
uint32_t tailShare = 0;
uint32_t shareToCheck = 0;

void SelectFile(FollowedFile& f) { UseRowStream(f.index); }

void CloseFollowed(FollowedFile& f);
void LoadTail(FollowedFile& f, bool moving);
uint32_t ShareOfLinesLimit(uint32_t files);
void LoadViewTails(bool moving, uint32_t share);
bool DropStalledMember(FollowedFile& f);

alignas(8) uint8_t byteBuffer[kChunkBytes];
TextUnit unitBuffer[kChunkUnits];

double MillisecondsSince(const LARGE_INTEGER& start) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

constexpr DWORD kStalledPauseMs = 1000;

void BeginIo(FollowedFile& f) {
  if (f.onShare && Merging()) BeginWatchedIo();
}

bool EndIo(FollowedFile& f) {
  if (!f.onShare || !Merging()) return true;
  if (EndWatchedIo()) return true;
  f.stalled = true;
  f.stalledUntil = GetTickCount() + kStalledPauseMs;
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  return false;
}

bool StallPauseOn(FollowedFile& f) { return f.stalled && int32_t(GetTickCount() - f.stalledUntil) < 0; }

// Reads of a file at an offset, watched as every call on a share is; a file
// that stopped answering is not asked again until its pause is over.
size_t ReadFollowedAt(FollowedFile& f, uint64_t at, uint8_t* bytes, size_t count) {
  if (f.file == INVALID_HANDLE_VALUE || (f.onShare && Merging() && StallPauseOn(f))) return 0;
  BeginIo(f);
  size_t got = ReadFileAt(f.file, at, bytes, count);
  return EndIo(f) ? got : 0;
}

bool FileSize(FollowedFile& f, uint64_t* size) {
  LARGE_INTEGER value;
  BeginIo(f);
  BOOL got = GetFileSizeEx(f.file, &value);
  if (!EndIo(f) || !got) return false;
  *size = uint64_t(value.QuadPart);
  return true;
}

void SeekTo(FollowedFile& f, uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(position);
  SetFilePointerEx(f.file, to, nullptr, FILE_BEGIN);
  f.filePosition = position;
}

uint64_t KbLimitBytes() { return uint64_t(CurrentEngineOptions().kbLimit) * 1024; }

size_t RowCapacity() {
  EngineOptions options = CurrentEngineOptions();
  return options.wrapLines ? std::min<size_t>(options.rowLength, kMaxRowUnits) : kMaxRowUnits;
}

void RememberTail(FollowedFile& f, const uint8_t* bytes, size_t count) {
  if (count >= kTailCheckBytes) {
    memcpy(f.tail, bytes + count - kTailCheckBytes, kTailCheckBytes);
    f.tailCount = kTailCheckBytes;
    return;
  }
  size_t keep = std::min(f.tailCount, kTailCheckBytes - count);
  memmove(f.tail, f.tail + f.tailCount - keep, keep);
  memcpy(f.tail + keep, bytes, count);
  f.tailCount = keep + count;
}

// False when the bytes just before the read position are no longer the ones
// read there: the file was cut and written again past its old size.
bool BytesStillBefore(FollowedFile& f, uint64_t end, const uint8_t* bytes, size_t count) {
  if (count == 0 || end < count) return true;
  uint8_t now[kTailCheckBytes];
  OVERLAPPED at{};
  uint64_t offset = end - count;
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  DWORD got = 0;
  BeginIo(f);
  BOOL ok = ReadFile(f.file, now, DWORD(count), &got, &at);
  bool answered = EndIo(f);
  SeekTo(f, f.filePosition);
  if (!ok || !answered) return true;
  return got == count && memcmp(now, bytes, count) == 0;
}

bool TailStillMatches(FollowedFile& f) { return BytesStillBefore(f, f.filePosition, f.tail, f.tailCount); }

void ForgetReadState(FollowedFile& f) {
  f.carryCount = 0;
  f.tailCount = 0;
  f.unitsToSkip = 0;
  f.unitsToFeed = kNoUnitLimit;
}

// Moving through the file keeps what was found in it; a change of the file or
// of how it reads (a reload, a truncation, a close) tells the host.
void EmptyView(bool moving) {
  if (engineHost.viewEmptied && !moving) engineHost.viewEmptied();
  DiscardBatchedRows();
  ClearView(CurrentRowView());
}

void EmptyFileRows(FollowedFile& f, bool moving) {
  if (!Merging()) return EmptyView(moving);
  if (engineHost.viewEmptied && !moving) engineHost.viewEmptied();
  RemoveViewRowsOf(CurrentRowView(), f.index);
}

// Range and position in units of 64 KiB: from the start of the loaded tail to the size.
void UpdateProgress(FollowedFile& f) {
  if (!engineHost.progress) return;
  uint64_t low = f.sizeForProgress > KbLimitBytes() ? f.sizeForProgress - KbLimitBytes() : 0;
  SendMessageW(engineHost.progress, PBM_SETRANGE32, WPARAM(low >> 16), LPARAM(f.sizeForProgress >> 16));
  SendMessageW(engineHost.progress, PBM_SETPOS, WPARAM(f.readPosition >> 16), 0);
}

void ShowProgress(FollowedFile& f) {
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  SuspendViewRedraw();
  f.progressShown = true;
  UpdateProgress(f);
  if (engineHost.progress) ShowWindow(engineHost.progress, SW_SHOWNA);
}

void HideProgress(FollowedFile& f) {
  if (f.progressShown && engineHost.progress) ShowWindow(engineHost.progress, SW_HIDE);
  f.progressShown = false;
}

void EndDrain(FollowedFile& f) {
  f.continuing = false;
  f.drainStarted = false;
  HideProgress(f);
  ResumeViewRedraw();
}

// The truncation path: read the whole file again from its first byte. The
// unfinished row goes with the view: glued to the new content it would make a
// row that never stood in the file.
void RestartFromTop(FollowedFile& f) {
  SeekTo(f, 0);
  f.readPosition = 0;
  ForgetReadState(f);
  EmptyFileRows(f);
  StartCheckpoints(f, 0);
  DropFileBookmarks(f);  // their lines are gone
  ResetPendingRow();  // the end of the poll clears the unfinished-line pane
  f.startedOver = true;
}

void ArmFirstPoll() {
  if (!engineHost.window) return;
  SetTimer(engineHost.window, kPollTimer, kFirstPollDelay, nullptr);
  PostMessageW(engineHost.window, WM_TIMER, kPollTimer, 0);
}

bool MessagesWaiting() {
  return HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE)) != 0;
}

// A poll reads, and adds rows, for a slice of time, then lets waiting
// messages in before it goes on; and never much longer in any case: a
// message sent from another thread does not always show in the queue.
LARGE_INTEGER sliceStart{};
bool SliceOver() {
  double ms = MillisecondsSince(sliceStart);
  return ms > kLongestSliceMs || (ms > kSliceMs && MessagesWaiting());
}

// Reads one chunk and feeds its rows. Returns the bytes read, 0 at the end.
// Reads at most most bytes.
size_t ReadAndFeedChunk(FollowedFile& f, size_t capacity, uint64_t most) {
  uint32_t charset = f.charset.active;
  bool straightToUnits = charset == kCharsetUtf16Le || charset == kCharsetUtf16Be;
  uint8_t* bytes = straightToUnits ? reinterpret_cast<uint8_t*>(unitBuffer) : byteBuffer;
  memcpy(bytes, f.carry, f.carryCount);
  DWORD got = 0;
  DWORD wanted = DWORD(std::min<uint64_t>(kChunkBytes - f.carryCount, most));
  if (wanted == 0) return 0;
  BeginIo(f);
  BOOL read = ReadFile(f.file, bytes + f.carryCount, wanted, &got, nullptr);
  // A read cut off may have moved the handle: reading goes on from where it stood.
  if (!EndIo(f)) return SeekTo(f, f.filePosition), 0;
  if (!read || got == 0) return 0;
  f.filePosition += got;
  f.readPosition += got;
  RememberTail(f, bytes + f.carryCount, got);
  size_t total = f.carryCount + got;
  size_t held = 0;
  if (f.charset.sniffUtf8) {
    charset = SniffUtf8(f.charset, bytes, total, &held);
    if (charset == kCharsetUtf8) UpdateCharsetMenu(engineHost.menu);
  }
  size_t units = DecodeKeepingCarry(charset, bytes, total, held, unitBuffer, f.carry, &f.carryCount, SystemConversions());
  size_t skipped = size_t(std::min<uint64_t>(f.unitsToSkip, units));
  f.unitsToSkip -= skipped;
  size_t fed = size_t(std::min<uint64_t>(units - skipped, f.unitsToFeed));
  if (f.unitsToFeed != kNoUnitLimit) f.unitsToFeed -= fed;
  FeedUnits(unitBuffer + skipped, fed, capacity);
  f.checkpoints.push_back({f.filePosition - f.carryCount, LinesFed(), false, UnitsIntoLine()});
  return got;
}

bool IdentityCheckDue(FollowedFile& f) { return GetTickCount() - f.lastIdentityCheck > kIdentityCheckInterval; }

LineFilters filtersAcrossRotation{};

// The filters' verdict on the whole lines in [from, to): how many they show,
// or false once the scan has taken longer than is worth waiting for.
bool CountShownLinesIn(FollowedFile& f, uint64_t from, uint64_t to, const LARGE_INTEGER& began, size_t* shown) {
  SeekTo(f, from);
  size_t carried = 0;
  bool inTime = true;
  while (from < to && (inTime = MillisecondsSince(began) <= kTailScanBudgetMs)) {
    DWORD got = 0;
    DWORD wanted = DWORD(std::min<uint64_t>(kChunkBytes - carried, to - from));
    BeginIo(f);
    BOOL read = ReadFile(f.file, byteBuffer + carried, wanted, &got, nullptr);
    if (!EndIo(f) || !read || got == 0) break;
    from += got;
    size_t total = carried + got;
    *shown += CountShownLines(unitBuffer, DecodeKeepingCarry(f.charset.active, byteBuffer, total, 0, unitBuffer,
                                                             byteBuffer, &carried, SystemConversions()));
  }
  ResetPendingRow();
  return inTime;
}

// With filters the lines they hide do not count against the row limit: the
// tail starts early enough to hold as many lines that pass, found by looking
// at ever larger stretches before the end. Filters that make this scan slow
// (a costly regular expression) leave the start at floor: the slices of the
// load then read it all, and the window keeps answering.
uint64_t StartOfLastShownLines(FollowedFile& f, uint64_t floor, uint64_t end, size_t lines) {
  LARGE_INTEGER began = Now();
  size_t shown = 0, stretch = lines;
  for (uint64_t to = end;;) {
    uint64_t from = StartOfLastLines(FollowedReader(f), floor, to, f.charset.active, stretch, byteBuffer, kChunkBytes);
    if (!CountShownLinesIn(f, from, to, began, &shown)) return floor;
    if (shown >= lines || from <= floor) return from;
    to = from;
    stretch = std::min<size_t>(stretch * 2, size_t(1) << 24);
  }
}

bool OpenNamed(FollowedFile& f, const wchar_t* name, bool report);
bool OpenMember(FollowedFile& f);
void DropAddedFiles();
void TakeViewScope();

// Once a second: has the name been given to another file (log rotation)?
// Returns true when the new file was opened.
bool FollowRenamedFile(FollowedFile& f) {
  if (!IdentityCheckDue(f)) return false;
  f.lastIdentityCheck = GetTickCount();
  FileIdentity held, named;
  if (!ReadFileIdentity(f.file, &held)) return false;
  BeginIo(f);
  HANDLE other = CreateFileW(f.fullPath, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (!EndIo(f) || other == INVALID_HANDLE_VALUE) {
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    return false;
  }
  bool ok = ReadFileIdentity(other, &named);
  CloseHandle(other);
  if (!ok || held == named) return false;
  if (Merging()) return OpenMember(f);
  static wchar_t path[kPathUnits];
  wcscpy(path, f.fullPath);
  // The new file under the name goes on with the filters of the old one,
  // unless it keeps its own.
  filtersAcrossRotation = CurrentLineFilters();
  bool opened = OpenNamed(f, path, false);  // no one asked: a failure keeps the file followed so far
  filtersAcrossRotation = LineFilters{};
  return opened;
}

// Only plain disk files: a device or pipe would block the window on a read.
DWORD RefusalOf(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return ERROR_NOT_SUPPORTED;
  // Only the attributes: the fuller query also asks the volume for its serial
  // number, a call to the mount manager that costs more than the open.
  FILE_BASIC_INFO info;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info) &&
      (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return ERROR_ACCESS_DENIED;
  return 0;
}

// A file opened to be followed: refused (with *error) unless it opens as a
// plain disk file.
HANDLE OpenForReading(const wchar_t* path, DWORD* error) {
  HANDLE opened = CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  *error = opened == INVALID_HANDLE_VALUE ? GetLastError() : RefusalOf(opened);
  if (opened != INVALID_HANDLE_VALUE && *error) CloseHandle(opened), opened = INVALID_HANDLE_VALUE;
  return opened;
}

uint64_t AlignedToUnit(FollowedFile& f, uint64_t offset) { return offset - offset % CharsetUnitSize(f.charset.active); }

// A stack trace cut off by the start of what is loaded still takes the level
// of the stamped line it continues: that line is looked for this far back.
constexpr int kCarrySearchLines = 256;
constexpr uint64_t kCarrySearchBytes = uint64_t(256) << 10;
constexpr uint64_t kFirstLookBackBytes = uint64_t(16) << 10;

// What a line states of its level, read from its first bytes (count of them)
// as its first row holds them.
// A line's first units, decoded from its first bytes into unitBuffer: at
// most `most` of them, up to its line feed. Returns how many.
size_t DecodeLineHead(FollowedFile& f, const uint8_t* bytes, size_t count, size_t most) {
  size_t leftover = 0;
  count = std::min<size_t>(count, most * 4);
  memmove(byteBuffer, bytes, count);
  size_t units = DecodeChunk(f.charset.active, byteBuffer, count, unitBuffer, &leftover, SystemConversions());
  size_t length = 0;
  while (length < std::min(units, most) && unitBuffer[length] != u'\n') ++length;
  return length;
}

LineLevel HeadLevelOf(FollowedFile& f, const uint8_t* bytes, size_t count) {
  size_t length = DecodeLineHead(f, bytes, count, kLevelSearchUnits);
  return ReadLineLevel(unitBuffer, std::min(length, RowCapacity()));
}

// Looks at the lines before the one at lineStart, the last first, within
// reach: the bytes before it are read once and each line's handed to look
// until it answers true. False when none did.
template <typename Look>
bool LookBackFrom(FollowedFile& f, uint64_t lineStart, Look look) {
  uint32_t unit = CharsetUnitSize(f.charset.active), newline = CharsetNewlineUnit(f.charset.active);
  uint64_t reach = std::min(lineStart - f.dataStart, kCarrySearchBytes);
  // The line looked for is mostly just above: a short read first, longer
  // ones only while the lines run past its start.
  for (uint64_t window = std::min(reach, kFirstLookBackBytes);; window = std::min(window * 4, reach)) {
    uint64_t floor = AlignedToUnit(f, lineStart - window);
    std::vector<uint8_t> bytes(size_t(lineStart - floor));
    if (bytes.empty() || ReadFollowedAt(f, floor, bytes.data(), bytes.size()) != bytes.size()) return false;
    bool beyond = false;
    for (size_t end = bytes.size(), lines = 0; end >= unit && lines < kCarrySearchLines; ++lines) {
      size_t start = end - unit;  // the line feed that ends the line before
      while (start >= unit && UnitAt(bytes.data() + start - unit, unit) != newline) start -= unit;
      if (start == 0 && floor > f.dataStart) {  // its start lies beyond this read
        beyond = true;
        break;
      }
      if (look(bytes.data() + start, end - start)) return true;
      end = start;
    }
    if (!beyond || window >= reach) return false;
  }
}

// The level the lines before the one at lineStart carry over to it: their
// last stamped line's, if one lies within reach.
LogLevel LevelCarriedTo(FollowedFile& f, uint64_t lineStart) {
  LogLevel level = LogLevel::kNone;
  LookBackFrom(f, lineStart, [&](const uint8_t* bytes, size_t count) {
    LineLevel read = HeadLevelOf(f, bytes, count);
    if (read.stamped) level = read.level;
    return read.stamped;
  });
  return level;
}

// The stamp a line states, as merged, read from its first bytes; false when it has none.
bool HeadStampOf(FollowedFile& f, const uint8_t* bytes, size_t count, const YearHint& hint, int64_t* stamp) {
  size_t length = DecodeLineHead(f, bytes, count, kKeyedHeadUnits);
  int64_t time;
  int32_t zone = kNoZone;
  if (!FindLineTime(unitBuffer, length, hint, &time, nullptr, &zone)) return false;
  *stamp = MergeMilliseconds(time, zone);
  return true;
}

int64_t StampCarriedTo(FollowedFile& f, uint64_t lineStart) {
  int64_t stamp = kNoStamp;
  YearHint hint = YearHintOf(f);
  LookBackFrom(f, lineStart,
               [&](const uint8_t* bytes, size_t count) { return HeadStampOf(f, bytes, count, hint, &stamp); });
  SeekTo(f, f.filePosition);  // the read moved the handle
  return stamp;
}

// The rows' level reading starting at a row with none read before it.
LevelStart LevelsBeforeRow(RowPlace first) {
  FollowedFile& f = first.file < viewFileCount ? *viewFiles[first.file] : followed;
  uint64_t lineStart;
  if (f.file == INVALID_HANDLE_VALUE || !LineStartOf(f, first.line, &lineStart)) return {};
  LevelStart start{LevelCarriedTo(f, lineStart)};
  if (first.unit > 0) {  // the line's own level, as its first row shows it
    uint8_t head[kLevelSearchUnits * 4];
    LineLevel read = HeadLevelOf(f, head, ReadFollowedAt(f, lineStart, head, sizeof head));
    start.level = read.level != LogLevel::kNone || read.stamped ? read.level : start.carried;
  }
  SeekTo(f, f.filePosition);  // the reads moved the handle
  return start;
}

}  // namespace follower

// A seek and a plain read rather than a read at an offset: under Wine the
// latter asks the server every time (some 30 us a call against 1). Every
// handle read here is read by one thread only.
size_t ReadFileAt(void* handle, uint64_t at, uint8_t* bytes, size_t count) {
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(at);
  DWORD got = 0;
  return SetFilePointerEx(static_cast<HANDLE>(handle), to, nullptr, FILE_BEGIN) &&
                 ReadFile(static_cast<HANDLE>(handle), bytes, DWORD(count), &got, nullptr)
             ? got
             : 0;
}

bool FullPathOf(const wchar_t* name, wchar_t* out, size_t capacity) {
  if (wcsncmp(name, L"\\\\?\\", 4) == 0) {
    size_t length = wcslen(name);
    if (length > kPathUnits - 1 || length >= capacity) return false;
    wcscpy(out, name);
    return true;
  }
  // Device names (\\.\) have no long form of their own.
  bool device = wcsncmp(name, L"\\\\.\\", 4) == 0;
  bool unc = !device && name[0] == L'\\' && name[1] == L'\\';
  size_t gap = device ? 0 : unc ? 6 : 4;
  if (capacity <= gap) return false;
  DWORD length = GetFullPathNameW(name, DWORD(capacity - gap), out + gap, nullptr);
  if (length == 0 || length >= capacity - gap) return false;
  if (unc) memcpy(out, L"\\\\?\\UNC", 7 * sizeof(wchar_t));  // replaces the first backslash
  else if (!device) memcpy(out, L"\\\\?\\", 4 * sizeof(wchar_t));
  return true;
}

void ShownPathOf(const wchar_t* full, wchar_t* out, size_t capacity) {
  if (capacity == 0) return;
  wchar_t plain[MAX_PATH] = L"", normal[MAX_PATH];
  if (wcsncmp(full, L"\\\\?\\", 4) == 0) {
    const wchar_t* rest = full + 4;
    bool drive = ((rest[0] | 0x20) >= L'a' && (rest[0] | 0x20) <= L'z') && rest[1] == L':' && rest[2] == L'\\';
    if (wcsncmp(rest, L"UNC\\", 4) == 0 && wcslen(rest + 3) < MAX_PATH - 1)
      swprintf(plain, MAX_PATH, L"\\%ls", rest + 3);
    else if (drive && wcslen(rest) < MAX_PATH)
      wcscpy(plain, rest);
  }
  // Only where the plain path names the very same file: the system reads it
  // back unchanged.
  DWORD length = plain[0] ? GetFullPathNameW(plain, MAX_PATH, normal, nullptr) : 0;
  bool same = length > 0 && length < MAX_PATH && wcscmp(normal, plain) == 0;
  lstrcpynW(out, same ? plain : full, int(capacity > 0x7FFFFFFF ? 0x7FFFFFFF : capacity));
}

// Asked every second of every file followed: the file's index comes from
// the system's own query, as the fuller queries (with the volume's serial
// number) cost half a millisecond under Wine. The time the file was made
// stands in for the volume.
bool ReadFileIdentity(HANDLE handle, FileIdentity* identity) {
  using Query = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int);
  static const Query query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  constexpr int kFileInternalInformation = 6;
  LARGE_INTEGER index;
  IO_STATUS_BLOCK status;
  FILE_BASIC_INFO basic;
  if (!query || query(handle, &status, &index, sizeof index, kFileInternalInformation) < 0 ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
    return false;
  *identity = {uint64_t(index.QuadPart), basic.CreationTime.QuadPart};
  return true;
}

uint64_t FindFirstWholeLine(HANDLE handle, uint64_t start, uint32_t charset) {
  return FindFirstWholeLine(HandleReader(handle), start, charset, byteBuffer, kChunkBytes);
}

uint64_t StartOfLastLines(HANDLE handle, uint64_t floor, uint64_t end, uint32_t charset, size_t lines) {
  return StartOfLastLines(HandleReader(handle), floor, end, charset, lines, byteBuffer, kChunkBytes);
}

namespace follower {

// Opens name and follows it; on failure the file followed so far stays and,
// with report, the host shows why.
bool OpenNamed(FollowedFile& f, const wchar_t* name, bool report) {
  if (name != f.requestedName) lstrcpynW(f.requestedName, name, int(kPathUnits));
  DWORD error;
  HANDLE opened = OpenForReading(f.requestedName, &error);
  if (opened == INVALID_HANDLE_VALUE) {
    if (report && engineHost.showError) engineHost.showError(kMsgOpenFailed, error);
    ArmFirstPoll();
    return false;
  }
  DropAddedFiles();
  CloseFollowed(f);
  // The first file of a set is read keyed by time at once.
  if (openingSet) SetMerging(true);
  SetLevelsBefore(LevelsBeforeRow);
  if (!FullPathOf(f.requestedName, f.fullPath, kPathUnits)) lstrcpynW(f.fullPath, f.requestedName, int(kPathUnits));
  SetPropertiesFile(f.fullPath);
  static LineFilters stored;
  ReadStoredFilters(&stored);
  SetLineFilters(stored.count ? stored : filtersAcrossRotation);
  f.file = opened;
  f.onShare = OnShare(f.fullPath);
  f.stalled = false;
  // One file, one spelling: a rotation reopens by the full path, the user by
  // any name; both are reported alike.
  static wchar_t shownPath[kPathUnits];
  ShownPathOf(f.fullPath, shownPath, kPathUnits);
  if (engineHost.fileOpened) engineHost.fileOpened(shownPath);
  if (!openingSet) {  // a set tells of its files once, at its end
    if (engineHost.fileChanged) engineHost.fileChanged();
    if (engineHost.refreshStatus) engineHost.refreshStatus();
  }
  if (engineHost.view) SendMessageW(engineHost.view, LB_SETSEL, TRUE, 0);
  ResetWidestRow();
  f.lastSize = 0;
  f.browsing = false;
  SetSuspendFlag(false);
  f.lastIdentityCheck = GetTickCount();
  LoadTail(f, false);
  LoadFileBookmarks(f);  // checked in the charset the load settled on
  ArmFirstPoll();
  return true;
}

}  // namespace follower

bool OpenFile(const wchar_t* name) { return OpenNamed(followed, name, true); }

void CloseFile() {
  DropAddedFiles();
  CloseFollowed(followed);
}

namespace follower {

void CloseFollowed(FollowedFile& f) {
  EndDrain(f);
  EmptyView();
  ResetPendingRow();
  ForgetReadState(f);
  if (f.file != INVALID_HANDLE_VALUE) CloseHandle(f.file);
  f.file = INVALID_HANDLE_VALUE;
  f.fullPath[0] = 0;
  f.browsing = false;
  f.checkpoints.clear();
  ++f.linesEpoch;
  ForgetFileBookmarks(f);
  SetLineFilters(LineFilters{});
  if (engineHost.window) KillTimer(engineHost.window, kPollTimer);
  SetSuspendFlag(false);
  f.paused = false;
  f.oneShot = false;
  if (engineHost.fileChanged) engineHost.fileChanged();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
}

}  // namespace follower

namespace follower {

// The tail, or a browsing view's stretch, loaded again; moving: the view only
// moves through the file (back to its end).
void LoadTail(FollowedFile& f, bool moving) {
  f.tailCutByLines = false;
  if (f.file == INVALID_HANDLE_VALUE) return;
  SelectFile(f);
  // A browsing view loads its stretch again, from its first line.
  uint64_t browsedFrom = f.browsing ? StretchStartOf(f) : 0;
  TakeEngineOptions();
  EndDrain(f);
  EmptyFileRows(f, moving);
  SeekTo(f, 0);
  if (&f == &followed) PreallocateViewStorage();
  f.readPosition = 0;
  ResetPendingRow();
  ForgetReadState(f);

  uint8_t probe[kBomProbeBytes];
  size_t got = ReadFollowedAt(f, 0, probe, kBomProbeBytes);
  uint32_t start = ResolveLoadCharset(f.charset, DetectBom(probe, got));
  f.dataStart = start;
  if (f.browsing) {
    // The charset may have changed under the stretch: it starts on a whole line of the new one.
    uint32_t unit = CharsetUnitSize(f.charset.active);
    uint64_t from = browsedFrom > start + unit ? FindFirstWholeLine(FollowedReader(f), AlignedToUnit(f, browsedFrom - unit),
                                                                    f.charset.active, byteBuffer, kChunkBytes)
                                               : start;
    UpdateCharsetMenu(engineHost.menu);
    ShowLineIn(f, from, 0, 0);
    return;
  }
  SeekTo(f, start);
  UpdateCharsetMenu(engineHost.menu);

  uint64_t size;
  if (FileSize(f, &size) && size > KbLimitBytes()) {
    uint64_t tailStart = size - KbLimitBytes();
    // Stay on the unit grid: a wide file with a half-written unit at its end
    // has an odd size, and a cut there would misread everything after it.
    uint32_t unit = CharsetUnitSize(f.charset.active);
    tailStart += (unit - tailStart % unit) % unit;
    f.filePosition = FindFirstWholeLine(FollowedReader(f), tailStart, f.charset.active, byteBuffer, kChunkBytes);
    SeekTo(f, f.filePosition);
    f.readPosition = f.filePosition;
  }
  // Lines that the lines limit would push out again are not worth building:
  // every line ends in at least one row, unless blank rows are cut.
  if (EngineOptions options = CurrentEngineOptions(); !options.cutEmpty && FileSize(f, &size)) {
    size_t lines = tailShare ? tailShare : std::max<uint32_t>(options.linesLimit, 1);
    uint64_t from = CurrentLineFilters().count
                        ? StartOfLastShownLines(f, f.filePosition, size, lines)
                        : StartOfLastLines(FollowedReader(f), f.filePosition, size, f.charset.active, lines,
                                           byteBuffer, kChunkBytes);
    if (from > f.filePosition) f.readPosition = from, f.tailCutByLines = tailShare != 0;
    SeekTo(f, std::max(from, f.filePosition));  // the scan moved the handle's position
  }
  StartCheckpoints(f, f.filePosition);
  // Merged, the view's span starts no earlier than the first line loaded of a
  // file whose start was left out.
  SetStreamCutAbove(f.readPosition > f.dataStart);
  SetStreamYearHint(YearHintOf(f));
  f.startedOver = true;
  if (f.paused) f.oneShot = true;
}

// Browsing no more: the tail, following again; moving as for LoadTail.
void FollowTheEnd(FollowedFile& f, bool moving) {
  if (f.file == INVALID_HANDLE_VALUE) return;
  // A merged view holds one span of every file: all go back to their ends.
  bool merged = Merging();
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& each = *viewFiles[i];
    if (!merged && &each != &f) continue;
    each.browsing = false;
    each.linesArrived = 0;
    each.paused = false;
  }
  if (merged) LoadViewTails(moving, ShareOfLinesLimit(viewFileCount));
  else LoadTail(f, moving);
  SelectFile(followed);
  if (HMENU menu = engineHost.menu) CheckMenuItem(menu, 1201, MF_BYCOMMAND | MF_UNCHECKED);
  ArmFirstPoll();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
}

}  // namespace follower

namespace follower {

// A quarter more than an even share: files seldom write at one pace.
uint32_t ShareOfLinesLimit(uint32_t files) {
  uint32_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  return files > 1 ? std::min(limit, (limit + limit / 4) / files + 1) : 0;
}

// Every file of a merged view loads its tail, starting with share lines.
void LoadViewTails(bool moving, uint32_t share) {
  EmptyView(moving);
  tailShare = share;
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    LoadTail(*viewFiles[i], moving);
    DropStalledMember(*viewFiles[i]);
  }
  tailShare = 0;
  shareToCheck = share;
  SelectFile(followed);
}

// Once a load with shares has been read: the view holds the exact merge from
// the latest first row of a file whose start was left out. Where that comes
// to fewer rows than the limit and a file left out lines, all load again
// with the share grown as the rows fell short (at least twice).
bool FillShortView() {
  uint32_t share = std::exchange(shareToCheck, 0);
  uint32_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t rows = ViewRows();
  if (share == 0 || share >= limit || !Merging() || rows >= limit) return false;
  bool cut = false;
  for (uint32_t i = 0; i < viewFileCount; ++i) cut = cut || viewFiles[i]->tailCutByLines;
  if (!cut) return false;
  uint64_t growth = std::max<uint64_t>(2, (uint64_t(limit) + limit / 4) / std::max<size_t>(rows, 1) + 1);
  LoadViewTails(true, uint32_t(std::min<uint64_t>(limit, share * growth)));
  return true;
}

}  // namespace follower

void LoadFile() {
  if (!Merging()) return LoadTail(followed, false);
  LoadViewTails(false, followed.browsing ? 0 : ShareOfLinesLimit(viewFileCount));
}

namespace {

enum class Polled { kIdle, kRead, kReading, kReopened };

// One file's poll: what it read, and whether its read goes on.
Polled PollFollowed(FollowedFile& f) {
  // A share that stopped answering is asked again after a pause.
  if (StallPauseOn(f)) return Polled::kIdle;
  if (f.file == INVALID_HANDLE_VALUE) {
    // A file of a merged view that could not be opened is tried again.
    if (f.index > 0 && f.fullPath[0] && IdentityCheckDue(f) && OpenMember(f)) return Polled::kReading;
    return Polled::kIdle;
  }
  // A read still going on while paused is the one-shot read of a reload: it
  // finishes. Pausing ends any other read at once (TogglePause).
  if (f.paused && !f.oneShot && !f.continuing) return Polled::kIdle;
  f.oneShot = false;
  if (f.browsing && PollWhileBrowsing(f)) return Polled::kReopened;

  if (!f.continuing) {
    uint64_t size;
    if (FileSize(f, &size)) {
      if (std::exchange(f.stalled, false) && engineHost.refreshStatus) engineHost.refreshStatus();
      bool changed = size != f.lastSize;
      // Against the position read too: the file may have grown during the
      // last read, then been cut and rewritten to the size seen before it.
      if (size < f.lastSize || size < f.filePosition || (size > f.lastSize && !TailStillMatches(f)))
        RestartFromTop(f);
      f.lastSize = size;
      if ((changed || f.startedOver) && engineHost.refreshSize) engineHost.refreshSize();
      // An unchanged file costs this one size query; timer 1 stays armed.
      if (!changed && !f.startedOver && f.filePosition >= size && !IdentityCheckDue(f)) return Polled::kIdle;
    }
  }
  f.startedOver = false;
  size_t capacity = RowCapacity();

  SetFlushTimeCheck(SliceOver);
  bool finished = false;
  for (;;) {
    if (ReadAndFeedChunk(f, capacity) == 0) {
      finished = true;
      break;
    }
    uint64_t size;
    if (FileSize(f, &size)) f.sizeForProgress = size;
    if (!f.drainStarted) {
      f.drainStarted = true;
      f.drainStart = f.lastFlush = Now();
    } else if (f.progressShown) {
      if (MillisecondsSince(f.lastProgress) > kProgressStepMs) {
        UpdateProgress(f);
        f.lastProgress = Now();
      }
      if (!ViewRedrawSuspended() && MillisecondsSince(f.lastFlush) > kProgressDelayMs)
        SuspendViewRedraw();
    } else if (MillisecondsSince(f.drainStart) > kProgressDelayMs) {
      ShowProgress(f);
      f.lastProgress = Now();
    }
    if (SliceOver()) break;
    // Long rows fill the batch fast: it goes to the view before growing it
    // costs more than adding the rows, unless it holds more rows than the view
    // keeps, some of which the rows to come would push out again.
    if (MillisecondsSince(f.lastFlush) > kDrainFlushMs ||
        (BatchedUnits() > kMostBatchedUnits && BatchedRows() < CurrentEngineOptions().linesLimit)) {
      EndOfPoll();
      f.lastFlush = Now();
    }
  }

  // A merged view's rows go to the view once, after every file was read.
  if (finished) {
    if (!Merging()) EndOfPoll();
  } else {
    f.continuing = true;
    if (MillisecondsSince(f.lastFlush) > kDrainFlushMs) {
      EndOfPoll();
      f.lastFlush = Now();
    }
  }
  SetFlushTimeCheck(nullptr);
  // Rows the flush found no time for go to the view in the next slices.
  if (HasBatchedRows() && !Merging()) finished = false, f.continuing = true;
  if (FollowRenamedFile(f)) return Polled::kReopened;  // the new file's first poll is already on its way
  if (finished) EndDrain(f);
  PruneCheckpoints(f);
  return finished ? Polled::kRead : Polled::kReading;
}

}  // namespace

void PollFile() {
  TakeEngineOptions();
  sliceStart = Now();
  bool read = false, reading = false, reopened = false;
  do {
    for (uint32_t i = 0; i < viewFileCount; ++i) {
      SelectFile(*viewFiles[i]);
      switch (PollFollowed(*viewFiles[i])) {
        case Polled::kIdle: break;
        case Polled::kRead: read = true; break;
        case Polled::kReading: reading = true; break;
        case Polled::kReopened: reopened = true; break;
      }
    }
    SelectFile(followed);
    if (Merging() && (read || reading || reopened)) EndOfPoll();
    // A view that came out short loads again at once, before it is painted.
  } while (!reading && shareToCheck && FillShortView());
  // A rotation's open armed its own first poll; an unchanged view keeps timer 1 as it is.
  if (engineHost.window && (read || reading) && !(reopened && !Merging()))
    SetTimer(engineHost.window, kPollTimer, reading ? USER_TIMER_MINIMUM : kPollInterval, nullptr);
  CheckHorizontalScrollBar();
}

void TogglePause() {
  FollowedFile& f = followed;
  if (f.file == INVALID_HANDLE_VALUE) return;
  // Browsing is following held for the view: resuming goes back to the end.
  if (f.browsing) {
    FollowTheEnd(f, true);
    return;
  }
  bool pause = !f.paused;
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& each = *viewFiles[i];
    each.paused = pause;
    // A long read cut short shows what it has read; the rest is read on resuming.
    if (pause && each.continuing) {
      EndOfPoll();
      EndDrain(each);
      if (engineHost.window) SetTimer(engineHost.window, kPollTimer, kPollInterval, nullptr);
    }
  }
  if (HMENU menu = engineHost.menu)
    CheckMenuItem(menu, 1201, MF_BYCOMMAND | (f.paused ? MF_CHECKED : MF_UNCHECKED));
  if (engineHost.refreshStatus) engineHost.refreshStatus();
}

bool EraseFileContent() {
  FollowedFile& f = followed;
  bool erased = true;
  if (f.file == INVALID_HANDLE_VALUE) {
    EmptyView();
  } else {
    HANDLE writer = CreateFileW(f.fullPath, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (engineHost.showError) engineHost.showError(kMsgEraseFailed, error);
      erased = false;
    } else {
      bool keepBom = f.charset.detected && f.charset.detected == f.charset.active;
      LARGE_INTEGER keep;
      keep.QuadPart = keepBom ? f.charset.bomLength : 0;
      SetFilePointerEx(writer, keep, nullptr, FILE_BEGIN);
      SetEndOfFile(writer);
      EmptyView();
      CloseHandle(writer);
    }
  }
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  return erased;
}

namespace {

// One file read again, with its own properties; a browsing merged view holds
// one span of every file, and goes back to their ends.
void ReloadViewFile(FollowedFile& f) {
  SetPropertiesFile(f.fullPath);
  if (Merging() && followed.browsing) FollowTheEnd(followed, false);
  else LoadTail(f, false);
  SetPropertiesFile(followed.fullPath);
  SelectFile(followed);
}

}  // namespace

void ChooseCharset(int command) {
  FollowedFile& f = *viewFiles[CaretViewFile()];
  uint32_t charset;
  bool setsFallback;
  if (!CharsetFromCommand(command, &charset, &setsFallback)) return;
  f.charset.active = charset;
  if (setsFallback) f.charset.fallback = charset;
  f.charset.explicitChoice = true;
  if (f.file == INVALID_HANDLE_VALUE) return;
  SetPropertiesFile(f.fullPath);
  WriteStoredCharsetName(AsWide(CharsetStreamName(charset)));
  ReloadViewFile(f);
}

void SetAutodetect(bool on) {
  for (uint32_t i = 0; i < viewFileCount; ++i) viewFiles[i]->charset.autodetect = on;
  if (!on) return;
  FollowedFile& f = *viewFiles[CaretViewFile()];
  f.charset.explicitChoice = false;
  ReloadViewFile(f);
}

bool FileIsOpen() { return followed.file != INVALID_HANDLE_VALUE; }
HANDLE FollowedFileHandle() { return followed.file; }
bool FollowingPaused() { return followed.paused; }
const wchar_t* FollowedPath() { return followed.fullPath; }
uint64_t LastFileSize() { return followed.lastSize; }
bool PollContinues() {
  for (uint32_t i = 0; i < viewFileCount; ++i)
    if (viewFiles[i]->continuing) return true;
  return false;
}

namespace follower {

// Reads the file at an offset; its own reading stays where it stands.
size_t ReadFollowed(void* context, uint64_t at, uint8_t* bytes, size_t count) {
  FollowedFile& f = *static_cast<FollowedFile*>(context);
  size_t got = ReadFollowedAt(f, at, bytes, count);
  SeekTo(f, f.filePosition);
  return got;
}

}  // namespace follower

ByteReader ViewFileReader(uint32_t index) {
  return ByteReader{index < viewFileCount ? viewFiles[index] : &followed, ReadFollowed};
}


CharsetState& FollowedCharset() { return followed.charset; }

YearHint YearHintOf(HANDLE file) {
  FILETIME written, local;
  SYSTEMTIME parts;
  if (!GetFileTime(file, nullptr, nullptr, &written) || !FileTimeToLocalFileTime(&written, &local) ||
      !FileTimeToSystemTime(&local, &parts))
    GetLocalTime(&parts);
  return YearHint{parts.wYear, parts.wMonth};
}

// The files of a merged view.
namespace follower {

YearHint YearHintOf(FollowedFile& f) {
  HANDLE none = nullptr;  // its hint is today's
  if (f.onShare && Merging() && StallPauseOn(f)) return ::YearHintOf(none);
  BeginIo(f);
  YearHint hint = ::YearHintOf(f.file);
  return EndIo(f) ? hint : ::YearHintOf(none);
}

// Takes a file of a merged view off its handle and the view off its rows.
void ReleaseMember(FollowedFile& f) {
  SelectFile(f);
  EndDrain(f);
  EmptyFileRows(f, true);
  ResetPendingRow();
  ForgetReadState(f);
  if (f.file != INVALID_HANDLE_VALUE) CloseHandle(f.file);
  f.file = INVALID_HANDLE_VALUE;
  f.checkpoints.clear();
  ++f.linesEpoch;
  f.browsing = false;
  SelectFile(followed);
}

// A file of a merged view whose share stopped answering while it loaded
// holds a tail read in part: it is let go and opened again after the pause.
bool DropStalledMember(FollowedFile& f) {
  if (f.index == 0 || !StallPauseOn(f)) return false;
  ReleaseMember(f);
  f.lastIdentityCheck = GetTickCount();
  return true;
}

// Opens a file of a merged view by its full path (added, tried again, or
// rotated) and loads its tail, read with its own stored charset; false when
// it cannot be opened now.
bool OpenMember(FollowedFile& f) {
  f.lastIdentityCheck = GetTickCount();
  f.onShare = OnShare(f.fullPath);
  if (f.onShare) StartIoWatch();
  DWORD error;
  BeginIo(f);
  HANDLE opened = OpenForReading(f.fullPath, &error);
  if (!EndIo(f) && opened != INVALID_HANDLE_VALUE) CloseHandle(opened), opened = INVALID_HANDLE_VALUE;
  if (opened == INVALID_HANDLE_VALUE) return false;
  ReleaseMember(f);
  f.file = opened;
  f.stalled = false;
  f.lastSize = 0;
  f.lastIdentityCheck = GetTickCount();
  SetPropertiesFile(f.fullPath);
  // A browsing view holds one span of every file: it goes back to the ends.
  if (followed.browsing) FollowTheEnd(followed, false);
  else LoadTail(f, false);
  bool loaded = !DropStalledMember(f);
  if (loaded) LoadFileBookmarks(f);  // checked in the charset the load settled on
  SetPropertiesFile(followed.fullPath);
  SelectFile(followed);
  if (engineHost.refreshStatus && !openingSet) engineHost.refreshStatus();  // a set's once, at its end
  return loaded;
}

// The view's own sections in its first file's properties (placement,
// filters) are named by the other files' full paths, sorted and hashed. A set
// reopened finds the filters it was left with.
void TakeViewScope() {
  if (viewFileCount < 2) return SetPropertiesScope(L"");
  std::vector<std::wstring> others;
  for (uint32_t i = 1; i < viewFileCount; ++i) others.emplace_back(viewFiles[i]->fullPath);
  std::sort(others.begin(), others.end());
  std::wstring joined;
  for (const std::wstring& path : others) joined += path, joined += L'\n';
  wchar_t scope[20];
  swprintf(scope, 20, L"%016llx",
           static_cast<unsigned long long>(Fnv1a64(reinterpret_cast<const uint8_t*>(joined.data()), joined.size() * 2)));
  SetPropertiesScope(scope);
  static LineFilters stored;
  ReadStoredFilters(&stored);
  if (!stored.count) return;
  SetLineFilters(stored);
  LoadFile();
}

void DropAddedFiles() {
  ++viewFilesChanges;
  StopIoWatch();
  for (uint32_t i = 1; i < viewFileCount; ++i) {
    ReleaseMember(*viewFiles[i]);
    addedFiles[i].reset();
    viewFiles[i] = nullptr;
  }
  viewFileCount = 1;
  SetMerging(false);
  SetPropertiesScope(L"");
}

}  // namespace follower

namespace {

// A file joins the view. One the user picked must open now; one named on the
// command line (a share that is not there yet) joins anyway and is tried again.
bool AddMember(const wchar_t* name, bool mustOpen) {
  if (followed.file == INVALID_HANDLE_VALUE) return OpenFile(name);
  auto added = std::make_unique<FollowedFile>();
  if (!FullPathOf(name, added->fullPath, kPathUnits)) lstrcpynW(added->fullPath, name, int(kPathUnits));
  for (uint32_t i = 0; i < viewFileCount; ++i)
    if (CompareStringOrdinal(viewFiles[i]->fullPath, -1, added->fullPath, -1, TRUE) == CSTR_EQUAL) {
      if (engineHost.showError) engineHost.showError(kMsgFileInView, 0);
      return false;
    }
  if (viewFileCount >= kMaxViewFiles) {
    if (engineHost.showError) engineHost.showError(kMsgViewFull, 0);
    return false;
  }
  DWORD error = 0;
  HANDLE probe = mustOpen ? OpenForReading(added->fullPath, &error) : INVALID_HANDLE_VALUE;
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  if (error) {
    if (engineHost.showError) engineHost.showError(kMsgOpenFailed, error);
    return false;
  }
  lstrcpynW(added->requestedName, name, int(kPathUnits));
  uint32_t index = viewFileCount;
  added->index = index;
  added->charset = CharsetState{followed.charset.fallback, followed.charset.fallback, followed.charset.autodetect};
  added->paused = followed.paused;
  if (followed.onShare) StartIoWatch();
  if (!Merging()) {
    // The first file's rows go again, keyed by time now.
    SetMerging(true);
    LoadTail(followed, false);
  }
  viewFiles[index] = added.get();
  addedFiles[index] = std::move(added);
  ++viewFileCount;
  ++viewFilesChanges;
  if (!OpenMember(*viewFiles[index])) viewFiles[index]->lastIdentityCheck = 0;
  if (!openingSet) {
    TakeViewScope();
    if (engineHost.fileChanged) engineHost.fileChanged();
  }
  ArmFirstPoll();
  return true;
}

}  // namespace

bool AddFileToView(const wchar_t* name) { return AddMember(name, true); }

bool OpenFiles(const wchar_t* const* names, size_t count) {
  // The view's name, history and kept filters once, for the whole set.
  openingSet = count > 1;
  tailShare = ShareOfLinesLimit(uint32_t(std::min<size_t>(count, kMaxViewFiles)));
  bool opened = count > 0 && OpenFile(names[0]);
  for (size_t i = 1; opened && i < count; ++i) AddMember(names[i], false);
  shareToCheck = std::exchange(tailShare, 0);
  openingSet = false;
  if (!opened) return false;
  if (viewFileCount == 1 && Merging()) {  // every other name was the first file's
    SetMerging(false);
    LoadFile();
  }
  if (count > 1) {
    TakeViewScope();
    if (engineHost.fileChanged) engineHost.fileChanged();
    if (engineHost.refreshStatus) engineHost.refreshStatus();
  }
  return true;
}

bool RemoveFileFromView(uint32_t index) {
  if (index == 0 || index >= viewFileCount) return false;
  ReleaseMember(*viewFiles[index]);
  // The files after it move up: their rows are keyed by their places, so all load again.
  for (uint32_t i = index; i + 1 < viewFileCount; ++i) {
    addedFiles[i] = std::move(addedFiles[i + 1]);
    viewFiles[i] = addedFiles[i].get();
    viewFiles[i]->index = i;
  }
  addedFiles[--viewFileCount].reset();
  ++viewFilesChanges;
  viewFiles[viewFileCount] = nullptr;
  if (viewFileCount == 1) SetMerging(false);
  TakeViewScope();
  LoadFile();
  if (engineHost.fileChanged) engineHost.fileChanged();
  ArmFirstPoll();
  return true;
}

uint64_t ViewFilesChanges() { return viewFilesChanges; }
bool OpeningSet() { return openingSet; }
uint32_t ViewFileCount() { return followed.file == INVALID_HANDLE_VALUE ? 0 : viewFileCount; }
bool ViewMerges() { return viewFileCount > 1; }
const wchar_t* ViewFilePath(uint32_t index) { return index < viewFileCount ? viewFiles[index]->fullPath : L""; }
bool ViewFileOpen(uint32_t index) { return index < viewFileCount && viewFiles[index]->file != INVALID_HANDLE_VALUE; }
bool ViewFileStalled(uint32_t index) { return index < viewFileCount && viewFiles[index]->stalled; }
uint64_t ViewFileSize(uint32_t index) { return index < viewFileCount ? viewFiles[index]->lastSize : 0; }

HANDLE ViewFileHandle(uint32_t index) { return index < viewFileCount ? viewFiles[index]->file : INVALID_HANDLE_VALUE; }

namespace {

// Each file's first line stamped at or after stamp (as merged), its end when
// it has none; false when no file has one.
bool LinesAtStamp(int64_t stamp, std::vector<uint64_t>* starts) {
  starts->assign(viewFileCount, 0);
  bool any = false;
  for (uint32_t i = 0; i < viewFileCount; ++i) {
    FollowedFile& f = *viewFiles[i];
    uint64_t size;
    if (f.file == INVALID_HANDLE_VALUE || !FileSize(f, &size)) continue;
    TimeSearch search{FollowedReader(f), f.dataStart, size, f.charset.active, YearHintOf(f), &SystemConversions(),
                      byteBuffer, kChunkBytes};
    search.merged = true;
    uint64_t line;
    bool found = FindLineAtTime(search, stamp, &line) == TimeFound::kLine;
    (*starts)[i] = found ? line : size;
    any = any || found;
    SeekTo(f, f.filePosition);
  }
  return any;
}

}  // namespace

bool ShowTimeInView(int64_t stamp, int rowsBefore, int* row) {
  std::vector<uint64_t> starts;
  if (!LinesAtStamp(stamp, &starts)) return false;
  *row = ShowMergedAt(starts.data(), stamp, size_t(std::max(rowsBefore, 0)), nullptr);
  return true;
}

bool ViewFileSpan(uint32_t index, uint64_t* start, uint64_t* startUnit, uint64_t* end) {
  if (index >= viewFileCount || viewFiles[index]->file == INVALID_HANDLE_VALUE) return false;
  FollowedFile& f = *viewFiles[index];
  *startUnit = 0;
  if (f.browsing) {
    *start = f.browseStart, *end = f.stretchEnd;
    return true;
  }
  SelectFile(f);
  *end = StretchEndOf(f);
  RowPlace first;
  *start = *end;
  if (FirstViewRowOf(f.index, &first) && LineStartOf(f, first.line, start)) *startUnit = first.unit;
  SelectFile(followed);
  return true;
}

int64_t ViewFileLineStamp(uint32_t index, uint64_t lineStart) {
  if (index >= viewFileCount || viewFiles[index]->file == INVALID_HANDLE_VALUE) return kNoStamp;
  FollowedFile& f = *viewFiles[index];
  int64_t stamp = StampCarriedTo(f, lineStart), own;
  uint8_t head[kKeyedHeadUnits * 4];
  size_t got = ReadFollowedAt(f, lineStart, head, sizeof head);
  SeekTo(f, f.filePosition);
  return HeadStampOf(f, head, got, YearHintOf(f), &own) ? std::max(stamp, own) : stamp;
}

int ShowViewFileLine(uint32_t index, uint64_t lineStart, uint64_t unit, int rowsBefore) {
  if (index >= viewFileCount) return -1;
  int64_t stamp = ViewFileLineStamp(index, lineStart);
  std::vector<uint64_t> starts;
  LinesAtStamp(stamp, &starts);
  starts[index] = lineStart;
  MergedTarget target{index, unit};
  return ShowMergedAt(starts.data(), stamp, size_t(std::max(rowsBefore, 0)), &target);
}

uint32_t CaretViewFile() {
  if (!engineHost.view || !Merging()) return 0;
  LRESULT caret = SendMessageW(engineHost.view, LB_GETCARETINDEX, 0, 0);
  uint32_t file = caret >= 0 ? ViewRowPlace(size_t(caret)).file : 0;
  return file < viewFileCount ? file : 0;
}

CharsetState& ViewFileCharset(uint32_t index) { return viewFiles[index < viewFileCount ? index : 0]->charset; }
