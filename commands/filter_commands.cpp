#include "commands/filter_commands.h"

#include <cwchar>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"

namespace {

// A changed filter is kept with the file and the file is read again, as
// the rows it leaves out are gone from the view.
void ApplyFilter(const LineFilter& filter) {
  const LineFilter& current = CurrentLineFilter();
  if (SameText(filter.pattern, current.pattern) &&
      (!filter.pattern[0] || (filter.hide == current.hide && filter.matchCase == current.matchCase)))
    return;
  WriteStoredFilter(filter);
  SetLineFilter(filter);
  RefreshTitle();
  LoadFile();
}

void OnFilterInit(HWND dialog) {
  const LineFilter& filter = CurrentLineFilter();
  SendDlgItemMessageW(dialog, IDC_FILTER_PATTERN, EM_LIMITTEXT, kFilterPatternUnits - 1, 0);
  SetDlgItemTextW(dialog, IDC_FILTER_PATTERN, AsWide(filter.pattern));
  CheckRadioButton(dialog, IDC_FILTER_SHOW, IDC_FILTER_HIDE, filter.hide ? IDC_FILTER_HIDE : IDC_FILTER_SHOW);
  CheckDlgButton(dialog, IDC_FILTER_CASE, filter.matchCase ? BST_CHECKED : BST_UNCHECKED);
}

void OnFilterAccept(HWND dialog) {
  LineFilter filter{};
  GetDlgItemTextW(dialog, IDC_FILTER_PATTERN, AsWide(filter.pattern), int(kFilterPatternUnits));
  filter.hide = IsDlgButtonChecked(dialog, IDC_FILTER_HIDE) == BST_CHECKED;
  filter.matchCase = IsDlgButtonChecked(dialog, IDC_FILTER_CASE) == BST_CHECKED;
  EndDialog(dialog, 1);
  ApplyFilter(filter);
}

INT_PTR CALLBACK FilterProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnFilterInit(dialog); break;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) OnFilterAccept(dialog);
      break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

void ShowFilterDialog(HWND window) {
  ShowDialog(window, IDD_FILTER, FilterProc);
  if (engineHost.view) SetFocus(engineHost.view);
}

void ClearLineFilter(HWND) { ApplyFilter(LineFilter{}); }
