// The user-interface language and the resources taken in it: strings through a
// cache that hands out texts valid until the process ends, menus and dialog
// templates.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/languages.h"

extern LANGID uiLanguage;

// The language the resource of the module will be loaded in
// (ChooseResourceLanguage over those it exists in); 0 when missing.
LANGID ResourceLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, LANGID requested);

// The resource's data in the resolved language.
struct ResourceData {
  const void* data;
  DWORD size;
  LANGID language;
};
bool LoadLocalizedResource(LPCWSTR type, LPCWSTR name, ResourceData* resource);

// The text of a string id in the UI language, or null when it is missing or
// empty. The same id always gives the same pointer.
const wchar_t* LocalizedString(UINT id);
// From here on the cache is shared with other threads.
void EnableLocalizedStringLock();

HMENU LoadLocalizedMenu(UINT id);

// Rewrites an extended dialog template whose font is "MS Shell Dlg 2" to
// 9-point "Segoe UI", in place; returns the new size (the old one when the
// template is not such a template).
size_t ModernizeDialogFont(uint8_t* dialogTemplate, size_t size);

// Runs a dialog from its template in the UI language; -1 when it is missing.
INT_PTR ShowDialog(HWND owner, UINT templateId, DLGPROC procedure, LPARAM parameter = 0);
// The same dialog modeless, centred over its owner and shown; null when its
// template is missing or it could not be made.
HWND CreateModelessDialog(HWND owner, UINT templateId, DLGPROC procedure);

void MarkLanguageMenu(HMENU menu, uint32_t storedLanguage);

// Stores the choice, closes the main window and starts the program again
// with the view's files.
void ChooseLanguage(HWND mainWindow, int command, const wchar_t* const* paths, size_t count);
// The arguments of that restart: each file quoted, separated by spaces, as
// many as fit.
void RestartArguments(const wchar_t* const* paths, size_t count, wchar_t* out, size_t capacity);
