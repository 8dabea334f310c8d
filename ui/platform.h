// What the program learns about the platform at start-up: Wine or Windows,
// optional functions looked up at run time (with built-in replacements where
// the program relies on an answer), and the icons it loads.
#pragma once
#include <windows.h>

#include <cstdint>

// 2 under Wine, 1 for a 32-bit process on 64-bit Windows, else 0.
extern int platformKind;
extern UINT findReplaceMessage;    // "commdlg_FindReplace"
extern UINT taskbarCreatedMessage; // "TaskbarCreated"
extern UINT shellHookMessage;      // "SHELLHOOK"
extern uint32_t minutesNow;        // minutes since 1601-01-01 UTC, taken at start-up

// Looks up the optional functions; uxtheme and (not under Wine) dwmapi are
// loaded by name. Then checks the common controls' version.
void LoadOptionalFunctions();
// The shell's messages and the program's own one that other instances send.
void AllowMessagesFromLowerPrivileges(UINT ownMessage);

// Any process of the desktop can post or send any message to our windows.
// These messages carry a pointer that only this thread's own calls pass: the
// controls' notifications, owner drawing, dialog set-up and help, the Find
// dialog's report. A copy posted, or sent from another thread, is forged.
bool IsThreadPrivateMessage(UINT message);
// Such a message reaching a window procedure from anywhere but a call of this
// thread; the procedure then leaves it alone.
bool IsForeignPrivateMessage(UINT message);
// A message taken from the queue that no one but a forger posts: those above,
// the ones the system only ever sends, a minimize rectangle wanting an answer,
// and a timer message naming a procedure to the main window, a child of it or
// one of our own dialogs, where no timer has one: dispatching it would call
// that address. Under Wine, which calls it unchecked, also one for no window
// (a thread's timer); Windows checks those itself, and the system's dialogs
// may have timers with procedures of their own.
bool IsForgedQueuedMessage(const MSG& queued, HWND mainWindow);
// Every dialog made from our templates carries this property (its procedure).
constexpr wchar_t kDialogProcedureProperty[] = L"Quillon.DialogProcedure";

// True when the size bytes at address all lie on this thread's stack, where
// the system puts the data of a message it sends with a pointer: a pointer
// another process made up may name any writable memory of ours, our own
// variables among them.
bool IsOnThisThreadsStack(const void* address, size_t size);

// 0 without visual styles; 2 with desktop composition; else 1.
int visualStyleLevel();

// An icon resource of the program at the system's large or small icon size.
HICON LoadProgramIcon(const wchar_t* name, bool large);
// The same from another module, such as the shell's library.
HICON LoadModuleIcon(HMODULE module, const wchar_t* name, bool large);
// An icon of size pixels at 96 DPI, scaled to the screen's DPI.
HICON LoadModuleIconAtDpi(HMODULE module, const wchar_t* name, int size);
// Pixels per logical inch of the screen, 96 when it cannot be read.
int ScreenDpi();
// The stored font height counts pixels at 96 DPI, so a stored font looks the
// same size on every screen: the view's font is made that much larger on a
// screen of more DPI, and a height chosen there is stored back at 96 DPI.
LONG ScreenFontHeight(LONG storedHeight, int dpi);
LONG StoredFontHeight(LONG screenHeight, int dpi);
// A system icon (IDI_*) at the small size.
HICON LoadSmallSystemIcon(const wchar_t* name);

// Optional functions; null when missing.
extern BOOL(WINAPI* registerShellHookWindow)(HWND);
extern BOOL(WINAPI* flashWindowEx)(PFLASHWINFO);
extern BOOL(WINAPI* getProductInfo)(DWORD, DWORD, DWORD, DWORD, PDWORD);
// Theme functions for painting dialogs; openThemeData answers "no theme" when
// uxtheme is missing, and the others are used only with a theme it returned.
using ThemeHandle = void*;
extern ThemeHandle(WINAPI* openThemeData)(HWND, LPCWSTR);
extern HRESULT(WINAPI* closeThemeData)(ThemeHandle);
extern HRESULT(WINAPI* getThemeColor)(ThemeHandle, int, int, int, COLORREF*);
extern HRESULT(WINAPI* getThemeFont)(ThemeHandle, HDC, int, int, int, LOGFONTW*);

// Reads a TESSEL_* style or placement variable: decimal, 0x hexadecimal or
// leading-zero octal; false (use the default) when missing, not a number or 0.
bool ParseEnvironmentNumber(const wchar_t* text, uint32_t* value);
bool ReadEnvironmentNumber(const wchar_t* name, uint32_t* value);
// The standard taskbar's notification area (a taskbar window's tray child),
// or null: Wine's taskbar window has no such child.
HWND TaskbarNotificationArea();
