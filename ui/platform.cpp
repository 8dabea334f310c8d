#include "ui/platform.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <cwchar>
#include <cwctype>

namespace {

int DetectPlatform() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll && GetProcAddress(ntdll, "wine_get_version")) return 2;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  // Through void*: FARPROC's type says nothing about the real signature.
  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  if (isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64) return 1;
  return 0;
}

BOOL WINAPI NoVisualStyles() { return FALSE; }
void* WINAPI NoTheme(HWND, LPCWSTR) { return nullptr; }
HRESULT WINAPI NoComposition(BOOL* enabled) {
  *enabled = FALSE;
  return S_OK;
}

BOOL(WINAPI* isAppThemed)() = NoVisualStyles;
HRESULT(WINAPI* dwmIsCompositionEnabled)(BOOL*) = NoComposition;
using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
BOOL(WINAPI* changeWindowMessageFilter)(UINT, DWORD) = nullptr;

template <typename Fn>
void Lookup(HMODULE module, const char* name, Fn* function) {
  if (!module) return;
  if (FARPROC found = GetProcAddress(module, name))
    *function = reinterpret_cast<Fn>(reinterpret_cast<void*>(found));
}

}  // namespace

int platformKind = DetectPlatform();
UINT findReplaceMessage = RegisterWindowMessageW(L"commdlg_FindReplace");
UINT taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
UINT shellHookMessage = RegisterWindowMessageW(L"SHELLHOOK");
uint32_t minutesNow = 0;

BOOL(WINAPI* registerShellHookWindow)(HWND) = nullptr;
BOOL(WINAPI* flashWindowEx)(PFLASHWINFO) = nullptr;
BOOL(WINAPI* getProductInfo)(DWORD, DWORD, DWORD, DWORD, PDWORD) = nullptr;
ThemeHandle(WINAPI* openThemeData)(HWND, LPCWSTR) = NoTheme;
HRESULT(WINAPI* closeThemeData)(ThemeHandle) = nullptr;
HRESULT(WINAPI* getThemeColor)(ThemeHandle, int, int, int, COLORREF*) = nullptr;
HRESULT(WINAPI* getThemeFont)(ThemeHandle, HDC, int, int, int, LOGFONTW*) = nullptr;

void LoadOptionalFunctions() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  HMODULE user = GetModuleHandleW(L"user32.dll");
  Lookup(kernel, "GetProductInfo", &getProductInfo);
  Lookup(user, "RegisterShellHookWindow", &registerShellHookWindow);
  Lookup(user, "ChangeWindowMessageFilter", &changeWindowMessageFilter);
  Lookup(user, "FlashWindowEx", &flashWindowEx);

  HMODULE uxtheme = LoadLibraryW(L"uxtheme.dll");
  Lookup(uxtheme, "IsAppThemed", &isAppThemed);
  Lookup(uxtheme, "OpenThemeData", &openThemeData);
  Lookup(uxtheme, "CloseThemeData", &closeThemeData);
  Lookup(uxtheme, "GetThemeColor", &getThemeColor);
  Lookup(uxtheme, "GetThemeFont", &getThemeFont);
  if (platformKind != 2)
    Lookup(LoadLibraryW(L"dwmapi.dll"), "DwmIsCompositionEnabled", &dwmIsCompositionEnabled);

  // Visual styles need common controls 6.
  DLLVERSIONINFO version{};
  version.cbSize = sizeof version;
  HMODULE controls = GetModuleHandleW(L"comctl32.dll");
  using DllGetVersionFn = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
  DllGetVersionFn getVersion = nullptr;
  Lookup(controls, "DllGetVersion", &getVersion);
  if (!getVersion || FAILED(getVersion(&version)) || version.dwMajorVersion <= 5)
    isAppThemed = NoVisualStyles;

  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  minutesNow = uint32_t((uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime) / 600000000ull);
}

void AllowMessagesFromLowerPrivileges(UINT ownMessage) {
  if (!changeWindowMessageFilter) return;
  changeWindowMessageFilter(shellHookMessage, MSGFLT_ADD);
  changeWindowMessageFilter(taskbarCreatedMessage, MSGFLT_ADD);
  changeWindowMessageFilter(ownMessage, MSGFLT_ADD);
}

bool IsThreadPrivateMessage(UINT message) {
  switch (message) {
    case WM_NOTIFY: case WM_INITDIALOG: case WM_HELP: case WM_DRAWITEM: case WM_MEASUREITEM: return true;
  }
  return message == findReplaceMessage && message != 0;
}

bool IsForeignPrivateMessage(UINT message) {
  return IsThreadPrivateMessage(message) && InSendMessageEx(nullptr) != ISMEX_NOSEND;
}

bool IsForgedQueuedMessage(const MSG& queued, HWND mainWindow) {
  UINT message = queued.message;
  if (IsThreadPrivateMessage(message)) return true;
  switch (message) {
    case WM_GETMINMAXINFO: return true;
    case WM_TIMER: {
      if (queued.lParam == 0) return false;
      if (!queued.hwnd) return platformKind == 2;
      HWND root = GetAncestor(queued.hwnd, GA_ROOT);
      return (mainWindow && root == mainWindow) || (root && GetPropW(root, kDialogProcedureProperty));
    }
  }
  return message == shellHookMessage && message != 0 && queued.wParam == HSHELL_GETMINRECT;
}

bool IsOnThisThreadsStack(const void* address, size_t size) {
  constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  int local = 0;
  MEMORY_BASIC_INFORMATION stack{}, region{};
  if (!address || size == 0 || !VirtualQuery(&local, &stack, sizeof stack) ||
      !VirtualQuery(address, &region, sizeof region))
    return false;
  // The stack is one reservation; its pages in use are one committed region.
  auto at = reinterpret_cast<uintptr_t>(address), end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  return region.AllocationBase == stack.AllocationBase && region.State == MEM_COMMIT &&
         (region.Protect & kWritable) && !(region.Protect & PAGE_GUARD) && size <= end - at;
}

int visualStyleLevel() {
  if (!isAppThemed()) return 0;
  BOOL composition = FALSE;
  return SUCCEEDED(dwmIsCompositionEnabled(&composition)) && composition ? 2 : 1;
}

namespace {

HICON LoadIconSized(HMODULE instance, const wchar_t* name, int cx, int cy) {
  LoadIconWithScaleDownFn scaleDown = nullptr;
  Lookup(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown", &scaleDown);
  HICON icon = nullptr;
  if (scaleDown && SUCCEEDED(scaleDown(instance, name, cx, cy, &icon)) && icon) return icon;
  return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
}

}  // namespace

HICON LoadProgramIcon(const wchar_t* name, bool large) {
  return LoadModuleIcon(GetModuleHandleW(nullptr), name, large);
}

HICON LoadModuleIcon(HMODULE instance, const wchar_t* name, bool large) {
  return LoadIconSized(instance, name, GetSystemMetrics(large ? SM_CXICON : SM_CXSMICON),
                       GetSystemMetrics(large ? SM_CYICON : SM_CYSMICON));
}

HICON LoadModuleIconAtDpi(HMODULE instance, const wchar_t* name, int size) {
  int pixels = MulDiv(size, ScreenDpi(), 96);
  return LoadIconSized(instance, name, pixels, pixels);
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}


HICON LoadSmallSystemIcon(const wchar_t* name) {
  int cx = GetSystemMetrics(SM_CXSMICON);
  int cy = GetSystemMetrics(SM_CYSMICON);
  LoadIconWithScaleDownFn scaleDown = nullptr;
  Lookup(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown", &scaleDown);
  HICON icon = nullptr;
  if (scaleDown && SUCCEEDED(scaleDown(nullptr, name, cx, cy, &icon)) && icon) return icon;
  return static_cast<HICON>(LoadImageW(nullptr, name, IMAGE_ICON, cx, cy, LR_SHARED));
}

bool ParseEnvironmentNumber(const wchar_t* text, uint32_t* value) {
  if (!text) return false;
  const wchar_t* start = text;
  while (iswspace(*start)) ++start;
  wchar_t* end = nullptr;
  unsigned long number = wcstoul(start, &end, 0);
  if (end == start || number == 0) return false;
  *value = uint32_t(number);
  return true;
}

bool ReadEnvironmentNumber(const wchar_t* name, uint32_t* value) {
  wchar_t text[1536];
  DWORD length = GetEnvironmentVariableW(name, text, 1536);
  if (length == 0 || length >= 1536) return false;
  return ParseEnvironmentNumber(text, value);
}

HWND TaskbarNotificationArea() {
  for (HWND bar = nullptr; (bar = FindWindowExW(nullptr, bar, L"Shell_TrayWnd", nullptr));)
    if (HWND area = FindWindowExW(bar, nullptr, L"TrayNotifyWnd", nullptr)) return area;
  return nullptr;
}

LONG ScreenFontHeight(LONG storedHeight, int dpi) { return MulDiv(storedHeight, dpi, 96); }
LONG StoredFontHeight(LONG screenHeight, int dpi) { return dpi > 0 ? MulDiv(screenHeight, 96, dpi) : screenHeight; }
