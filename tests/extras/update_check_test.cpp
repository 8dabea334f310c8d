// The update check against a real HTTP server on 127.0.0.1, run by this test on a thread: what the program asks, what
// it shows in the link and pane 7, and what it records; and the reply grammar on its own.
#include <winsock2.h>

#include <commctrl.h>

#include "commands/command_fixture.h"
#include "engine/status_bar.h"
#include "extras/update_check.h"
#include "ui/platform.h"

namespace {

TEST(UpdateReply, VersionsMessagesAndTheAddressOnlyAnUpdateNeeds) {
  const std::string longest = "http://h/" + std::string(118, 'a');  // 127 units
  const struct { std::string body; UINT message; } cases[] = {
      {QUILLON_VERSION_TEXT ".9>http://h/", IDS_NO_UPDATE}, {"0.9.0>http://h/", IDS_NO_UPDATE},
      {QUILLON_VERSION_TEXT ">", IDS_NO_UPDATE}, {QUILLON_VERSION_TEXT ">\r\n", IDS_NO_UPDATE},
      {"1.6.9>" + longest + "a", IDS_NO_UPDATE},
      {"1.7.3>http://h/get\r\n", IDS_NEW_PATCH}, {"1.8.0>https://h.example:8080/a?b=c#d", IDS_NEW_MINOR},
      {"1.10.0>http://[::1]/", IDS_NEW_MINOR}, {"2.0.0>" + longest, IDS_NEW_MAJOR},
      {"2.0.0>http://z09.example/", IDS_NEW_MAJOR}, {"1.7.3>http://h/a b", 0}, {"1.7.3>http://h/a\x7f", 0},
      {"4294967295.4294967295.4294967295>http://h/", IDS_NEW_MAJOR},
      {"1.7.3", 0}, {"1.7.3>", 0}, {"1.7.3>\n", 0}, {"<html>Not found</html>", 0},
      {"1.7.3>file:///c:/x", 0}, {"1.7.3>\\\\server\\share", 0},
      {"1.7.3>javascript:alert(1)", 0}, {"1.7.3>http://h/\"><a href=x", 0}, {"1.7.3>http://h/a\x01", 0},
      {"1.7.3>http://user@h/", 0}, {"1.7.3>http://h:99999/", 0}, {"4294967296.0.0>http://h/", 0},
      {"1.7.3>" + longest + "a", 0}};
  for (const auto& c : cases) {
    UpdateReply reply;
    EXPECT_EQ(ParseUpdateReply(c.body.c_str(), &reply) ? UpdateMessageFor(reply) : 0, c.message) << c.body;
  }
}

// Answers each connection with the next reply ("" never answers), noting the request line.
struct Server { SOCKET listener = INVALID_SOCKET; std::vector<std::string> replies, requests; };

DWORD WINAPI Serve(void* parameter) {
  auto* server = static_cast<Server*>(parameter);
  for (const std::string& reply : server->replies) {
    SOCKET client = accept(server->listener, nullptr, nullptr);
    char request[2048] = "";
    recv(client, request, sizeof request - 1, 0);
    server->requests.push_back(std::string(request).substr(0, std::string(request).find('\r')));
    std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + reply;
    if (!reply.empty()) {
      send(client, answer.data(), int(answer.size()), 0);
    } else {  // silent until the client gives up and hangs up, within TearDown's wait
      DWORD patience = 4000;
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&patience), sizeof patience);
      recv(client, request, 1, 0);
    }
    closesocket(client);
  }
  return 0;
}

struct UpdateCheckTest : CommandFixture {
  Server server;
  HANDLE thread = nullptr;
  void Start(std::vector<std::string> replies) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    server.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(server.listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    listen(server.listener, 4), getsockname(server.listener, reinterpret_cast<sockaddr*>(&address), &size);
    server.replies = std::move(replies);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ntohs(address.sin_port)) + L"/morvane/services/tessel.php";
    SetEnvironmentVariableW(L"TESSEL_UPDATE_URL", url.c_str());
    thread = CreateThread(nullptr, 0, Serve, &server, 0, nullptr);
  }
  void TearDown() override {
    closesocket(server.listener), WaitForSingleObject(thread, 5000), CloseHandle(thread);
    SetEnvironmentVariableW(L"TESSEL_UPDATE_URL", nullptr), minutesNow = 0;
    CommandFixture::TearDown();
  }
  std::wstring TextOf(HWND control, LPARAM pane = -1) {  // a link's text, or a status pane's
    for (int i = 0; i < 400; ++i, PumpMessages(10)) {  // once the check has answered
      wchar_t text[512] = L"";
      if (pane >= 0) SendMessageW(control, SB_GETTEXTW, WPARAM(pane), reinterpret_cast<LPARAM>(text));
      std::wstring shown = pane < 0 ? WindowText(control) : text;
      if (size_t tag = shown.find(L"<a!"); tag != shown.npos) shown[tag + 2] = L' ';  // Wine's separator
      if (!shown.empty() && shown != LocalizedString(IDS_UPDATE_PANE_EMPTY)) return shown;
    }
    return L"";
  }
};

TEST_F(UpdateCheckTest, AutomaticThenLinkChecksShowAndRecordTheirResults) {
  const std::string longest = "http://h/" + std::string(118, 'a');  // the longest address taken
  const std::wstring longestShown = Widen(longest);
  updateWaitMilliseconds = 1000;
  Start({"4294967295.4294967295.4294967295>" + longest + "\r\n", "1.7.3", "1.8.0>http://h/\r\n", "2.0.0>" + longest,
         "1.7.3" + std::string(950, ' ') + ">http://h/" + std::string(100, 'a'),
         QUILLON_VERSION_TEXT ">" + std::string(1500, 'x'),
         ""});
  Run(IDM_CHECK_UPDATE);  // the automatic check: pane 7 announces, the check is recorded
  const std::wstring announced = L"New Quillon, version 4294967295.4294967295.4294967295 is available. " +
                                 std::wstring(LocalizedString(IDS_CLICK_TO_DOWNLOAD));
  EXPECT_EQ(TextOf(engineHost.statusBar, kPaneUpdate), announced);
  EXPECT_EQ(StatusTip(kPaneUpdate), announced);
  EXPECT_NE(SendMessageW(engineHost.statusBar, SB_GETICON, kPaneUpdate, 0), 0);
  RegOverridePredefKey(HKEY_CLASSES_ROOT, root), FollowUpdateIndicator(window);  // no class known: no browser opens
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  EXPECT_EQ(SendMessageW(engineHost.statusBar, SB_GETICON, kPaneUpdate, 0), 0);  // the warning went
  EXPECT_EQ(Stored(L"installed"), kBuiltInVersion);
  EXPECT_EQ(Stored(L"last check"), minutesNow);  // its request: as the first start's below
  // A window holding link 121 in the dialogs' font, as the About dialog does.
  HWND dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 60, window, nullptr, nullptr, nullptr);
  HWND link = CreateWindowExW(0, WC_LINK, L"", WS_CHILD, 0, 0, 200, 20, dialog, HMENU(IDC_CHECK_LINK), nullptr, nullptr);
  SendMessageW(link, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  const std::wstring unrecognised = L"Error: Unrecognized response. <a href=\"check\">Try again.</a>";
  const struct { std::wstring shown, target; bool recorded; } checks[] = {
      {unrecognised, L"check", false},
      {L"Upgrade to 1.8.0 is available. <a href=\"http://h/\">Download here</a>", L"http://h/", true},
      {L"New Quillon, version 2.0.0 is available. <a href=\"" + longestShown + L"\">Download here</a>", longestShown,
       true},
      {unrecognised, L"check", false},  // the address went on past the 1,023 bytes read
      {L"No update is available.", L"", true},
      {L"The attempt to connect to the server failed. <a href=\"check\">Try again.</a>", L"check", false}};
  for (const auto& check : checks) {
    SCOPED_TRACE(check.shown);
    RegDeleteKeyValueW(root, LocalizedString(IDS_REG_KEY), L"last check"), SetWindowTextW(link, L"");
    CloseHandle(StartUpdateThread(link));
    EXPECT_EQ(TextOf(link), check.shown);
    LITEM item{};  // the markup was parsed whole: the link leads where the reply said
    item.mask = LIF_ITEMINDEX | LIF_URL;
    SendMessageW(link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.szUrl, check.target);
    EXPECT_EQ(Stored(L"last check") == minutesNow, check.recorded);
  }
  DestroyWindow(dialog);
}

// Minutes since 1601 of a UTC time, and pane 7's tip naming them in local time.
uint32_t MinutesOf(SYSTEMTIME utc) {
  FILETIME time;
  SystemTimeToFileTime(&utc, &time);
  return uint32_t((uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 600000000ull);
}

std::wstring NextCheckTip(uint64_t minutes) {
  FILETIME time{DWORD(minutes * 600000000ull), DWORD(minutes * 600000000ull >> 32)};
  SYSTEMTIME utc, local;
  FileTimeToSystemTime(&time, &utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  wchar_t text[128];
  swprintf(text, 128, L"No update is available. Next check is scheduled to %u.%u.%u %02u:%02u", local.wDay,
           local.wMonth, local.wYear, local.wHour, local.wMinute);
  return text;
}

TEST_F(UpdateCheckTest, WindowCreationChecksWhenDueAndItsTipNamesTheNextCheck) {
  const uint32_t now = MinutesOf({2026, 12, 6, 5, 11, 2, 0, 0}), noValue = ~0u;  // Saturday 5 December 2026 11:02 UTC
  minutesNow = now;
  const std::string same = QUILLON_VERSION_TEXT ">";
  Start({same, same + "\r\n", same, same});  // one more than due: a check made wrongly is seen
  wchar_t id[16] = L"";
  const std::wstring off = L"No update is available. Automatic checking is disabled, check manually in the About dialog.";
  // installed: the stored value, or none; request: its query, or none made
  const struct { uint32_t autoCheck, lastCheck, installed; std::wstring tip, request; } starts[] = {
      {1, 0, noValue, NextCheckTip(4320), L"i=1&u=0"},  // never checked
      {0, 0, noValue, off, L""},
      {1, now + 1, kBuiltInVersion - 1, NextCheckTip(now), L"i=0&u=1"},  // a clock once ahead; upgraded since
      {1, now - 4320, kBuiltInVersion, NextCheckTip(now), L""},
      {1, now, kBuiltInVersion, NextCheckTip(now + 4320), L""},
      {1, 0xFFFFFFFF, kBuiltInVersion, NextCheckTip(now), L"i=0&u=0"}};
  std::vector<std::wstring> expected;
  for (const auto& start : starts) {
    SCOPED_TRACE(testing::Message() << "auto check " << start.autoCheck << ", last check " << start.lastCheck);
    RegDeleteKeyValueW(root, LocalizedString(IDS_REG_KEY), L"last check");
    if (start.installed == noValue) RegDeleteKeyValueW(root, LocalizedString(IDS_REG_KEY), L"installed");
    else StoreNumber(kSettingInstalled, start.installed);
    AppSettings.autoCheck = start.autoCheck, AppSettings.lastCheck = start.lastCheck;
    MakeWindow();
    EXPECT_EQ(StatusTip(kPaneUpdate), start.tip);
    MSG posted;
    EXPECT_EQ(PeekMessageW(&posted, window, WM_COMMAND, WM_COMMAND, PM_NOREMOVE) && posted.wParam == IDM_CHECK_UPDATE,
              !start.request.empty());
    PumpMessages(0);
    if (start.request.empty()) continue;
    // Recorded, and the tip moved three days on.
    std::wstring later = NextCheckTip(now + 4320);
    EXPECT_TRUE(PumpUntil([&] { return Stored(L"last check") == now && StatusTip(kPaneUpdate) == later; }));
    swprintf(id, 16, L"%08x", AppSettings.repo);
    expected.push_back(L"GET /morvane/services/tessel.php?" + start.request + L"&l=9&f=" + id +
                       L"&v=" QUILLON_VERSION_FULL_TEXT " HTTP/1.1");
  }
  std::vector<std::wstring> requests;
  for (const std::string& request : server.requests) requests.push_back(Widen(request));
  EXPECT_EQ(requests, expected);
}

}  // namespace
