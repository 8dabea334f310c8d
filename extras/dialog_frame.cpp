#include "extras/dialog_frame.h"

#include <cwchar>

namespace {

constexpr size_t kErrorPartUnits = 256;

// Appends at most limit units of text, always leaving out terminated.
size_t AppendCut(wchar_t* out, size_t at, size_t capacity, const wchar_t* text, size_t limit) {
  for (size_t i = 0; text && text[i] && i < limit && at + 1 < capacity; ++i) out[at++] = text[i];
  out[at] = L'\0';
  return at;
}

}  // namespace

INT_PTR CALLBACK CommonDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;  // the platform sets the default focus
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) EndDialog(dialog, 0);
  return FALSE;
}

void ComposeErrorMessage(const wchar_t* localized, DWORD error, wchar_t* out, size_t capacity) {
  if (!capacity) return;
  size_t at = AppendCut(out, 0, capacity, localized, kErrorPartUnits);
  wchar_t* system = nullptr;
  if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr) && system)
    AppendCut(out, at, capacity, system, kErrorPartUnits);
  if (system) LocalFree(system);
}
