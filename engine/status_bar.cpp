#include "engine/status_bar.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <iterator>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/highlight_rules.h"
#include "engine/row_builder.h"
#include "engine/wide_text.h"
#include "resources/resource_ids.h"

namespace {

constexpr size_t kPaneTextUnits = 64;
constexpr size_t kTitleUnits = 260;
constexpr size_t kSizeTextBytes = 64;
constexpr size_t kSizeTipUnits = 256;
// Longer than the pane is wide, so the text counts as cut off and its tip shows.
constexpr size_t kSizeTextWidth = 63;
constexpr wchar_t kNoticeText[] = L"\u00A9                ";  // the sign and 16 blanks

constexpr UINT kFileCommands[] = {IDM_PRINT,    IDM_FILE_CLOSE, IDM_PAUSE,       IDM_COPY,
                                  IDM_SELECT_ALL, IDM_FIND,     IDM_FIND_NEXT,   IDM_GOTO_LINE,
                                  IDM_LOCK_SCROLL, IDM_RELOAD,     IDM_FILTER,      IDM_CLEAR_FILTER,
                                  IDM_GOTO_TIME,  IDM_LOAD_EARLIER, IDM_START_OF_FILE, IDM_BACK_TO_END,
                                  IDM_TOGGLE_BOOKMARK, IDM_NEXT_BOOKMARK, IDM_PREVIOUS_BOOKMARK,
                                  IDM_CLEAR_BOOKMARKS, IDM_FILES_IN_VIEW};

StatusIcons icons{};
wchar_t fileTitle[kFileTitleUnits];
char shownSize[kSizeTextBytes];  // pane 6's text as last written, unpadded

const wchar_t* TextOf(UINT id) {
  const wchar_t* text = HostText(id);
  return text ? text : L"";
}

bool ScrollLockOn() { return (GetKeyState(VK_SCROLL) & 1) != 0; }

HMENU HostMenu() { return engineHost.menu; }

void RefreshFilePane();

constexpr size_t kFilterListUnits = kMaxFilters * (kFilterPatternUnits + 32) + 128;

// Appends text, cut at the capacity; at counts the units written.
void AppendCut(wchar_t* out, size_t capacity, size_t& at, const wchar_t* text) {
  if (text) at += FormatPaneText(L"%s", &text, 1, out + at, capacity - at);
}

void AppendFormatted(wchar_t* out, size_t capacity, size_t& at, UINT formatId, const wchar_t* argument) {
  at += FormatPaneText(HostText(formatId), &argument, 1, out + at, capacity - at);
}

// A filter's pattern, a regular expression between slashes.
void AppendPattern(wchar_t* out, size_t capacity, size_t& at, const LineFilter& filter, UINT plainFormatId) {
  const wchar_t* pattern = AsWide(filter.pattern);
  if (filter.regex) {
    AppendCut(out, capacity, at, L"/");
    AppendCut(out, capacity, at, pattern);
    AppendCut(out, capacity, at, L"/");
  } else if (plainFormatId) {
    AppendFormatted(out, capacity, at, plainFormatId, pattern);
  } else {
    AppendCut(out, capacity, at, pattern);
  }
}

// The title's label: "[ERROR, /WARN(ING)?/, not heartbeat]".
void FormatFilterLabel(const LineFilters& filters, wchar_t* out, size_t capacity) {
  static wchar_t list[kFilterListUnits];
  size_t at = 0;
  for (int i = 0; i < filters.count; ++i) {
    if (i > 0) AppendCut(list, kFilterListUnits, at, L", ");
    at += FormatFilterItem(filters.items[i], list + at, kFilterListUnits - at);
  }
  const wchar_t* args[] = {list};
  FormatPaneText(HostText(IDS_FILTER_TITLE_SHOW), args, 1, out, capacity);
}

// The row pane's tip names every filter in full: the shown lines' patterns,
// then the hidden ones', with their case.
void FormatFilterTip(const LineFilters& filters, wchar_t* out, size_t capacity) {
  static wchar_t list[kFilterListUnits];
  size_t at = 0;
  *out = 0;
  for (bool hide : {false, true}) {
    size_t listAt = 0;
    for (int i = 0; i < filters.count; ++i) {
      const LineFilter& filter = filters.items[i];
      if (filter.hide != hide) continue;
      if (listAt) AppendCut(list, kFilterListUnits, listAt, HostText(IDS_FILTER_TIP_OR));
      AppendPattern(list, kFilterListUnits, listAt, filter, IDS_FILTER_TIP_TEXT);
      if (filter.matchCase) AppendCut(list, kFilterListUnits, listAt, HostText(IDS_FILTER_TIP_CASE));
    }
    if (!listAt) continue;
    if (at) AppendCut(out, capacity, at, L"; ");
    AppendFormatted(out, capacity, at, hide ? IDS_FILTER_TIP_HIDE : IDS_FILTER_TIP_SHOW, list);
  }
}

void SetPaneText(int pane, const wchar_t* text) {
  SendMessageW(engineHost.statusBar, SB_SETTEXTW, WPARAM(pane), LPARAM(text));
}

void SetPaneTip(int pane, const wchar_t* text) {
  SendMessageW(engineHost.statusBar, SB_SETTIPTEXTW, WPARAM(pane), LPARAM(text));
}

void SetPane(int pane, const wchar_t* text) {
  if (!engineHost.statusBar) return;
  SetPaneText(pane, text);
  SetPaneTip(pane, text);
}

// Setting an icon repaints the pane, so an unchanged one is left alone.
void SetPaneIcon(int pane, HICON icon) {
  if (!engineHost.statusBar) return;
  if (HICON(SendMessageW(engineHost.statusBar, SB_GETICON, WPARAM(pane), 0)) == icon) return;
  SendMessageW(engineHost.statusBar, SB_SETICON, WPARAM(pane), LPARAM(icon));
}

void SetCountPane(int pane, UINT formatId, unsigned value) {
  wchar_t number[12];
  DecimalText(value, AsText(number));
  const wchar_t* args[] = {number};
  wchar_t text[kPaneTextUnits];
  FormatPaneText(HostText(formatId), args, 1, text, kPaneTextUnits);
  SetPane(pane, text);
}

// A new file or none: the next size update writes pane 6 whatever its text.
void ClearSizePane() {
  shownSize[0] = 0;
  SetPane(kPaneSize, L"");
}

// Appends a count (lines or rows too costly to match, lines that arrived while
// browsing) when there is one.
void AppendCount(wchar_t* tip, size_t capacity, size_t& length, uint32_t hits, UINT formatId) {
  if (!hits) return;
  if (length) AppendCut(tip, capacity, length, L" \u2013 ");
  wchar_t number[12];
  DecimalText(hits, AsText(number));
  AppendFormatted(tip, capacity, length, formatId, number);
}

// The rows pane's tip tells the filters, the loaded lines of each level, and the lines a filter and the rows
// a rule were too costly to match, while there are any; else it stays the
// pane's text.
void RefreshRowCountTip() {
  static wchar_t tip[kFilterListUnits + 256];
  size_t length = 0;
  tip[0] = 0;
  if (const LineFilters& filters = CurrentLineFilters(); filters.count) {
    FormatFilterTip(filters, tip, std::size(tip));
    length = wcslen(tip);
  }
  // The loaded lines that state each level, the gravest first.
  const uint32_t* levelLines = ViewLevelLines();
  const LogLevel levels[] = {LogLevel::kFatal, LogLevel::kError, LogLevel::kWarning, LogLevel::kInfo, LogLevel::kDebug};
  for (size_t i = 0; i < std::size(levels); ++i)
    AppendCount(tip, std::size(tip), length, levelLines[size_t(levels[i])], UINT(IDS_LEVEL_LINES_FATAL + i));
  AppendCount(tip, std::size(tip), length, FilterBoundHitLines(), IDS_FILTERS_BOUND_TIP);
  AppendCount(tip, std::size(tip), length, BoundHitRows(), IDS_RULES_BOUND_TIP);
  AppendCount(tip, std::size(tip), length, uint32_t(std::min<uint64_t>(LinesArrivedWhileBrowsing(), UINT32_MAX)),
                  IDS_PANE_NEW_LINES);
  if (length) SetPaneTip(kPaneRowCount, tip);
}

void CopyFollowedPath(HWND owner) {
  if (!FileIsOpen()) return;
  const wchar_t* path = FollowedPath();
  size_t bytes = (wcslen(path) + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!block) return;
  void* data = GlobalLock(block);
  if (!data) {
    GlobalFree(block);
    return;
  }
  memcpy(data, path, bytes);
  GlobalUnlock(block);
  if (!OpenClipboard(owner)) {
    GlobalFree(block);
    return;
  }
  bool accepted = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  if (!accepted) {
    GlobalFree(block);  // still ours when the clipboard refused it
    return;
  }
  MessageBeep(MB_ICONASTERISK);
}


}  // namespace

size_t FormatPaneText(const wchar_t* format, const wchar_t* const* args, size_t argCount,
                      wchar_t* out, size_t capacity) {
  if (capacity == 0) return 0;
  size_t length = 0;
  size_t next = 0;
  auto put = [&](wchar_t c) {
    if (length + 1 < capacity) out[length++] = c;
  };
  for (const wchar_t* p = format ? format : L""; *p; ++p) {
    if (p[0] == L'%' && p[1] == L'%') {
      put(L'%');
      ++p;
    } else if (p[0] == L'%' && (p[1] == L's' || p[1] == L'u')) {
      const wchar_t* arg = next < argCount && args[next] ? args[next] : L"";
      ++next;
      while (*arg) put(*arg++);
      ++p;
    } else {
      put(*p);
    }
  }
  out[length] = 0;
  return length;
}

void FileTitleOf(const wchar_t* name, wchar_t* title, size_t capacity) {
  if (capacity == 0) return;
  title[0] = 0;
  if (!name) return;
  WORD size = capacity > 0xFFFF ? 0xFFFF : WORD(capacity);
  if (GetFileTitleW(name, title, size) == 0 && title[0]) return;
  // Either separator may end a directory; a name ending in one keeps it whole.
  const wchar_t* start = name;
  for (const wchar_t* p = name; *p; ++p)
    if ((*p == L'\\' || *p == L'/') && p[1]) start = p + 1;
  lstrcpynW(title, start, int(capacity > 0x7FFFFFFF ? 0x7FFFFFFF : capacity));
}

const wchar_t* CurrentFileTitle() { return fileTitle; }

void SetStatusIcons(const StatusIcons& given) { icons = given; }

void InitNoticePane() {
  if (!engineHost.statusBar) return;
  SetPaneText(kPaneNotice, kNoticeText);
  SetPaneTip(kPaneNotice, TextOf(IDS_MAKER_NOTICE));
}

size_t FormatFilterItem(const LineFilter& filter, wchar_t* out, size_t capacity) {
  wchar_t item[kFilterPatternUnits + 2];
  size_t itemAt = 0, at = 0;
  AppendPattern(item, std::size(item), itemAt, filter, 0);
  if (filter.hide) AppendFormatted(out, capacity, at, IDS_FILTER_TITLE_HIDE, item);
  else AppendCut(out, capacity, at, item);
  return at;
}

void RefreshStatus() {
  if (!engineHost.statusBar) return;
  HWND view = engineHost.view;
  bool open = FileIsOpen();
  if (open) {
    LRESULT current = view ? SendMessageW(view, LB_GETCURSEL, 0, 0) : LB_ERR;
    SetCountPane(kPaneRow, IDS_PANE_ROW, current < 0 ? 0u : unsigned(current) + 1);
  } else {
    SetPane(kPaneRow, L"");
  }
  if (open && ViewMerges()) RefreshFilePane();
  LRESULT rows = view ? SendMessageW(view, LB_GETCOUNT, 0, 0) : 0;
  SetCountPane(kPaneRowCount, IDS_PANE_ROW_COUNT, rows < 0 ? 0u : unsigned(rows));
  RefreshRowCountTip();

  bool unfinished = PendingRowLength() > 0;
  SetPaneIcon(kPaneUnfinished, unfinished ? icons.unfinished : nullptr);
  SetPane(kPaneUnfinished, unfinished ? TextOf(IDS_PANE_UNFINISHED) : L"");

  if (!open) {
    SetPaneIcon(kPaneFollow, nullptr);
    SetPane(kPaneFollow, L"");
  } else if (Browsing()) {
    SetPaneIcon(kPaneFollow, icons.browse);
    SetPane(kPaneFollow, TextOf(IDS_PANE_BROWSING));
  } else if (FollowingPaused()) {
    SetPaneIcon(kPaneFollow, icons.pause);
    SetPane(kPaneFollow, TextOf(IDS_PANE_PAUSED));
  } else {
    SetPaneIcon(kPaneFollow, icons.play);
    SetPane(kPaneFollow, TextOf(IDS_PANE_FOLLOWING));
  }
}

void ShowStatusFile(const wchar_t* shownPath) {
  const wchar_t* name = shownPath ? shownPath : L"";
  FileTitleOf(name, fileTitle, kFileTitleUnits);
  SetPaneIcon(kPaneFile, icons.file);
  SetPane(kPaneFile, name);
  ClearSizePane();
  if (!engineHost.window) return;
  RefreshTitle();
  ApplyFileMenuStates(HostMenu(), true);
}

namespace {

uint32_t shownViewFile = ~0u;  // the file pane 0 shows in a merged view
constexpr size_t kTipUnits = 2048;
wchar_t tipShown[kTipUnits];    // and its tip

// Pane 0 of a merged view: the caret row's file; its tip, every file with its size.
void RefreshFilePane() {
  uint32_t file = CaretViewFile();
  static wchar_t shown[kPathUnits];
  if (file != shownViewFile) {
    shownViewFile = file;
    ShownPathOf(ViewFilePath(file), shown, kPathUnits);
    SetPaneText(kPaneFile, shown);
    UpdateCharsetMenu(HostMenu());
    UpdateStatusSize();
  }
  // The tip as it is now (a file may have stopped answering); set when it changed.
  static wchar_t tip[kTipUnits];
  size_t at = 0;
  tip[0] = 0;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) {
    if (i) AppendCut(tip, kTipUnits, at, L"; ");
    ShownPathOf(ViewFilePath(i), shown, kPathUnits);
    wchar_t size[kPaneTextUnits] = L"";
    if (ViewFileOpen(i) && !StrFormatByteSizeW(LONGLONG(ViewFileSize(i)), size, UINT(kPaneTextUnits))) size[0] = 0;
    const wchar_t* args[] = {shown, size};
    UINT format = ViewFileStalled(i) ? IDS_VIEW_FILE_STALLED : ViewFileOpen(i) ? IDS_VIEW_FILE_TIP : IDS_VIEW_FILE_MISSING;
    at += FormatPaneText(HostText(format), args, 2, tip + at, kTipUnits - at);
  }
  if (wcscmp(tip, tipShown) == 0) return;
  wcscpy(tipShown, tip);
  SetPaneTip(kPaneFile, tip);
}

}  // namespace

void ViewFileTitle(uint32_t index, wchar_t* title, size_t capacity) {
  static wchar_t shown[kPathUnits];
  ShownPathOf(ViewFilePath(index), shown, kPathUnits);
  FileTitleOf(shown, title, capacity);
}

size_t LongestViewFileName() {
  static wchar_t name[kFileTitleUnits];
  size_t longest = 0;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) {
    ViewFileTitle(i, name, kFileTitleUnits);
    longest = std::max(longest, wcslen(name));
  }
  return longest;
}

void ViewNameOf(const wchar_t* const* paths, size_t count, wchar_t* out, size_t capacity) {
  static wchar_t shown[kPathUnits];
  wchar_t first[kFileTitleUnits] = L"", second[kFileTitleUnits] = L"";
  if (capacity == 0) return;
  out[0] = 0;
  if (count == 0) return;
  ShownPathOf(paths[0], shown, kPathUnits);
  FileTitleOf(shown, count == 1 ? out : first, count == 1 ? capacity : kFileTitleUnits);
  if (count == 1) return;
  if (count == 2) ShownPathOf(paths[1], shown, kPathUnits), FileTitleOf(shown, second, kFileTitleUnits);
  else DecimalText(uint32_t(count - 1), AsText(second));
  const wchar_t* args[] = {first, second};
  FormatPaneText(HostText(count == 2 ? IDS_TITLE_TWO_FILES : IDS_TITLE_MORE_FILES), args, 2, out, capacity);
}

void ShowViewFiles() {
  shownViewFile = ~0u;
  tipShown[0] = 0;
  uint32_t files = ViewFileCount();
  if (files == 0) return;
  if (files == 1) {
    static wchar_t shown[kPathUnits];
    ShownPathOf(ViewFilePath(0), shown, kPathUnits);
    ShowStatusFile(shown);
    return;
  }
  const wchar_t* paths[kMaxViewFiles];
  for (uint32_t i = 0; i < files; ++i) paths[i] = ViewFilePath(i);
  ViewNameOf(paths, files, fileTitle, kFileTitleUnits);
  SetPaneIcon(kPaneFile, icons.file);
  RefreshFilePane();
  if (!engineHost.window) return;
  RefreshTitle();
  ApplyFileMenuStates(HostMenu(), true);
}

void RefreshTitle() {
  if (!engineHost.window || !FileIsOpen()) return;
  wchar_t shown[kFileTitleUnits + kTitleUnits];
  lstrcpynW(shown, fileTitle, int(kFileTitleUnits));
  if (const LineFilters& filters = CurrentLineFilters(); filters.count) {
    size_t length = wcslen(shown);
    shown[length++] = L' ';
    FormatFilterLabel(filters, shown + length, kTitleUnits);
  }
  wchar_t title[kTitleUnits];
  const wchar_t* args[] = {shown, TextOf(IDS_PRODUCT_NAME)};
  FormatPaneText(HostText(IDS_TITLE_FORMAT), args, 2, title, kTitleUnits);
  SetWindowTextW(engineHost.window, title);
}

void ClearStatusFile() {
  fileTitle[0] = 0;
  SetPaneIcon(kPaneFile, nullptr);
  SetPane(kPaneFile, L"");
  // The last file's size would otherwise stay beside the emptied panes.
  ClearSizePane();
  if (engineHost.window) {
    SetWindowTextW(engineHost.window, TextOf(IDS_PRODUCT_NAME));
    ApplyFileMenuStates(HostMenu(), false);
  }
  RefreshStatus();
}

void UpdateStatusSize() {
  if (!engineHost.statusBar || !FileIsOpen()) return;
  // A merged view's size pane: the caret row's file.
  uint32_t file = CaretViewFile();
  char text[kSizeTextBytes];
  if (!StrFormatByteSize64A(LONGLONG(ViewFileSize(file)), text, UINT(kSizeTextBytes))) return;
  text[kSizeTextBytes - 1] = 0;
  if (strcmp(text, shownSize) == 0) return;
  memcpy(shownSize, text, sizeof text);

  ULARGE_INTEGER onDisk;
  SetLastError(NO_ERROR);
  onDisk.LowPart = GetCompressedFileSizeW(ViewFilePath(file), &onDisk.HighPart);
  // Without an answer from the file system the length is the best guess.
  if (onDisk.LowPart == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    onDisk.QuadPart = ViewFileSize(file);
  wchar_t diskText[kPaneTextUnits];
  if (!StrFormatByteSizeW(LONGLONG(onDisk.QuadPart), diskText, UINT(kPaneTextUnits)))
    diskText[0] = 0;
  const wchar_t* args[] = {diskText};
  wchar_t tip[kSizeTipUnits];
  FormatPaneText(HostText(IDS_PANE_SIZE_TIP), args, 1, tip, kSizeTipUnits);
  SetPaneTip(kPaneSize, tip);

  size_t length = strlen(text);
  while (length < kSizeTextWidth) text[length++] = ' ';
  text[length] = 0;
  SendMessageA(engineHost.statusBar, SB_SETTEXTA, kPaneSize, LPARAM(text));
}

void ShowLockState(bool withTip) {
  bool locked = ScrollLockOn();
  if (engineHost.statusBar) {
    SetPaneText(kPaneLock, locked ? TextOf(IDS_PANE_LOCKED) : L"");
    if (withTip) SetPaneTip(kPaneLock, locked ? TextOf(IDS_PANE_LOCKED_TIP) : L"");
  }
  if (HMENU menu = HostMenu())
    CheckMenuItem(menu, IDM_LOCK_SCROLL, MF_BYCOMMAND | (locked ? MF_CHECKED : MF_UNCHECKED));
}

bool HandleStatusClick(HWND mainWindow, UINT code, const NMMOUSE* mouse) {
  if (!mouse) return false;
  HWND target = mainWindow ? mainWindow : engineHost.window;
  DWORD_PTR pane = mouse->dwItemSpec;
  if (code == NM_CLICK) {
    UINT command;
    switch (pane) {
      case kPaneFollow: command = IDM_PAUSE; break;
      case kPaneLock: command = IDM_LOCK_SCROLL; break;
      case kPaneRow: command = IDM_GOTO_LINE; break;
      default: return false;
    }
    // High word 0, as from the menu: the lock command then toggles Scroll Lock.
    PostMessageW(target, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return true;
  }
  if (code == NM_DBLCLK) {
    if (pane == kPaneFile) {
      CopyFollowedPath(target);
      return true;
    }
    if (pane == kPaneNotice) {
      ShellExecuteW(target, nullptr, kMakerWebSite, nullptr, nullptr, SW_SHOWDEFAULT);
      return true;
    }
  }
  return false;
}

void ApplyFileMenuStates(HMENU menu, bool fileOpen) {
  if (!menu) return;
  for (UINT id : kFileCommands)
    EnableMenuItem(menu, id, MF_BYCOMMAND | (fileOpen ? MF_ENABLED : MF_GRAYED));
  bool lockChecked = fileOpen && ScrollLockOn();
  CheckMenuItem(menu, IDM_LOCK_SCROLL, MF_BYCOMMAND | (lockChecked ? MF_CHECKED : MF_UNCHECKED));
  if (!fileOpen) CheckMenuItem(menu, IDM_PAUSE, MF_BYCOMMAND | MF_UNCHECKED);
  // Erasing a merged view would empty several files at once.
  bool merged = fileOpen && ViewMerges();
  EnableMenuItem(menu, IDM_ERASE, MF_BYCOMMAND | (merged ? MF_GRAYED : MF_ENABLED));
}
