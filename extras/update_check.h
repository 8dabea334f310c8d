// The update check: one detached thread per check asks the maker's service
// whether a newer version exists and hands its result to the user-interface
// thread, which shows it in the link that started it (About dialog) or, for
// the automatic check at start-up, in pane 7 of the status bar. Also the
// automatic-check toggle, the status text naming the next check and the
// donation page.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

void OpenDonationPage(HWND window);  // 1905
void ToggleAutoCheck(HWND window);   // 1906
void StartUpdateCheck(HWND window);  // 1907, the automatic check

// Starts a check whose progress and result replace the link control's text;
// the thread's handle, or null when it could not be started.
HANDLE StartUpdateThread(HWND link);

// A check's result reaching the main window (kUpdateResultMessage).
constexpr UINT kUpdateResultMessage = WM_APP + 3;
void DeliverUpdateResult(LPARAM result);

// Pane 7's tip: when the next automatic check is due, or that it is off.
void RefreshUpdateStatus();
// A click on pane 7: opens an announced download page; false without one.
bool FollowUpdateIndicator(HWND window);

// How long a check waits to connect, send and receive.
extern DWORD updateWaitMilliseconds;

// The reply's grammar: "A.B.C" (a part that cannot be read is 0, but the
// first must start with a digit), anything up to the first '>', then the
// download address. A reply announcing an update needs an http or https
// address of at most 127 units, the service's trailing line break dropped;
// any other reply keeps no address. False when the reply is not recognised.
struct UpdateReply {
  uint32_t major, minor, patch;
  wchar_t address[128];
};
bool ParseUpdateReply(const char* body, UpdateReply* reply);
// Whether text is a plain http or https address: a host name or bracketed
// IPv6 address, an optional port, then printable characters that cannot
// break out of link markup.
bool IsWebAddress(const char* text, size_t length);
// String 54 (no update), 57 (patch), 56 (minor) or 55 (major) against 1.7.2.
UINT UpdateMessageFor(const UpdateReply& reply);

// The request: service?i=..&u=..&l=..&f=........&v=1.7.2.3098.
void FormatUpdateRequest(const wchar_t* service, uint32_t installed, unsigned language, uint32_t id,
                         wchar_t* out, size_t capacity);
// Whether the automatic check runs at a start at now (minutes since 1601):
// the last check was more than three days before, or lies in the future
// (a clock that was once wrong would otherwise stop the checks for good).
bool AutoCheckDue(bool autoCheck, uint32_t lastCheck, uint32_t now);
// Pane 7's tip text for these settings; the next check in local time, which
// is now when a last check in the future made it due.
void FormatUpdateStatus(bool autoCheck, uint32_t lastCheck, uint32_t now, wchar_t* out, size_t capacity);
