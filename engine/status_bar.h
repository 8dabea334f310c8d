// The status bar's texts and icons, the window title and the menu states that
// follow the open file. The status bar window itself belongs to the main
// window, which hands it over in engineHost.statusBar.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdint>

enum StatusPane : int {
  kPaneFile = 0,
  kPaneUnfinished = 1,
  kPaneFollow = 2,
  kPaneLock = 3,
  kPaneRow = 4,
  kPaneRowCount = 5,
  kPaneSize = 6,
  kPaneUpdate = 7,
  kPaneNotice = 8,
  kStatusPanes = 9,
};

struct StatusIcons {
  HICON play;
  HICON pause;
  HICON file;
  HICON unfinished;  // "BUFF"
  HICON browse;
};
void SetStatusIcons(const StatusIcons& icons);

// Pane 8's text and tip; the main window calls it once the parts exist.
void InitNoticePane();

// Panes 1, 2, 4 and 5 from the follower's and the view's state.
void RefreshStatus();
// Pane 0, the title and the menu states of an opened file, by its shown path.
void ShowStatusFile(const wchar_t* shownPath);
// The title: the file's, with the line filter when one is set.
void RefreshTitle();
// After a file joined or left the view: the title names its files ("a.log +
// b.log", "a.log + 3 more"), pane 0 shows the caret row's file and its tip
// every file with its size.
void ShowViewFiles();
// A view's name from its files' paths: the file's short name, "a.log + b.log"
// or "a.log + 3 more".
void ViewNameOf(const wchar_t* const* paths, size_t count, wchar_t* out, size_t capacity);
// The longest short name of the view's files, in units.
size_t LongestViewFileName();
// Back to no file: panes 0 and 6 emptied, the title the product name, menus
// grayed, then a refresh.
void ClearStatusFile();
// Pane 6 from the follower's last size; rewritten only when its text changes.
void UpdateStatusSize();
// Pane 3 and the check mark of 1207 from the Scroll Lock state; withTip also
// sets the tip (the lock command does, window activation does not).
void ShowLockState(bool withTip);
// Clicks on panes (NM_CLICK, NM_DBLCLK from the status bar). True when handled.
bool HandleStatusClick(HWND mainWindow, UINT code, const NMMOUSE* mouse);

// Commands that need an open file, enabled or grayed together.
void ApplyFileMenuStates(HMENU menu, bool fileOpen);

// Opened by a double click on pane 8.
constexpr wchar_t kMakerWebSite[] = L"https://www.morvane.example/quillon";

// Fills format's %s and %u in order with args (numbers already as text); %%
// gives %, any other % sequence stays as it is, a missing argument is empty,
// a null format gives an empty text. Truncates to capacity. Returns the length.
size_t FormatPaneText(const wchar_t* format, const wchar_t* const* args, size_t argCount,
                      wchar_t* out, size_t capacity);

// One filter as the title names it: "ERROR", "/WARN(ING)?/", "not heartbeat".
// Returns the length written.
struct LineFilter;
size_t FormatFilterItem(const LineFilter& filter, wchar_t* out, size_t capacity);

// The display name of a path: GetFileTitleW's, else what follows the last
// backslash or slash, else the whole name; truncated to capacity.
constexpr size_t kFileTitleUnits = 260;
void FileTitleOf(const wchar_t* name, wchar_t* title, size_t capacity);
const wchar_t* CurrentFileTitle();  // empty without a file
// The display name of the view's file index, as the panes show its path.
void ViewFileTitle(uint32_t index, wchar_t* title, size_t capacity);
