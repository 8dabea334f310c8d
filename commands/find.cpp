#include "commands/find.h"

#include <algorithm>

#include "engine/engine_host.h"
#include "engine/highlight_rules.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/main_frame.h"

namespace {

// The Find dialog edits the text in place; it is told of 512 bytes.
wchar_t findText[256];
bool searchDown = true;
bool wholeWord = false;
bool matchCase = false;
// Set when the dialog opens: the first search then includes the current row.
bool firstSearchPending = false;
FINDREPLACEW findRecord;
HWND findDialog = nullptr;  // one at a time: it shares the record and the text
wchar_t rowText[kMaxRowUnits + 1];

// The caret row, or 0 when the view has none.
int CurrentRow(HWND view) {
  LRESULT caret = SendMessageW(view, LB_GETCARETINDEX, 0, 0);
  return caret == LB_ERR || caret < 0 ? 0 : int(caret);
}

// Tests the rows from the current one on in the search direction; there is
// no wrap-around, a miss only beeps.
void Search() {
  HWND view = engineHost.view;
  if (!view || !findText[0]) return;
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  int step = searchDown ? 1 : -1;
  // A view emptied while the dialog stays open (Close) has no row to test.
  int row = count > 0 ? std::clamp(CurrentRow(view), 0, int(count) - 1) + (firstSearchPending ? 0 : step) : -1;
  firstSearchPending = false;
  for (; row >= 0 && row < count; row += step) {
    if (RowMatches(AsText(rowText), ReadViewRow(view, row, rowText), AsText(findText), matchCase, wholeWord)) {
      ShowRow(row);
      return;
    }
  }
  MessageBeep(MB_OK);
}

void FocusView() {
  if (engineHost.view) SetFocus(engineHost.view);
}

int RowCount() {
  LRESULT count = engineHost.view ? SendMessageW(engineHost.view, LB_GETCOUNT, 0, 0) : 0;
  return count == LB_ERR || count < 0 ? 0 : int(count);
}

void OnGoToInit(HWND dialog) {
  LRESULT caret = engineHost.view ? SendMessageW(engineHost.view, LB_GETCARETINDEX, 0, 0) : LB_ERR;
  SetDlgItemInt(dialog, IDC_ROW_NUMBER, caret == LB_ERR || caret < 0 ? 0 : UINT(caret) + 1, FALSE);
}

// A number outside the rows keeps the dialog open for another try.
void OnGoToAccept(HWND dialog) {
  BOOL read = FALSE;
  UINT number = GetDlgItemInt(dialog, IDC_ROW_NUMBER, &read, FALSE);
  if (read && number >= 1 && number <= UINT(RowCount())) EndDialog(dialog, INT_PTR(number));
  else MessageBeep(MB_OK);
}

INT_PTR CALLBACK GoToRowProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) OnGoToInit(dialog);
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) OnGoToAccept(dialog);
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

void ShowRow(int index) {
  HWND view = engineHost.view;
  if (!view) return;
  SendMessageW(view, LB_SETTOPINDEX, WPARAM(index < 5 ? 0 : index - 4), 0);
  SendMessageW(view, LB_SETCARETINDEX, WPARAM(index), FALSE);
  SendMessageW(view, LB_SETSEL, FALSE, -1);
  SendMessageW(view, LB_SETSEL, TRUE, LPARAM(index));
  RefreshStatus();
}

void ShowFindDialog(HWND window) {
  if (findDialog && IsWindow(findDialog)) {
    SetActiveWindow(findDialog);
    return;
  }
  firstSearchPending = true;
  findRecord = FINDREPLACEW{};
  findRecord.lStructSize = sizeof findRecord;
  findRecord.hwndOwner = window;
  findRecord.lpstrFindWhat = findText;
  findRecord.wFindWhatLen = sizeof findText;
  findRecord.Flags = FR_DOWN;
  centerNextWindow = true;
  HWND dialog = FindTextW(&findRecord);
  centerNextWindow = false;
  findDialog = dialog;
  if (dialog) {
    dialogFocusWindow = dialog;
    EnableWindow(window, FALSE);
  }
  FocusView();
}

// The dialog reports through our own record; any other address is forged.
void HandleFindMessage(HWND window, const FINDREPLACEW* record) {
  if (record != &findRecord || !findDialog) return;
  if (record->Flags & FR_DIALOGTERM) {
    findDialog = nullptr;
    dialogFocusWindow = window;
    EnableWindow(window, TRUE);
    FocusView();
  } else if (record->Flags & FR_FINDNEXT) {
    searchDown = (record->Flags & FR_DOWN) != 0;
    wholeWord = (record->Flags & FR_WHOLEWORD) != 0;
    matchCase = (record->Flags & FR_MATCHCASE) != 0;
    Search();
  }
}

void FindNextRow(HWND) { Search(); }

void ForgetFindText() { findText[0] = L'\0'; }

void ShowGoToRowDialog(HWND window) {
  INT_PTR number = ShowDialog(window, IDD_GOTO_ROW, GoToRowProc);
  if (number > 0 && number <= RowCount()) ShowRow(int(number - 1));
  FocusView();
}
