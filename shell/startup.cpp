#include "shell/startup.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>

#include "commands/associations.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "shell/instances.h"
#include "shell/main_window.h"
#include "shell/tray_icon.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

HHOOK creationHook = nullptr;
HHOOK callReturnHook = nullptr;
HHOOK queueFilterHook = nullptr;
HMENU viewMenu = nullptr;
// Wine does not take back a creation rectangle changed by the hook; the
// centred place is then applied once the dialog is initialised.
HWND centredWindow = nullptr;
POINT centredPlace{};

LRESULT CALLBACK CallReturnHookProc(int code, WPARAM wparam, LPARAM lparam);

// The hook on returns from sent messages runs for every message the thread
// sends, thousands for the rows of an open: it is set only while a dialog
// waits to be centred.
void WatchForDialogInit(bool on) {
  if (on && !callReturnHook)
    callReturnHook = SetWindowsHookExW(WH_CALLWNDPROCRET, CallReturnHookProc, nullptr, GetCurrentThreadId());
  if (!on && callReturnHook && UnhookWindowsHookEx(callReturnHook)) callReturnHook = nullptr;
}

// Centres a window being created over its parent, a little above the middle.
LRESULT CALLBACK CreationHookProc(int code, WPARAM wparam, LPARAM lparam) {
  auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lparam);
  // Only the dialog itself: its controls, and helper windows such as the
  // input method's, come and go without a size of their own.
  if (code == HCBT_CREATEWND && centerNextWindow && !(create->lpcs->style & WS_CHILD) &&
      create->lpcs->hwndParent && create->lpcs->cx > 0 && create->lpcs->cy > 0 &&
      create->lpcs->cx != CW_USEDEFAULT) {
    CREATESTRUCTW* window = create->lpcs;
    RECT parent;
    if (GetWindowRect(window->hwndParent, &parent)) {
      int parentHeight = parent.bottom - parent.top;
      window->x = (parent.left + parent.right) / 2 - window->cx / 2;
      window->y = (parent.top + parent.bottom) / 2 - window->cy / 2 + (window->cy - parentHeight) / 20;
      create->hwndInsertAfter = HWND_TOP;
      centredWindow = reinterpret_cast<HWND>(wparam);
      centredPlace = {window->x, window->y};
    }
    centerNextWindow = false;
  }
  if (code == HCBT_CREATEWND && (centredWindow || centerNextDialog)) WatchForDialogInit(true);
  // A centred window gone before its set-up leaves no hook on every sent message.
  if (code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wparam) == centredWindow) {
    centredWindow = nullptr;
    if (!centerNextDialog) WatchForDialogInit(false);
  }
  return CallNextHookEx(creationHook, code, wparam, lparam);
}

// Centres a dialog that another module creates (the Open dialog) once it is initialised.
LRESULT CALLBACK CallReturnHookProc(int code, WPARAM wparam, LPARAM lparam) {
  auto* message = reinterpret_cast<CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && message->message == WM_INITDIALOG && message->hwnd == centredWindow) {
    RECT own;
    if (GetWindowRect(centredWindow, &own) && (own.left != centredPlace.x || own.top != centredPlace.y))
      SetWindowPos(centredWindow, HWND_TOP, centredPlace.x, centredPlace.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    centredWindow = nullptr;
  }
  if (code == HC_ACTION && wparam == 0 && centerNextDialog && message->message == WM_INITDIALOG) {
    HWND dialog = message->hwnd;
    HWND parent = GetParent(dialog);
    RECT own, over;
    if (parent && GetWindowRect(dialog, &own) && GetWindowRect(parent, &over)) {
      int width = own.right - own.left, height = own.bottom - own.top;
      MoveWindow(dialog, (over.left + over.right) / 2 - width / 2,
                 (over.top + over.bottom) / 2 - height / 2, width, height, TRUE);
    }
    centerNextDialog = false;
  }
  LRESULT result = CallNextHookEx(callReturnHook, code, wparam, lparam);
  if (!centredWindow && !centerNextDialog) WatchForDialogInit(false);
  return result;
}

// Sees every message taken from this thread's queue, by our loop and by the
// modal loops of dialogs, menus and message boxes alike, and turns a forged
// one into WM_NULL before it is dispatched.
LRESULT CALLBACK QueueFilterHookProc(int code, WPARAM wparam, LPARAM lparam) {
  auto* message = reinterpret_cast<MSG*>(lparam);
  if (code == HC_ACTION && message && IsForgedQueuedMessage(*message, engineHost.window))
    message->message = WM_NULL, message->wParam = 0, message->lParam = 0;
  return CallNextHookEx(queueFilterHook, code, wparam, lparam);
}

WindowPlacementRequest PlacementFromEnvironment() {
  WindowPlacementRequest request;
  uint32_t value;
  if (ReadEnvironmentNumber(L"TESSEL_STYLE", &value)) request.style = value;
  if (ReadEnvironmentNumber(L"TESSEL_EXTRA", &value)) request.exStyle = value;
  if (ReadEnvironmentNumber(L"TESSEL_X", &value)) request.x = int(value);
  if (ReadEnvironmentNumber(L"TESSEL_Y", &value)) request.y = int(value);
  if (ReadEnvironmentNumber(L"TESSEL_WIDTH", &value)) request.width = int(value);
  if (ReadEnvironmentNumber(L"TESSEL_HEIGHT", &value)) request.height = int(value);
  return request;
}

HMENU FirstSubmenu(UINT id) {
  HMENU menu = LoadLocalizedMenu(id);
  return menu ? GetSubMenu(menu, 0) : nullptr;
}

// The shield beside the associations item, which needs administrative rights.
void AttachShieldBitmap(HMENU menu) {
  HICON shield = LoadSmallSystemIcon(IDI_SHIELD);
  if (!shield) return;
  ICONINFO info{};
  if (!GetIconInfo(shield, &info)) {
    DestroyIcon(shield);
    return;
  }
  BITMAP colour{}, mask{};
  if (info.hbmColor) GetObjectW(info.hbmColor, sizeof colour, &colour);
  if (info.hbmMask) GetObjectW(info.hbmMask, sizeof mask, &mask);
  int width = info.hbmColor ? colour.bmWidth : mask.bmWidth;
  int height = info.hbmColor ? colour.bmHeight : mask.bmHeight / 2;
  if (width > 0 && height > 0) {
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool drawn = false;
    if (bitmap && dc) {
      HGDIOBJ old = SelectObject(dc, bitmap);
      RECT all{0, 0, width, height};
      FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      drawn = DrawIconEx(dc, 0, 0, shield, width, height, 0, nullptr, DI_NORMAL);
      GdiFlush();
      auto* pixels = static_cast<uint32_t*>(bits);
      size_t count = size_t(width) * size_t(height);
      bool anyAlpha = false;
      for (size_t i = 0; i < count && !anyAlpha; ++i) anyAlpha = pixels[i] >> 24;
      if (drawn && !anyAlpha && info.hbmMask) {
        std::unique_ptr<uint32_t[]> maskPixels(new uint32_t[count]);
        BITMAPINFO maskFormat = format;
        if (GetDIBits(dc, info.hbmMask, 0, UINT(height), maskPixels.get(), &maskFormat, DIB_RGB_COLORS))
          for (size_t i = 0; i < count; ++i)
            pixels[i] = (pixels[i] & 0x00FFFFFF) | ((maskPixels[i] & 0x00FFFFFF) ? 0 : 0xFF000000);
      }
      SelectObject(dc, old);
    }
    if (dc) DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    if (drawn) SetMenuItemBitmaps(menu, IDM_ASSOCIATIONS, MF_BYCOMMAND, bitmap, bitmap);
    else if (bitmap) DeleteObject(bitmap);
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  DestroyIcon(shield);
}

void LoadIcons() {
  SetStatusIcons({LoadProgramIcon(L"PLAY", false), LoadProgramIcon(L"PAUSE", false),
                  LoadProgramIcon(L"FILE", false), LoadProgramIcon(L"BUFF", false),
                  LoadProgramIcon(L"BROWSE", false)});
}

int RunLoop(HWND window) {
  HACCEL accelerators = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (accelerators && TranslateAcceleratorW(window, accelerators, &message)) continue;
    if (dialogFocusWindow && IsDialogMessageW(dialogFocusWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return int(message.wParam);
}

// The window found no other instance to hand over to: it shows and runs.
int ShowAndRun(HWND window, HMENU mainMenu, int showCommand) {
  CreateTrackingTooltip(window);
  UpdateCharsetMenu(mainMenu);
  if (AppSettings.savePosition && FileIsOpen())
    showCommand = ApplyWindowPlacement(window, showCommand);
  ShowWindow(window, showCommand);
  if (registerShellHookWindow) registerShellHookWindow(window);
  creationHook = SetWindowsHookExW(WH_CBT, CreationHookProc, nullptr, GetCurrentThreadId());
  return RunLoop(window);
}

}  // namespace

int RunTessel(HINSTANCE instance, int showCommand) {
  SetLastError(0);
  LoadOptionalFunctions();
  AllowMessagesFromLowerPrivileges(kInstanceQueryMessage);

  int argumentCount = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  const wchar_t* fileArgument = arguments && argumentCount > 1 ? arguments[1] : nullptr;
  // Several paths open one view of them all.
  size_t fileCount = fileArgument ? size_t(argumentCount - 1) : 0;
  // The uninstaller's call: no window, no other instance asked, no settings touched.
  if (argumentCount == 2 && CompareStringOrdinal(fileArgument, -1, L"/unregister", -1, TRUE) == CSTR_EQUAL) {
    UnregisterAssociations();
    LocalFree(arguments);
    return 0;
  }

  LoadSettings();
  FollowedCharset().active = AppSettings.charset;
  FollowedCharset().autodetect = AppSettings.autodetect != 0;
  SetStoredCharsetReader(ReadStoredCharsetName);

  OpenInstanceTable();
  if (fileCount && AppSettings.restrictInstances && AnotherInstanceTookOver(arguments + 1, fileCount)) {
    LocalFree(arguments);
    return 0;
  }

  CoInitialize(nullptr);
  InitCommonControls();
  INITCOMMONCONTROLSEX controls{sizeof(controls), 0x802D};
  InitCommonControlsEx(&controls);
  EnableLocalizedStringLock();
  LoadIcons();

  viewMenu = FirstSubmenu(IDR_VIEW_MENU);
  LoadTrayResources();

  int exitCode = 0;
  // Before the first window: an error box at the file's opening runs a loop.
  queueFilterHook = SetWindowsHookExW(WH_GETMESSAGE, QueueFilterHookProc, nullptr, GetCurrentThreadId());
  if (RegisterMainWindowClass(instance)) {
    WindowPlacementRequest request = PlacementFromEnvironment();
    HMENU mainMenu = LoadLocalizedMenu(IDR_MAIN_MENU);
    if (mainMenu && LOBYTE(LOWORD(GetVersion())) > 5) AttachShieldBitmap(mainMenu);
    HWND window = CreateMainWindow(instance, request, mainMenu);
    if (window) {
      dialogFocusWindow = window;
      if (fileCount) OpenFiles(arguments + 1, fileCount);
      if (EnterInstanceTable(window, arguments + 1, AppSettings.restrictInstances ? fileCount : 0))
        exitCode = ShowAndRun(window, mainMenu, showCommand);
      else
        DestroyWindow(window);  // never shown; the file closes with it, storing nothing
    }
  }
  LocalFree(arguments);
  if (creationHook) UnhookWindowsHookEx(creationHook);
  if (callReturnHook) UnhookWindowsHookEx(callReturnHook);
  if (queueFilterHook) UnhookWindowsHookEx(queueFilterHook);
  CoUninitialize();
  return exitCode;
}
