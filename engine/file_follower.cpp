#include "engine/file_follower.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>

#include "core/line_starts.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
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

// Browsing: the view holds a stretch of lines that ends before the file's
// end; the file is watched, its new lines counted, not read into rows.
bool browsing = false;
uint64_t browseStart = 0;     // where the browsed stretch starts, hidden lines before its first row too
uint64_t stretchEnd = 0;      // where the browsed stretch's last line ends
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
};
std::deque<LineCheckpoint> checkpoints;

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
  FeedUnits(unitBuffer, DecodeKeepingCarry(charset, bytes, total, held, unitBuffer, carry, &carryCount, SystemConversions()),
            capacity);
  checkpoints.push_back({filePosition - carryCount, LinesFed(), false});
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
  OpenFile(path);
  filtersAcrossRotation = LineFilters{};
  return true;
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

// Rows stop at a whole line: the line being read when the stretch ended goes,
// and with it every line past the row limit.
void CutStretchAt(uint64_t line) {
  DropBatchedLinesFrom(line);
  uint64_t end;
  stretchEnd = LineStartOf(line, &end) ? end : filePosition;
  ResetPendingRow();
  ForgetReadState();
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

void RefreshAfterStretch() {
  if (engineHost.refreshSize) engineHost.refreshSize();
  if (engineHost.refreshStatus) engineHost.refreshStatus();
  if (TakeWidestRowChange()) UpdateHorizontalExtent();
  if (engineHost.fileChanged) engineHost.fileChanged();
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

bool OpenFile(const wchar_t* name) {
  if (name != requestedName) lstrcpynW(requestedName, name, int(kPathUnits));
  HANDLE opened = CreateFileW(requestedName, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  DWORD error = opened == INVALID_HANDLE_VALUE ? GetLastError() : RefusalOf(opened);
  if (opened != INVALID_HANDLE_VALUE && error) {
    CloseHandle(opened);
    opened = INVALID_HANDLE_VALUE;
  }
  if (opened == INVALID_HANDLE_VALUE) {
    if (engineHost.showError) engineHost.showError(kMsgOpenFailed, error);
    ArmFirstPoll();
    return false;
  }
  CloseFile();
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
  ArmFirstPoll();
  return true;
}

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
    ShowLineAt(from, 0);
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

uint64_t StretchStart() {
  if (file != INVALID_HANDLE_VALUE && browsing) return browseStart;
  const RowView& view = CurrentRowView();
  uint64_t start;
  if (file != INVALID_HANDLE_VALUE && ViewRows() && ViewLinesKnown(view) && LineStartOf(ViewRowLine(0), &start))
    return start;
  return StretchEnd();
}

int ShowLineAt(uint64_t lineStart, int rowsBefore) {
  uint64_t size;
  if (file == INVALID_HANDLE_VALUE || !FileSize(&size)) return -1;
  TakeEngineOptions();
  EngineOptions options = CurrentEngineOptions();
  size_t limit = std::max<uint32_t>(options.linesLimit, 1);
  uint32_t charset = charsetState.active;
  lineStart = AlignedToUnit(std::clamp(lineStart, dataStart, size));
  uint64_t from = rowsBefore > 0 ? StartOfLastLines(file, dataStart, lineStart, charset, size_t(rowsBefore)) : lineStart;
  EnterBrowsing();  // what following read stays watched from where it stopped
  EndDrain();
  EmptyView(true);
  ResetPendingRow();
  ForgetReadState();
  StartCheckpoints(from);
  uint64_t wanted = LinesFed() + CountLineBreaks(FollowedReader(), from, lineStart, charset, byteBuffer, kChunkBytes);
  browseStart = from;
  SeekTo(from);
  readPosition = from;
  // At least the kb limit's worth, and on to the wanted line whatever it takes.
  uint64_t enough = std::max(from + KbLimitBytes(), lineStart + 1);
  size_t capacity = RowCapacity();
  bool atEnd = false;
  KeepBatchFront(true);
  while (!atEnd && filePosition < enough && BatchedRows() <= limit)
    atEnd = ReadAndFeedChunk(capacity, enough - filePosition) == 0;
  if (!atEnd && filePosition >= size && carryCount == 0) atEnd = ReadAndFeedChunk(capacity) == 0;
  KeepBatchFront(false);
  if (atEnd && BatchedRows() <= limit) {
    // The stretch reaches the end: following goes on from here.
    browsing = false;
    linesArrived = 0;
    lastSize = size;
    EndOfPoll();
  } else {
    uint64_t cut = LinesFed();
    if (BatchedRows() > limit) cut = std::min(cut, std::max(BatchRowLine(limit), wanted + 1));
    CutStretchAt(cut);
    FlushRowsTo(CurrentRowView(), false, false);
  }
  RefreshAfterStretch();
  for (size_t row = 0; row < ViewRows(); ++row)
    if (ViewRowLine(row) >= wanted) return int(row);
  return -1;
}

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

// Where the stretch before the line at start begins: no more than the kb
// limit's worth back, unless a single line is longer; and, where every line
// makes a row, half the lines limit of lines back.
uint64_t StartOfEarlierStretch(uint64_t start, size_t half) {
  uint32_t charset = charsetState.active;
  uint64_t from = start - std::min(start - dataStart, KbLimitBytes());
  if (from > dataStart) from = std::min(FindFirstWholeLine(file, AlignedToUnit(from), charset), start);
  if (!CurrentLineFilters().count && !CurrentEngineOptions().cutEmpty)
    from = std::max(from, StartOfLastLines(file, dataStart, start, charset, half));
  return from < start ? from : StartOfLastLines(file, dataStart, start, charset, 1);
}

// Feeds the whole lines in [from, to) as the lines from firstLine on.
void FeedStretch(uint64_t from, uint64_t to, uint64_t firstLine) {
  SetLinesFed(firstLine);
  ResetPendingRow();
  ForgetReadState();
  SeekTo(from);
  size_t capacity = RowCapacity();
  size_t marked = checkpoints.size();
  KeepBatchFront(true);
  while (filePosition < to && ReadAndFeedChunk(capacity, to - filePosition) > 0) {}
  KeepBatchFront(false);
  checkpoints.resize(marked);  // they hold only the lines read in order
}

constexpr double kEarlierSearchMs = 100;

bool LoadEarlierRows() {
  const RowView& view = CurrentRowView();
  if (file == INVALID_HANDLE_VALUE) return false;
  if (continuing) EndOfPoll(), EndDrain();
  if (!ViewLinesKnown(view) || (!browsing && !ViewRows())) return false;
  TakeEngineOptions();
  size_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t half = std::max<size_t>(limit / 2, 1);
  uint32_t charset = charsetState.active;
  // Following, the first line may have lost its first rows to the row limit:
  // it comes again whole after the lines before it.
  uint64_t firstLine = ViewRows() ? ViewRowLine(0) : LinesFed();
  uint64_t start, end;
  if (browsing) start = browseStart;
  else if (!LineStartOf(firstLine, &start)) return false;
  if (start <= dataStart) return false;
  bool again = !browsing && firstLine < LinesFed() && LineStartOf(firstLine + 1, &end);
  uint64_t endNow = StretchEnd();
  ViewPlace place = TakeViewPlace();

  // Following goes on after this as if nothing had been read meanwhile.
  bool following = !browsing;
  uint8_t savedCarry[kMaxCarryBytes], savedTail[kTailCheckBytes];
  size_t savedCarryCount = carryCount, savedTailCount = tailCount;
  uint64_t savedPosition = filePosition, savedRead = readPosition;
  memcpy(savedCarry, carry, carryCount);
  memcpy(savedTail, tail, tailCount);
  if (following) SaveRowStream();

  // Stretch after stretch back, while the filters hide all they hold.
  LARGE_INTEGER began = Now();
  uint64_t from = start, fromLine = firstLine;
  do {
    uint64_t to = from;
    from = StartOfEarlierStretch(to, half);
    fromLine -= CountLineBreaks(FollowedReader(), from, to, charset, byteBuffer, kChunkBytes);
    DiscardBatchedRows();
    FeedStretch(from, to, fromLine);
  } while (!HasBatchedRows() && from > dataStart && MillisecondsSince(began) < kEarlierSearchMs);
  // Half the limit at most: the rows nearest the view's stay.
  if (BatchedRows() > half && BatchRowLine(0) < BatchRowLine(BatchedRows() - half)) {
    uint64_t keepFrom = BatchRowLine(BatchedRows() - half);
    DropBatchedLinesBefore(keepFrom);
    from = SkipLines(FollowedReader(), from, charset, keepFrom - fromLine, byteBuffer, kChunkBytes);
    fromLine = keepFrom;
  }
  size_t newRows = BatchedRows();
  if (again) {
    FeedStretch(start, end, firstLine);
    again = BatchedRows() > newRows;  // else the line is hidden now: it stays
  }
  checkpoints.push_front({from, fromLine, true});
  browseStart = from;

  SuspendViewRedraw();
  size_t removed = again ? RemoveFirstViewLine(view) : 0;
  uint64_t dropped;
  size_t inserted = PrependRowsTo(view, limit, &dropped);
  memcpy(tail, savedTail, savedTailCount);
  tailCount = savedTailCount;
  filePosition = savedPosition;
  // A view that keeps its last rows still ends at the file's end, unless no
  // row came in to tell where the stretch now starts.
  if (dropped != kNoLine || newRows == 0) {
    EnterBrowsing();
    uint64_t cutAt;
    stretchEnd = dropped != kNoLine && LineStartOf(dropped, &cutAt) ? cutAt : endNow;
  }
  if (following && !browsing) {
    RestoreRowStream();
    memcpy(carry, savedCarry, savedCarryCount);
    carryCount = savedCarryCount;
    readPosition = savedRead;
  } else {
    ResetPendingRow();
    ForgetReadState();
    SetLinesFed(ViewRows() ? ViewRowLine(ViewRows() - 1) + 1 : firstLine);
  }
  SeekTo(savedPosition);
  RestoreViewPlace(place, int(inserted) - int(removed), false);
  ResumeViewRedraw();
  RefreshAfterStretch();
  return true;
}

bool LoadLaterRows() {
  const RowView& view = CurrentRowView();
  if (file == INVALID_HANDLE_VALUE || !browsing || !ViewLinesKnown(view)) return false;
  size_t limit = std::max<uint32_t>(CurrentEngineOptions().linesLimit, 1);
  size_t rows = ViewRows();
  // The last half of the view's rows stay, at the top now, and the lines
  // after them follow.
  size_t kept = rows > limit / 2 ? rows - limit / 2 : 0;
  while (kept > 0 && ViewRowLine(kept - 1) == ViewRowLine(kept)) --kept;
  uint64_t from = stretchEnd;
  if (kept < rows && !LineStartOf(ViewRowLine(kept), &from)) return false;
  ViewPlace place = TakeViewPlace();
  SuspendViewRedraw();
  ShowLineAt(from, 0);
  RestoreViewPlace(place, -int(kept), true);
  ResumeViewRedraw();
  return true;
}

void LoadStartOfFile() {
  if (file == INVALID_HANDLE_VALUE) return;
  ShowLineAt(dataStart, 0);
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
