#include "shell/main_window.h"

#include <commctrl.h>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "engine/row_builder.h"
#include "shell/localization.h"
#include "shell/settings.h"

EngineHost engineHost;

namespace {

HFONT viewFont = nullptr;
WNDPROC listBoxProc = nullptr;

// The view's own procedure, extended: dragging the scroll thumb holds
// following so that new rows do not pull the list away under the mouse.
LRESULT CALLBACK ViewProc(HWND view, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_VSCROLL) SetSuspendFlag(LOWORD(wparam) == SB_THUMBTRACK);
  return CallWindowProcW(listBoxProc, view, message, wparam, lparam);
}

HFONT CreateViewFont() { return CreateFontIndirectW(&AppSettings.font); }

void ShowHostError(UINT messageId, DWORD error) {
  ShowSystemError(engineHost.window, messageId, error);
}

void OnCreate(HWND window) {
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  engineHost.window = window;
  engineHost.view = CreateWindowExW(0, L"LISTBOX", nullptr, kViewStyle & ~WS_VISIBLE, 0, 0, 0, 0,
                                    window, nullptr, instance, nullptr);
  if (!viewFont) viewFont = CreateViewFont();
  SendMessageW(engineHost.view, WM_SETFONT, reinterpret_cast<WPARAM>(viewFont), FALSE);
  PreallocateViewStorage();
  listBoxProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      engineHost.view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ViewProc)));
  engineHost.progress = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, kProgressStyle & ~WS_VISIBLE,
                                        0, 0, 0, 0, window, nullptr, instance, nullptr);
  SendMessageW(engineHost.progress, PBM_SETSTEP, 1, 0);
  engineHost.showError = ShowHostError;
  UpdateHorizontalExtent();
  SetFocus(engineHost.view);
}

void OnSize(HWND window, UINT kind, int width, int height) {
  if (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED) return;
  bool keepLastRow = LastRowVisible(engineHost.view);
  int progressHeight = GetSystemMetrics(SM_CYHSCROLL) + 2;
  int progressWidth = 115;
  HDWP batch = BeginDeferWindowPos(2);
  batch = DeferWindowPos(batch, engineHost.view, nullptr, 0, 0, width, height,
                         SWP_NOZORDER | SWP_SHOWWINDOW);
  batch = DeferWindowPos(batch, engineHost.progress, HWND_TOP, width - progressWidth - 2,
                         height - progressHeight - 2, progressWidth, progressHeight, SWP_NOACTIVATE);
  EndDeferWindowPos(batch);
  UpdateHorizontalExtent();
  if (keepLastRow) {
    LRESULT count = SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0);
    if (count > 0) SendMessageW(engineHost.view, LB_SETTOPINDEX, WPARAM(count - 1), 0);
  }
  (void)window;
}

void OnTimer(UINT_PTR id) {
  if (id == kPollTimer) PollFile();
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

void OnActivate(WPARAM state) {
  if (LOWORD(state) != WA_INACTIVE && engineHost.view) SetFocus(engineHost.view);
}

void OnClose(HWND window) {
  if (AppSettings.savePosition && FileIsOpen()) SaveWindowPlacement(window, FollowedFileHandle());
}

void OnCommand(HWND window, int command) {
  LANGID language;
  if (LanguageOfCommand(command, &language)) ChooseLanguage(window, command, FollowedPath());
}

void OnDestroy() {
  CloseFile();
  engineHost = EngineHost{};
  PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: OnCreate(window); return 0;
    case WM_SIZE: OnSize(window, UINT(wparam), LOWORD(lparam), HIWORD(lparam)); return 0;
    case WM_TIMER: OnTimer(wparam); return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(window, reinterpret_cast<HWND>(wparam), LOWORD(lparam))) return TRUE;
      break;
    case WM_ACTIVATE: OnActivate(wparam); break;
    case WM_COMMAND: OnCommand(window, LOWORD(wparam)); return 0;
    case WM_CLOSE: OnClose(window); break;
    case WM_DESTROY: OnDestroy(); return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

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
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateMainWindow(HINSTANCE instance) {
  return CreateWindowExW(WS_EX_ACCEPTFILES, kMainWindowClass, L"Quillon", WS_OVERLAPPEDWINDOW,
                         CW_USEDEFAULT, CW_USEDEFAULT, 760, 480, nullptr, nullptr, instance, nullptr);
}

HFONT ViewFont() { return viewFont; }

void ShowSystemError(HWND owner, UINT messageId, DWORD error) {
  wchar_t text[2048] = L"";
  HINSTANCE instance = GetModuleHandleW(nullptr);
  int length = LoadStringW(instance, messageId, text, 1024);
  if (length < 0) length = 0;
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text + length, DWORD(2048 - length), nullptr);
  MessageBoxW(owner, text, nullptr, MB_ICONERROR);
}
