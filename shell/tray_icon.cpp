#include "shell/tray_icon.h"

#include <shlwapi.h>

#include <cwchar>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/localization.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

constexpr UINT kTrayIconId = 1;
constexpr int kFrames = 10;
constexpr int kFirstLoopFrame = 4;  // frames 0 to 3 play once after minimizing
constexpr size_t kTipUnits = sizeof(NOTIFYICONDATAW::szTip) / sizeof(wchar_t);

HICON frames[kFrames];
HMENU trayMenu = nullptr;
NOTIFYICONDATAW record;
bool iconAdded = false;  // what the shell last accepted

// The data of HSHELL_GETMINRECT.
struct MinimizeTarget {
  HWND window;
  SHORT left, top, right, bottom;
};

bool Windows4() { return LOBYTE(LOWORD(GetVersion())) <= 4; }

int NextTrayFrame(int current) {
  if (current == kFrames - 1) return kFirstLoopFrame;
  return current >= 0 && current < kFrames - 1 ? current + 1 : 0;
}

// The title, a line break and the full path compacted into the rest of the
// tip; a title too long for that alone, cut; without a file the product name.
void ComposeTrayTip(wchar_t* tip, size_t units) {
  if (!FileIsOpen()) {
    const wchar_t* product = LocalizedString(IDS_PRODUCT_NAME);
    lstrcpynW(tip, product ? product : L"", int(units));
    return;
  }
  const wchar_t* title = CurrentFileTitle();
  size_t length = wcslen(title);
  lstrcpynW(tip, title, int(units));
  if (length >= units - 1) return;
  tip[length] = L'\n';
  // PathCompactPathExW reads at most MAX_PATH units, and a followed path may
  // be far longer. A tip shows no more than its start and its file name, so
  // the middle is left out first.
  const wchar_t* path = FollowedPath();
  wchar_t shortened[MAX_PATH];
  if (wcslen(path) >= MAX_PATH) {
    const wchar_t* name = wcsrchr(path, L'\\');
    wmemcpy(shortened, path, kTipUnits);
    lstrcpynW(shortened + kTipUnits, name ? name : L"", int(MAX_PATH - kTipUnits));
    path = shortened;
  }
  if (!PathCompactPathExW(tip + length + 1, path, UINT(units - length - 1), 0)) tip[length + 1] = 0;
}

// The window must be in the foreground for the menu to close when the user
// clicks elsewhere, and must get a message after it for the next one to work.
void ShowTrayMenu(HWND window) {
  POINT point{};
  GetCursorPos(&point);
  HANDLE process = GetCurrentProcess();
  DWORD priority = GetPriorityClass(process);
  SetPriorityClass(process, HIGH_PRIORITY_CLASS);
  SetForegroundWindow(window);
  if (priority) SetPriorityClass(process, priority);
  if (trayMenu) TrackPopupMenu(trayMenu, TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr);
  PostMessageW(window, WM_NULL, 0, 0);
}

}  // namespace

void LoadTrayResources() {
  wchar_t name[8];
  for (int i = 0; i < kFrames; ++i) {
    wsprintfW(name, L"TRAY%d", i);
    frames[i] = LoadProgramIcon(name, false);
  }
  HMENU menu = LoadLocalizedMenu(IDR_TRAY_MENU);
  trayMenu = menu ? GetSubMenu(menu, 0) : nullptr;
  if (trayMenu) SetMenuDefaultItem(trayMenu, IDM_RESTORE, FALSE);
}

void InitTrayIcon(HWND window) {
  record = NOTIFYICONDATAW{};
  iconAdded = false;
  record.cbSize = NOTIFYICONDATAW_V2_SIZE;
  record.hWnd = window;
  record.uID = kTrayIconId;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayCallbackMessage;
}

void HandleTrayMinimize(HWND window) {
  if (!AppSettings.trayMinimize) return;
  ComposeTrayTip(record.szTip, kTipUnits);
  record.hIcon = frames[0];
  // Minimized again before the last restore's removal was due: the icon is
  // still there and must stay.
  KillTimer(window, kTrayRemoveTimer);
  iconAdded = Shell_NotifyIconW(NIM_MODIFY, &record) || Shell_NotifyIconW(NIM_ADD, &record);
  if (Windows4()) SetTimer(window, kTrayHideTimer, GetDoubleClickTime(), nullptr);
}

void HandleTrayRestore(HWND window) {
  if (!AppSettings.trayMinimize) return;
  if (Windows4()) {
    KillTimer(window, kTrayHideTimer);  // or it would hide the restored window
    ShowWindow(window, SW_SHOW);
  }
  SetTimer(window, kTrayRemoveTimer, GetDoubleClickTime(), nullptr);
}

// A window is hidden only while it is minimized with its icon shown: a
// restored one, or one whose icon the shell refused, would be lost to the user.
void HandleTrayTimer(HWND window, UINT_PTR id) {
  KillTimer(window, id);
  if (id == kTrayHideTimer) {
    if (iconAdded && IsIconic(window)) ShowWindow(window, SW_HIDE);
    return;
  }
  Shell_NotifyIconW(NIM_DELETE, &record);
  iconAdded = false;
}

void HandleTrayCallback(HWND window, WPARAM id, LPARAM mouse) {
  if (id != kTrayIconId) return;
  if (mouse == WM_LBUTTONDBLCLK) ShowWindow(window, SW_RESTORE);
  else if (mouse == WM_RBUTTONUP) ShowTrayMenu(window);
}

void HandleTaskbarCreated(HWND window) {
  if (AppSettings.trayMinimize && IsIconic(window)) iconAdded = Shell_NotifyIconW(NIM_ADD, &record);
}

// Aims the minimize animation at the notification area; without the standard
// taskbar's parts (Wine has none) the system animates as usual. The message
// passes the privilege filter, so its rectangle is written only to a record
// on this thread's stack, where the system puts it, that names this window.
LRESULT HandleShellHook(HWND window, WPARAM code, LPARAM data) {
  auto* target = reinterpret_cast<MinimizeTarget*>(data);
  if (code != HSHELL_GETMINRECT || !AppSettings.trayMinimize || !IsOnThisThreadsStack(target, sizeof *target) ||
      target->window != window)
    return 0;
  HWND area = TaskbarNotificationArea();
  RECT rect;
  if (!area || !GetWindowRect(area, &rect)) return 0;
  target->left = SHORT(rect.left);
  target->top = SHORT(rect.top);
  target->right = SHORT(rect.left + GetSystemMetrics(SM_CXSMICON));
  target->bottom = SHORT(rect.top + GetSystemMetrics(SM_CYSMICON));
  return 1;
}

void AdvanceTrayFrame() {
  if (!AppSettings.trayMinimize || !IsIconic(record.hWnd)) return;
  record.hIcon = frames[NextTrayFrame(TrayFrameIndex())];
  Shell_NotifyIconW(NIM_MODIFY, &record);
}

// The alert goes first in the tip until the window is restored.
void MarkTrayAlert() {
  const wchar_t* alert = LocalizedString(IDS_TRAY_ALERT);
  size_t length = alert ? wcslen(alert) : 0;
  if (!AppSettings.trayMinimize || !IsIconic(record.hWnd) || !length || length + 2 >= kTipUnits) return;
  ComposeTrayTip(record.szTip + length + 1, kTipUnits - length - 1);
  wmemcpy(record.szTip, alert, length);
  record.szTip[length] = L'\n';
  Shell_NotifyIconW(NIM_MODIFY, &record);
}

void RemoveTrayIcon(HWND window) {
  KillTimer(window, kTrayRemoveTimer);
  Shell_NotifyIconW(NIM_DELETE, &record);
  iconAdded = false;
}

const NOTIFYICONDATAW& TrayIconRecord() { return record; }

int TrayFrameIndex() {
  for (int i = 0; i < kFrames; ++i)
    if (record.hIcon && record.hIcon == frames[i]) return i;
  return -1;
}

void AlertRuleMatch() {
  HWND window = engineHost.window;
  if (!window) return;
  if (flashWindowEx && GetAncestor(GetForegroundWindow(), GA_ROOTOWNER) != window) {
    FLASHWINFO flash{sizeof flash, window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    flashWindowEx(&flash);
  }
  MarkTrayAlert();
}
