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

#include "core/update_reply.h"
#include "engine/wide_text.h"

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

// String 54 (no update), 57 (patch), 56 (minor) or 55 (major) against the built version.
UINT UpdateMessageFor(const UpdateReply& reply);

// The request: service?i=..&u=..&l=..&f=........&v= and the built version, A.B.C.D.
void FormatUpdateRequest(const wchar_t* service, uint32_t installed, unsigned language, uint32_t id,
                         wchar_t* out, size_t capacity);
// Pane 7's tip text for these settings; the next check in local time, which
// is now when a last check in the future made it due.
void FormatUpdateStatus(bool autoCheck, uint32_t lastCheck, uint32_t now, wchar_t* out, size_t capacity);
