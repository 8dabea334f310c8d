// Font size steps (1211, 1212), the Font dialog (1402) and the Background
// colour dialog (1404).
#pragma once
#include <windows.h>
#include <commdlg.h>

// The size steps change the font for this run only; nothing is stored.
void ChangeFontSize(int command);
void ShowFontDialog(HWND window);
void ShowBackgroundDialog(HWND window);

// The dialog records as the commands hand them to the system, and what the
// commands do with an OK.
void PrepareFontDialog(HWND window, CHOOSEFONTW* dialog, LOGFONTW* font);
void TakeChosenFont(const LOGFONTW& font, COLORREF textColour);
void PrepareBackgroundDialog(HWND window, CHOOSECOLORW* dialog);
void TakeChosenBackground(COLORREF colour);
