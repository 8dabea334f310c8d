#include "commands/find.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "commands/overview.h"
#include "core/line_search.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/highlight_rules.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/main_frame.h"

namespace {

wchar_t findText[kFindTextUnits + 1];
bool searchDown = true;
bool wholeWord = false;
bool matchCase = false;
bool useRegex = false;   // kept while the program runs, as whole file
bool wholeFile = false;
// The dialog opens with Down chosen and whole word and match case cleared;
// these take effect with its first search.
// Set when the dialog opens: the first search then includes the current row.
bool firstSearchPending = false;
HWND findDialog = nullptr;
wchar_t rowText[kMaxRowUnits + 1];

// A search through the file: one at a time, its state held by the window and
// by its thread. The thread writes the outcome, then sets ended, then posts;
// the window reads it only once ended is set. Stopping waits for the thread a
// moment only: a read stalled on a share goes on alone, and whichever of the
// two lets go of the state last frees it.
constexpr size_t kScanBytes = size_t(4) << 20;
constexpr DWORD kProgressEveryMs = 100;
constexpr DWORD kStopWaitMs = 100;
// One file of the view, searched in turn: a merged view's files each past
// their part of the view.
struct SearchPart {
  HANDLE file = INVALID_HANDLE_VALUE;  // our own: the follower's handle has its position in use
  uint32_t viewFile = 0;
  uint64_t from = 0, limit = 0;  // down: from to limit; up: from back to limit
  size_t fromUnit = 0;           // the view searched the line at from up to (down) or from (up) this unit
  uint32_t charset = 0;
  LinePattern* pattern = nullptr;
  ScanEnd outcome = ScanEnd::kNone;
  FoundLine found;
};
struct FileSearch {
  HWND window = nullptr;
  WPARAM number = 0;
  bool down = true;
  std::vector<SearchPart> parts;
  std::atomic<size_t> current{0};  // the part being searched
  std::unique_ptr<FilterStack> filters;
  std::unique_ptr<uint8_t[]> bytes;
  std::unique_ptr<TextUnit[]> units;
  DWORD lastProgress = 0;
  std::atomic<int> holders{1};
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};
  std::atomic<uint64_t> reached{0};
};
FileSearch* fileSearch = nullptr;
HANDLE searchThread = nullptr;
WPARAM lastSearchNumber = 0;

void LetGoOf(FileSearch* search) {
  if (search->holders.fetch_sub(1) != 1) return;
  for (SearchPart& part : search->parts) {
    if (part.file != INVALID_HANDLE_VALUE) CloseHandle(part.file);
    FreeLinePattern(part.pattern);
  }
  if (search->filters) ClearFilterStack(search->filters.get());
  delete search;
}

// The caret row, or 0 when the view has none.
int CurrentRow(HWND view) {
  LRESULT caret = SendMessageW(view, LB_GETCARETINDEX, 0, 0);
  return caret == LB_ERR || caret < 0 ? 0 : int(caret);
}

int RowCount() {
  LRESULT count = engineHost.view ? SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) : 0;
  return count == LB_ERR || count < 0 ? 0 : int(count);
}

FindQuery CurrentQuery() {
  FindQuery query;
  CopyText(query.text, AsText(findText), kFindTextUnits + 1);
  query.matchCase = matchCase, query.wholeWord = wholeWord, query.regex = useRegex;
  return query;
}

// The first row in [first, end) stepping by step that holds a match, or -1.
int MatchingRow(int first, int end, int step) {
  HWND view = engineHost.view;
  FindQuery query = CurrentQuery();
  Regex* regex = nullptr;
  if (useRegex && !(regex = CompileRegex(query.text, TextLength(query.text), matchCase, wholeWord, nullptr)))
    return -1;
  int found = -1;
  for (int row = first; row != end && found < 0; row += step) {
    size_t length = ReadViewRow(view, row, rowText);
    bool match = regex ? SearchRegex(regex, AsText(rowText), length, 0, nullptr) == RegexSearch::kMatch
                       : RowMatches(AsText(rowText), length, query.text, matchCase, wholeWord);
    if (match) found = row;
  }
  FreeRegex(regex);
  return found;
}

void HideSearchProgress() {
  if (engineHost.progress && !PollContinues()) ShowWindow(engineHost.progress, SW_HIDE);
}

// Range and position in units of 64 KiB, the bar filling the way the search goes.
void ShowSearchProgress(const FileSearch& search) {
  HWND bar = engineHost.progress;
  if (!bar || search.parts.empty()) return;
  const SearchPart& part = search.parts[std::min(search.current.load(), search.parts.size() - 1)];
  uint64_t low = std::min(part.from, part.limit), high = std::max(part.from, part.limit);
  uint64_t reached = std::clamp(search.reached.load(), low, high);
  uint64_t done = search.down ? reached - low : high - reached;
  SendMessageW(bar, PBM_SETRANGE32, 0, LPARAM((high - low) >> 16));
  SendMessageW(bar, PBM_SETPOS, WPARAM(done >> 16), 0);
  ShowWindow(bar, SW_SHOWNA);
}

void ReleaseFileSearch() {
  if (searchThread) {
    fileSearch->stop = true;
    WaitForSingleObject(searchThread, kStopWaitMs);
    CloseHandle(searchThread);
    searchThread = nullptr;
  }
  if (fileSearch) LetGoOf(std::exchange(fileSearch, nullptr));
  HideSearchProgress();
}

bool SearchGoesOn(void* context, uint64_t at) {
  auto* search = static_cast<FileSearch*>(context);
  search->reached = at;
  if (GetTickCount() - search->lastProgress >= kProgressEveryMs) {
    search->lastProgress = GetTickCount();
    PostMessageW(search->window, kFileSearchMessage, search->number, 0);
  }
  return !search->stop;
}

DWORD WINAPI SearchThread(void* context) {
  auto* search = static_cast<FileSearch*>(context);
  for (size_t i = 0; i < search->parts.size() && !search->stop; ++i) {
    SearchPart& part = search->parts[i];
    search->current = i;
    search->reached = part.from;
    LineScan scan{HandleReader(part.file), part.charset, &SystemConversions(), part.pattern, search->filters.get(),
                  search->bytes.get(), kScanBytes, search->units.get(), SearchGoesOn, search};
    part.outcome = search->down ? FindLineDown(scan, part.from, part.limit, &part.found, part.fromUnit)
                                : FindLineUp(scan, part.limit, part.from, &part.found, part.fromUnit);
  }
  search->ended = true;
  PostMessageW(search->window, kFileSearchMessage, search->number, 0);
  LetGoOf(search);
  return 0;
}

// Our own handle on a file of the view: reopened from the follower's, else
// opened by its path, but only while the path still names the same file.
HANDLE OpenSearchedFile(uint32_t index) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE followed = ViewFileHandle(index);
  HANDLE own = ReOpenFile(followed, GENERIC_READ, kShareAll, FILE_FLAG_SEQUENTIAL_SCAN);
  if (own != INVALID_HANDLE_VALUE) return own;
  own = CreateFileW(ViewFilePath(index), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                    nullptr);
  FileIdentity held, opened;
  if (own != INVALID_HANDLE_VALUE &&
      (!ReadFileIdentity(followed, &held) || !ReadFileIdentity(own, &opened) || !(held == opened))) {
    CloseHandle(own);
    own = INVALID_HANDLE_VALUE;
  }
  return own;
}

// The part of a file of the view past the loaded stretch: down from its end
// to the file's size now, up from its start to the first line after the
// byte-order mark. False when there is nothing there.
bool PreparePart(uint32_t index, bool down, SearchPart* part) {
  const CharsetState& charset = ViewFileCharset(index);
  uint64_t floor = charset.detected && charset.detected == charset.active ? charset.bomLength : 0;
  uint64_t start, startUnit, end;
  if (ViewMerges()) {
    if (!ViewFileSpan(index, &start, &startUnit, &end)) return false;
  } else {
    // Either end of the view may lie inside a line: the rest of it is searched.
    start = StretchStart(), startUnit = StretchStartUnit(), end = StretchEnd();
  }
  HANDLE file = OpenSearchedFile(index);
  LARGE_INTEGER size{};
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return false;
  }
  part->file = file;
  part->viewFile = index;
  part->from = down ? end : start;
  part->fromUnit = down ? (ViewMerges() ? 0 : StretchEndUnit()) : startUnit;
  part->limit = down ? uint64_t(size.QuadPart) : floor;
  part->charset = charset.active;
  part->pattern = MakeLinePattern(CurrentQuery(), part->charset, nullptr);
  return down ? part->from < part->limit : part->from > part->limit || part->fromUnit;
}

// Goes on past the loaded stretch through every file of the view. False when
// there is nothing there or the search could not start.
bool StartFileSearch(HWND window) {
  if (!FileIsOpen() || !window) return false;
  auto* search = new (std::nothrow) FileSearch;
  if (!search) return false;
  fileSearch = search;
  search->window = window;
  search->number = ++lastSearchNumber;
  search->down = searchDown;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) {
    search->parts.emplace_back();
    if (!PreparePart(i, searchDown, &search->parts.back()) || !search->parts.back().pattern) {
      if (search->parts.back().file != INVALID_HANDLE_VALUE) CloseHandle(search->parts.back().file);
      FreeLinePattern(search->parts.back().pattern);
      search->parts.pop_back();
    }
  }
  search->reached = search->parts.empty() ? 0 : search->parts[0].from;
  search->lastProgress = GetTickCount();
  search->filters.reset(new (std::nothrow) FilterStack);
  search->bytes.reset(new (std::nothrow) uint8_t[kScanBytes]);
  search->units.reset(new (std::nothrow) TextUnit[kScanBytes + kChunkUnits]);
  if (search->parts.empty() || !search->filters || !search->bytes || !search->units) {
    ReleaseFileSearch();
    return false;
  }
  BuildFilterStack(search->filters.get(), CurrentLineFilters(), nullptr, true);
  search->holders = 2;  // the thread's share
  searchThread = CreateThread(nullptr, 0, SearchThread, search, 0, nullptr);
  if (!searchThread) {
    search->holders = 1;
    ReleaseFileSearch();
    return false;
  }
  ShowSearchProgress(*search);
  return true;
}

// The line found: loaded with rows before it, and the row where the match
// starts selected.
void ShowFoundLine(uint32_t viewFile, const FoundLine& line) {
  int row = ViewMerges() ? ShowViewFileLine(viewFile, line.start, line.matchUnit, 4) : ShowLineAt(line.start, line.matchUnit, 4);
  if (row < 0 || row >= RowCount()) MessageBeep(MB_OK);
  else ShowRow(row);
}

// Tests the rows from the current one on in the search direction; there is
// no wrap-around: a miss goes on through the file with "Whole file", else
// only beeps.
void Search(HWND window) {
  HWND view = engineHost.view;
  if (!view || !findText[0]) return;
  CancelFileSearch();
  int count = RowCount();
  int step = searchDown ? 1 : -1;
  // A view emptied while the dialog stays open (Close) has no row to test.
  int row = count > 0 ? std::clamp(CurrentRow(view), 0, count - 1) + (firstSearchPending ? 0 : step) : -1;
  firstSearchPending = false;
  int found = row >= 0 && row < count ? MatchingRow(row, searchDown ? count : -1, step) : -1;
  if (found >= 0) ShowRow(found);
  else if (!wholeFile || !StartFileSearch(window)) MessageBeep(MB_OK);
  RefreshOverview();  // it marks where the text is now looked for
}

void FocusView() {
  if (engineHost.view) SetFocus(engineHost.view);
}

void OnFindInit(HWND dialog) {
  SendDlgItemMessageW(dialog, IDC_FIND_TEXT, EM_LIMITTEXT, kFindTextUnits, 0);
  SetDlgItemTextW(dialog, IDC_FIND_TEXT, findText);
  CheckRadioButton(dialog, IDC_FIND_UP, IDC_FIND_DOWN, IDC_FIND_DOWN);
  CheckDlgButton(dialog, IDC_FIND_REGEX, useRegex ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_FIND_WHOLE_FILE, wholeFile ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, IDOK), findText[0] != 0);
}

// A regular expression that does not compile keeps the dialog open on it.
void OnFindNext(HWND dialog) {
  wchar_t typed[kFindTextUnits + 1] = L"";
  GetDlgItemTextW(dialog, IDC_FIND_TEXT, typed, int(kFindTextUnits + 1));
  bool regex = IsDlgButtonChecked(dialog, IDC_FIND_REGEX) == BST_CHECKED;
  bool word = IsDlgButtonChecked(dialog, IDC_FIND_WHOLE_WORD) == BST_CHECKED;
  bool exact = IsDlgButtonChecked(dialog, IDC_FIND_MATCH_CASE) == BST_CHECKED;
  if (!typed[0] || (regex && RefusedRegex(dialog, IDC_FIND_TEXT, AsText(typed), wcslen(typed), exact, word))) return;
  wcscpy(findText, typed);
  useRegex = regex, wholeWord = word, matchCase = exact;
  searchDown = IsDlgButtonChecked(dialog, IDC_FIND_DOWN) == BST_CHECKED;
  wholeFile = IsDlgButtonChecked(dialog, IDC_FIND_WHOLE_FILE) == BST_CHECKED;
  Search(GetWindow(dialog, GW_OWNER));
}

// The main window takes input again before the dialog goes, so that it is
// the one activated.
void CloseFindDialog(HWND dialog) {
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner) EnableWindow(owner, TRUE);
  dialogFocusWindow = owner;
  findDialog = nullptr;
  HideTrackingTooltip();
  DestroyWindow(dialog);
  FocusView();
}

INT_PTR CALLBACK FindProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnFindInit(dialog); break;
    case WM_CLOSE: CloseFindDialog(dialog); return TRUE;
    case WM_DESTROY:
      if (findDialog == dialog) CloseFindDialog(dialog);
      break;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDCANCEL) return CloseFindDialog(dialog), TRUE;
      if (LOWORD(wparam) == IDOK) return OnFindNext(dialog), TRUE;
      if (LOWORD(wparam) == IDC_FIND_TEXT && HIWORD(wparam) == EN_CHANGE)
        EnableWindow(GetDlgItem(dialog, IDOK), GetWindowTextLengthW(GetDlgItem(dialog, IDC_FIND_TEXT)) > 0);
      break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

void OnGoToInit(HWND dialog) {
  LRESULT caret = engineHost.view ? SendMessageW(engineHost.view, LB_GETCARETINDEX, 0, 0) : LB_ERR;
  SetDlgItemInt(dialog, IDC_ROW_NUMBER, caret == LB_ERR || caret < 0 ? 0 : UINT(caret) + 1, FALSE);
}

// A number outside the rows keeps the dialog open for another try.
void OnGoToAccept(HWND dialog) {
  BOOL read = FALSE;
  UINT number = GetDlgItemInt(dialog, IDC_ROW_NUMBER, &read, FALSE);
  if (read && number >= 1 && number <= UINT(RowCount())) EndDialog(dialog, INT_PTR(number));
  else MessageBeep(MB_OK);
}

INT_PTR CALLBACK GoToRowProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) OnGoToInit(dialog);
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) OnGoToAccept(dialog);
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

void ShowRow(int index) {
  HWND view = engineHost.view;
  if (!view) return;
  SendMessageW(view, LB_SETTOPINDEX, WPARAM(index < 5 ? 0 : index - 4), 0);
  SendMessageW(view, LB_SETCARETINDEX, WPARAM(index), FALSE);
  SendMessageW(view, LB_SETSEL, FALSE, -1);
  SendMessageW(view, LB_SETSEL, TRUE, LPARAM(index));
  RefreshStatus();
}

bool FindBoxQuery(FindQuery* query) {
  if (!findText[0]) return false;
  *query = CurrentQuery();
  return true;
}

void ShowFindDialog(HWND window) {
  if (findDialog && IsWindow(findDialog)) {
    SetActiveWindow(findDialog);
    return;
  }
  firstSearchPending = true;
  HWND dialog = CreateModelessDialog(window, IDD_FIND, FindProc);
  findDialog = dialog;
  if (dialog) {
    dialogFocusWindow = dialog;
    EnableWindow(window, FALSE);
  }
  FocusView();
}

void FindNextRow(HWND window) { Search(window); }

void ForgetFindText() { findText[0] = L'\0'; }

// Only the search started last, and only once its thread has said it ended:
// any process may post this message.
void HandleFileSearchMessage(WPARAM number) {
  if (!fileSearch || number != fileSearch->number) return;
  if (!fileSearch->ended) {
    ShowSearchProgress(*fileSearch);
    return;
  }
  // Of the files' finds, the next in the merged order the search goes in.
  const SearchPart* chosen = nullptr;
  int64_t chosenStamp = 0;
  bool stopped = false;
  for (const SearchPart& part : fileSearch->parts) {
    stopped = stopped || part.outcome == ScanEnd::kStopped;
    if (part.outcome != ScanEnd::kFound) continue;
    int64_t stamp = fileSearch->parts.size() > 1 ? ViewFileLineStamp(part.viewFile, part.found.start) : 0;
    bool earlier = stamp < chosenStamp || (stamp == chosenStamp && chosen && part.viewFile < chosen->viewFile);
    if (!chosen || earlier == fileSearch->down) chosen = &part, chosenStamp = stamp;
  }
  uint32_t viewFile = chosen ? chosen->viewFile : 0;
  FoundLine line = chosen ? chosen->found : FoundLine{};
  ReleaseFileSearch();
  if (chosen) ShowFoundLine(viewFile, line);
  else if (!stopped) MessageBeep(MB_OK);
}

bool CancelFileSearch() {
  if (!fileSearch) return false;
  ReleaseFileSearch();
  return true;
}

bool FileSearchRunning() { return fileSearch != nullptr; }

void ShowGoToRowDialog(HWND window) {
  INT_PTR number = ShowDialog(window, IDD_GOTO_ROW, GoToRowProc);
  if (number > 0 && number <= RowCount()) ShowRow(int(number - 1));
  FocusView();
}
