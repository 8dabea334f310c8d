// The look and behaviour every dialog of the program shares: the white band
// above separator 127, the heading font, control help as a tooltip at the
// control, links, and Cancel ending the dialog with 0. Each dialog procedure
// handles its own messages first and then hands every message on to
// CommonDialogProc; its answer becomes the dialog's answer.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/text.h"

INT_PTR CALLBACK CommonDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Gives a link control new text with markup.
void SetLinkText(HWND link, const wchar_t* text);

// The text the control-help tip shows: the help of the last control asked
// about, the product name before.
const wchar_t* ControlHelpText();

// The text of an error box: the localized message, then the system's
// description of the error, each cut at 256 units. The message alone when
// the system has no text for the error.
void ComposeErrorMessage(const wchar_t* localized, DWORD error, wchar_t* out, size_t capacity);
// Message box for a failed user operation: the message, then the system's text.
void ShowSystemError(HWND owner, UINT messageId, DWORD error);

// One tooltip shared by the dialogs for their control help, made with the
// main window, which is its one tool.
extern HWND trackingTooltip;
void CreateTrackingTooltip(HWND mainWindow);
void HideTrackingTooltip();

// A regular expression that does not compile is refused: a message box with
// the library's words and where it stopped, the caret put there in the
// pattern's edit control. False when it compiles.
bool RefusedRegex(HWND dialog, int patternControl, const TextUnit* pattern, size_t length, bool matchCase,
                  bool wholeWord);
