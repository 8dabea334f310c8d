#include "ui/localization.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/settings.h"

LANGID uiLanguage = 0;

namespace {

constexpr size_t kMaxLanguages = 1024;

// Keyed by the UI language too: a text taken in one language never stands in
// for another, should the language change within the process.
struct CachedString {
  UINT id;
  HMODULE module;
  LANGID language;
  const wchar_t* text;
};

CachedString* cache = nullptr;
size_t cacheCount = 0;
size_t cacheCapacity = 0;
CRITICAL_SECTION cacheLock;
bool cacheLockReady = false;

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
  auto* languages = reinterpret_cast<std::vector<LANGID>*>(context);
  languages->push_back(language);
  return languages->size() < kMaxLanguages;
}

void LockCache() {
  if (cacheLockReady) EnterCriticalSection(&cacheLock);
}

void UnlockCache() {
  if (cacheLockReady) LeaveCriticalSection(&cacheLock);
}

const wchar_t* FindCached(UINT id, HMODULE module) {
  for (size_t i = cacheCount; i-- > 0;)
    if (cache[i].id == id && cache[i].module == module && cache[i].language == uiLanguage && cache[i].text)
      return cache[i].text;
  return nullptr;
}

bool AppendCached(UINT id, HMODULE module, const wchar_t* text) {
  if (cacheCount == cacheCapacity) {
    size_t capacity = cacheCapacity ? cacheCapacity * 2 : 1;
    HANDLE heap = GetProcessHeap();
    void* grown = cache ? HeapReAlloc(heap, 0, cache, capacity * sizeof(CachedString))
                        : HeapAlloc(heap, 0, capacity * sizeof(CachedString));
    if (!grown) return false;
    cache = static_cast<CachedString*>(grown);
    cacheCapacity = capacity;
  }
  cache[cacheCount++] = {id, module, uiLanguage, text};
  return true;
}

// Loads the id's entry from its string block; null when missing or empty.
const wchar_t* LoadStringEntry(UINT id) {
  ResourceData block;
  if (!LoadLocalizedResource(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), &block)) return nullptr;
  const WORD* entry = static_cast<const WORD*>(block.data);
  const WORD* end = entry + block.size / sizeof(WORD);
  for (UINT skip = id % 16; skip > 0 && entry < end; --skip) entry += 1 + *entry;
  if (entry >= end || *entry == 0 || entry + 1 + *entry > end) return nullptr;
  size_t length = *entry;
  auto* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
  if (!text) return nullptr;
  memcpy(text, entry + 1, length * sizeof(wchar_t));
  text[length] = 0;
  return text;
}

}  // namespace

LANGID ResourceLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID requested) {
  std::vector<LANGID> languages;
  if (!EnumResourceLanguagesW(module, type, name, CollectLanguage,
                              reinterpret_cast<LONG_PTR>(&languages)) &&
      languages.empty())
    return 0;
  std::sort(languages.begin(), languages.end());
  LanguageFacts facts{requested, uiLanguage, GetUserDefaultLangID(), GetSystemDefaultLangID()};
  return ChooseResourceLanguage(languages.data(), languages.size(), facts);
}

bool LoadLocalizedResource(LPCWSTR type, LPCWSTR name, ResourceData* resource) {
  HMODULE module = GetModuleHandleW(nullptr);
  LANGID language = ResourceLanguage(module, type, name, 0);
  if (!language && !FindResourceExW(module, type, name, 0)) return false;
  HRSRC found = FindResourceExW(module, type, name, language);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  *resource = {data, SizeofResource(module, found), language};
  return true;
}

const wchar_t* LocalizedString(UINT id) {
  HMODULE module = GetModuleHandleW(nullptr);
  LockCache();
  const wchar_t* text = FindCached(id, module);
  if (!text) {
    text = LoadStringEntry(id);
    if (text && !AppendCached(id, module, text)) {
      HeapFree(GetProcessHeap(), 0, const_cast<wchar_t*>(text));
      text = nullptr;
    }
  }
  UnlockCache();
  return text;
}

void EnableLocalizedStringLock() {
  if (cacheLockReady) return;
  InitializeCriticalSection(&cacheLock);
  cacheLockReady = true;
}

HMENU LoadLocalizedMenu(UINT id) {
  ResourceData menu;
  if (!LoadLocalizedResource(RT_MENU, MAKEINTRESOURCEW(id), &menu)) return nullptr;
  return LoadMenuIndirectW(menu.data);
}

size_t ModernizeDialogFont(uint8_t* dialogTemplate, size_t size) {
  static const wchar_t kOldFace[] = L"MS Shell Dlg 2";  // 14 units and the terminator
  static const wchar_t kNewFace[] = L"Segoe UI";        // 8 units
  constexpr size_t kOldUnits = 15;
  constexpr size_t kNewUnits = 8;
  if (size < 16) return size;
  uint32_t signature, style;
  memcpy(&signature, dialogTemplate, 4);
  memcpy(&style, dialogTemplate + 12, 4);
  if (signature != 0xFFFF0001 || !(style & DS_SETFONT)) return size;
  size_t units = size / 2;
  auto unitAt = [&](size_t i) {
    wchar_t unit;
    memcpy(&unit, dialogTemplate + i * 2, 2);
    return unit;
  };
  for (size_t i = 3; i + kOldUnits <= units; ++i) {
    size_t matched = 0;
    while (matched < kOldUnits && unitAt(i + matched) == kOldFace[matched]) ++matched;
    if (matched != kOldUnits) continue;
    memcpy(dialogTemplate + i * 2, kNewFace, kNewUnits * 2);
    WORD pointSize = 9;
    memcpy(dialogTemplate + (i - 3) * 2, &pointSize, 2);
    size_t from = (i + kOldUnits - 1) * 2;  // the old terminator and all after it
    size_t to = (i + kNewUnits) * 2;
    memmove(dialogTemplate + to, dialogTemplate + from, size - from);
    return size - (from - to);
  }
  return size;
}

namespace {

DLGPROC procedureOfNextDialog = nullptr;

// Every dialog's procedure sits behind this one guard: a message whose
// parameters only this thread may hand out (a set-up naming where results go,
// a notification's pointer), sent from another thread, reaches none of them.
INT_PTR CALLBACK GuardedDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto procedure = reinterpret_cast<DLGPROC>(GetPropW(dialog, kDialogProcedureProperty));
  if (!procedure && procedureOfNextDialog) {  // the dialog's first message
    procedure = procedureOfNextDialog;
    procedureOfNextDialog = nullptr;
    SetPropW(dialog, kDialogProcedureProperty, reinterpret_cast<HANDLE>(procedure));
  }
  if (!procedure || IsForeignPrivateMessage(message)) return FALSE;
  if (message == WM_NCDESTROY) RemovePropW(dialog, kDialogProcedureProperty);
  return procedure(dialog, message, wparam, lparam);
}

// A private copy: the image's resource section is not ours to write.
bool DialogTemplate(UINT templateId, std::vector<uint8_t>* copy) {
  ResourceData dialog;
  if (!LoadLocalizedResource(RT_DIALOG, MAKEINTRESOURCEW(templateId), &dialog)) return false;
  copy->assign(static_cast<const uint8_t*>(dialog.data), static_cast<const uint8_t*>(dialog.data) + dialog.size);
  if (LOBYTE(LOWORD(GetVersion())) > 5) copy->resize(ModernizeDialogFont(copy->data(), copy->size()));
  return true;
}

}  // namespace

INT_PTR ShowDialog(HWND owner, UINT templateId, DLGPROC procedure, LPARAM parameter) {
  std::vector<uint8_t> copy;
  if (!DialogTemplate(templateId, &copy)) return -1;
  centerNextWindow = true;
  procedureOfNextDialog = procedure;
  INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                           reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), owner,
                                           GuardedDialogProc, parameter);
  centerNextWindow = false;  // also when the dialog could not be made
  procedureOfNextDialog = nullptr;
  return result;
}

HWND CreateModelessDialog(HWND owner, UINT templateId, DLGPROC procedure) {
  std::vector<uint8_t> copy;
  if (!DialogTemplate(templateId, &copy)) return nullptr;
  centerNextWindow = true;
  procedureOfNextDialog = procedure;
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()),
                                           owner, GuardedDialogProc, 0);
  centerNextWindow = false;
  procedureOfNextDialog = nullptr;
  if (dialog) ShowWindow(dialog, SW_SHOW);
  return dialog;
}

void MarkLanguageMenu(HMENU menu, uint32_t storedLanguage) {
  int mark = LanguageMenuMark(storedLanguage);
  if (!menu || !mark) return;
  if (mark == 1519) CheckMenuRadioItem(menu, 1519, 1519, 1519, MF_BYCOMMAND);
  else CheckMenuRadioItem(menu, 1501, 1504, UINT(mark), MF_BYCOMMAND);
}

void RestartArguments(const wchar_t* const* paths, size_t count, wchar_t* out, size_t capacity) {
  if (capacity == 0) return;
  out[0] = 0;
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t length = paths[i] ? wcslen(paths[i]) : 0, separator = at ? 1 : 0;
    if (length == 0 || at + separator + length + 3 > capacity) break;
    if (separator) out[at++] = L' ';
    out[at++] = L'"';
    memcpy(out + at, paths[i], length * sizeof(wchar_t));
    at += length;
    out[at++] = L'"';
    out[at] = 0;
  }
}

void ChooseLanguage(HWND mainWindow, int command, const wchar_t* const* paths, size_t count) {
  LANGID language;
  if (!LanguageOfCommand(command, &language)) return;
  AppSettings.language = language;
  StoreSetting(kSettingLanguage);
  // Closing the window closes the file: take its path first.
  static wchar_t arguments[32768 + 2];
  RestartArguments(paths, count, arguments, sizeof arguments / sizeof *arguments);
  SendMessageW(mainWindow, WM_CLOSE, 0, 0);
  static wchar_t program[32768];
  if (!GetModuleFileNameW(nullptr, program, 32768)) return;
  ShellExecuteW(nullptr, nullptr, program, arguments[0] ? arguments : nullptr, nullptr,
                SW_SHOWDEFAULT);
}
