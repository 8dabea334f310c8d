// Associating the program with ".log" and ".txt" files, and the "Watch file
// as log..." command on every file, in the classes registry.
#pragma once
#include <windows.h>

void ShowAssociationsDialog(HWND window);  // 1405

// Undoes what the program registered for the current user, as its
// uninstaller asks ("/unregister"): our file type and verb go, and ".log" and
// ".txt" pointing at our type are given back.
void UnregisterAssociations();

// Tests hand in keys of their own: user for the current user's classes
// (HKEY_CURRENT_USER\Software\Classes), where everything is written, and
// all for what is read after it (HKEY_CLASSES_ROOT). Null for the real ones.
void SetAssociationsRoots(HKEY user, HKEY all);
