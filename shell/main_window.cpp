#include "shell/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>

#include "commands/bookmark_commands.h"
#include "commands/command_set.h"
#include "commands/overview.h"
#include "commands/find.h"
#include "commands/history.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "extras/update_check.h"
#include "resources/resource_ids.h"
#include "shell/instances.h"
#include "shell/startup.h"
#include "shell/tray_icon.h"
#include "ui/dialog_frame.h"
#include "ui/highlight_view.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/settings.h"
#include "ui/view_margins.h"

EngineHost engineHost;

// What the commands ask of the frame, handed to them through mainFrame.
void ApplyFontToView();
void ApplyBackgroundToView();
void LayOutMainWindow(HWND window);
void SwitchFullScreen(HWND window);
void AnswerEscape(HWND window);

namespace {

HFONT viewFont = nullptr;
HBRUSH backgroundBrush = nullptr;
WNDPROC listBoxProc = nullptr;
HMENU mainMenu = nullptr;           // kept while the clean full screen takes it off
int statusPartsTotal = 525;
RECT savedWindowRect{};
LONG_PTR savedViewStyle = 0;
// The view's vertical scroll bar is a control of its own, so that the
// overview can stand between the rows and it.
HWND viewScrollBar = nullptr;
HWND overviewStrip = nullptr;
SCROLLINFO shownScroll{};

double DpiScale() { return ScreenDpi() / 96.0; }

HFONT CreateScreenViewFont() {
  LOGFONTW font = AppSettings.font;
  font.lfHeight = ScreenFontHeight(font.lfHeight, ScreenDpi());
  return CreateFontIndirectW(&font);
}

bool StatusBarShown(HWND window) {
  HMENU menu = GetMenu(window);
  return menu && (GetMenuState(menu, IDM_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED);
}

// The view, extended: the context menu's selection rule, the thumb drag that
// holds following, and painting only below the last row.
LRESULT OnViewContextMenu(HWND view, LPARAM lparam) {
  LRESULT selected = SendMessageW(view, LB_GETSELCOUNT, 0, 0);
  POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  if (selected <= 1 && !(point.x == -1 && point.y == -1)) {
    ScreenToClient(view, &point);
    LRESULT hit = SendMessageW(view, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    RECT client;
    GetClientRect(view, &client);
    if (!HIWORD(hit) && PtInRect(&client, point)) {
      WPARAM row = LOWORD(hit);
      SendMessageW(view, LB_SETSEL, FALSE, -1);
      SendMessageW(view, LB_SETSEL, TRUE, LPARAM(row));
      SendMessageW(view, LB_SETCARETINDEX, row, FALSE);
    }
  }
  return 0;
}

LRESULT OnViewEraseBackground(HWND view, HDC dc) {
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  RECT client, last;
  if (count == LB_ERR || count <= 0 || !GetClientRect(view, &client) ||
      SendMessageW(view, LB_GETITEMRECT, WPARAM(count - 1), reinterpret_cast<LPARAM>(&last)) == LB_ERR)
    return 0;
  RECT below{last.left, last.bottom, last.right, client.bottom};
  if (below.top < client.bottom) FillRect(dc, &below, backgroundBrush);
  return 0;
}

// Moving up past the first loaded row loads the stretch before it first; the
// list box then moves as it would have.
bool MovesPastFirstRow(HWND view, UINT message, WPARAM wparam) {
  LRESULT top = SendMessageW(view, LB_GETTOPINDEX, 0, 0);
  LRESULT caret = SendMessageW(view, LB_GETCARETINDEX, 0, 0);
  bool control = GetKeyState(VK_CONTROL) < 0;
  switch (message) {
    case WM_KEYDOWN:
      if (wparam == VK_UP && !control) return caret == 0;
      if (wparam == VK_HOME && control) return caret == 0 || top == 0;
      if (wparam == VK_PRIOR && !control) return top == 0 && caret <= 0;
      return false;
    case WM_MOUSEWHEEL:
      return !(GET_KEYSTATE_WPARAM(wparam) & MK_CONTROL) && GET_WHEEL_DELTA_WPARAM(wparam) > 0 && top == 0;
    case WM_VSCROLL:
      return top == 0 && (LOWORD(wparam) == SB_LINEUP || LOWORD(wparam) == SB_PAGEUP || LOWORD(wparam) == SB_TOP);
  }
  return false;
}

// Browsing, moving down past the last loaded row loads the lines after it.
bool MovesPastLastRow(HWND view, UINT message, WPARAM wparam) {
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  LRESULT caret = SendMessageW(view, LB_GETCARETINDEX, 0, 0);
  LRESULT top = SendMessageW(view, LB_GETTOPINDEX, 0, 0);
  LRESULT rowHeight = SendMessageW(view, LB_GETITEMHEIGHT, 0, 0);
  RECT client{};
  GetClientRect(view, &client);
  bool atBottom = rowHeight <= 0 || top + client.bottom / rowHeight >= count;
  bool control = GetKeyState(VK_CONTROL) < 0;
  switch (message) {
    case WM_KEYDOWN:
      if (wparam == VK_DOWN && !control) return caret == count - 1;
      if (wparam == VK_NEXT && !control) return atBottom && caret == count - 1;
      return false;
    case WM_MOUSEWHEEL:
      return !(GET_KEYSTATE_WPARAM(wparam) & MK_CONTROL) && GET_WHEEL_DELTA_WPARAM(wparam) < 0 && atBottom;
    case WM_VSCROLL:
      return atBottom && (LOWORD(wparam) == SB_LINEDOWN || LOWORD(wparam) == SB_PAGEDOWN || LOWORD(wparam) == SB_BOTTOM);
  }
  return false;
}

// The scroll bar shows the view's rows, page and top row as the list box
// would its own; set only when they change.
void SyncViewScrollBar() {
  HWND view = engineHost.view;
  if (!viewScrollBar || !view) return;
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0), top = SendMessageW(view, LB_GETTOPINDEX, 0, 0);
  LRESULT rowHeight = std::max<LRESULT>(SendMessageW(view, LB_GETITEMHEIGHT, 0, 0), 1);
  RECT client{};
  GetClientRect(view, &client);
  SCROLLINFO info{sizeof info, SIF_ALL | SIF_DISABLENOSCROLL, 0, int(std::max<LRESULT>(count - 1, 0)),
                  UINT(client.bottom / rowHeight), int(std::max<LRESULT>(top, 0)), 0};
  if (info.nMax == shownScroll.nMax && info.nPage == shownScroll.nPage && info.nPos == shownScroll.nPos &&
      shownScroll.cbSize)
    return;
  shownScroll = info;
  SetScrollInfo(viewScrollBar, SB_CTL, &info, TRUE);
}

// The scroll bar's requests go to the view as its own bar's would; the thumb
// sets the top row itself, the list box reading it from a bar it lacks (the
// lines limit keeps the position within the message's 16 bits).
void OnViewScrollBar(WPARAM wparam) {
  HWND view = engineHost.view;
  if (!view) return;
  WORD request = LOWORD(wparam);
  if (request != SB_THUMBTRACK && request != SB_THUMBPOSITION) {
    SendMessageW(view, WM_VSCROLL, wparam, 0);
    return;
  }
  SetSuspendFlag(request == SB_THUMBTRACK);
  SendMessageW(view, LB_SETTOPINDEX, HIWORD(wparam), 0);
}

// The gutter lives in the view's non-client area: it is given its room, hit,
// clicked and painted there, and painted again whenever the rows are.
LRESULT OnViewNonClient(HWND view, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  POINT screen{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  switch (message) {
    case WM_NCHITTEST: {
      RECT window{}, gutter = GutterRect(view);
      GetWindowRect(view, &window);
      POINT at{screen.x - window.left, screen.y - window.top};
      if (PtInRect(&gutter, at)) return HTBORDER;
      break;
    }
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
      if (wparam == HTBORDER && GutterRowAt(view, screen) >= 0) {
        ToggleBookmarkOfRow(GutterRowAt(view, screen));
        return 0;
      }
      break;
  }
  result = CallWindowProcW(listBoxProc, view, message, wparam, lparam);
  if (message == WM_NCCALCSIZE) MakeRoomForGutter(view, wparam, lparam);
  if (message == WM_NCPAINT || message == WM_PAINT) PaintGutter(view);
  if (message == WM_PAINT) SyncViewScrollBar(), RefreshOverviewSoon();
  return result;
}

LRESULT CALLBACK ViewProc(HWND view, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCALCSIZE: case WM_NCPAINT: case WM_PAINT: case WM_NCHITTEST: case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
      return OnViewNonClient(view, message, wparam, lparam);
  }
  if ((message == WM_KEYDOWN || message == WM_MOUSEWHEEL || message == WM_VSCROLL) && FileIsOpen()) {
    if (MovesPastFirstRow(view, message, wparam)) LoadEarlierRows();
    else if (Browsing() && MovesPastLastRow(view, message, wparam)) LoadLaterRows();
  }
  switch (message) {
    case WM_CONTEXTMENU: OnViewContextMenu(view, lparam); break;
    case WM_VSCROLL: SetSuspendFlag(LOWORD(wparam) == SB_THUMBTRACK); break;
    case WM_ERASEBKGND: return OnViewEraseBackground(view, reinterpret_cast<HDC>(wparam));
  }
  return CallWindowProcW(listBoxProc, view, message, wparam, lparam);
}

void ShowHostError(UINT messageId, DWORD error) { ShowSystemError(engineHost.window, messageId, error); }

// The follower reports the full path, never a relative name, which would
// later be taken from whatever folder has become current by then.
void OnFileOpened(const wchar_t* shownPath) {
  ShowStatusFile(shownPath);
  if (!OpeningSet()) AddToHistory(shownPath);  // a set is one entry of its own
  ForgetFindText();
}

// A file joined or left a view of several: its name and panes follow, and
// the history holds the view as it is now.
void OnFileChanged() {
  static uint32_t filesShown = 0;
  static std::wstring entryShown;
  uint32_t files = ViewFileCount();
  if (!FileIsOpen()) ClearStatusFile();
  else if (files > 1 || filesShown > 1) ShowViewFiles(), UpdateHorizontalExtent();
  std::wstring entry = ViewHistoryEntry();
  if (!entry.empty() && entry != entryShown) AddViewToHistory(entryShown.c_str());
  entryShown = entry;
  filesShown = files;
}

bool CleanFullScreenHook() { return IsCleanFullScreen(); }

void RemoveUncheckedMarks(HMENU menu) {
  const struct {
    int command;
    uint32_t Settings::*field;
  } marks[] = {{IDM_AUTODETECT, &Settings::autodetect},
               {IDM_STATUS_BAR, &Settings::statusBar},
               {IDM_WRAP_LINES, &Settings::wrapLines},
               {IDM_CUT_EMPTY, &Settings::cutEmpty},
               {IDM_AUTO_CHECK, &Settings::autoCheck},
               {IDM_LEVEL_COLORS, &Settings::levelColors},
               {IDM_OVERVIEW, &Settings::overview},
               {IDM_FILE_NAMES, &Settings::fileNames}};
  for (const auto& mark : marks)
    if (!(AppSettings.*mark.field)) CheckMenuItem(menu, UINT(mark.command), MF_BYCOMMAND | MF_UNCHECKED);
}

// The settings the engine works with, as they are when it asks.
void ReadEngineOptions(EngineOptions* options) {
  *options = EngineOptions{AppSettings.kbLimit, AppSettings.linesLimit, AppSettings.rowLength,
                           AppSettings.wrapLines != 0, AppSettings.cutEmpty != 0, AppSettings.rules,
                           AppSettings.levelColors != 0, AppSettings.fileNames != 0};
}

void OnCreate(HWND window) {
  engineHost.readOptions = ReadEngineOptions;
  engineHost.localizedText = LocalizedString;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  engineHost.window = window;
  mainMenu = GetMenu(window);
  engineHost.menu = mainMenu;

  engineHost.statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, kStatusBarStyle & ~WS_VISIBLE,
                                         0, 0, 0, 0, window, nullptr, instance, nullptr);
  SendMessageW(engineHost.statusBar, WM_SIZE, 0, MAKELPARAM(32, 32));
  if (mainMenu) {
    RemoveUncheckedMarks(mainMenu);
    MarkLanguageMenu(mainMenu, AppSettings.language);
    RebuildHistoryMenu();
  }
  int provisional[kStatusPanes] = {1, 2, 3, 4, 5, 6, 7, 8, -1};
  SendMessageW(engineHost.statusBar, SB_SETPARTS, kStatusPanes, reinterpret_cast<LPARAM>(provisional));
  if (const wchar_t* blanks = LocalizedString(IDS_UPDATE_PANE_EMPTY))
    SendMessageW(engineHost.statusBar, SB_SETTEXTW, kPaneUpdate, reinterpret_cast<LPARAM>(blanks));
  InitNoticePane();
  RefreshUpdateStatus();

  // The font first: creating the view asks for its row height.
  if (!viewFont) viewFont = CreateScreenViewFont();
  engineHost.view = CreateWindowExW(
      visualStyleLevel() != 0 && LOBYTE(LOWORD(GetVersion())) >= 6 ? 0 : WS_EX_STATICEDGE,
      L"LISTBOX", nullptr, kViewStyle & ~(WS_VISIBLE | WS_VSCROLL), 0, 0, 0, 0, window, nullptr, instance, nullptr);
  viewScrollBar = CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | SBS_VERT, 0, 0, 0, 0, window, nullptr,
                                  instance, nullptr);
  shownScroll = SCROLLINFO{};
  overviewStrip = CreateOverview(window, instance);
  if (!backgroundBrush) backgroundBrush = CreateSolidBrush(AppSettings.background);
  SendMessageW(engineHost.view, WM_SETFONT, reinterpret_cast<WPARAM>(viewFont), FALSE);
  PreallocateViewStorage();
  listBoxProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(engineHost.view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ViewProc)));

  engineHost.progress = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, kProgressStyle & ~WS_VISIBLE,
                                        0, 0, 0, 0, window, nullptr, instance, nullptr);
  SendMessageW(engineHost.progress, PBM_SETSTEP, 1, 0);

  engineHost.showError = ShowHostError;
  engineHost.refreshStatus = RefreshStatus;
  engineHost.refreshSize = UpdateStatusSize;
  engineHost.fileOpened = OnFileOpened;
  engineHost.fileChanged = OnFileChanged;
  engineHost.cleanFullScreen = CleanFullScreenHook;
  engineHost.advanceTray = AdvanceTrayFrame;
  engineHost.ruleAlert = AlertRuleMatch;
  engineHost.viewEmptied = [] { CancelFileSearch(); };  // what it searched from is gone
  mainFrame.applyViewFont = ApplyFontToView;
  mainFrame.applyViewBackground = ApplyBackgroundToView;
  mainFrame.relayout = LayOutMainWindow;
  mainFrame.toggleFullScreen = SwitchFullScreen;
  mainFrame.handleEscape = AnswerEscape;
  mainFrame.startUpdateCheck = StartUpdateThread;
  InitTrayIcon(window);
  UpdateHorizontalExtent();
  SetFocus(engineHost.view);

  if (AutoCheckDue(AppSettings.autoCheck != 0, AppSettings.lastCheck, minutesNow))
    PostMessageW(window, WM_COMMAND, IDM_CHECK_UPDATE, 0);
}

void OnSize(HWND window, UINT kind, int width, int height) {
  if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
  double scale = DpiScale();
  int edges[kStatusPanes];
  statusPartsTotal = ComputeStatusPartEdges(width, scale, edges);
  SendMessageW(engineHost.statusBar, SB_SETPARTS, kStatusPanes, reinterpret_cast<LPARAM>(edges));

  RECT statusClient{};
  GetClientRect(engineHost.statusBar, &statusClient);
  int barHeight = statusClient.bottom;
  bool barShown = StatusBarShown(window);
  bool keepLastRow = LastRowVisible(engineHost.view);

  int partFiveLeft = edges[kPaneRow];  // part 5 starts where part 4 ends
  int x, y, w, h;
  if (visualStyleLevel() == 0) {
    x = partFiveLeft + 2, y = height - barHeight + 2, w = int(115 * scale - 2), h = barHeight - 2;
  } else {
    x = partFiveLeft + 3, y = height - barHeight + 4, w = int(115 * scale - 8), h = barHeight - 6;
  }
  // The rows, the overview, the scroll bar, from left to right.
  int viewHeight = barShown ? height - barHeight : height;
  int scrollWidth = IsCleanFullScreen() ? 0 : GetSystemMetrics(SM_CXVSCROLL), stripWidth = OverviewWidth();
  int viewWidth = std::max(width - scrollWidth - stripWidth, 0);
  HDWP batch = BeginDeferWindowPos(5);
  batch = DeferWindowPos(batch, engineHost.view, nullptr, 0, 0, viewWidth, viewHeight, SWP_NOZORDER | SWP_SHOWWINDOW);
  batch = DeferWindowPos(batch, overviewStrip, nullptr, viewWidth, 0, stripWidth, viewHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE | (stripWidth ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  batch = DeferWindowPos(batch, viewScrollBar, nullptr, viewWidth + stripWidth, 0, scrollWidth, viewHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE | (scrollWidth ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  batch = DeferWindowPos(batch, engineHost.statusBar, nullptr, 0, height - barHeight, width,
                         barHeight, SWP_NOZORDER | (barShown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  batch = DeferWindowPos(batch, engineHost.progress, HWND_TOP, x, y, w, h, SWP_NOACTIVATE);
  EndDeferWindowPos(batch);

  UpdateHorizontalExtent();
  if (keepLastRow) {
    LRESULT count = SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0);
    if (count > 0) SendMessageW(engineHost.view, LB_SETTOPINDEX, WPARAM(count - 1), 0);
  }
}

void OnGetMinMaxInfo(HWND window, MINMAXINFO* info) {
  info->ptMinTrackSize.x = statusPartsTotal + 2 * GetSystemMetrics(SM_CXFRAME) + 23;
  int height = 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
               GetSystemMetrics(SM_CYMENU) + 2 * GetSystemMetrics(SM_CYVSCROLL);
  RECT statusClient{};
  if (AppSettings.statusBar && GetClientRect(engineHost.statusBar, &statusClient))
    height += statusClient.bottom;
  if (engineHost.view && (GetWindowLongW(engineHost.view, GWL_STYLE) & WS_HSCROLL))
    height += GetSystemMetrics(SM_CYHSCROLL);
  info->ptMinTrackSize.y = height;
  // Full screen covers the monitor with the frame's borders just off it and
  // the menu bar, when there is one, on it.
  if (IsFullScreen(window)) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
      RECT frame = monitor.rcMonitor;
      AdjustWindowRectEx(&frame, DWORD(GetWindowLongW(window, GWL_STYLE)), FALSE,
                         DWORD(GetWindowLongW(window, GWL_EXSTYLE)));
      info->ptMaxPosition = {frame.left - monitor.rcMonitor.left, frame.top - monitor.rcMonitor.top};
      info->ptMaxSize = {frame.right - frame.left, frame.bottom - frame.top};
    }
  }
}

void OnActivation(bool active) {
  if (active && engineHost.view) SetFocus(engineHost.view);
  if (mainMenu)
    CheckMenuItem(mainMenu, IDM_LOCK_SCROLL,
                  MF_BYCOMMAND | ((GetKeyState(VK_SCROLL) & 1) ? MF_CHECKED : MF_UNCHECKED));
  ShowLockState(false);
}

void OnMeasureItem(MEASUREITEMSTRUCT* item) {
  if (int height = FontRowHeight(viewFont); item->CtlType == ODT_LISTBOX && height > 0) item->itemHeight = UINT(height);
}

LRESULT OnViewColours(HDC dc) {
  SetTextColor(dc, AppSettings.textColor);
  SetBkColor(dc, AppSettings.background);
  return reinterpret_cast<LRESULT>(backgroundBrush);
}

void OnTimer(HWND window, UINT_PTR id) {
  if (id == kPollTimer) PollFile();
  else if (id == kTrayRemoveTimer || id == kTrayHideTimer) HandleTrayTimer(window, id);
  else CheckHorizontalScrollBar();
}

bool OnSetCursor(HWND window, HWND over, UINT hit) {
  // A long read handed back to the loop is still going on.
  if (PollContinues() && hit == HTCLIENT && over != window) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
  }
  return false;
}

LRESULT OnNotify(HWND window, const NMHDR* header) {
  // The shared control-help tip asks for the help of the control last asked about.
  if (header->hwndFrom == trackingTooltip && header->code == TTN_GETDISPINFOW) {
    reinterpret_cast<NMTTDISPINFOW*>(const_cast<NMHDR*>(header))->lpszText = const_cast<wchar_t*>(ControlHelpText());
    return 0;
  }
  if (header->hwndFrom != engineHost.statusBar || (header->code != NM_CLICK && header->code != NM_DBLCLK))
    return 0;
  auto* mouse = reinterpret_cast<const NMMOUSE*>(header);
  if (header->code == NM_CLICK && mouse->dwItemSpec == kPaneUpdate) FollowUpdateIndicator(window);
  else HandleStatusClick(window, header->code, mouse);
  return 0;
}

void OnClose(HWND window) {
  LeaveInstanceTable(window);
  if (AppSettings.savePosition && FileIsOpen()) SaveWindowPlacement(window, FollowedFileHandle());
  RemoveTrayIcon(window);
}

void OnDestroy() {
  CloseFile();
  engineHost = EngineHost{};
  mainMenu = nullptr;
  PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (IsForeignPrivateMessage(message)) return 0;
  // Registered messages have no fixed numbers for a case to name.
  if (message >= 0xC000) {
    if (message == findReplaceMessage) return 0;  // no system Find dialog reports here
    if (message == taskbarCreatedMessage) HandleTaskbarCreated(window);
    if (message == shellHookMessage) return HandleShellHook(window, wparam, lparam);
  }
  switch (message) {
    case WM_CREATE: OnCreate(window); return 0;
    case WM_SIZE: OnSize(window, UINT(wparam), LOWORD(lparam), HIWORD(lparam)); return 0;
    case WM_GETMINMAXINFO: OnGetMinMaxInfo(window, reinterpret_cast<MINMAXINFO*>(lparam)); return 0;
    case WM_ACTIVATE: OnActivation(LOWORD(wparam) != WA_INACTIVE); return 0;
    case WM_ACTIVATEAPP: OnActivation(false); return 0;
    case WM_CTLCOLORLISTBOX: return OnViewColours(reinterpret_cast<HDC>(wparam));
    case WM_MEASUREITEM: OnMeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)); return TRUE;
    case WM_DRAWITEM: DrawViewRow(reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)); return TRUE;
    case WM_TIMER: OnTimer(window, wparam); return 0;
    case kUpdateResultMessage: DeliverUpdateResult(lparam); return 0;
    case kFileSearchMessage: HandleFileSearchMessage(wparam); return 0;
    case WM_COMMAND: ExecuteCommand(window, LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)); return 0;
    case WM_MENUSELECT: HandleMenuSelect(window, wparam, lparam); return 0;
    case WM_NOTIFY: return OnNotify(window, reinterpret_cast<const NMHDR*>(lparam));
    case WM_CONTEXTMENU:
      if (HandleContextMenu(window, reinterpret_cast<HWND>(wparam), GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)))
        return 0;
      break;
    case WM_VSCROLL:
      if (reinterpret_cast<HWND>(lparam) == viewScrollBar && viewScrollBar) OnViewScrollBar(wparam);
      return 0;
    case WM_MOUSEWHEEL: HandleWheel(window, GET_WHEEL_DELTA_WPARAM(wparam), GET_KEYSTATE_WPARAM(wparam) & MK_CONTROL); return 0;
    case WM_DROPFILES: HandleDroppedFiles(window, reinterpret_cast<HDROP>(wparam)); return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(window, reinterpret_cast<HWND>(wparam), LOWORD(lparam))) return TRUE;
      break;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
      HideTrackingTooltip();
      break;
    case WM_GETDLGCODE: return 0x83;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_MINIMIZE) HandleTrayMinimize(window);
      break;
    case WM_QUERYOPEN: HandleTrayRestore(window); return TRUE;
    case kTrayCallbackMessage: HandleTrayCallback(window, wparam, lparam); return 0;
    case kInstanceQueryMessage: return AnswerInstanceQuery();
    case WM_CLOSE: OnClose(window); break;
    case WM_DESTROY: OnDestroy(); return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int ComputeStatusPartEdges(int clientWidth, double scale, int edges[9]) {
  const int widths[] = {0, 25, 25, int(55 * scale), int(70 * scale), int(115 * scale),
                        int(55 * scale), int(35 * scale), int(32 * scale)};
  edges[8] = -1;
  int right = clientWidth;
  for (int part = 8; part >= 1; --part) {
    right -= widths[part];
    edges[part - 1] = right;
  }
  return clientWidth - edges[0];
}

bool LastRowVisible(HWND view) {
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  LRESULT top = SendMessageW(view, LB_GETTOPINDEX, 0, 0);
  LRESULT rowHeight = SendMessageW(view, LB_GETITEMHEIGHT, 0, 0);
  RECT client;
  if (count == LB_ERR || top == LB_ERR || rowHeight == LB_ERR || rowHeight <= 0 ||
      !GetClientRect(view, &client))
    return false;
  LRESULT last = count - 1;
  return last >= top && last <= top + client.bottom / rowHeight;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadProgramIcon(L"A", true);
  windowClass.hIconSm = LoadProgramIcon(L"A", false);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateMainWindow(HINSTANCE instance, const WindowPlacementRequest& request, HMENU menu) {
  const wchar_t* title = LocalizedString(IDS_PRODUCT_NAME);
  return CreateWindowExW(request.exStyle, kMainWindowClass, title ? title : L"", request.style,
                         request.x, request.y, request.width, request.height, nullptr, menu,
                         instance, nullptr);
}

HFONT ViewFont() { return viewFont; }
HBRUSH ViewBackgroundBrush() { return backgroundBrush; }

void ApplyFontToView() {
  HFONT font = CreateScreenViewFont();
  if (!font) return;
  if (engineHost.view) {
    SendMessageW(engineHost.view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // An owner-drawn list box leaves its row height to its owner.
    if (int height = FontRowHeight(font); height > 0) SendMessageW(engineHost.view, LB_SETITEMHEIGHT, 0, height);
  }
  if (viewFont) DeleteObject(viewFont);
  viewFont = font;
  UpdateHorizontalExtent();
  if (engineHost.view) InvalidateRect(engineHost.view, nullptr, TRUE);
}

void ApplyBackgroundToView() {
  HBRUSH brush = CreateSolidBrush(AppSettings.background);
  if (!brush) return;
  if (backgroundBrush) DeleteObject(backgroundBrush);
  backgroundBrush = brush;
  if (engineHost.view) InvalidateRect(engineHost.view, nullptr, TRUE);
}

void LayOutMainWindow(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  SendMessageW(window, WM_SIZE, IsZoomed(window) ? SIZE_MAXIMIZED : SIZE_RESTORED,
               MAKELPARAM(client.right, client.bottom));
}

bool IsFullScreen(HWND) {
  return mainMenu && (GetMenuState(mainMenu, IDM_FULL_SCREEN, MF_BYCOMMAND) & MF_CHECKED);
}

bool IsCleanFullScreen() { return savedViewStyle != 0; }

HWND ViewScrollBar() { return viewScrollBar; }

void SwitchFullScreen(HWND window) {
  HWND view = engineHost.view;
  if (!IsFullScreen(window)) {
    if (IsZoomed(window)) ShowWindow(window, SW_RESTORE);
    GetWindowRect(window, &savedWindowRect);
    SetWindowLongPtrW(window, GWL_STYLE, WS_POPUP);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool clean = shift != (AppSettings.fullscreen != 0);
    if (clean) {
      SetMenu(window, nullptr);
      savedViewStyle = GetWindowLongPtrW(view, GWL_STYLE);
      SetWindowLongPtrW(view, GWL_STYLE, savedViewStyle & ~LONG_PTR(WS_HSCROLL | WS_VSCROLL));
      SetWindowPos(view, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
      ShowScrollBar(view, SB_BOTH, FALSE);
    } else {
      savedViewStyle = 0;
    }
    if (mainMenu) CheckMenuItem(mainMenu, IDM_FULL_SCREEN, MF_BYCOMMAND | MF_CHECKED);
    ShowWindow(window, SW_SHOWMAXIMIZED);
    return;
  }
  uint32_t style = kDefaultFrameStyle;
  ReadEnvironmentNumber(L"TESSEL_STYLE", &style);
  SetWindowLongPtrW(window, GWL_STYLE, LONG_PTR(style));
  ShowWindow(window, SW_RESTORE);
  if (!GetMenu(window) && mainMenu) SetMenu(window, mainMenu);
  if (savedViewStyle) {
    SetWindowLongPtrW(view, GWL_STYLE, savedViewStyle);
    savedViewStyle = 0;
    SetWindowPos(view, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    UpdateHorizontalExtent();
  }
  SetWindowPos(window, nullptr, savedWindowRect.left, savedWindowRect.top,
               savedWindowRect.right - savedWindowRect.left,
               savedWindowRect.bottom - savedWindowRect.top, SWP_NOZORDER | SWP_FRAMECHANGED);
  if (mainMenu) CheckMenuItem(mainMenu, IDM_FULL_SCREEN, MF_BYCOMMAND | MF_UNCHECKED);
}

// Esc stops a search through the file before anything else.
void AnswerEscape(HWND window) {
  if (CancelFileSearch()) return;
  if (dialogFocusWindow == window) {
    if (AppSettings.escClose) PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (dialogFocusWindow) {
    PostMessageW(dialogFocusWindow, WM_CLOSE, 0, 0);
  }
}

