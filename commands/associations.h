// Associating the program with ".log" and ".txt" files, and the "Watch file
// as log..." command on every file, in the classes registry.
#pragma once
#include <windows.h>

void ShowAssociationsDialog(HWND window);  // 1405

// Tests hand the dialog a key of their own instead of HKEY_CLASSES_ROOT.
void SetAssociationsRoot(HKEY root);
