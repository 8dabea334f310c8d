// The filter dialog edits a copy of the file's filters; only OK applies it.
// The list holds as many filters as the properties stream has keys free of
// values that are no filter, so saving never overwrites those.
#include "commands/filter_commands.h"

#include <algorithm>
#include <iterator>

#include "core/stored_values.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"

namespace {

LineFilters pending{};
uint32_t pendingBoundHits[kMaxFilters] = {};  // as counted for each filter while in force
int capacity = kMaxFilters;

bool Checked(HWND dialog, int box) { return IsDlgButtonChecked(dialog, box) == BST_CHECKED; }
void Check(HWND dialog, int box, bool on) { CheckDlgButton(dialog, box, on ? BST_CHECKED : BST_UNCHECKED); }
HWND FilterList(HWND dialog) { return GetDlgItem(dialog, IDC_FILTER_LIST); }

bool SameFilter(const LineFilter& a, const LineFilter& b) {
  TextUnit left[kFilterValueUnits], right[kFilterValueUnits];
  FormatStoredFilter(a, left), FormatStoredFilter(b, right);
  return SameText(left, right);
}

bool SameFilters(const LineFilters& a, const LineFilters& b) {
  return a.count == b.count && std::equal(a.items, a.items + a.count, b.items, SameFilter);
}

// Changed filters are kept with the file and the file is read again, as the
// rows they leave out are gone from the view.
void ApplyFilters(const LineFilters& filters) {
  if (SameFilters(filters, CurrentLineFilters())) return;
  WriteStoredFilters(filters);
  SetLineFilters(filters);
  RefreshTitle();
  LoadFile();
}

// A filter in the list: the title's form, with its case.
void FilterCaption(const LineFilter& filter, wchar_t* out, size_t units) {
  size_t at = FormatFilterItem(filter, out, units);
  if (filter.matchCase) FormatPaneText(LocalizedString(IDS_FILTER_TIP_CASE), nullptr, 0, out + at, units - at);
}

// The editor's filter; false when its pattern is empty.
bool ReadEditor(HWND dialog, LineFilter* filter) {
  *filter = LineFilter{};
  GetDlgItemTextW(dialog, IDC_FILTER_PATTERN, AsWide(filter->pattern), int(kFilterPatternUnits));
  filter->hide = Checked(dialog, IDC_FILTER_HIDE);
  filter->matchCase = Checked(dialog, IDC_FILTER_CASE);
  filter->regex = Checked(dialog, IDC_FILTER_REGEX);
  return filter->pattern[0] != 0;
}

// A filter, and beside its pattern the lines too costly for it so far.
void ShowInEditor(HWND dialog, const LineFilter& filter, uint32_t boundHits) {
  SetDlgItemTextW(dialog, IDC_FILTER_PATTERN, AsWide(filter.pattern));
  CheckRadioButton(dialog, IDC_FILTER_SHOW, IDC_FILTER_HIDE, filter.hide ? IDC_FILTER_HIDE : IDC_FILTER_SHOW);
  Check(dialog, IDC_FILTER_CASE, filter.matchCase);
  Check(dialog, IDC_FILTER_REGEX, filter.regex);
  wchar_t number[12], text[128] = L"";
  DecimalText(boundHits, AsText(number));
  const wchar_t* args[] = {number};
  if (boundHits) FormatPaneText(LocalizedString(IDS_FILTER_BOUND_HITS), args, 1, text, std::size(text));
  SetDlgItemTextW(dialog, IDC_FILTER_BOUND, text);
}

// The editor's filter, unless its regular expression does not compile.
bool RefusedPattern(HWND dialog, const LineFilter& filter) {
  return filter.regex && RefusedRegex(dialog, IDC_FILTER_PATTERN, filter.pattern, TextLength(filter.pattern),
                                      filter.matchCase, false);
}

void UpdateButtons(HWND dialog) {
  int selected = int(SendMessageW(FilterList(dialog), LB_GETCURSEL, 0, 0));
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_ADD), pending.count < capacity);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_CHANGE), selected >= 0);
  EnableWindow(GetDlgItem(dialog, IDC_FILTER_REMOVE), selected >= 0);
  // A button that went grey with the focus leaves it to the list.
  if (HWND focus = GetFocus(); focus && !IsWindowEnabled(focus)) SetFocus(FilterList(dialog));
}

// The list anew with one filter selected, shown in the editor.
void FillList(HWND dialog, int selected) {
  HWND list = FilterList(dialog);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  wchar_t caption[kFilterPatternUnits + 64];
  for (int i = 0; i < pending.count; ++i) {
    FilterCaption(pending.items[i], caption, std::size(caption));
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption));
  }
  SendMessageW(list, LB_SETCURSEL, WPARAM(selected), 0);
  if (selected >= 0 && selected < pending.count)
    ShowInEditor(dialog, pending.items[selected], pendingBoundHits[selected]);
}

bool AppendFilter(const LineFilter& filter) {
  if (pending.count >= capacity) return false;
  pendingBoundHits[pending.count] = 0;
  pending.items[pending.count++] = filter;
  return true;
}

void AddFilter(HWND dialog) {
  LineFilter filter;
  if (!ReadEditor(dialog, &filter)) return (void)MessageBeep(MB_OK);
  if (RefusedPattern(dialog, filter)) return;
  if (!AppendFilter(filter)) return (void)MessageBeep(MB_OK);
  FillList(dialog, pending.count - 1);
}

void ChangeFilter(HWND dialog, int selected) {
  LineFilter filter;
  if (selected < 0 || !ReadEditor(dialog, &filter)) return (void)MessageBeep(MB_OK);
  if (RefusedPattern(dialog, filter)) return;
  pending.items[selected] = filter;
  pendingBoundHits[selected] = 0;
  FillList(dialog, selected);
}

void RemoveFilter(HWND dialog, int selected) {
  if (selected < 0) return;
  std::move(pending.items + selected + 1, pending.items + pending.count, pending.items + selected);
  std::move(pendingBoundHits + selected + 1, pendingBoundHits + pending.count, pendingBoundHits + selected);
  --pending.count;
  FillList(dialog, std::min(selected, pending.count - 1));
}

bool Listed(const LineFilter& filter) {
  return std::any_of(pending.items, pending.items + pending.count,
                     [&](const LineFilter& listed) { return SameFilter(filter, listed); });
}

void OnFilterInit(HWND dialog) {
  pending = CurrentLineFilters();
  for (int i = 0; i < pending.count; ++i) pendingBoundHits[i] = FilterBoundHits(i);
  capacity = StoredFilterRoom();
  SendDlgItemMessageW(dialog, IDC_FILTER_PATTERN, EM_LIMITTEXT, kFilterPatternUnits - 1, 0);
  ShowInEditor(dialog, LineFilter{}, 0);
  FillList(dialog, pending.count ? 0 : -1);
  UpdateButtons(dialog);
}

// A filter typed into the editor but not yet added is added, room allowing,
// rather than lost.
void OnFilterAccept(HWND dialog) {
  if (LineFilter filter; ReadEditor(dialog, &filter) && !Listed(filter)) {
    if (RefusedPattern(dialog, filter)) return;
    AppendFilter(filter);
  }
  EndDialog(dialog, 1);
  ApplyFilters(pending);
}

void OnFilterCommand(HWND dialog, int id, int code) {
  int selected = int(SendMessageW(FilterList(dialog), LB_GETCURSEL, 0, 0));
  switch (id) {
    case IDOK: return OnFilterAccept(dialog);
    case IDC_FILTER_LIST:
      if (code == LBN_SELCHANGE && selected >= 0)
        ShowInEditor(dialog, pending.items[selected], pendingBoundHits[selected]);
      break;
    case IDC_FILTER_ADD: AddFilter(dialog); break;
    case IDC_FILTER_CHANGE: ChangeFilter(dialog, selected); break;
    case IDC_FILTER_REMOVE: RemoveFilter(dialog, selected); break;
  }
  UpdateButtons(dialog);
}

INT_PTR CALLBACK FilterProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnFilterInit(dialog); break;
    case WM_COMMAND: OnFilterCommand(dialog, LOWORD(wparam), HIWORD(wparam)); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

void ShowFilterDialog(HWND window) {
  ShowDialog(window, IDD_FILTER, FilterProc);
  if (engineHost.view) SetFocus(engineHost.view);
}

void ClearLineFilter(HWND) { ApplyFilters(LineFilters{}); }
