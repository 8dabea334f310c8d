// File type associations in the classes registry: our own file type, which
// is registered anew with the running program's path whenever the user may
// write there, ".log" and ".txt" pointing at it, and the "Watch file as
// log..." verb on every file. Without the rights the dialog only shows them.
//
// Save writes an extension only when its box changed since the dialog
// opened. Taking an extension over keeps what it pointed at in a value of our
// own beside it and giving it back restores that, so that another program's
// association survives the round trip; "txtfile" stands in when nothing was
// kept.
#include "commands/associations.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "engine/engine_host.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"

namespace {

constexpr wchar_t kPreviousValue[] = L"Kavex.Quillon.previous";
constexpr wchar_t kTextFileClass[] = L"txtfile";
constexpr DWORD kEditFlags = 0x00010001;  // FTA_Exclude | FTA_OpenIsSafe
constexpr DWORD kPathUnits = 32767;
// The extensions .log and .txt, then the verb.
constexpr int kBoxes[] = {IDC_ASSOC_LOG, IDC_ASSOC_TXT, IDC_ASSOC_CONTEXT_MENU};
constexpr const wchar_t* kExtensions[] = {L".log", L".txt"};

HKEY classesRoot = HKEY_CLASSES_ROOT;
// "<program>" "%1"; empty when the program's path does not fit.
wchar_t commandLine[kPathUnits + 8];

// What the dialog found when it opened.
struct Found {
  bool writable;
  bool checked[3];
};
Found found;

// Creates the subkey when it is missing; an empty or missing text is not written.
void SetText(HKEY key, const wchar_t* subkey, const wchar_t* name, const wchar_t* text) {
  if (text && text[0])
    RegSetKeyValueW(key, subkey, name, REG_SZ, text, DWORD((wcslen(text) + 1) * sizeof(wchar_t)));
}

bool CreateKey(HKEY root, const wchar_t* subkey, HKEY* key) {
  return RegCreateKeyExW(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr) == ERROR_SUCCESS;
}

// Always terminated; false when the value is missing, no text or too long.
bool ReadText(HKEY key, const wchar_t* subkey, const wchar_t* name, wchar_t* out, DWORD bytes) {
  DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD size = bytes;
  if (RegGetValueW(key, subkey, name, flags, nullptr, out, &size) == ERROR_SUCCESS) return true;
  if (bytes >= sizeof(wchar_t)) out[0] = L'\0';  // a value of another type was copied in before it was refused
  return false;
}

void MakeCommandLine() {
  static wchar_t path[kPathUnits + 1];
  DWORD length = GetModuleFileNameW(nullptr, path, kPathUnits + 1);
  commandLine[0] = L'\0';
  if (length && length <= kPathUnits) swprintf(commandLine, kPathUnits + 8, L"\"%ls\" \"%%1\"", path);
}

void RegisterFileType(HKEY root, HKEY type) {
  SetText(type, nullptr, nullptr, LocalizedString(IDS_PRODUCT_NAME));
  RegSetValueExW(type, L"EditFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kEditFlags),
                 sizeof kEditFlags);
  SetText(type, nullptr, L"FriendlyTypeName", LocalizedString(IDS_LOG_FILE_TYPE));
  SetText(type, L"CurVer", nullptr, LocalizedString(IDS_PROG_ID));
  wchar_t icon[MAX_PATH + 32];  // a path and an index
  bool copied = ReadText(root, L"txtfile\\DefaultIcon", nullptr, icon, sizeof icon);
  SetText(type, L"DefaultIcon", nullptr, copied ? icon : LocalizedString(IDS_DEFAULT_ICON));
  SetText(type, L"shell\\open\\command", nullptr, commandLine);
}

// Registers our file type when the user may write, and reads which boxes are
// ours; false with the error when our file type cannot even be read.
bool FindAssociations(HKEY root, Found* state, DWORD* error) {
  const wchar_t* progId = LocalizedString(IDS_PROG_ID);
  *state = {};
  HKEY type = nullptr;
  if ((state->writable = CreateKey(root, progId, &type))) {
    MakeCommandLine();
    RegisterFileType(root, type);
  } else {
    LSTATUS status = RegOpenKeyExW(root, progId, 0, KEY_READ, &type);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return true;  // nothing can be ours
    if (status != ERROR_SUCCESS) return *error = DWORD(status), false;
  }
  RegCloseKey(type);
  wchar_t target[256];
  for (int i = 0; i < 2; ++i) {  // letter case counts: another spelling is not ours
    bool read = ReadText(root, kExtensions[i], nullptr, target, sizeof target);
    state->checked[i] = read && !wcscmp(target, progId);
  }
  HKEY verb;
  state->checked[2] = RegOpenKeyExW(root, LocalizedString(IDS_VERB_KEY), 0, KEY_READ, &verb) == ERROR_SUCCESS;
  if (state->checked[2]) RegCloseKey(verb);
  return true;
}

// Class names are compared without regard to letter case: our own type in
// another spelling is still ours and no owner to give back to.
bool AnotherClass(const wchar_t* className) {
  return className[0] && CompareStringOrdinal(className, -1, LocalizedString(IDS_PROG_ID), -1, TRUE) != CSTR_EQUAL;
}

// Points the extension at our file type, keeping what it pointed at, or
// gives back what was kept.
void SetExtension(HKEY root, const wchar_t* extension, bool ours) {
  HKEY key;
  if (!CreateKey(root, extension, &key)) return;
  wchar_t before[256];
  if (ours) {
    if (ReadText(key, nullptr, nullptr, before, sizeof before) && AnotherClass(before))
      SetText(key, nullptr, kPreviousValue, before);
    else RegDeleteValueW(key, kPreviousValue);
    SetText(key, nullptr, nullptr, LocalizedString(IDS_PROG_ID));
  } else {
    bool kept = ReadText(key, nullptr, kPreviousValue, before, sizeof before) && AnotherClass(before);
    SetText(key, nullptr, nullptr, kept ? before : kTextFileClass);
    RegDeleteValueW(key, kPreviousValue);
  }
  RegCloseKey(key);
}

void SetVerb(HKEY root, bool on) {
  const wchar_t* verbKey = LocalizedString(IDS_VERB_KEY);
  HKEY verb;
  if (!on) SHDeleteKeyW(root, verbKey);
  if (!on || !CreateKey(root, verbKey, &verb)) return;
  SetText(verb, nullptr, nullptr, LocalizedString(IDS_WATCH_VERB));
  SetText(verb, L"Command", nullptr, commandLine);
  RegCloseKey(verb);
}

// Writes the extensions whose boxes changed and the verb, which carries the
// program's path and so is written again; true when a box changed.
bool SaveAssociations(HKEY root, const bool was[3], const bool now[3]) {
  for (int i = 0; i < 2; ++i)
    if (now[i] != was[i]) SetExtension(root, kExtensions[i], now[i]);
  SetVerb(root, now[2]);
  return now[0] != was[0] || now[1] != was[1] || now[2] != was[2];
}

void OnAssociationsInit(HWND dialog) {
  for (int i = 0; i < 3; ++i) {
    CheckDlgButton(dialog, kBoxes[i], found.checked[i] ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, kBoxes[i]), found.writable);
  }
  EnableWindow(GetDlgItem(dialog, IDOK), found.writable);
  if (!found.writable) SetDlgItemTextW(dialog, IDC_RIGHTS_NOTE, LocalizedString(IDS_ASSOC_NO_RIGHTS));
}

// Only a dialog that may write saves, whoever sends the command.
void OnAssociationsCommand(HWND dialog, int command) {
  if (command != IDOK || !found.writable) return;
  bool now[3];
  for (int i = 0; i < 3; ++i) now[i] = IsDlgButtonChecked(dialog, kBoxes[i]) == BST_CHECKED;
  if (SaveAssociations(classesRoot, found.checked, now))
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK AssociationsProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnAssociationsInit(dialog); break;
    case WM_COMMAND: OnAssociationsCommand(dialog, LOWORD(wparam)); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

void SetAssociationsRoot(HKEY root) { classesRoot = root ? root : HKEY_CLASSES_ROOT; }

void ShowAssociationsDialog(HWND window) {
  DWORD error = 0;
  if (FindAssociations(classesRoot, &found, &error)) ShowDialog(window, IDD_ASSOCIATIONS, AssociationsProc);
  else ShowSystemError(window, IDS_ASSOC_READ_FAILED, error);
  if (engineHost.view) SetFocus(engineHost.view);
}
