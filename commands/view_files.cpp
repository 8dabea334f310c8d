#include "commands/view_files.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "commands/open_dialog.h"
#include "core/rows.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"

namespace {

void AddChosenFiles(HWND owner) {
  for (const std::wstring& path : ChooseFiles(owner))
    if (!AddFileToView(path.c_str())) break;  // the view is full, or the reason was shown
}

HWND FileList(HWND dialog) { return GetDlgItem(dialog, IDC_VIEW_FILES); }

// Each file by its shown path, with its size or a note that it cannot be opened now.
void FillFileList(HWND dialog, int selected) {
  HWND list = FileList(dialog);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  static wchar_t shown[kPathUnits], item[kPathUnits + 64];
  int widest = 0;
  HDC dc = GetDC(list);
  HGDIOBJ oldFont = dc ? SelectObject(dc, HGDIOBJ(SendMessageW(list, WM_GETFONT, 0, 0))) : nullptr;
  for (uint32_t i = 0; i < ViewFileCount(); ++i) {
    ShownPathOf(ViewFilePath(i), shown, kPathUnits);
    wchar_t size[64] = L"";
    if (ViewFileOpen(i) && !StrFormatByteSizeW(LONGLONG(ViewFileSize(i)), size, 64)) size[0] = 0;
    const wchar_t* args[] = {shown, size};
    UINT format = ViewFileStalled(i) ? IDS_VIEW_FILE_STALLED : ViewFileOpen(i) ? IDS_VIEW_FILE_TIP : IDS_VIEW_FILE_MISSING;
    FormatPaneText(LocalizedString(format), args, 2, item, kPathUnits + 64);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SIZE extent;
    if (dc && GetTextExtentPoint32W(dc, item, int(wcslen(item)), &extent) && extent.cx > widest) widest = extent.cx;
  }
  if (dc) SelectObject(dc, oldFont), ReleaseDC(list, dc);
  SendMessageW(list, LB_SETHORIZONTALEXTENT, WPARAM(widest + 8), 0);
  int count = int(ViewFileCount());
  SendMessageW(list, LB_SETCURSEL, WPARAM(count ? std::min(selected, count - 1) : -1), 0);
}

void UpdateFileButtons(HWND dialog) {
  int selected = int(SendMessageW(FileList(dialog), LB_GETCURSEL, 0, 0));
  EnableWindow(GetDlgItem(dialog, IDC_VIEW_FILE_ADD), ViewFileCount() < kMaxViewFiles);
  // A view of one file is closed, not emptied.
  EnableWindow(GetDlgItem(dialog, IDC_VIEW_FILE_REMOVE), selected >= 0 && ViewFileCount() > 1);
  if (HWND focus = GetFocus(); focus && !IsWindowEnabled(focus)) SetFocus(FileList(dialog));
}

// The first file leads the view (its placement and filters are kept with it):
// without it the view is opened anew from the next.
void RemoveViewFile(int selected) {
  if (selected < 0 || ViewFileCount() < 2) return;
  if (selected > 0) {
    RemoveFileFromView(uint32_t(selected));
    return;
  }
  std::vector<std::wstring> rest;
  for (uint32_t i = 1; i < ViewFileCount(); ++i) rest.emplace_back(ViewFilePath(i));
  std::vector<const wchar_t*> names;
  for (const std::wstring& path : rest) names.push_back(path.c_str());
  OpenFiles(names.data(), names.size());
}

void OnFilesCommand(HWND dialog, int id) {
  int selected = int(SendMessageW(FileList(dialog), LB_GETCURSEL, 0, 0));
  switch (id) {
    case IDC_VIEW_FILE_ADD:
      AddChosenFiles(dialog);
      FillFileList(dialog, int(ViewFileCount()) - 1);
      break;
    case IDC_VIEW_FILE_REMOVE:
      RemoveViewFile(selected);
      FillFileList(dialog, selected);
      break;
    case IDOK: EndDialog(dialog, 1); return;
  }
  UpdateFileButtons(dialog);
}

INT_PTR CALLBACK FilesInViewProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      FillFileList(dialog, 0);
      UpdateFileButtons(dialog);
      break;
    case WM_COMMAND: OnFilesCommand(dialog, LOWORD(wparam)); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

void ShowAddFileDialog(HWND window) {
  AddChosenFiles(window);
  if (engineHost.view) SetFocus(engineHost.view);
}

void ShowFilesInViewDialog(HWND window) {
  ShowDialog(window, IDD_FILES_IN_VIEW, FilesInViewProc);
  if (engineHost.view) SetFocus(engineHost.view);
}
