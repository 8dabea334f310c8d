#include "engine/file_follower.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>
#include <vector>

#include "core/line_starts.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_bookmarks.h"
#include "engine/properties.h"
#include "engine/row_builder.h"

namespace {

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
constexpr size_t kTailCheckBytes = 16;
// The progress bar is redrawn at this pace, not for every chunk.
constexpr double kProgressStepMs = 100;

HANDLE file = INVALID_HANDLE_VALUE;
wchar_t fullPath[kPathUnits];
wchar_t requestedName[kPathUnits];
bool paused = false;
bool oneShot = false;
uint64_t lastSize = 0;
uint64_t readPosition = 0;
uint64_t sizeForProgress = 0;
uint64_t filePosition = 0;  // where the handle's own position stands
DWORD lastIdentityCheck = 0;

bool continuing = false;     // the current drain handed back and goes on
bool startedOver = false;    // a load or truncation emptied the view since the last full poll
bool drainStarted = false;
bool progressShown = false;
LARGE_INTEGER drainStart;
LARGE_INTEGER lastFlush;
LARGE_INTEGER lastProgress;

// Bytes of a character the last chunk did not finish; they lead the next one.
uint8_t carry[kMaxCarryBytes];
size_t carryCount = 0;
// The last bytes read, to notice a file rewritten under our read position.
uint8_t tail[kTailCheckBytes];
size_t tailCount = 0;

// Units decoded but not fed: feeding resumes inside a line from a checkpoint
// before the unit it resumes at; and, once so many are fed, feeding stops
// where a stretch loaded before goes on.
uint64_t unitsToSkip = 0;
constexpr uint64_t kNoUnitLimit = ~uint64_t(0);
uint64_t unitsToFeed = kNoUnitLimit;

// Browsing: the view holds a stretch of rows that ends before the file's
// end; the file is watched, its new lines counted, not read into rows. Either
// end of the stretch may lie inside a line longer than the view holds.
bool browsing = false;
uint64_t browseStart = 0;     // where the browsed stretch starts, hidden lines before its first row too
RowPlace stretchEndPlace;     // the first row the browsed stretch does not hold
uint64_t stretchEnd = 0;      // where the line of that row starts
uint64_t watchedEnd = 0;      // the file's bytes counted for new lines so far
uint64_t linesArrived = 0;    // line breaks past where following stopped
uint8_t watchedTail[kTailCheckBytes];
size_t watchedTailCount = 0;
uint64_t dataStart = 0;       // past the byte-order mark

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
std::deque<LineCheckpoint> checkpoints;
// Counts up whenever the view's lines are numbered afresh or lines are
// numbered before the first checkpoint: what was found of them goes.
uint64_t linesEpoch = 0;

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

bool FileSize(uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value)) return false;
  *size = uint64_t(value.QuadPart);
  return true;
}

void SeekTo(uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = LONGLONG(position);
  SetFilePointerEx(file, to, nullptr, FILE_BEGIN);
  filePosition = position;
}

uint64_t KbLimitBytes() { return uint64_t(CurrentEngineOptions().kbLimit) * 1024; }

size_t RowCapacity() {
  EngineOptions options = CurrentEngineOptions();
  return options.wrapLines ? std::min<size_t>(options.rowLength, kMaxRowUnits) : kMaxRowUnits;
}

void RememberTail(const uint8_t* bytes, size_t count) {
  if (count >= kTailCheckBytes) {
    memcpy(tail, bytes + count - kTailCheckBytes, kTailCheckBytes);
    tailCount = kTailCheckBytes;
    return;
  }
  size_t keep = std::min(tailCount, kTailCheckBytes - count);
  memmove(tail, tail + tailCount - keep, keep);
  memcpy(tail + keep, bytes, count);
  tailCount = keep + count;
}

// False when the bytes just before the read position are no longer the ones
// read there: the file was cut and written again past its old size.
bool BytesStillBefore(uint64_t end, const uint8_t* bytes, size_t count) {
  if (count == 0 || end < count) return true;
  uint8_t now[kTailCheckBytes];
  OVERLAPPED at{};
  uint64_t offset = end - count;
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  DWORD got = 0;
  BOOL ok = ReadFile(file, now, DWORD(count), &got, &at);
  SeekTo(filePosition);
  if (!ok) return true;
  return got == count && memcmp(now, bytes, count) == 0;
}

bool TailStillMatches() { return BytesStillBefore(filePosition, tail, tailCount); }

void ForgetReadState() {
  carryCount = 0;
  tailCount = 0;
  unitsToSkip = 0;
  unitsToFeed = kNoUnitLimit;
}

// Moving through the file keeps what was found in it; a change of the file or
// of how it reads (a reload, a truncation, a close) tells the host.
void EmptyView(bool moving = false) {
  if (engineHost.viewEmptied && !moving) engineHost.viewEmptied();
  DiscardBatchedRows();
  ClearView(CurrentRowView());
}

// The view is empty: its lines count afresh from at.
void StartCheckpoints(uint64_t at) {
  SetLinesFed(kFirstLineOrdinal);
  checkpoints.clear();
  ++linesEpoch;
  checkpoints.push_back({at, LinesFed(), true});
}

// Range and position in units of 64 KiB: from the start of the loaded tail to the size.
void UpdateProgress() {
  if (!engineHost.progress) return;
  uint64_t low = sizeForProgress > KbLimitBytes() ? sizeForProgress - KbLimitBytes() : 0;
  SendMessageW(engineHost.progress, PBM_SETRANGE32, WPARAM(low >> 16), LPARAM(sizeForProgress >> 16));
  SendMessageW(engineHost.progress, PBM_SETPOS, WPARAM(readPosition >> 16), 0);
}

void ShowProgress() {
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  SuspendViewRedraw();
  progressShown = true;
  UpdateProgress();
  if (engineHost.progress) ShowWindow(engineHost.progress, SW_SHOWNA);
}

void HideProgress() {
  if (progressShown && engineHost.progress) ShowWindow(engineHost.progress, SW_HIDE);
  progressShown = false;
}

void EndDrain() {
  continuing = false;
  drainStarted = false;
  HideProgress();
  ResumeViewRedraw();
}

// The truncation path: read the whole file again from its first byte. The
// unfinished row goes with the view: glued to the new content it would make a
// row that never stood in the file.
void RestartFromTop() {
  SeekTo(0);
  readPosition = 0;
  ForgetReadState();
  EmptyView();
  StartCheckpoints(0);
  DropFileBookmarks();  // their lines are gone
  ResetPendingRow();  // the end of the poll clears the unfinished-line pane
  startedOver = true;
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
size_t ReadAndFeedChunk(size_t capacity, uint64_t most = kChunkBytes) {
  uint32_t charset = charsetState.active;
  bool straightToUnits = charset == kCharsetUtf16Le || charset == kCharsetUtf16Be;
  uint8_t* bytes = straightToUnits ? reinterpret_cast<uint8_t*>(unitBuffer) : byteBuffer;
  memcpy(bytes, carry, carryCount);
  DWORD got = 0;
  DWORD wanted = DWORD(std::min<uint64_t>(kChunkBytes - carryCount, most));
  if (wanted == 0 || !ReadFile(file, bytes + carryCount, wanted, &got, nullptr) ||
      got == 0)
    return 0;
  filePosition += got;
  readPosition += got;
  RememberTail(bytes + carryCount, got);
  size_t total = carryCount + got;
  size_t held = 0;
  if (charsetState.sniffUtf8) {
    charset = SniffUtf8(charsetState, bytes, total, &held);
    if (charset == kCharsetUtf8) UpdateCharsetMenu(engineHost.menu);
  }
  size_t units = DecodeKeepingCarry(charset, bytes, total, held, unitBuffer, carry, &carryCount, SystemConversions());
  size_t skipped = size_t(std::min<uint64_t>(unitsToSkip, units));
  unitsToSkip -= skipped;
  size_t fed = size_t(std::min<uint64_t>(units - skipped, unitsToFeed));
  if (unitsToFeed != kNoUnitLimit) unitsToFeed -= fed;
  FeedUnits(unitBuffer + skipped, fed, capacity);
  checkpoints.push_back({filePosition - carryCount, LinesFed(), false, UnitsIntoLine()});
  return got;
}

bool IdentityCheckDue() { return GetTickCount() - lastIdentityCheck > kIdentityCheckInterval; }

LineFilters filtersAcrossRotation{};

// The filters' verdict on the whole lines in [from, to): how many they show,
// or false once the scan has taken longer than is worth waiting for.
bool CountShownLinesIn(uint64_t from, uint64_t to, const LARGE_INTEGER& began, size_t* shown) {
  SeekTo(from);
  size_t carried = 0;
  bool inTime = true;
  while (from < to && (inTime = MillisecondsSince(began) <= kTailScanBudgetMs)) {
    DWORD got = 0;
    DWORD wanted = DWORD(std::min<uint64_t>(kChunkBytes - carried, to - from));
    if (!ReadFile(file, byteBuffer + carried, wanted, &got, nullptr) || got == 0) break;
    from += got;
    size_t total = carried + got;
    *shown += CountShownLines(unitBuffer, DecodeKeepingCarry(charsetState.active, byteBuffer, total, 0, unitBuffer,
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
uint64_t StartOfLastShownLines(uint64_t floor, uint64_t end, size_t lines) {
  LARGE_INTEGER began = Now();
  size_t shown = 0, stretch = lines;
  for (uint64_t to = end;;) {
    uint64_t from = StartOfLastLines(file, floor, to, charsetState.active, stretch);
    if (!CountShownLinesIn(from, to, began, &shown)) return floor;
    if (shown >= lines || from <= floor) return from;
    to = from;
    stretch = std::min<size_t>(stretch * 2, size_t(1) << 24);
  }
}

bool OpenNamed(const wchar_t* name, bool report);

// Once a second: has the name been given to another file (log rotation)?
// Returns true when the new file was opened.
bool FollowRenamedFile() {
  if (!IdentityCheckDue()) return false;
  lastIdentityCheck = GetTickCount();
  FileIdentity held, named;
  if (!ReadFileIdentity(file, &held)) return false;
  HANDLE other = CreateFileW(fullPath, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  bool ok = ReadFileIdentity(other, &named);
  CloseHandle(other);
  if (!ok || (held.volume == named.volume && held.indexHigh == named.indexHigh &&
              held.indexLow == named.indexLow))
    return false;
  static wchar_t path[kPathUnits];
  wcscpy(path, fullPath);
  // The new file under the name goes on with the filters of the old one,
  // unless it keeps its own.
  filtersAcrossRotation = CurrentLineFilters();
  bool opened = OpenNamed(path, false);  // no one asked: a failure keeps the file followed so far
  filtersAcrossRotation = LineFilters{};
  return opened;
}

// Only plain disk files: a device or pipe would block the window on a read.
DWORD RefusalOf(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return ERROR_NOT_SUPPORTED;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return ERROR_ACCESS_DENIED;
  return 0;
}


ByteReader FollowedReader() { return HandleReader(file); }

bool UsableFor(const LineCheckpoint& checkpoint, uint64_t line) {
  return checkpoint.line < line || (checkpoint.line == line && checkpoint.lineStart);
}

// Where line starts in the file, from the checkpoints; false when it lies
// before them all. Moves the handle's position back where the follower reads.
bool LineStartOf(uint64_t line, uint64_t* offset) {
  for (auto it = checkpoints.rbegin(); it != checkpoints.rend(); ++it) {
    if (!UsableFor(*it, line)) continue;
    *offset = it->line == line ? it->offset
                               : SkipLines(FollowedReader(), it->offset, charsetState.active, line - it->line, byteBuffer,
                                           kChunkBytes);
    SeekTo(filePosition);
    return true;
  }
  return false;
}

// Checkpoints before the one the view's first line is found from serve no more.
void PruneCheckpoints() {
  const RowView& view = CurrentRowView();
  uint64_t first = ViewRows() && ViewLinesKnown(view) ? ViewRowLine(0) : LinesFed();
  while (checkpoints.size() > 1 && UsableFor(checkpoints[1], first)) checkpoints.pop_front();
}

uint64_t AlignedToUnit(uint64_t offset) { return offset - offset % CharsetUnitSize(charsetState.active); }

// From following to browsing: what was read so far stays watched from where
// it stopped.
void EnterBrowsing() {
  if (browsing) return;
  browsing = true;
  watchedEnd = filePosition;
  memcpy(watchedTail, tail, tailCount);
  watchedTailCount = tailCount;
  linesArrived = 0;
}

// Feeding goes on from the row at place, of a line fed before: from the last
// checkpoint inside that line before it, else from the line's start, the
// units up to it decoded and passed by. False when the line's start is not
// known. The checkpoints past the one taken go: feeding pushes them again.
bool ResumeFeedingAt(RowPlace place) {
  uint64_t from = 0, unit = 0;
  size_t kept = checkpoints.size();
  while (kept > 0 && !(checkpoints[kept - 1].line == place.line && checkpoints[kept - 1].unit <= place.unit) &&
         !UsableFor(checkpoints[kept - 1], place.line))
    --kept;
  if (kept == 0) return false;
  const LineCheckpoint& checkpoint = checkpoints[kept - 1];
  if (checkpoint.line == place.line) {  // a line starts where none of it was decoded yet
    from = checkpoint.offset, unit = checkpoint.unit;
  } else if (!LineStartOf(place.line, &from)) {
    return false;
  }
  checkpoints.resize(kept);
  ResetPendingRow();
  ForgetReadState();
  ResumeLineAt(place);
  unitsToSkip = place.unit - unit;
  SeekTo(from);
  readPosition = from;
  return true;
}

// Counts the lines written since browsing began, a bounded stretch per poll.
constexpr uint64_t kWatchBytesPerPoll = uint64_t(4) << 20;
void CountArrivedLines(uint64_t size) {
  uint64_t to = std::min(size, watchedEnd + kWatchBytesPerPoll);
  uint32_t unit = CharsetUnitSize(charsetState.active);
  to -= (to - watchedEnd) % unit;
  if (to <= watchedEnd) return;
  linesArrived += CountLineBreaks(FollowedReader(), watchedEnd, to, charsetState.active, byteBuffer, kChunkBytes);
  watchedEnd = to;
  watchedTailCount = size_t(std::min<uint64_t>(kTailCheckBytes, to));
  ReadFileAt(file, to - watchedTailCount, watchedTail, watchedTailCount);
  SeekTo(filePosition);
}

// The watch of a browsing view: a file cut or rewritten brings the view back
// to the end, as following would; a longer one adds to the new lines' count.
// False when the view went back to following, whose poll goes on.
void FollowTheEnd(bool moving);
bool PollWhileBrowsing() {
  uint64_t size;
  if (!FileSize(&size)) return true;
  if (size < lastSize || size < watchedEnd ||
      (size > lastSize && !BytesStillBefore(watchedEnd, watchedTail, watchedTailCount))) {
    DropFileBookmarks();
    FollowTheEnd(false);
    return false;
  }
  bool changed = size != lastSize;
  lastSize = size;
  if (changed && engineHost.refreshSize) engineHost.refreshSize();
  if (size > watchedEnd) {
    uint64_t before = linesArrived;
    CountArrivedLines(size);
    if (linesArrived != before && engineHost.refreshStatus) engineHost.refreshStatus();
  }
  if (!FollowRenamedFile()) CheckHorizontalScrollBar();
  return true;
}

// After a load: what it changed shown, and the checkpoints it left behind
// the view's first line forgotten, as at the end of a poll (browsing, a load
// is what reads).
void RefreshAfterStretch() {
  PruneCheckpoints();
  if (engineHost.refreshSize) engineHost.refreshSize();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  if (TakeWidestRowChange()) UpdateHorizontalExtent();
  if (engineHost.fileChanged) engineHost.fileChanged();
}

// A stack trace cut off by the start of what is loaded still takes the level
// of the stamped line it continues: that line is looked for this far back.
constexpr int kCarrySearchLines = 256;
constexpr uint64_t kCarrySearchBytes = uint64_t(256) << 10;

// What a line states of its level, read from its first bytes (count of them)
// as its first row holds them.
LineLevel HeadLevelOf(const uint8_t* bytes, size_t count) {
  size_t leftover = 0;
  count = std::min<size_t>(count, kLevelSearchUnits * 4);
  memcpy(byteBuffer, bytes, count);
  size_t units = DecodeChunk(charsetState.active, byteBuffer, count, unitBuffer, &leftover, SystemConversions());
  size_t length = 0, most = std::min(units, std::min(RowCapacity(), kLevelSearchUnits));
  while (length < most && unitBuffer[length] != u'\n') ++length;
  return ReadLineLevel(unitBuffer, length);
}

// The level the lines before the one at lineStart carry over to it: their
// last stamped line's, if one lies within reach. The bytes before it are read
// once and their lines looked at from the last back.
LogLevel LevelCarriedTo(uint64_t lineStart) {
  uint32_t unit = CharsetUnitSize(charsetState.active), newline = CharsetNewlineUnit(charsetState.active);
  uint64_t floor = AlignedToUnit(lineStart - std::min(lineStart - dataStart, kCarrySearchBytes));
  std::vector<uint8_t> bytes(size_t(lineStart - floor));
  if (bytes.empty() || ReadFileAt(file, floor, bytes.data(), bytes.size()) != bytes.size()) return LogLevel::kNone;
  auto unitAt = [&](size_t at) {
    uint32_t value = 0;
    memcpy(&value, bytes.data() + at, unit);
    return value;
  };
  for (size_t end = bytes.size(), lines = 0; end >= unit && lines < kCarrySearchLines; ++lines) {
    size_t start = end - unit;  // the line feed that ends the line before
    while (start >= unit && unitAt(start - unit) != newline) start -= unit;
    if (start == 0 && floor > dataStart) break;  // its start lies beyond reach
    if (LineLevel read = HeadLevelOf(bytes.data() + start, end - start); read.stamped) return read.level;
    end = start;
  }
  return LogLevel::kNone;
}

// The rows' level reading starting at a row with none read before it.
LevelStart LevelsBeforeRow(RowPlace first) {
  uint64_t lineStart;
  if (file == INVALID_HANDLE_VALUE || !LineStartOf(first.line, &lineStart)) return {};
  LevelStart start{LevelCarriedTo(lineStart)};
  if (first.unit > 0) {  // the line's own level, as its first row shows it
    uint8_t head[kLevelSearchUnits * 4];
    LineLevel read = HeadLevelOf(head, ReadFileAt(file, lineStart, head, sizeof head));
    start.level = read.level != LogLevel::kNone || read.stamped ? read.level : start.carried;
  }
  SeekTo(filePosition);  // the reads moved the handle
  return start;
}

}  // namespace

size_t ReadFileAt(void* handle, uint64_t at, uint8_t* bytes, size_t count) {
  OVERLAPPED where{};
  where.Offset = DWORD(at);
  where.OffsetHigh = DWORD(at >> 32);
  DWORD got = 0;
  return ReadFile(static_cast<HANDLE>(handle), bytes, DWORD(count), &got, &where) ? got : 0;
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

bool ReadFileIdentity(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

uint64_t FindFirstWholeLine(HANDLE handle, uint64_t start, uint32_t charset) {
  return FindFirstWholeLine(HandleReader(handle), start, charset, byteBuffer, kChunkBytes);
}

uint64_t StartOfLastLines(HANDLE handle, uint64_t floor, uint64_t end, uint32_t charset, size_t lines) {
  return StartOfLastLines(HandleReader(handle), floor, end, charset, lines, byteBuffer, kChunkBytes);
}

namespace {

// Opens name and follows it; on failure the file followed so far stays and,
// with report, the host shows why.
bool OpenNamed(const wchar_t* name, bool report) {
  if (name != requestedName) lstrcpynW(requestedName, name, int(kPathUnits));
  HANDLE opened = CreateFileW(requestedName, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  DWORD error = opened == INVALID_HANDLE_VALUE ? GetLastError() : RefusalOf(opened);
  if (opened != INVALID_HANDLE_VALUE && error) {
    CloseHandle(opened);
    opened = INVALID_HANDLE_VALUE;
  }
  if (opened == INVALID_HANDLE_VALUE) {
    if (report && engineHost.showError) engineHost.showError(kMsgOpenFailed, error);
    ArmFirstPoll();
    return false;
  }
  CloseFile();
  SetLevelsBefore(LevelsBeforeRow);
  if (!FullPathOf(requestedName, fullPath, kPathUnits)) lstrcpynW(fullPath, requestedName, int(kPathUnits));
  SetPropertiesFile(fullPath);
  static LineFilters stored;
  ReadStoredFilters(&stored);
  SetLineFilters(stored.count ? stored : filtersAcrossRotation);
  file = opened;
  // One file, one spelling: a rotation reopens by the full path, the user by
  // any name; both are reported alike.
  static wchar_t shownPath[kPathUnits];
  ShownPathOf(fullPath, shownPath, kPathUnits);
  if (engineHost.fileOpened) engineHost.fileOpened(shownPath);
  if (engineHost.fileChanged) engineHost.fileChanged();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  if (engineHost.view) SendMessageW(engineHost.view, LB_SETSEL, TRUE, 0);
  ResetWidestRow();
  lastSize = 0;
  browsing = false;
  SetSuspendFlag(false);
  lastIdentityCheck = GetTickCount();
  LoadFile();
  LoadFileBookmarks();  // checked in the charset the load settled on
  ArmFirstPoll();
  return true;
}

}  // namespace

bool OpenFile(const wchar_t* name) { return OpenNamed(name, true); }

void CloseFile() {
  EndDrain();
  EmptyView();
  ResetPendingRow();
  ForgetReadState();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  fullPath[0] = 0;
  browsing = false;
  checkpoints.clear();
  ++linesEpoch;
  ForgetFileBookmarks();
  SetLineFilters(LineFilters{});
  if (engineHost.window) KillTimer(engineHost.window, kPollTimer);
  SetSuspendFlag(false);
  paused = false;
  oneShot = false;
  if (engineHost.fileChanged) engineHost.fileChanged();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
}

namespace {

// The tail, or a browsing view's stretch, loaded again; moving: the view only
// moves through the file (back to its end).
void LoadTail(bool moving) {
  if (file == INVALID_HANDLE_VALUE) return;
  // A browsing view loads its stretch again, from its first line.
  uint64_t browsedFrom = browsing ? StretchStart() : 0;
  TakeEngineOptions();
  EndDrain();
  EmptyView(moving);
  SeekTo(0);
  PreallocateViewStorage();
  readPosition = 0;
  ResetPendingRow();
  ForgetReadState();

  uint8_t probe[kBomProbeBytes];
  DWORD got = 0;
  if (!ReadFile(file, probe, DWORD(kBomProbeBytes), &got, nullptr)) got = 0;
  uint32_t start = ResolveLoadCharset(charsetState, DetectBom(probe, got));
  dataStart = start;
  if (browsing) {
    // The charset may have changed under the stretch: it starts on a whole line of the new one.
    uint32_t unit = CharsetUnitSize(charsetState.active);
    uint64_t from = browsedFrom > start + unit ? FindFirstWholeLine(file, AlignedToUnit(browsedFrom - unit), charsetState.active) : start;
    UpdateCharsetMenu(engineHost.menu);
    ShowLineAt(from, 0, 0);
    return;
  }
  SeekTo(start);
  UpdateCharsetMenu(engineHost.menu);

  uint64_t size;
  if (FileSize(&size) && size > KbLimitBytes()) {
    uint64_t tailStart = size - KbLimitBytes();
    // Stay on the unit grid: a wide file with a half-written unit at its end
    // has an odd size, and a cut there would misread everything after it.
    uint32_t unit = CharsetUnitSize(charsetState.active);
    tailStart += (unit - tailStart % unit) % unit;
    filePosition = FindFirstWholeLine(file, tailStart, charsetState.active);
    SeekTo(filePosition);
    readPosition = filePosition;
  }
  // Lines that the lines limit would push out again are not worth building:
  // every line ends in at least one row, unless blank rows are cut.
  if (EngineOptions options = CurrentEngineOptions(); !options.cutEmpty && FileSize(&size)) {
    size_t lines = std::max<uint32_t>(options.linesLimit, 1);
    uint64_t from = CurrentLineFilters().count ? StartOfLastShownLines(filePosition, size, lines)
                                                   : StartOfLastLines(file, filePosition, size, charsetState.active, lines);
    if (from > filePosition) readPosition = from;
    SeekTo(std::max(from, filePosition));  // the scan moved the handle's position
  }
  StartCheckpoints(filePosition);
  startedOver = true;
  if (paused) oneShot = true;
}

// Browsing no more: the tail, following again; moving as for LoadTail.
void FollowTheEnd(bool moving) {
  if (file == INVALID_HANDLE_VALUE) return;
  browsing = false;
  linesArrived = 0;
  if (paused) {
    paused = false;
    if (HMENU menu = engineHost.menu) CheckMenuItem(menu, 1201, MF_BYCOMMAND | MF_UNCHECKED);
  }
  LoadTail(moving);
  ArmFirstPoll();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
}

}  // namespace

void LoadFile() { LoadTail(false); }

void PollFile() {
  // A read still going on while paused is the one-shot read of a reload: it
  // finishes. Pausing ends any other read at once (TogglePause).
  if (file == INVALID_HANDLE_VALUE || (paused && !oneShot && !continuing)) {
    CheckHorizontalScrollBar();
    return;
  }
  oneShot = false;
  TakeEngineOptions();
  if (browsing && PollWhileBrowsing()) return;

  if (!continuing) {
    uint64_t size;
    if (FileSize(&size)) {
      bool changed = size != lastSize;
      // Against the position read too: the file may have grown during the
      // last read, then been cut and rewritten to the size seen before it.
      if (size < lastSize || size < filePosition || (size > lastSize && !TailStillMatches()))
        RestartFromTop();
      lastSize = size;
      if ((changed || startedOver) && engineHost.refreshSize) engineHost.refreshSize();
      // An unchanged file costs this one size query; timer 1 stays armed.
      if (!changed && !startedOver && filePosition >= size && !IdentityCheckDue()) {
        CheckHorizontalScrollBar();
        return;
      }
    }
  }
  startedOver = false;
  if (engineHost.window) KillTimer(engineHost.window, kPollTimer);
  size_t capacity = RowCapacity();

  sliceStart = Now();
  SetFlushTimeCheck(SliceOver);
  bool finished = false;
  for (;;) {
    if (ReadAndFeedChunk(capacity) == 0) {
      finished = true;
      break;
    }
    uint64_t size;
    if (FileSize(&size)) sizeForProgress = size;
    if (!drainStarted) {
      drainStarted = true;
      drainStart = lastFlush = Now();
    } else if (progressShown) {
      if (MillisecondsSince(lastProgress) > kProgressStepMs) {
        UpdateProgress();
        lastProgress = Now();
      }
      if (!ViewRedrawSuspended() && MillisecondsSince(lastFlush) > kProgressDelayMs)
        SuspendViewRedraw();
    } else if (MillisecondsSince(drainStart) > kProgressDelayMs) {
      ShowProgress();
      lastProgress = Now();
    }
    if (SliceOver()) break;
    // Long rows fill the batch fast: it goes to the view before growing it
    // costs more than adding the rows, unless it holds more rows than the view
    // keeps, some of which the rows to come would push out again.
    if (MillisecondsSince(lastFlush) > kDrainFlushMs ||
        (BatchedUnits() > kMostBatchedUnits && BatchedRows() < CurrentEngineOptions().linesLimit)) {
      EndOfPoll();
      lastFlush = Now();
    }
  }

  if (finished) {
    EndOfPoll();
  } else {
    continuing = true;
    if (MillisecondsSince(lastFlush) > kDrainFlushMs) {
      EndOfPoll();
      lastFlush = Now();
    }
  }
  SetFlushTimeCheck(nullptr);
  // Rows the flush found no time for go to the view in the next slices.
  if (HasBatchedRows()) finished = false, continuing = true;
  if (FollowRenamedFile()) return;  // the new file's first poll is already on its way
  if (finished) EndDrain();
  PruneCheckpoints();
  if (engineHost.window)
    SetTimer(engineHost.window, kPollTimer, finished ? kPollInterval : USER_TIMER_MINIMUM, nullptr);
  CheckHorizontalScrollBar();
}

void TogglePause() {
  if (file == INVALID_HANDLE_VALUE) return;
  // Browsing is following held for the view: resuming goes back to the end.
  if (browsing) {
    FollowEndAgain();
    return;
  }
  paused = !paused;
  // A long read cut short shows what it has read; the rest is read on resuming.
  if (paused && continuing) {
    EndOfPoll();
    EndDrain();
    if (engineHost.window) SetTimer(engineHost.window, kPollTimer, kPollInterval, nullptr);
  }
  if (HMENU menu = engineHost.menu)
    CheckMenuItem(menu, 1201, MF_BYCOMMAND | (paused ? MF_CHECKED : MF_UNCHECKED));
  if (engineHost.refreshStatus) engineHost.refreshStatus();
}

bool EraseFileContent() {
  bool erased = true;
  if (file == INVALID_HANDLE_VALUE) {
    EmptyView();
  } else {
    HANDLE writer = CreateFileW(fullPath, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (engineHost.showError) engineHost.showError(kMsgEraseFailed, error);
      erased = false;
    } else {
      bool keepBom = charsetState.detected && charsetState.detected == charsetState.active;
      LARGE_INTEGER keep;
      keep.QuadPart = keepBom ? charsetState.bomLength : 0;
      SetFilePointerEx(writer, keep, nullptr, FILE_BEGIN);
      SetEndOfFile(writer);
      EmptyView();
      CloseHandle(writer);
    }
  }
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  return erased;
}

void ChooseCharset(int command) {
  uint32_t charset;
  bool setsFallback;
  if (!CharsetFromCommand(command, &charset, &setsFallback)) return;
  charsetState.active = charset;
  if (setsFallback) charsetState.fallback = charset;
  charsetState.explicitChoice = true;
  if (file == INVALID_HANDLE_VALUE) return;
  WriteStoredCharsetName(AsWide(CharsetStreamName(charset)));
  LoadFile();
}

void SetAutodetect(bool on) {
  charsetState.autodetect = on;
  if (!on) return;
  charsetState.explicitChoice = false;
  LoadFile();
}

bool Browsing() { return file != INVALID_HANDLE_VALUE && browsing; }

uint64_t StretchEnd() {
  if (file == INVALID_HANDLE_VALUE) return 0;
  if (browsing) return stretchEnd;
  uint64_t end;
  return LineStartOf(LinesFed(), &end) ? end : filePosition;
}

uint64_t StretchEndUnit() { return file != INVALID_HANDLE_VALUE && browsing ? stretchEndPlace.unit : 0; }

uint64_t StretchStart() {
  const RowView& view = CurrentRowView();
  uint64_t start;
  bool known = file != INVALID_HANDLE_VALUE && ViewRows() && ViewLinesKnown(view);
  // Inside its first line, the stretch starts where that line does.
  if (file != INVALID_HANDLE_VALUE && browsing && !(known && ViewRowPlace(0).unit > 0)) return browseStart;
  if (known && LineStartOf(ViewRowLine(0), &start)) return start;
  return StretchEnd();
}

uint64_t StretchStartUnit() {
  const RowView& view = CurrentRowView();
  return file != INVALID_HANDLE_VALUE && ViewRows() && ViewLinesKnown(view) ? ViewRowPlace(0).unit : 0;
}

namespace {

// The batch's row that holds unit `unit` of line `line`: the last of that
// line's rows starting at or before it; else the first row after it (the
// line hidden, say). BatchedRows() when none has come yet; *complete tells
// whether a row after it has come, so that no later row can hold it.
size_t BatchRowHolding(RowPlace target, bool* complete) {
  size_t after = FirstBatchedRowFrom({target.line, target.unit + 1});
  *complete = after < BatchedRows();
  if (after > 0 && BatchRowLine(after - 1) == target.line) return after - 1;
  return after;
}

// Where feeding for the rows before the line at start begins: at most the
// rows' worth of lines back, within the kb limit's bytes.
uint64_t StartOfLinesBefore(uint64_t start, size_t lines) {
  uint32_t charset = charsetState.active;
  uint64_t floor = AlignedToUnit(start - std::min(start - dataStart, KbLimitBytes()));
  uint64_t from = StartOfLastLines(file, floor, start, charset, lines);
  if (from == floor && floor > dataStart) from = std::min(FindFirstWholeLine(file, floor, charset), start);
  return from;
}

// Loads the stretch from where feeding stands: until the batch holds the row
// of target with up to rowsBefore rows before it and limit rows from there,
// or the end. Reaching the end, the view follows again; else the
// stretch stops after limit rows, however far into a line. Returns the row
// of target among those loaded (the view's, when it was empty), -1 for none;
// *dropped whether rows before the first went.
int LoadStretch(RowPlace target, size_t rowsBefore, uint64_t size, size_t limit, bool* dropped) {
  limit = std::max<size_t>(limit, 1);
  rowsBefore = std::min(rowsBefore, limit - 1);  // the row itself stays
  size_t capacity = RowCapacity();
  bool atEnd = false, complete = false;
  size_t held = BatchedRows();
  KeepBatchFront(true);
  for (;;) {
    held = BatchRowHolding(target, &complete);
    // The rows before it that are not needed go as they come: memory stays
    // within a few times the limit however long the lines.
    size_t first = held > rowsBefore ? held - rowsBefore : 0;
    if (first > 0) DropFirstBatchedRows(first), held -= first, *dropped = true;
    // One row past the limit tells where the stretch ends.
    if (atEnd || (complete && BatchedRows() > limit)) break;
    atEnd = ReadAndFeedChunk(capacity) == 0;
  }
  if (!atEnd && filePosition >= size && carryCount == 0) atEnd = ReadAndFeedChunk(capacity) == 0;
  KeepBatchFront(false);
  if (atEnd && BatchedRows() <= limit) {
    // The stretch reaches the end: following goes on from here.
    browsing = false;
    linesArrived = 0;
    lastSize = size;
    EndOfPoll();
  } else {
    stretchEndPlace = BatchRowPlace(limit);
    if (!LineStartOf(stretchEndPlace.line, &stretchEnd)) stretchEnd = filePosition;
    DropBatchedRowsFrom(limit);
    ResetPendingRow();
    ForgetReadState();
    FlushRowsTo(CurrentRowView(), false, false);
  }
  RefreshAfterStretch();
  return held < ViewRows() ? int(held) : -1;
}

}  // namespace

int ShowLineAt(uint64_t lineStart, uint64_t unit, int rowsBefore) {
  uint64_t size;
  if (file == INVALID_HANDLE_VALUE || !FileSize(&size)) return -1;
  TakeEngineOptions();
  uint32_t charset = charsetState.active;
  lineStart = AlignedToUnit(std::clamp(lineStart, dataStart, size));
  size_t before = size_t(std::max(rowsBefore, 0));
  uint64_t from = before > 0 ? StartOfLinesBefore(lineStart, before) : lineStart;
  EnterBrowsing();  // what following read stays watched from where it stopped
  EndDrain();
  EmptyView(true);
  ResetPendingRow();
  ForgetReadState();
  StartCheckpoints(from);
  RowPlace target{LinesFed() + CountLineBreaks(FollowedReader(), from, lineStart, charset, byteBuffer, kChunkBytes),
                  unit};
  SeekTo(from);
  readPosition = from;
  bool dropped = false;
  int row = LoadStretch(target, before, size, std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1), &dropped);
  // The stretch starts with the lines the filters hide before its first row,
  // unless rows before it went.
  browseStart = from;
  if (dropped && ViewRows() && !LineStartOf(ViewRowLine(0), &browseStart)) browseStart = from;
  return row;
}

namespace {

// Where the view stands, so that a load that adds or takes rows above can
// put the same rows back in the same place.
struct ViewPlace {
  int top;
  LRESULT caret;
};

ViewPlace TakeViewPlace() {
  const RowView& view = CurrentRowView();
  HWND list = engineHost.view;
  return ViewPlace{view.topIndex(view.context), list ? SendMessageW(list, LB_GETCARETINDEX, 0, 0) : LB_ERR};
}

// Selects row alone, the caret on it.
void SelectOnlyRow(LRESULT row) {
  HWND list = engineHost.view;
  if (!list) return;
  SendMessageW(list, LB_SETCARETINDEX, WPARAM(row), FALSE);
  SendMessageW(list, LB_SETSEL, FALSE, -1);
  SendMessageW(list, LB_SETSEL, TRUE, row);
}

// The place again, shift rows down (up when negative); with selectCaret the
// caret row is then the only one selected.
void RestoreViewPlace(const ViewPlace& place, int shift, bool selectCaret) {
  const RowView& view = CurrentRowView();
  view.setTopIndex(view.context, std::max(0, place.top + shift));
  if (!engineHost.view || place.caret == LB_ERR) return;
  LRESULT caret = std::max<LRESULT>(0, place.caret + shift);
  if (selectCaret) SelectOnlyRow(caret);
  else SendMessageW(engineHost.view, LB_SETCARETINDEX, WPARAM(caret), FALSE);
}

// Loading the rows above the view, the start of the line before is looked
// for this far back at most, and a line is read again from its start this
// far at most: the window waits for both.
constexpr uint64_t kMostLineBytes = uint64_t(256) << 20;

// Where the stretch before the line at start begins: no more than the kb
// limit's worth back, unless a single line is longer; and, where every line
// makes a row, half the lines limit of lines back. start itself when the line
// before is longer than kMostLineBytes.
uint64_t StartOfEarlierStretch(uint64_t start, size_t half) {
  uint32_t charset = charsetState.active;
  uint64_t from = start - std::min(start - dataStart, KbLimitBytes());
  if (from > dataStart) from = std::min(FindFirstWholeLine(file, AlignedToUnit(from), charset), start);
  if (!CurrentLineFilters().count && !CurrentEngineOptions().cutEmpty && from < start)
    from = std::max(from, StartOfLastLines(file, from, start, charset, half));
  if (from < start) return from;
  uint64_t floor = AlignedToUnit(start - std::min(start - dataStart, kMostLineBytes));
  from = StartOfLastLines(file, floor, start, charset, 1);
  return from == floor && floor > dataStart ? start : from;
}

// Feeds the whole lines in [from, to) as the lines from firstLine on, keeping
// the last keep rows; true when rows before those went.
bool FeedStretch(uint64_t from, uint64_t to, uint64_t firstLine, size_t keep) {
  ResetPendingRow();
  ForgetReadState();
  SetLinesFed(firstLine);
  SeekTo(from);
  size_t capacity = RowCapacity();
  size_t marked = checkpoints.size();
  bool dropped = false;
  KeepBatchFront(true);
  while (filePosition < to && ReadAndFeedChunk(capacity, to - filePosition) > 0)
    if (BatchedRows() > keep) DropFirstBatchedRows(BatchedRows() - keep), dropped = true;
  KeepBatchFront(false);
  checkpoints.resize(marked);  // they hold only the lines read in order
  return dropped;
}

// The rows of the line that starts at lineStart before the row at `before`,
// the last keep of them: from the line's start, unless the view's rows lie
// more than kMostLineBytes into it; then from a checkpoint inside it, rows
// starting afresh there and the last one cut where the view's first starts.
void FeedLineBefore(uint64_t lineStart, RowPlace before, size_t keep) {
  size_t capacity = RowCapacity();
  uint64_t from = lineStart, unit = 0;
  uint64_t wanted = uint64_t(keep) * capacity;  // units enough for keep rows
  for (auto it = checkpoints.rbegin(); it != checkpoints.rend() && it->line >= before.line; ++it) {
    if (it->line != before.line || it->unit > before.unit) continue;
    if (it->offset - lineStart <= kMostLineBytes) break;
    if (it->unit + wanted <= before.unit || it->unit == 0) {
      from = it->offset, unit = it->unit;
      break;
    }
  }
  size_t marked = checkpoints.size();
  ResetPendingRow();
  ForgetReadState();
  ResumeLineAt({before.line, unit});
  unitsToFeed = before.unit - unit;
  SeekTo(from);
  KeepBatchFront(true);
  while (unitsToFeed > 0 && ReadAndFeedChunk(capacity) > 0)
    if (BatchedRows() > keep) DropFirstBatchedRows(BatchedRows() - keep);
  EndPendingRow();
  if (BatchedRows() > keep) DropFirstBatchedRows(BatchedRows() - keep);
  KeepBatchFront(false);
  unitsToFeed = kNoUnitLimit;
  checkpoints.resize(marked);
}

constexpr double kEarlierSearchMs = 100;

}  // namespace

bool LoadEarlierRows() {
  const RowView& view = CurrentRowView();
  if (file == INVALID_HANDLE_VALUE) return false;
  if (continuing) EndOfPoll(), EndDrain();
  if (!ViewLinesKnown(view)) return false;
  TakeEngineOptions();
  size_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t half = std::max<size_t>(limit / 2, 1);
  uint32_t charset = charsetState.active;
  // Following, the first line may have lost its first rows to the row limit:
  // they come first, before the lines before it.
  RowPlace first = ViewRows() ? ViewRowPlace(0) : RowPlace{LinesFed(), 0};
  uint64_t lineStart;
  if (!LineStartOf(first.line, &lineStart)) return false;
  uint64_t start = browsing && first.unit == 0 ? browseStart : lineStart;
  if (first.unit == 0 && start <= dataStart) return false;
  RowPlace endNow = browsing ? stretchEndPlace : RowPlace{LinesFed(), 0};
  uint64_t endOffsetNow = StretchEnd();
  ViewPlace place = TakeViewPlace();

  // Following goes on after this as if nothing had been read meanwhile.
  bool following = !browsing;
  uint8_t savedCarry[kMaxCarryBytes], savedTail[kTailCheckBytes];
  size_t savedCarryCount = carryCount, savedTailCount = tailCount;
  uint64_t savedPosition = filePosition, savedRead = readPosition;
  memcpy(savedCarry, carry, carryCount);
  memcpy(savedTail, tail, tailCount);
  if (following) SaveRowStream();

  DiscardBatchedRows();
  if (first.unit > 0) FeedLineBefore(lineStart, first, half);
  // Stretch after stretch back, while the filters hide all they hold.
  uint64_t from = start, fromLine = first.line;
  bool earlierLines = !HasBatchedRows() && start > dataStart, rowsWent = false;
  LARGE_INTEGER began = Now();
  while (earlierLines) {
    uint64_t to = from;
    from = StartOfEarlierStretch(to, half);
    if (from >= to) break;  // the line before is too long to look through
    fromLine -= CountLineBreaks(FollowedReader(), from, to, charset, byteBuffer, kChunkBytes);
    DiscardBatchedRows();
    rowsWent = FeedStretch(from, to, fromLine, half);
    if (HasBatchedRows() || from <= dataStart || MillisecondsSince(began) >= kEarlierSearchMs) break;
  }
  if (from < start) {
    checkpoints.push_front({from, fromLine, true, 0});
    ++linesEpoch;
    browseStart = from;
    if (rowsWent && HasBatchedRows() && BatchRowPlace(0).unit == 0) LineStartOf(BatchRowLine(0), &browseStart);
  }
  size_t newRows = BatchedRows();
  bool moved = newRows > 0 || from < start;

  SuspendViewRedraw();
  RowPlace dropped;
  size_t inserted = PrependRowsTo(view, limit, &dropped);
  memcpy(tail, savedTail, savedTailCount);
  tailCount = savedTailCount;
  filePosition = savedPosition;
  // A view that keeps its last rows still ends at the file's end, unless no
  // row came in to tell where the stretch now starts.
  if (moved && (dropped.line != kNoLine || newRows == 0)) {
    EnterBrowsing();
    stretchEndPlace = dropped.line != kNoLine ? dropped : endNow;
    if (dropped.line == kNoLine || !LineStartOf(dropped.line, &stretchEnd)) stretchEnd = endOffsetNow;
  }
  if (following && !browsing) {
    RestoreRowStream();
    memcpy(carry, savedCarry, savedCarryCount);
    carryCount = savedCarryCount;
    readPosition = savedRead;
  } else {
    ResetPendingRow();
    ForgetReadState();
    SetLinesFed(ViewRows() ? ViewRowLine(ViewRows() - 1) + 1 : first.line);
  }
  SeekTo(savedPosition);
  RestoreViewPlace(place, int(inserted), false);
  ResumeViewRedraw();
  RefreshAfterStretch();
  return moved;
}

bool LoadLaterRows() {
  const RowView& view = CurrentRowView();
  uint64_t size;
  if (file == INVALID_HANDLE_VALUE || !browsing || !ViewLinesKnown(view) || !FileSize(&size)) return false;
  TakeEngineOptions();
  size_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t rows = ViewRows();
  // The last half of the view's rows stay, at the top now, and the rows after
  // them follow, read on from where the stretch stopped.
  size_t kept = rows > limit / 2 ? rows - limit / 2 : 0;
  ViewPlace place = TakeViewPlace();
  if (!ResumeFeedingAt(stretchEndPlace)) return false;
  SuspendViewRedraw();
  DiscardBatchedRows();
  RemoveFirstViewRows(view, kept);
  bool dropped = false;
  LoadStretch(stretchEndPlace, 0, size, limit - ViewRows(), &dropped);
  if (browsing && ViewRows()) LineStartOf(ViewRowLine(0), &browseStart);
  RestoreViewPlace(place, -int(kept), true);
  ResumeViewRedraw();
  return true;
}

void LoadStartOfFile() {
  if (file == INVALID_HANDLE_VALUE) return;
  ShowLineAt(dataStart, 0, 0);
  const RowView& view = CurrentRowView();
  view.setTopIndex(view.context, 0);
  SelectOnlyRow(0);
}

void FollowEndAgain() { FollowTheEnd(true); }

uint64_t LinesArrivedWhileBrowsing() { return browsing ? linesArrived : 0; }

bool FileIsOpen() { return file != INVALID_HANDLE_VALUE; }
HANDLE FollowedFileHandle() { return file; }
bool FollowingPaused() { return paused; }
const wchar_t* FollowedPath() { return fullPath; }
uint64_t LastFileSize() { return lastSize; }
bool PollContinues() { return continuing; }

size_t ReadFollowedBytes(uint64_t at, uint8_t* bytes, size_t count) {
  if (file == INVALID_HANDLE_VALUE) return 0;
  size_t got = ReadFileAt(file, at, bytes, count);
  SeekTo(filePosition);
  return got;
}

namespace {

size_t ReadFollowed(void*, uint64_t at, uint8_t* bytes, size_t count) { return ReadFollowedBytes(at, bytes, count); }

}  // namespace

ByteReader FollowedBytesReader() { return ByteReader{nullptr, ReadFollowed}; }

uint64_t ViewLinesEpoch() { return linesEpoch; }

bool DecodedSpan(uint64_t* from, uint64_t* to) {
  if (file == INVALID_HANDLE_VALUE || checkpoints.empty()) return false;
  *from = checkpoints.front().offset, *to = checkpoints.back().offset;
  return true;
}

bool LineOfOffset(uint64_t offset, uint64_t* line, uint64_t countFrom, uint64_t countFromLine) {
  if (file == INVALID_HANDLE_VALUE || checkpoints.empty() || offset < checkpoints.front().offset ||
      offset > checkpoints.back().offset)
    return false;
  auto after = std::upper_bound(checkpoints.begin(), checkpoints.end(), offset,
                                [](uint64_t at, const LineCheckpoint& checkpoint) { return at < checkpoint.offset; });
  const LineCheckpoint& checkpoint = *(after - 1);
  if (countFrom < checkpoint.offset || countFrom > offset) countFrom = checkpoint.offset, countFromLine = checkpoint.line;
  *line = countFromLine + CountLineBreaks(FollowedReader(), countFrom, offset, charsetState.active, byteBuffer, kChunkBytes);
  SeekTo(filePosition);
  return true;
}

bool ViewLineStart(uint64_t line, uint64_t* offset) { return file != INVALID_HANDLE_VALUE && LineStartOf(line, offset); }
