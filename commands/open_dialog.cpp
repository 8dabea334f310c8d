#include "commands/open_dialog.h"

#include <cwchar>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"

namespace {

wchar_t chosenName[kPathUnits];
wchar_t filter[512];

size_t AppendPart(size_t at, const wchar_t* text) {
  if (!text) text = L"";
  size_t length = wcslen(text);
  if (at + length + 2 > sizeof filter / sizeof *filter) length = sizeof filter / sizeof *filter - at - 2;
  wmemcpy(filter + at, text, length);
  filter[at + length] = 0;
  return at + length + 1;
}

// The older dialog of server core gets a hook, which keeps it from
// switching to the explorer style; the hook itself has nothing to do.
UINT_PTR CALLBACK OldStyleHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

DWORD MajorVersion() { return LOBYTE(LOWORD(GetVersion())); }

}  // namespace

const wchar_t* OpenDialogFilter() {
  if (!filter[0]) {
    size_t at = AppendPart(0, LocalizedString(IDS_FILTER_LOG_FILES));
    at = AppendPart(at, L"*.log");
    at = AppendPart(at, LocalizedString(IDS_FILTER_ALL_FILES));
    at = AppendPart(at, L"*.*");
    filter[at] = 0;
  }
  return filter;
}

bool IsServerCoreProduct(DWORD productType) {
  switch (productType) {
    case 12: case 13: case 14: case 29: case 39: case 40: case 41: case 42:
      return true;
    default:
      return false;
  }
}

bool RunsOnServerCore(DWORD majorVersion) {
  if (!getProductInfo || majorVersion > 9) return false;
  DWORD type = 0;
  DWORD version = GetVersion();
  if (!getProductInfo(majorVersion, HIBYTE(LOWORD(version)), 0, 0, &type)) return false;
  return IsServerCoreProduct(type);
}

void PrepareOpenDialog(HWND window, OPENFILENAMEW* dialog, wchar_t* name, DWORD majorVersion,
                       bool serverCore) {
  name[0] = 0;
  *dialog = OPENFILENAMEW{};
  dialog->lStructSize = majorVersion >= 5 ? sizeof *dialog : OPENFILENAME_SIZE_VERSION_400W;
  dialog->hwndOwner = window;
  dialog->lpstrFilter = OpenDialogFilter();
  dialog->nFilterIndex = 1;
  dialog->lpstrFile = name;
  dialog->nMaxFile = DWORD(kPathUnits);
  dialog->lpstrDefExt = L"log";
  dialog->Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (serverCore) {
    dialog->Flags |= OFN_NONETWORKBUTTON | OFN_ENABLEHOOK;
    dialog->lpfnHook = OldStyleHook;
  } else {
    // The older dialog would hand several names back separated by spaces.
    dialog->Flags |= OFN_EXPLORER | OFN_ALLOWMULTISELECT;
  }
}

std::vector<std::wstring> ChosenPaths(const wchar_t* chosen, size_t capacity) {
  std::vector<std::wstring> paths;
  size_t first = wcsnlen(chosen, capacity);
  if (first == 0 || first >= capacity) return paths;
  if (first + 1 >= capacity || chosen[first + 1] == 0) return {std::wstring(chosen, first)};
  std::wstring folder(chosen, first);
  if (folder.back() != L'\\') folder += L'\\';
  for (size_t at = first + 1; at < capacity && chosen[at];) {
    size_t length = wcsnlen(chosen + at, capacity - at);
    if (at + length >= capacity) break;  // a name the buffer cut
    paths.push_back(folder + std::wstring(chosen + at, length));
    at += length + 1;
  }
  return paths;
}

std::vector<std::wstring> ChooseFiles(HWND owner) {
  DWORD major = MajorVersion();
  OPENFILENAMEW dialog;
  PrepareOpenDialog(owner, &dialog, chosenName, major, RunsOnServerCore(major));
  if (major >= 5) centerNextDialog = true;
  BOOL chosen = GetOpenFileNameW(&dialog);
  // A dialog that never came up must not leave the flag for another one.
  centerNextDialog = false;
  if (!chosen) return {};
  return ChosenPaths(chosenName, kPathUnits);
}

void ShowOpenDialog(HWND window) {
  std::vector<std::wstring> paths = ChooseFiles(window);
  std::vector<const wchar_t*> names;
  for (const std::wstring& path : paths) names.push_back(path.c_str());
  if (!names.empty()) OpenFiles(names.data(), names.size());
  if (engineHost.view) SetFocus(engineHost.view);
}
