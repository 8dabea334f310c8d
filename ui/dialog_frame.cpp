#include "ui/dialog_frame.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "core/regex.h"
#include "engine/engine_host.h"
#include "engine/status_bar.h"
#include "engine/wide_text.h"
#include "resources/resource_ids.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"

HWND trackingTooltip = nullptr;

namespace {

WNDPROC tooltipProc = nullptr;

LRESULT CALLBACK TooltipProc(HWND tip, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) SetActiveWindow(reinterpret_cast<HWND>(lparam));
      HideTrackingTooltip();
      break;
    case WM_KILLFOCUS:
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
      HideTrackingTooltip();
      break;
    case WM_ACTIVATEAPP:
      if (!wparam) HideTrackingTooltip();
      break;
  }
  return CallWindowProcW(tooltipProc, tip, message, wparam, lparam);
}


constexpr size_t kErrorPartUnits = 256;
constexpr int kTextMainInstruction = 1;  // TEXT_MAININSTRUCTION of the TEXTSTYLE class
constexpr int kThemeTextColor = 3803;    // TMT_TEXTCOLOR
constexpr int kThemeFont = 210;          // TMT_FONT

HFONT headingFont = nullptr;
COLORREF headingColour = 0;
const wchar_t* controlHelpText = nullptr;

int MajorVersion() { return LOBYTE(LOWORD(GetVersion())); }

// Appends at most limit units of text, always leaving out terminated.
size_t AppendCut(wchar_t* out, size_t at, size_t capacity, const wchar_t* text, size_t limit) {
  for (size_t i = 0; text && text[i] && i < limit && at + 1 < capacity; ++i) out[at++] = text[i];
  out[at] = L'\0';
  return at;
}

// The main-instruction font and colour of the visual style, else a larger
// bold face made from the default GUI font.
void CreateHeadingFont(ThemeHandle theme) {
  headingColour = GetSysColor(COLOR_WINDOWTEXT);
  LOGFONTW font{};
  bool themed = false;
  if (theme) {
    COLORREF colour;
    if (SUCCEEDED(getThemeColor(theme, kTextMainInstruction, 1, kThemeTextColor, &colour))) headingColour = colour;
    themed = SUCCEEDED(getThemeFont(theme, nullptr, kTextMainInstruction, 0, kThemeFont, &font));
  }
  HGDIOBJ guiFont = GetStockObject(DEFAULT_GUI_FONT);
  if (!themed) {
    GetObjectW(guiFont, sizeof font, &font);
    lstrcpynW(font.lfFaceName, L"Trebuchet MS", LF_FACESIZE);
    font.lfWeight = FW_BOLD;
    font.lfHeight = font.lfHeight > 0 ? font.lfHeight + 4 : font.lfHeight - 4;
  }
  headingFont = CreateFontIndirectW(&font);
  if (!headingFont) headingFont = static_cast<HFONT>(guiFont);
}

// The version history resource: UTF-16 after its byte-order mark, not terminated.
void ShowHistoryText(HWND dialog) {
  HWND control = GetDlgItem(dialog, IDC_HISTORY_TEXT);
  HRSRC found = control ? FindResourceW(nullptr, L"HISTORY", L"TEXT") : nullptr;
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const auto* units = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!units) return;
  size_t count = SizeofResource(nullptr, found) / sizeof(wchar_t);
  size_t start = count > 0 && units[0] == 0xFEFF ? 1 : 0;
  std::vector<wchar_t> text(units + start, units + count);
  text.push_back(L'\0');
  SetWindowTextW(control, text.data());
}

INT_PTR OnInitDialog(HWND dialog) {
  ThemeHandle theme = openThemeData ? openThemeData(dialog, L"TEXTSTYLE") : nullptr;
  int lastHeading = MajorVersion() >= 6 ? IDC_HEADING_LAST : IDC_HEADING_FIRST;
  for (int id = IDC_HEADING_FIRST; id <= lastHeading; ++id) {
    HWND heading = GetDlgItem(dialog, id);
    if (!heading) continue;
    if (!headingFont) CreateHeadingFont(theme);
    SendMessageW(heading, WM_SETFONT, reinterpret_cast<WPARAM>(headingFont), FALSE);
  }
  if (theme) closeThemeData(theme);
  // The resource's first image, 48 pixels, would stay that small at any DPI.
  static HICON aboutIcon = nullptr;  // loaded once, kept until exit
  if (HWND icon = GetDlgItem(dialog, IDC_ABOUT_ICON)) {
    if (!aboutIcon) aboutIcon = LoadModuleIconAtDpi(GetModuleHandleW(nullptr), L"B", 48);
    if (aboutIcon) SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(aboutIcon), 0);
  }
  ShowHistoryText(dialog);
  return TRUE;
}

// The content band above the separator is white; the button strip below
// keeps the dialog face.
INT_PTR OnPaint(HWND dialog) {
  LONG bandBottom = 0;
  RECT separator;
  if (HWND line = GetDlgItem(dialog, IDC_SEPARATOR); line && GetWindowRect(line, &separator)) {
    POINT top{separator.left, separator.top};
    ScreenToClient(dialog, &top);
    bandBottom = top.y;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  RECT band = paint.rcPaint;
  if (band.bottom > bandBottom) band.bottom = bandBottom;
  if (dc && band.bottom > band.top) FillRect(dc, &band, GetSysColorBrush(COLOR_WINDOW));
  EndPaint(dialog, &paint);
  return FALSE;
}

INT_PTR OnControlColour(HDC dc, HWND control) {
  int id = GetDlgCtrlID(control);
  if (id >= IDC_HEADING_FIRST && id <= IDC_HEADING_LAST) SetTextColor(dc, headingColour);
  else if (id > 128 || id == -1) SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  else return FALSE;
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
}

// Control help: the string 3584 + the control's id, in the tip just below
// the control's corner. A control without help shows nothing.
INT_PTR OnHelp(const HELPINFO* help) {
  const wchar_t* text = LocalizedString(WORD(IDS_CONTROL_HELP_BASE + help->iCtrlId));
  RECT control;
  if (!text || !trackingTooltip || !GetWindowRect(static_cast<HWND>(help->hItemHandle), &control)) return FALSE;
  controlHelpText = text;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = engineHost.window;  // the tip's one tool is the main window's
  tool.uId = reinterpret_cast<UINT_PTR>(tool.hwnd);
  HideTrackingTooltip();  // a tip already shown takes the new text when shown again
  SendMessageW(trackingTooltip, TTM_TRACKPOSITION, 0,
               MAKELPARAM(control.left + 16, control.top + (MajorVersion() >= 6 ? 18 : 16)));
  SendMessageW(trackingTooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  return FALSE;
}

// "check" starts an update check shown in the link; any other target opens.
INT_PTR OnLink(HWND dialog, const NMLINK* link) {
  HWND control = link->hdr.hwndFrom;
  if (wcscmp(link->item.szUrl, L"check") != 0) {
    ShellExecuteW(dialog, nullptr, link->item.szUrl, nullptr, nullptr, SW_SHOWDEFAULT);
    return FALSE;
  }
  if (const wchar_t* connecting = LocalizedString(IDS_CONNECTING)) SetWindowTextW(control, connecting);
  if (HANDLE thread = mainFrame.startUpdateCheck ? mainFrame.startUpdateCheck(control) : nullptr) {
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    CloseHandle(thread);
  } else if (const wchar_t* failed = LocalizedString(IDS_BAD_RESPONSE)) {
    SetLinkText(control, failed);
  }
  return FALSE;
}

INT_PTR OnNotify(HWND dialog, const NMHDR* header) {
  bool linkControl = header->idFrom == IDC_CHECK_LINK || header->idFrom == IDC_WEBSITE_LINK;
  if (linkControl && (header->code == NM_CLICK || header->code == NM_RETURN))
    return OnLink(dialog, reinterpret_cast<const NMLINK*>(header));
  return FALSE;
}

INT_PTR OnCommand(HWND dialog, int command) {
  HideTrackingTooltip();
  if (command == IDCANCEL) EndDialog(dialog, 0);
  return FALSE;
}

}  // namespace

// Wine's link control separates a tag's attributes by the break character
// of its font, and Wine's fonts report '!' there rather than a space: the
// tag is then written with that character, so that its markup parses too.
void SetLinkText(HWND link, const wchar_t* text) {
  wchar_t separator = L' ';
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0));
  if (HDC dc = font ? GetDC(link) : nullptr) {
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics;
    if (GetTextMetricsW(dc, &metrics)) separator = metrics.tmBreakChar;
    SelectObject(dc, old);
    ReleaseDC(link, dc);
  }
  std::wstring shown(text);
  for (size_t at = 0; separator != L' ' && (at = shown.find(L"<a ", at)) != std::wstring::npos; at += 3)
    shown[at + 2] = separator;
  SetWindowTextW(link, shown.c_str());
}

INT_PTR CALLBACK CommonDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog);
    case WM_PAINT: return OnPaint(dialog);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return OnControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_HELP: return OnHelp(reinterpret_cast<const HELPINFO*>(lparam));
    case WM_NOTIFY: return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lparam));
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wparam));
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
      HideTrackingTooltip();
      return FALSE;
  }
  return FALSE;
}

const wchar_t* ControlHelpText() {
  if (!controlHelpText) controlHelpText = LocalizedString(IDS_PRODUCT_NAME);
  return controlHelpText ? controlHelpText : L"";
}

void ComposeErrorMessage(const wchar_t* localized, DWORD error, wchar_t* out, size_t capacity) {
  if (!capacity) return;
  size_t at = AppendCut(out, 0, capacity, localized, kErrorPartUnits);
  if (error == ERROR_SUCCESS) return;  // a failure that set no code: the system would say it succeeded
  wchar_t* system = nullptr;
  if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr) && system)
    AppendCut(out, at, capacity, system, kErrorPartUnits);
  if (system) LocalFree(system);
}

void ShowSystemError(HWND owner, UINT messageId, DWORD error) {
  wchar_t text[520];
  ComposeErrorMessage(LocalizedString(messageId), error, text, 520);
  MessageBoxW(owner, text, nullptr, MB_ICONERROR);
}

void CreateTrackingTooltip(HWND mainWindow) {
  trackingTooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                    nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!trackingTooltip) return;
  tooltipProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(trackingTooltip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TooltipProc)));
  RECT margins{4, 4, 4, 4};
  SendMessageW(trackingTooltip, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margins));
  SendMessageW(trackingTooltip, TTM_SETMAXTIPWIDTH, 0, 300);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = mainWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(mainWindow);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(trackingTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void HideTrackingTooltip() {
  if (!trackingTooltip || !engineHost.window) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = engineHost.window;
  tool.uId = reinterpret_cast<UINT_PTR>(engineHost.window);
  SendMessageW(trackingTooltip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

bool RefusedRegex(HWND dialog, int patternControl, const TextUnit* pattern, size_t length, bool matchCase,
                  bool wholeWord) {
  RegexError error;
  if (RegexCompiles(pattern, length, matchCase, wholeWord, &error)) return false;
  wchar_t position[12], text[kRegexMessageUnits + 160];
  DecimalText(uint32_t(error.offset + 1), AsText(position));
  const wchar_t* args[] = {AsWide(error.message), position};
  FormatPaneText(LocalizedString(IDS_REGEX_ERROR), args, 2, text, std::size(text));
  MessageBoxW(dialog, text, nullptr, MB_ICONERROR);
  HWND edit = GetDlgItem(dialog, patternControl);
  SendMessageW(dialog, WM_NEXTDLGCTL, WPARAM(edit), TRUE);
  SendMessageW(edit, EM_SETSEL, WPARAM(error.offset), LPARAM(error.offset));
  return true;
}
