// File type associations in the classes registry: our own file type, which
// is registered anew with the running program's path whenever the user may
// write there, ".log" and ".txt" pointing at it, and the "Watch file as
// log..." verb on every file. Without the rights the dialog only shows them.
//
// Everything is written for the current user, in HKEY_CURRENT_USER's
// classes, which needs no administrator; what is there is read from the
// user's classes first, then from the classes root (Wine's classes root does
// not show the user's, and an older version wrote to the machine's).
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
#include <initializer_list>

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

constexpr wchar_t kUserClasses[] = L"Software\\Classes";

// Where we write, and what is read after it.
struct ClassRoots {
  HKEY user, all;
};
HKEY testUserRoot = nullptr, testAllRoot = nullptr;
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

// The user's own value first, as the merged classes root shows it on Windows.
bool ReadClassText(const ClassRoots& roots, const wchar_t* subkey, const wchar_t* name, wchar_t* out, DWORD bytes) {
  return ReadText(roots.user, subkey, name, out, bytes) || ReadText(roots.all, subkey, name, out, bytes);
}

bool ClassKeyExists(const ClassRoots& roots, const wchar_t* subkey) {
  HKEY key;
  for (HKEY root : {roots.user, roots.all})
    if (RegOpenKeyExW(root, subkey, 0, KEY_READ, &key) == ERROR_SUCCESS) return RegCloseKey(key), true;
  return false;
}

// The user's classes key, created when missing; read-only when it cannot be
// written, null when it cannot be opened. Tests' keys are not theirs to close.
ClassRoots OpenClassRoots() {
  if (testUserRoot) return {testUserRoot, testAllRoot};
  HKEY user = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user, nullptr))
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, KEY_READ, &user)) user = nullptr;
  return {user, HKEY_CLASSES_ROOT};
}

void CloseClassRoots(const ClassRoots& roots) {
  if (!testUserRoot && roots.user) RegCloseKey(roots.user);
}

void MakeCommandLine() {
  static wchar_t path[kPathUnits + 1];
  DWORD length = GetModuleFileNameW(nullptr, path, kPathUnits + 1);
  commandLine[0] = L'\0';
  if (length && length <= kPathUnits) swprintf(commandLine, kPathUnits + 8, L"\"%ls\" \"%%1\"", path);
}

void RegisterFileType(const ClassRoots& roots, HKEY type) {
  SetText(type, nullptr, nullptr, LocalizedString(IDS_PRODUCT_NAME));
  RegSetValueExW(type, L"EditFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kEditFlags),
                 sizeof kEditFlags);
  SetText(type, nullptr, L"FriendlyTypeName", LocalizedString(IDS_LOG_FILE_TYPE));
  SetText(type, L"CurVer", nullptr, LocalizedString(IDS_PROG_ID));
  wchar_t icon[MAX_PATH + 32];  // a path and an index
  bool copied = ReadClassText(roots, L"txtfile\\DefaultIcon", nullptr, icon, sizeof icon);
  SetText(type, L"DefaultIcon", nullptr, copied ? icon : LocalizedString(IDS_DEFAULT_ICON));
  SetText(type, L"shell\\open\\command", nullptr, commandLine);
}

// Registers our file type when the user may write, and reads which boxes are
// ours; false with the error when our file type cannot even be read.
bool FindAssociations(const ClassRoots& roots, Found* state, DWORD* error) {
  const wchar_t* progId = LocalizedString(IDS_PROG_ID);
  *state = {};
  HKEY type = nullptr;
  if ((state->writable = roots.user && CreateKey(roots.user, progId, &type))) {
    MakeCommandLine();
    RegisterFileType(roots, type);
  } else {
    LSTATUS status = roots.user ? RegOpenKeyExW(roots.user, progId, 0, KEY_READ, &type) : ERROR_FILE_NOT_FOUND;
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)
      status = RegOpenKeyExW(roots.all, progId, 0, KEY_READ, &type);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return true;  // nothing can be ours
    if (status != ERROR_SUCCESS) return *error = DWORD(status), false;
  }
  RegCloseKey(type);
  wchar_t target[256];
  for (int i = 0; i < 2; ++i) {  // letter case counts: another spelling is not ours
    bool read = ReadClassText(roots, kExtensions[i], nullptr, target, sizeof target);
    state->checked[i] = read && !wcscmp(target, progId);
  }
  state->checked[2] = ClassKeyExists(roots, LocalizedString(IDS_VERB_KEY));
  return true;
}

// Class names are compared without regard to letter case: our own type in
// another spelling is still ours and no owner to give back to.
bool AnotherClass(const wchar_t* className) {
  return className[0] && CompareStringOrdinal(className, -1, LocalizedString(IDS_PROG_ID), -1, TRUE) != CSTR_EQUAL;
}

// Points the extension at our file type, keeping what it pointed at, or
// gives back what was kept.
void SetExtension(const ClassRoots& roots, const wchar_t* extension, bool ours) {
  HKEY key;
  if (!CreateKey(roots.user, extension, &key)) return;
  wchar_t before[256];
  if (ours) {
    if (ReadClassText(roots, extension, nullptr, before, sizeof before) && AnotherClass(before))
      SetText(key, nullptr, kPreviousValue, before);
    else RegDeleteValueW(key, kPreviousValue);
    SetText(key, nullptr, nullptr, LocalizedString(IDS_PROG_ID));
  } else {
    bool kept = ReadClassText(roots, extension, kPreviousValue, before, sizeof before) && AnotherClass(before);
    SetText(key, nullptr, nullptr, kept ? before : kTextFileClass);
    RegDeleteValueW(key, kPreviousValue);
  }
  RegCloseKey(key);
}

void SetVerb(const ClassRoots& roots, bool on) {
  const wchar_t* verbKey = LocalizedString(IDS_VERB_KEY);
  HKEY verb;
  if (!on) {
    SHDeleteKeyW(roots.user, verbKey);
    SHDeleteKeyW(roots.all, verbKey);  // one an older version wrote for every user, where we may
  }
  if (!on || !CreateKey(roots.user, verbKey, &verb)) return;
  SetText(verb, nullptr, nullptr, LocalizedString(IDS_WATCH_VERB));
  SetText(verb, L"Command", nullptr, commandLine);
  RegCloseKey(verb);
}

// Writes the extensions whose boxes changed and the verb, which carries the
// program's path and so is written again; true when a box changed.
bool SaveAssociations(const ClassRoots& roots, const bool was[3], const bool now[3]) {
  for (int i = 0; i < 2; ++i)
    if (now[i] != was[i]) SetExtension(roots, kExtensions[i], now[i]);
  SetVerb(roots, now[2]);
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
  ClassRoots roots = OpenClassRoots();
  bool changed = roots.user && SaveAssociations(roots, found.checked, now);
  CloseClassRoots(roots);
  if (changed) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
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

void SetAssociationsRoots(HKEY user, HKEY all) { testUserRoot = user, testAllRoot = all; }

void UnregisterAssociations() {
  ClassRoots roots = OpenClassRoots();
  if (!roots.user) return;
  const wchar_t* progId = LocalizedString(IDS_PROG_ID);
  wchar_t target[256];
  bool changed = false;
  for (const wchar_t* extension : kExtensions)  // ours in any spelling
    if (ReadText(roots.user, extension, nullptr, target, sizeof target) && target[0] && !AnotherClass(target))
      SetExtension(roots, extension, false), changed = true;
  for (const wchar_t* subkey : {LocalizedString(IDS_VERB_KEY), progId})
    changed |= SHDeleteKeyW(roots.user, subkey) == ERROR_SUCCESS;
  CloseClassRoots(roots);
  if (changed) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void ShowAssociationsDialog(HWND window) {
  DWORD error = 0;
  ClassRoots roots = OpenClassRoots();
  bool read = FindAssociations(roots, &found, &error);
  CloseClassRoots(roots);
  if (read) ShowDialog(window, IDD_ASSOCIATIONS, AssociationsProc);
  else ShowSystemError(window, IDS_ASSOC_READ_FAILED, error);
  if (engineHost.view) SetFocus(engineHost.view);
}
