#include "extras/update_check.h"

#include <commctrl.h>
#include <rpc.h>
#include <shellapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <iterator>
#include <new>

#include "engine/engine_host.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/platform.h"
#include "ui/settings.h"

DWORD updateWaitMilliseconds = 20000;

namespace {

constexpr wchar_t kVersionWithBuild[] = L"" QUILLON_VERSION_FULL_TEXT;
constexpr wchar_t kServiceAddress[] = L"http://www.morvane.example/morvane/services/tessel.php";
constexpr wchar_t kDonationAddress[] = L"http://www.morvane.example/morvane/services/tessel.donate.php?language=";
constexpr size_t kRequestUnits = 2048;
constexpr size_t kResultUnits = 128;
constexpr DWORD kReplyBytes = 1023;
// Marks the dialog a check was started from; a closed dialog takes the mark
// with it, so a result never reaches a window that took its handle.
constexpr wchar_t kDialogMark[] = L"Quillon.UpdateCheck";

// The address an automatic check announced in pane 7, until it is followed.
wchar_t downloadAddress[kResultUnits];
HICON warningIcon = nullptr;

// The link a check reports to: its dialog, which is marked, and its id.
struct LinkPlace {
  HWND dialog;  // null for the automatic check
  int id;
};

struct CheckRequest {
  HWND mainWindow;
  LinkPlace link;
  wchar_t url[kRequestUnits];
};

// Made by the check's thread, read and freed by the user-interface thread.
struct CheckResult {
  LinkPlace link;
  UINT failure;  // 0, or the string telling the link what went wrong
  UpdateReply reply;
};

// The results handed to the user-interface thread and not yet taken back: a
// message naming any other address is forged and never read.
SRWLOCK pendingResultsLock = SRWLOCK_INIT;
CheckResult* pendingResults[64];

bool HoldPendingResult(CheckResult* result) {
  AcquireSRWLockExclusive(&pendingResultsLock);
  CheckResult** slot = std::find(std::begin(pendingResults), std::end(pendingResults), nullptr);
  if (slot != std::end(pendingResults)) *slot = result;
  ReleaseSRWLockExclusive(&pendingResultsLock);
  return slot != std::end(pendingResults);
}

bool TakePendingResult(LPARAM address) {
  AcquireSRWLockExclusive(&pendingResultsLock);
  CheckResult** held = std::find(std::begin(pendingResults), std::end(pendingResults),
                                 reinterpret_cast<CheckResult*>(address));
  bool taken = address && held != std::end(pendingResults);
  if (taken) *held = nullptr;
  ReleaseSRWLockExclusive(&pendingResultsLock);
  return taken;
}

const wchar_t* Text(UINT id) {
  const wchar_t* text = LocalizedString(id);
  return text ? text : L"";
}

// The installation id: system, processor and a random part (see the reply's
// f field); made once and kept in "repo".
uint32_t MakeInstallationId() {
  DWORD major = LOBYTE(LOWORD(GetVersion())), minor = HIBYTE(LOWORD(GetVersion()));
  uint32_t system = major >= 10 ? 8 : major >= 7 ? 7 : major == 6 ? (minor + 3 > 7 ? 7 : minor + 3)
                  : major == 5 ? minor : 0;
  uint32_t processor = IsProcessorFeaturePresent(13) ? 3 : IsProcessorFeaturePresent(10) ? 2
                     : IsProcessorFeaturePresent(6) ? 1 : 0;
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) processor += 4;
  UUID uuid;
  uint32_t random;
  if (UuidCreate(&uuid) == RPC_S_UUID_LOCAL_ONLY) {
    srand(unsigned(time(nullptr)));
    random = uint32_t(rand()) & 0xFFFF;
  } else {
    const unsigned char* d = uuid.Data4;
    random = 0x20000 | uint32_t(d[2] ^ d[5]) << 16 | uint32_t(d[3] ^ d[6]) << 8 | uint32_t(d[4] ^ d[7]);
  }
  return (system & 0xF) << 28 | (processor & 0xF) << 24 | (random & 0xFFFFFF);
}

void ServiceAddress(wchar_t* out, size_t capacity) {
  DWORD length = GetEnvironmentVariableW(L"TESSEL_UPDATE_URL", out, DWORD(capacity));
  if (length == 0 || length >= capacity) lstrcpynW(out, kServiceAddress, int(capacity));
}

// Sends the GET. The waits are set on the connection, which the request
// takes them from, so a server that never answers lets the thread end.
HINTERNET SendRequest(HINTERNET internet, const wchar_t* url, HINTERNET* connection) {
  wchar_t host[256], object[kRequestUnits], query[kRequestUnits];
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host, parts.dwHostNameLength = 256;
  parts.lpszUrlPath = object, parts.dwUrlPathLength = kRequestUnits;
  parts.lpszExtraInfo = query, parts.dwExtraInfoLength = kRequestUnits;
  if (!InternetCrackUrlW(url, 0, 0, &parts) || wcslen(object) + wcslen(query) >= kRequestUnits) return nullptr;
  wcscat(object, query);
  *connection = InternetConnectW(internet, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  if (!*connection) return nullptr;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionW(*connection, option, &updateWaitMilliseconds, sizeof updateWaitMilliseconds);
  // Never an answer from the cache: the service's reply may change at any time.
  DWORD flags = INTERNET_FLAG_RAW_DATA | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  HINTERNET request = HttpOpenRequestW(*connection, nullptr, object, nullptr, nullptr, nullptr, flags, 0);
  if (request && HttpSendRequestW(request, nullptr, 0, nullptr, 0)) return request;
  if (request) InternetCloseHandle(request);
  return nullptr;
}

// One request, one read; the reply's first 1,023 bytes are considered. The
// read asks for one byte more to tell a reply that went on: an announced
// address runs to the end of what was read, so it would be cut.
UINT RunCheck(const wchar_t* url, UpdateReply* reply) {
  HINTERNET internet = InternetOpenW(Text(IDS_PRODUCT_NAME), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!internet) return IDS_INIT_FAILED;
  UINT failure = IDS_CONNECT_FAILED;
  HINTERNET connection = nullptr;
  if (HINTERNET request = SendRequest(internet, url, &connection)) {
    char body[kReplyBytes + 2] = {};
    DWORD got = 0;
    bool read = InternetReadFile(request, body, kReplyBytes + 1, &got) && got <= kReplyBytes + 1;
    bool cut = read && got > kReplyBytes;
    body[!read ? 0 : cut ? kReplyBytes : got] = '\0';
    bool recognised = read && ParseUpdateReply(body, reply) && !(cut && NewsOf(*reply) != UpdateNews::kNone);
    failure = recognised ? 0 : IDS_BAD_RESPONSE;
    InternetCloseHandle(request);
  }
  if (connection) InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  return failure;
}

DWORD WINAPI UpdateThread(void* parameter) {
  auto* request = static_cast<CheckRequest*>(parameter);
  auto* result = new (std::nothrow) CheckResult{request->link, 0, {}};
  if (result) {
    result->failure = RunCheck(request->url, &result->reply);
    if (!HoldPendingResult(result))
      delete result;  // a flood of checks: this one goes unreported
    else if (!PostMessageW(request->mainWindow, kUpdateResultMessage, 0, reinterpret_cast<LPARAM>(result)) &&
             TakePendingResult(reinterpret_cast<LPARAM>(result)))
      delete result;  // the program is closing
  }
  delete request;
  return 0;
}

// The check completed: this version is now the installed one.
void RecordCompletedCheck() {
  if (!StoreNumber(kSettingInstalled, kBuiltInVersion)) return;
  AppSettings.lastCheck = minutesNow;
  StoreSetting(kSettingLastCheck);
}

void AnnounceInPane(const wchar_t* message, const wchar_t* address) {
  wchar_t text[512];
  size_t kept = wcscspn(message, L"<");
  lstrcpynW(text, message, int(kept + 1 < 256 ? kept + 1 : 256));
  wcsncat(text, Text(IDS_CLICK_TO_DOWNLOAD), 511 - wcslen(text));
  lstrcpynW(downloadAddress, address, int(kResultUnits));
  if (!engineHost.statusBar) return;
  if (!warningIcon) warningIcon = LoadSmallSystemIcon(IDI_WARNING);
  SendMessageW(engineHost.statusBar, SB_SETICON, kPaneUpdate, reinterpret_cast<LPARAM>(warningIcon));
  SendMessageW(engineHost.statusBar, SB_SETTEXTW, kPaneUpdate, reinterpret_cast<LPARAM>(text));
  SendMessageW(engineHost.statusBar, SB_SETTIPTEXTW, kPaneUpdate, reinterpret_cast<LPARAM>(text));
}

}  // namespace

UINT UpdateMessageFor(const UpdateReply& reply) {
  constexpr UINT kMessages[] = {IDS_NO_UPDATE, IDS_NEW_PATCH, IDS_NEW_MINOR, IDS_NEW_MAJOR};
  return kMessages[int(NewsOf(reply))];
}

void FormatUpdateRequest(const wchar_t* service, uint32_t installed, unsigned language, uint32_t id,
                         wchar_t* out, size_t capacity) {
  swprintf(out, capacity, L"%ls?i=%u&u=%u&l=%u&f=%08x&v=%ls", service, installed == 0 ? 1u : 0u,
           installed != 0 && installed != kBuiltInVersion ? 1u : 0u, language, id, kVersionWithBuild);
}

void FormatUpdateStatus(bool autoCheck, uint32_t lastCheck, uint32_t now, wchar_t* out, size_t capacity) {
  wchar_t text[1024];
  if (!autoCheck) {
    wsprintfW(text, Text(IDS_AUTO_CHECK_OFF), Text(IDS_NO_UPDATE));
  } else {
    ULARGE_INTEGER next;
    next.QuadPart = NextCheckMinutes(lastCheck, now) * 600000000ull;
    FILETIME utc{next.LowPart, next.HighPart}, local;
    SYSTEMTIME when{};
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &when);
    wsprintfW(text, Text(IDS_NEXT_CHECK), Text(IDS_NO_UPDATE), when.wDay, when.wMonth, when.wYear, when.wHour,
              when.wMinute);
  }
  lstrcpynW(out, text, int(capacity));
}

void RefreshUpdateStatus() {
  wchar_t text[512];
  FormatUpdateStatus(AppSettings.autoCheck != 0, AppSettings.lastCheck, minutesNow, text, 512);
  if (engineHost.statusBar)
    SendMessageW(engineHost.statusBar, SB_SETTIPTEXTW, kPaneUpdate, reinterpret_cast<LPARAM>(text));
}

HANDLE StartUpdateThread(HWND link) {
  LinkPlace place{link ? GetParent(link) : nullptr, link ? GetDlgCtrlID(link) : 0};
  auto* request = new (std::nothrow) CheckRequest{engineHost.window, place, {}};
  if (!request) return nullptr;
  if (AppSettings.repo == 0) {
    AppSettings.repo = MakeInstallationId();
    StoreSetting(kSettingRepo);
  }
  uint32_t installed = 0;
  ReadStoredNumber(kSettingInstalled, &installed);
  LANGID language = ResourceLanguage(GetModuleHandleW(nullptr), RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUT), 0);
  wchar_t service[kRequestUnits];
  ServiceAddress(service, kRequestUnits);
  FormatUpdateRequest(service, installed, language & 0x3FF, AppSettings.repo, request->url, kRequestUnits);
  if (place.dialog) SetPropW(place.dialog, kDialogMark, reinterpret_cast<HANDLE>(1));
  HANDLE thread = CreateThread(nullptr, 0, UpdateThread, request, 0, nullptr);
  if (!thread) delete request;
  return thread;
}

void DeliverUpdateResult(LPARAM parameter) {
  if (!TakePendingResult(parameter)) return;
  auto* result = reinterpret_cast<CheckResult*>(parameter);
  // wsprintfW's own limit, far above the longest message: three 10-digit
  // numbers and a 127-unit address, so the link markup stays whole.
  wchar_t text[1024] = L"";
  UINT message = UpdateMessageFor(result->reply);
  const UpdateReply& reply = result->reply;
  if (!result->failure) {
    RecordCompletedCheck();
    wsprintfW(text, Text(message), reply.major, reply.minor, reply.patch, AsWide(reply.address));
  }
  if (HWND dialog = result->link.dialog) {
    // A dialog that has closed took its mark with it: the result is dropped.
    HWND link = IsWindow(dialog) && GetPropW(dialog, kDialogMark) ? GetDlgItem(dialog, result->link.id) : nullptr;
    if (link) SetLinkText(link, result->failure ? Text(result->failure) : text);
  } else if (!result->failure) {
    if (message != IDS_NO_UPDATE) AnnounceInPane(text, AsWide(reply.address));
    else RefreshUpdateStatus();
  }
  delete result;
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

bool FollowUpdateIndicator(HWND window) {
  if (!downloadAddress[0]) return false;
  ShellExecuteW(window, nullptr, downloadAddress, nullptr, nullptr, SW_SHOWDEFAULT);
  if (engineHost.statusBar) {
    SendMessageW(engineHost.statusBar, SB_SETICON, kPaneUpdate, 0);
    SendMessageW(engineHost.statusBar, SB_SETTEXTW, kPaneUpdate, reinterpret_cast<LPARAM>(Text(IDS_UPDATE_PANE_EMPTY)));
  }
  RefreshUpdateStatus();
  downloadAddress[0] = L'\0';
  return true;
}

void StartUpdateCheck(HWND) {
  if (HANDLE thread = StartUpdateThread(nullptr)) {
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    CloseHandle(thread);
  }
}

void ToggleAutoCheck(HWND) {
  HMENU menu = engineHost.menu;
  bool wasOn = menu && (GetMenuState(menu, IDM_AUTO_CHECK, MF_BYCOMMAND) & MF_CHECKED);
  AppSettings.autoCheck = wasOn ? 0 : 1;
  if (menu) CheckMenuItem(menu, IDM_AUTO_CHECK, MF_BYCOMMAND | (wasOn ? MF_UNCHECKED : MF_CHECKED));
  RefreshUpdateStatus();
  StoreSetting(kSettingAutoCheck);
}

void OpenDonationPage(HWND window) {
  wchar_t address[1024];
  swprintf(address, 1024, L"%ls%ls", kDonationAddress, Text(IDS_LANGUAGE_CODE));
  ShellExecuteW(window, nullptr, address, nullptr, nullptr, SW_SHOWDEFAULT);
}
