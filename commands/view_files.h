// Several files in one view: File, "Add file to view..." (1110) and "Files in
// view..." (1111), a dialog listing the view's files with Add and Remove.
#pragma once
#include <windows.h>

void ShowAddFileDialog(HWND window);
void ShowFilesInViewDialog(HWND window);
