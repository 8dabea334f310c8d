#include "commands/command_set.h"

#include <vector>

#include "commands/associations.h"
#include "commands/bookmark_commands.h"
#include "commands/clipboard_copy.h"
#include "commands/filter_commands.h"
#include "commands/find.h"
#include "commands/font_commands.h"
#include "commands/go_to_time.h"
#include "commands/highlight_dialog.h"
#include "commands/history.h"
#include "commands/open_dialog.h"
#include "commands/setting_toggles.h"
#include "commands/settings_dialogs.h"
#include "commands/view_files.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "extras/about.h"
#include "extras/printing.h"
#include "extras/update_check.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"

namespace {

constexpr int kFromMenu = 0;

// The small commands whose whole work lives here.

void CloseFollowedFile(HWND, int, int) { CloseFile(); }

// The file is closed first, so the window's closing stores no position for it.
void Exit(HWND window, int, int) {
  CloseFile();
  PostMessageW(window, WM_CLOSE, 0, 0);
}

void Restore(HWND window, int, int) { ShowWindow(window, SW_RESTORE); }
void Escape(HWND window, int, int) { HandleEscape(window); }
void Pause(HWND, int, int) { TogglePause(); }
void LoadEarlier(HWND, int, int) {
  if (!LoadEarlierRows()) MessageBeep(MB_OK);  // the file's first row is loaded
}
void StartOfFile(HWND, int, int) { LoadStartOfFile(); }
void BackToEnd(HWND, int, int) { FollowEndAgain(); }
void GoToTime(HWND window, int, int) { ShowGoToTimeDialog(window); }
void Copy(HWND window, int, int) { CopySelectedRows(window); }
void ToggleMark(HWND, int, int) { ToggleBookmarkAtCaret(); }
void NextMark(HWND, int, int) { GoToBookmark(true); }
void PreviousMark(HWND, int, int) { GoToBookmark(false); }
void ClearMarks(HWND, int, int) { ClearBookmarks(); }
void CopyMarkedLines(HWND window, int, int) { CopyBookmarkedLines(window); }

void SelectAll(HWND, int, int) {
  if (engineHost.view) SendMessageW(engineHost.view, LB_SETSEL, TRUE, -1);
  RefreshStatus();
}

// The lock is the keyboard's own Scroll Lock. From the menu the key is
// pressed for the user; that key then comes back through the accelerator
// table as this command from the keyboard, which shows the new state.
void LockScrolling(HWND, int, int source) {
  if (source == kFromMenu) {
    keybd_event(VK_SCROLL, 0x46, 0, 0);
    keybd_event(VK_SCROLL, 0x46, KEYEVENTF_KEYUP, 0);
  }
  ShowLockState(true);
  // Unlocked, the view stays where it is until the user scrolls.
  if (!(GetKeyState(VK_SCROLL) & 1)) SetSuspendFlag(true);
}

void FullScreen(HWND window, int, int) { ToggleFullScreen(window); }

void Erase(HWND window, int, int) {
  // A merged view would empty several files at once.
  if (ViewMerges()) return (void)MessageBeep(MB_OK);
  if (FileIsOpen()) {
    int answer = MessageBoxW(window, LocalizedString(IDS_ERASE_QUESTION),
                             LocalizedString(IDS_ERASE_CAPTION), MB_ICONWARNING | MB_OKCANCEL);
    if (answer != IDOK) {
      RefreshStatus();
      return;
    }
  }
  EraseFileContent();
}

void FontSize(HWND, int command, int) { ChangeFontSize(command); }
void Reload(HWND, int, int) { LoadFile(); }
void Charset(HWND, int command, int) { SelectCharset(command); }
void Autodetect(HWND, int, int) { ToggleAutodetect(); }
void StatusBar(HWND window, int, int) { ToggleStatusBar(window); }
void WrapLines(HWND, int, int) { ToggleWrapLines(); }
void CutEmpty(HWND, int, int) { ToggleCutEmpty(); }
void LevelColors(HWND, int, int) { ToggleLevelColors(); }
void Overview(HWND window, int, int) { ToggleOverview(window); }
void FileNames(HWND, int, int) { ToggleFileNames(); }
void Language(HWND window, int command, int) {
  std::vector<const wchar_t*> paths;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) paths.push_back(ViewFilePath(i));
  ChooseLanguage(window, command, paths.data(), paths.size());
}

// Commands whose work lives with their own feature.
void Open(HWND window, int, int) { ShowOpenDialog(window); }
void AddFile(HWND window, int, int) { ShowAddFileDialog(window); }
void FilesInView(HWND window, int, int) { ShowFilesInViewDialog(window); }
void Font(HWND window, int, int) { ShowFontDialog(window); }
void Background(HWND window, int, int) { ShowBackgroundDialog(window); }
void PrintSetup(HWND window, int, int) { ShowPrintSetup(window); }
void Print(HWND window, int, int) { PrintRows(window); }
void Find(HWND window, int, int) { ShowFindDialog(window); }
void FindNext(HWND window, int, int) { FindNextRow(window); }
void GoToRow(HWND window, int, int) { ShowGoToRowDialog(window); }
void Filter(HWND window, int, int) { ShowFilterDialog(window); }
void ClearFilter(HWND window, int, int) { ClearLineFilter(window); }
void ClearRecent(HWND window, int, int) { ClearHistory(window); }
void OpenRecent(HWND window, int command, int) { OpenHistoryEntry(window, command - IDM_HISTORY_FIRST); }
void RowLength(HWND window, int, int) { ShowRowLengthDialog(window); }
void SizeLimit(HWND window, int, int) { ShowSizeLimitDialog(window); }
void AppSettingsDialog(HWND window, int, int) { ShowAppSettingsDialog(window); }
void Associations(HWND window, int, int) { ShowAssociationsDialog(window); }
void HighlightRules(HWND window, int, int) { ShowHighlightRulesDialog(window); }
void Donate(HWND window, int, int) { OpenDonationPage(window); }
void AutoCheck(HWND window, int, int) { ToggleAutoCheck(window); }
void CheckUpdate(HWND window, int, int) { StartUpdateCheck(window); }
void VersionHistory(HWND window, int, int) { ShowVersionHistory(window); }
void About(HWND window, int, int) { ShowAbout(window); }

struct Command {
  int first;
  int last;
  bool needsFile;  // status-bar clicks post some of these without asking
  void (*run)(HWND window, int command, int source);
};

constexpr Command kCommands[] = {
    {IDM_FILE_OPEN, IDM_FILE_OPEN, false, Open},
    {IDM_ADD_FILE, IDM_ADD_FILE, false, AddFile},
    {IDM_FILES_IN_VIEW, IDM_FILES_IN_VIEW, true, FilesInView},
    {IDM_PRINT_SETUP, IDM_PRINT_SETUP, false, PrintSetup},
    {IDM_PRINT, IDM_PRINT, true, Print},
    {IDM_FILE_CLOSE, IDM_FILE_CLOSE, true, CloseFollowedFile},
    {IDM_EXIT, IDM_EXIT, false, Exit},
    {IDM_RESTORE, IDM_RESTORE, false, Restore},
    {IDM_ESCAPE, IDM_ESCAPE, false, Escape},
    {IDM_CLEAR_HISTORY, IDM_CLEAR_HISTORY, false, ClearRecent},
    {IDM_HISTORY_FIRST, IDM_HISTORY_LAST, false, OpenRecent},
    {IDM_PAUSE, IDM_PAUSE, true, Pause},
    {IDM_COPY, IDM_COPY, true, Copy},
    {IDM_SELECT_ALL, IDM_SELECT_ALL, false, SelectAll},
    {IDM_FIND, IDM_FIND, true, Find},
    {IDM_FIND_NEXT, IDM_FIND_NEXT, true, FindNext},
    {IDM_GOTO_LINE, IDM_GOTO_LINE, true, GoToRow},
    {IDM_GOTO_TIME, IDM_GOTO_TIME, true, GoToTime},
    {IDM_LOAD_EARLIER, IDM_LOAD_EARLIER, true, LoadEarlier},
    {IDM_START_OF_FILE, IDM_START_OF_FILE, true, StartOfFile},
    {IDM_BACK_TO_END, IDM_BACK_TO_END, true, BackToEnd},
    {IDM_TOGGLE_BOOKMARK, IDM_TOGGLE_BOOKMARK, true, ToggleMark},
    {IDM_NEXT_BOOKMARK, IDM_NEXT_BOOKMARK, true, NextMark},
    {IDM_PREVIOUS_BOOKMARK, IDM_PREVIOUS_BOOKMARK, true, PreviousMark},
    {IDM_CLEAR_BOOKMARKS, IDM_CLEAR_BOOKMARKS, true, ClearMarks},
    {IDM_COPY_BOOKMARKED, IDM_COPY_BOOKMARKED, true, CopyMarkedLines},
    {IDM_FILTER, IDM_FILTER, true, Filter},
    {IDM_CLEAR_FILTER, IDM_CLEAR_FILTER, true, ClearFilter},
    {IDM_LOCK_SCROLL, IDM_LOCK_SCROLL, true, LockScrolling},
    {IDM_FULL_SCREEN, IDM_FULL_SCREEN, false, FullScreen},
    {IDM_ERASE, IDM_ERASE, false, Erase},
    {IDM_FONT_LARGER, IDM_FONT_SMALLER, false, FontSize},
    {IDM_RELOAD, IDM_RELOAD, false, Reload},
    {IDM_CHARSET_FIRST, IDM_CHARSET_LAST, false, Charset},
    {IDM_AUTODETECT, IDM_AUTODETECT, false, Autodetect},
    {IDM_ROW_LENGTH, IDM_ROW_LENGTH, false, RowLength},
    {IDM_FONT, IDM_FONT, false, Font},
    {IDM_STATUS_BAR, IDM_STATUS_BAR, false, StatusBar},
    {IDM_BACKGROUND, IDM_BACKGROUND, false, Background},
    {IDM_ASSOCIATIONS, IDM_ASSOCIATIONS, false, Associations},
    {IDM_SIZE_LIMIT, IDM_SIZE_LIMIT, false, SizeLimit},
    {IDM_WRAP_LINES, IDM_WRAP_LINES, false, WrapLines},
    {IDM_CUT_EMPTY, IDM_CUT_EMPTY, false, CutEmpty},
    {IDM_APP_SETTINGS, IDM_APP_SETTINGS, false, AppSettingsDialog},
    {IDM_HIGHLIGHT_RULES, IDM_HIGHLIGHT_RULES, false, HighlightRules},
    {IDM_LEVEL_COLORS, IDM_LEVEL_COLORS, false, LevelColors},
    {IDM_OVERVIEW, IDM_OVERVIEW, false, Overview},
    {IDM_FILE_NAMES, IDM_FILE_NAMES, false, FileNames},
    {IDM_LANG_ENGLISH, IDM_LANG_SLOVAK, false, Language},
    {IDM_LANG_AUTO, IDM_LANG_AUTO, false, Language},
    {IDM_DONATE, IDM_DONATE, false, Donate},
    {IDM_AUTO_CHECK, IDM_AUTO_CHECK, false, AutoCheck},
    {IDM_CHECK_UPDATE, IDM_CHECK_UPDATE, false, CheckUpdate},
    {IDM_VERSION_HISTORY, IDM_VERSION_HISTORY, false, VersionHistory},
    {IDM_ABOUT, IDM_ABOUT, false, About},
};

const Command* FindCommand(int id) {
  for (const Command& command : kCommands)
    if (id >= command.first && id <= command.last) return &command;
  return nullptr;
}

}  // namespace

bool IsKnownCommand(int command) { return FindCommand(command) != nullptr; }

void ExecuteCommand(HWND window, int command, int source, HWND control) {
  HideTrackingTooltip();
  LeaveMenuHelp();
  // A notification from a control is no command; the view's change the status.
  if (control) {
    if (control == engineHost.view) RefreshStatus();
    return;
  }
  const Command* entry = FindCommand(command);
  if (!entry || (entry->needsFile && !FileIsOpen())) return;
  entry->run(window, command, source);
}
