#include "commands/clipboard_copy.h"

#include <cstdlib>
#include <cstring>

#include "engine/engine_host.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/main_frame.h"
#include "ui/platform.h"

namespace {

// Indices of the selected rows, ascending; null when none or out of memory.
int* SelectedRows(HWND view, int* count) {
  LRESULT selected = SendMessageW(view, LB_GETSELCOUNT, 0, 0);
  if (selected == LB_ERR || selected <= 0) return nullptr;
  int* rows = static_cast<int*>(malloc(size_t(selected) * sizeof(int)));
  if (!rows) return nullptr;
  LRESULT got = SendMessageW(view, LB_GETSELITEMS, WPARAM(selected), reinterpret_cast<LPARAM>(rows));
  if (got == LB_ERR || got <= 0) {
    free(rows);
    return nullptr;
  }
  *count = int(got);
  return rows;
}

// The clipboard text, in movable global memory owned by the caller; null
// when it cannot be had, with the last error set.
HGLOBAL RowsText(HWND view, const int* rows, int count) {
  size_t units = 1;
  for (int i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(view, LB_GETTEXTLEN, WPARAM(rows[i]), 0);
    units += size_t(length > 0 ? length : 0) + 4;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, units * sizeof(wchar_t));
  if (!memory) return nullptr;
  auto* text = static_cast<wchar_t*>(GlobalLock(memory));
  if (!text) {
    DWORD error = GetLastError();
    GlobalFree(memory);
    SetLastError(error);
    return nullptr;
  }
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    LRESULT length = SendMessageW(view, LB_GETTEXTLEN, WPARAM(rows[i]), 0);
    if (length > 0 && SendMessageW(view, LB_GETTEXT, WPARAM(rows[i]),
                                   reinterpret_cast<LPARAM>(text + at)) == length)
      at += size_t(length);
    text[at++] = L'\r';
    text[at++] = L'\n';
  }
  text[at] = 0;
  GlobalUnlock(memory);
  return memory;
}

// Gives the clipboard, open and emptied, the text (null when it could not be
// had, the last error set), closes it and reports a failure.
void HandOverText(HWND window, HGLOBAL text) {
  bool failed = false;
  DWORD error = NO_ERROR;
  if (!text || !SetClipboardData(CF_UNICODETEXT, text)) {
    failed = true;
    error = GetLastError();
    if (text) GlobalFree(text);
  }
  // Closed before the message box, so other programs are not kept from it.
  CloseClipboard();
  if (failed) ShowSystemError(window, IDS_COPY_FAILED, error);
}

}  // namespace

void CopySelectedRows(HWND window) {
  HWND view = engineHost.view;
  if (!view || !OpenClipboard(window)) return;
  EmptyClipboard();
  int count = 0;
  int* rows = SelectedRows(view, &count);
  if (!rows) {
    CloseClipboard();
    return;
  }
  HGLOBAL text = RowsText(view, rows, count);
  free(rows);
  HandOverText(window, text);
}

void CopyTextToClipboard(HWND window, const wchar_t* text, size_t units) {
  if (!OpenClipboard(window)) return;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (units + 1) * sizeof(wchar_t));
  auto* copy = memory ? static_cast<wchar_t*>(GlobalLock(memory)) : nullptr;
  if (memory && !copy) {
    DWORD error = GetLastError();
    GlobalFree(memory);
    SetLastError(error);
    memory = nullptr;
  }
  if (copy) {
    memcpy(copy, text, units * sizeof(wchar_t));
    copy[units] = 0;
    GlobalUnlock(memory);
  }
  HandOverText(window, memory);
}
