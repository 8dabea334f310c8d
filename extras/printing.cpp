// One view row is one printed line, in the view's font scaled to the printer;
// a row wider than the page is cut at the right margin, never wrapped. Pages are
// produced one per tick of a modal progress dialog, so the job can be cancelled
// between pages. The job prints from a copy of the rows taken when it is
// confirmed: a reload or trim of the view meanwhile cannot change the pages.
// The page setup and print records live for the whole run and are not stored.
#include "extras/printing.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

constexpr UINT_PTR kPageTimer = 1;
constexpr UINT_PTR kFinishTimer = 2;
constexpr UINT kPagePeriod = 50;
constexpr UINT kFinishDelay = 500;
constexpr UINT kRowFlags = DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX;
constexpr uint32_t kDefaultMargin = 2500;
constexpr LRESULT kPresetSelectionAbove = 3;  // selected rows
constexpr LRESULT kPreviewAllRowsUpTo = 7;    // selected rows
constexpr uint32_t kPreviewRows = 9999;
constexpr WORD kShellPrinterIcon = 17;
constexpr int kFlashes = 3;
constexpr DWORD kFlashFallbackPause = 150;

UINT_PTR CALLBACK PreviewHook(HWND, UINT message, WPARAM wparam, LPARAM lparam);

PAGESETUPDLGW MakePageSetup() {
  PAGESETUPDLGW record{};
  record.lStructSize = sizeof record;
  // The unit is ours to fix: the layout reads margins and paper in 1/100 mm.
  record.Flags = PSD_MARGINS | PSD_ENABLEPAGEPAINTHOOK | PSD_INHUNDREDTHSOFMILLIMETERS;
  record.rtMargin = RECT{kDefaultMargin, kDefaultMargin, kDefaultMargin, kDefaultMargin};
  record.lpfnPagePaintHook = PreviewHook;
  return record;
}

PRINTDLGW MakePrintRecord() {
  PRINTDLGW record{};
  record.lStructSize = sizeof record;
  record.Flags = PD_NOPAGENUMS | PD_COLLATE | PD_RETURNDC;
  record.nToPage = 0xFFFF;
  record.nMaxPage = 0xFFFF;
  record.nCopies = 1;
  return record;
}

// Both share one printer selection: the device-mode and device-names handles
// live in the print record and are lent to page setup.
PAGESETUPDLGW pageSetup = MakePageSetup();
PRINTDLGW printRecord = MakePrintRecord();
// What an open page setup works on: the platform's dialog writes margins into
// its record as they are typed, also when it is then cancelled.
PAGESETUPDLGW setupShown;

// The rows a job prints, back to back: row i is units[ends[i - 1] .. ends[i]),
// the first from 0. Sized to what is printed, not to the view's capacity.
struct RowCopy {
  wchar_t* units;
  uint32_t* ends;
  uint32_t count;
  uint8_t* files;  // each row's file, for a view that shows them
};

// A merged view with "File names" on prints each row's file's short name in
// a column before it, as the view draws it: the page shows no file bars.
struct NameColumn {
  bool shown;
  wchar_t names[kMaxViewFiles][kFileTitleUnits];
};

struct Job {
  HDC dc;
  bool allRows;
  bool documentOpen;
  PagePlan plan;
  uint32_t nextRow;
  RowCopy rows;
  NameColumn names;
};
Job job;
int(WINAPI* startPage)(HDC) = StartPage;
RECT previewPage;  // the sample's full page, told before its text
wchar_t rowText[kMaxRowUnits + 1];

void FocusView() {
  if (engineHost.view) SetFocus(engineHost.view);
}

uint32_t Count(LRESULT answer) { return answer == LB_ERR || answer < 0 ? 0 : uint32_t(answer); }
uint32_t Caps(HDC dc, int index) { return uint32_t(GetDeviceCaps(dc, index) > 0 ? GetDeviceCaps(dc, index) : 0); }

uint32_t ViewFontHeight() {
  LONG height = AppSettings.font.lfHeight;
  return uint32_t(height < 0 ? -height : height);
}

bool Printed(HWND view, bool allRows, uint32_t row) { return allRows || SendMessageW(view, LB_GETSEL, row, 0) > 0; }

void FreeRows(RowCopy& rows) {
  free(rows.units);
  free(rows.ends);
  free(rows.files);
  rows = RowCopy{};
}

void TakeFileNames(NameColumn& column) {
  column.shown = AppSettings.fileNames && ViewMerges() && ViewLinesKnown(CurrentRowView());
  for (uint32_t i = 0; i < kMaxViewFiles; ++i) ViewFileTitle(i, column.names[i], kFileTitleUnits);
}

// The names' column in dc's font: the widest name and two spaces; 0 unshown.
LONG NameColumnWidth(HDC dc, const NameColumn& column) {
  if (!column.shown) return 0;
  LONG width = 0;
  SIZE extent;
  for (uint32_t i = 0; i < ViewFileCount() && i < kMaxViewFiles; ++i)
    if (GetTextExtentPoint32W(dc, column.names[i], int(wcslen(column.names[i])), &extent)) width = std::max(width, extent.cx);
  if (GetTextExtentPoint32W(dc, L"  ", 2, &extent)) width += extent.cx;
  return width;
}

// One printed row: its file's name first where the column is shown.
void DrawRow(HDC dc, const NameColumn& column, LONG nameWidth, uint32_t file, const wchar_t* text, int length,
             RECT line) {
  if (column.shown && file < kMaxViewFiles) {
    RECT cell{line.left, line.top, std::min(line.left + nameWidth, line.right), line.bottom};
    DrawTextExW(dc, const_cast<wchar_t*>(column.names[file]), -1, &cell, kRowFlags | DT_END_ELLIPSIS, nullptr);
    line.left = cell.right;
  }
  DrawTextExW(dc, const_cast<wchar_t*>(text), length, &line, kRowFlags, nullptr);
}

// Copies the rows to print, all or the selected ones; false when there is no
// memory for them.
bool CopyRows(HWND view, bool allRows, RowCopy& rows) {
  rows = RowCopy{};
  uint32_t count = view ? Count(SendMessageW(view, LB_GETCOUNT, 0, 0)) : 0, printed = 0;
  size_t units = 0;
  for (uint32_t row = 0; row < count; ++row) {
    if (!Printed(view, allRows, row)) continue;
    LRESULT length = SendMessageW(view, LB_GETTEXTLEN, row, 0);
    units += length > 0 && length <= LRESULT(kMaxRowUnits) ? size_t(length) : 0;
    ++printed;
  }
  if (!printed) return true;
  rows.units = static_cast<wchar_t*>(malloc(units ? units * sizeof(wchar_t) : 1));
  rows.ends = static_cast<uint32_t*>(malloc(printed * sizeof(uint32_t)));
  rows.files = static_cast<uint8_t*>(malloc(printed));
  if (!rows.units || !rows.ends || !rows.files) {
    FreeRows(rows);
    return false;
  }
  size_t at = 0;
  for (uint32_t row = 0; row < count && rows.count < printed; ++row) {
    if (!Printed(view, allRows, row)) continue;
    size_t length = std::min(ReadViewRow(view, int(row), rowText), units - at);
    memcpy(rows.units + at, rowText, length * sizeof(wchar_t));
    at += length;
    rows.files[rows.count] = uint8_t(std::min<uint32_t>(ViewRowPlace(row).file, kMaxViewFiles));
    rows.ends[rows.count++] = uint32_t(at);
  }
  return true;
}

// The view font at a row pitch, selected into dc; RestoreFont puts back the
// previous one.
HGDIOBJ SelectRowFont(HDC dc, float pitch) {
  LOGFONTW face = AppSettings.font;
  face.lfHeight = pitch < 2 ? 1 : LONG(pitch);
  return SelectObject(dc, CreateFontIndirectW(&face));
}

void RestoreFont(HDC dc, HGDIOBJ previous) { DeleteObject(SelectObject(dc, previous)); }

// Draws the rows of one page from start, every row or only the selected ones,
// one per pitch from the area's top; returns where the next page starts, 0
// once the view's last row is behind.
uint32_t DrawPage(HDC dc, uint32_t start, bool allRows, uint32_t perPage, float pitch, const RECT& area) {
  HWND view = engineHost.view;
  uint32_t count = view ? Count(SendMessageW(view, LB_GETCOUNT, 0, 0)) : 0;
  HGDIOBJ previous = SelectRowFont(dc, pitch);
  static NameColumn names;
  TakeFileNames(names);
  LONG nameWidth = NameColumnWidth(dc, names);
  uint32_t row = start;
  for (uint32_t slot = 0; row < count && slot < perPage; ++row) {
    if (!Printed(view, allRows, row)) continue;
    RECT line{area.left, area.top + LONG(float(slot) * pitch), area.right, area.bottom};
    int length = int(ReadViewRow(view, int(row), rowText));
    DrawRow(dc, names, nameWidth, ViewRowPlace(row).file, rowText, length, line);
    ++slot;
  }
  RestoreFont(dc, previous);
  return row < count ? row : 0;
}

// One page of the job's copied rows from start; returns where the next page
// starts, 0 after the last row.
uint32_t DrawJobPage(HDC dc, uint32_t start) {
  const PagePlan& plan = job.plan;
  const RowCopy& rows = job.rows;
  HGDIOBJ previous = SelectRowFont(dc, float(plan.lineHeight));
  LONG nameWidth = NameColumnWidth(dc, job.names);
  uint32_t row = start;
  for (uint32_t slot = 0; row < rows.count && slot < plan.rowsPerPage; ++row, ++slot) {
    uint32_t begin = row ? rows.ends[row - 1] : 0;
    RECT line{plan.area.left, plan.area.top + LONG(slot * plan.lineHeight), plan.area.right, plan.area.bottom};
    DrawRow(dc, job.names, nameWidth, rows.files[row], rows.units + begin, int(rows.ends[row] - begin), line);
  }
  RestoreFont(dc, previous);
  return row < rows.count ? row : 0;
}

// The sample page's margins: a dotted grey outline instead of the dialog's own.
UINT_PTR OutlineMargins(HDC dc, const RECT& margins) {
  LOGBRUSH colour{BS_SOLID, GetSysColor(COLOR_GRAYTEXT), 0};
  HPEN pen = ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &colour, 0, nullptr);
  HGDIOBJ previousPen = SelectObject(dc, pen);
  HGDIOBJ previousBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, margins.left, margins.top, margins.right, margins.bottom);
  SelectObject(dc, previousBrush);
  SelectObject(dc, previousPen);
  DeleteObject(pen);
  return TRUE;
}

// The sample's text is the view's own rows in miniature.
UINT_PTR PreviewRows(HDC dc, const RECT& text) {
  uint32_t dpi = Caps(dc, LOGPIXELSY);
  LONG fullHeight = previewPage.bottom - previewPage.top;
  uint32_t paper = ToDevicePixels(dpi, uint32_t(setupShown.ptPaperSize.y));
  if (!paper || fullHeight <= 0 || !engineHost.view) return TRUE;
  float ratio = float(paper) / float(fullHeight);
  bool allRows = SendMessageW(engineHost.view, LB_GETSELCOUNT, 0, 0) <= kPreviewAllRowsUpTo;
  DrawPage(dc, 0, allRows, kPreviewRows, ratio * float(ViewFontHeight()) / float(dpi), text);
  return TRUE;
}

UINT_PTR CALLBACK PreviewHook(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  HDC dc = reinterpret_cast<HDC>(wparam);
  const RECT* rect = reinterpret_cast<const RECT*>(lparam);
  if (!rect) return FALSE;
  switch (message) {
    case WM_PSD_FULLPAGERECT: previewPage = *rect; return FALSE;
    case WM_PSD_MARGINRECT: return OutlineMargins(dc, *rect);
    case WM_PSD_GREEKTEXTRECT: return PreviewRows(dc, *rect);
  }
  return FALSE;
}

// Ends the document with the pages sent so far, or, aborted, without any.
void EndDocument(bool abort) {
  if (job.documentOpen && abort) AbortDoc(job.dc);
  else if (job.documentOpen) EndDoc(job.dc);
  job.documentOpen = false;
}

void OnProgressInit(HWND dialog) {
  static HMODULE shell = GetModuleHandleW(L"shell32.dll");
  static HICON icon = shell ? LoadModuleIcon(shell, MAKEINTRESOURCEW(kShellPrinterIcon), true) : nullptr;
  SendDlgItemMessageW(dialog, IDC_PRINT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  job.nextRow = 0;
  HWND bar = GetDlgItem(dialog, IDC_PRINT_PROGRESS);
  SendMessageW(bar, PBM_SETRANGE32, 0, LPARAM(job.plan.pages));
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  SendMessageW(bar, PBM_SETSTEP, 1, 0);
  DOCINFOW document{sizeof document, CurrentFileTitle(), nullptr, nullptr, 0};
  job.documentOpen = StartDocW(job.dc, &document) > 0;
  if (job.documentOpen) {
    SetTimer(dialog, kPageTimer, kPagePeriod, nullptr);
    return;
  }
  ShowSystemError(dialog, IDS_PRINT_START_FAILED, GetLastError());
  EndDialog(dialog, 0);
}

// A page the printer refuses aborts the job with the error: skipping it would
// drop its rows from the paper without a word, and ending the document would
// print the pages before it as if the job were whole.
void OnPageTick(HWND dialog) {
  HWND bar = GetDlgItem(dialog, IDC_PRINT_PROGRESS);
  if (SendMessageW(bar, PBM_GETPOS, 0, 0) >= SendMessageW(bar, PBM_GETRANGE, FALSE, 0)) {
    KillTimer(dialog, kPageTimer);
    SetTimer(dialog, kFinishTimer, kFinishDelay, nullptr);
    return;
  }
  bool printed = startPage(job.dc) > 0;
  if (printed) {
    job.nextRow = DrawJobPage(job.dc, job.nextRow);
    printed = EndPage(job.dc) > 0;
  }
  if (printed) {
    SendMessageW(bar, PBM_STEPIT, 0, 0);
    return;
  }
  DWORD error = GetLastError();
  KillTimer(dialog, kPageTimer);
  EndDocument(true);
  ShowSystemError(dialog, IDS_PRINT_FAILED, error);
  EndDialog(dialog, 0);
}

void FlashOwner(HWND owner) {
  if (flashWindowEx) {
    FLASHWINFO flash{sizeof flash, owner, FLASHW_ALL, kFlashes, 0};
    flashWindowEx(&flash);
    return;
  }
  for (int i = 0; i < 2 * kFlashes; ++i) {
    FlashWindow(owner, TRUE);
    Sleep(kFlashFallbackPause);
  }
}

void OnFinish(HWND dialog) {
  KillTimer(dialog, kFinishTimer);
  MessageBeep(MB_ICONASTERISK);
  if (GetForegroundWindow() != dialog) FlashOwner(GetWindow(dialog, GW_OWNER));
  EndDocument(false);
  EndDialog(dialog, 1);
}

// The pages sent so far stay in the job; the common procedure ends the dialog.
void OnProgressCancel(HWND dialog) {
  KillTimer(dialog, kPageTimer);
  KillTimer(dialog, kFinishTimer);
  EndDocument(false);
}

void OnProgressTimer(HWND dialog, UINT_PTR timer) {
  if (timer == kPageTimer) OnPageTick(dialog);
  else if (timer == kFinishTimer) OnFinish(dialog);
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnProgressInit(dialog); break;
    case WM_TIMER: OnProgressTimer(dialog, wparam); break;
    case WM_COMMAND: if (LOWORD(wparam) == IDCANCEL) OnProgressCancel(dialog); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

// More than a few selected rows preset "Selection"; true once a printer
// context was chosen.
bool ChoosePrinter(HWND window) {
  bool preset = SendMessageW(engineHost.view, LB_GETSELCOUNT, 0, 0) > kPresetSelectionAbove;
  printRecord.Flags = preset ? printRecord.Flags | PD_SELECTION : printRecord.Flags & ~DWORD(PD_SELECTION);
  printRecord.hwndOwner = window;
  printRecord.hDC = nullptr;
  centerNextWindow = true;
  bool chosen = PrintDlgW(&printRecord) && printRecord.hDC;
  centerNextWindow = false;
  return chosen;
}

void RunJob(HWND window) {
  job = Job{printRecord.hDC, (printRecord.Flags & PD_SELECTION) == 0, false, {}, 0, {}, {}};
  printRecord.hDC = nullptr;
  TakeFileNames(job.names);
  PageFacts facts = PrinterFacts(job.dc);
  if (!CopyRows(engineHost.view, job.allRows, job.rows)) {
    ShowSystemError(window, IDS_PRINT_FAILED, ERROR_NOT_ENOUGH_MEMORY);
  } else {
    facts.rows = job.rows.count;
    job.plan = PlanPages(facts);
    if (!job.plan.pages) {
      MessageBoxW(window, LocalizedString(IDS_PRINT_NO_DATA), nullptr, MB_ICONERROR);
    } else {
      bool wasPaused = FollowingPaused();
      if (!wasPaused) TogglePause();  // which refreshes the status bar
      ShowDialog(window, IDD_PRINTING, ProgressProc);
      if (FollowingPaused() != wasPaused) TogglePause();
    }
  }
  FreeRows(job.rows);
  DeleteDC(job.dc);
  job.dc = nullptr;
}

}  // namespace

void SetStartPageForTesting(int(WINAPI* call)(HDC)) { startPage = call ? call : StartPage; }

PageFacts PrinterFacts(HDC printer) {
  PageFacts facts{};
  facts.fontHeight = ViewFontHeight();
  facts.fontDpi = 96;
  facts.dpiX = Caps(printer, LOGPIXELSX);
  facts.dpiY = Caps(printer, LOGPIXELSY);
  facts.width = Caps(printer, HORZRES);
  facts.height = Caps(printer, VERTRES);
  const RECT& m = pageSetup.rtMargin;
  facts.margins = Margins{uint32_t(m.left), uint32_t(m.top), uint32_t(m.right), uint32_t(m.bottom)};
  return facts;
}

void ShowPrintSetup(HWND window) {
  setupShown = pageSetup;
  setupShown.hwndOwner = window;
  setupShown.hInstance = GetModuleHandleW(nullptr);
  setupShown.hDevMode = printRecord.hDevMode;
  setupShown.hDevNames = printRecord.hDevNames;
  bool chosen = PageSetupDlgW(&setupShown);
  // Taken back either way: the dialog may have replaced the handles it was lent.
  printRecord.hDevMode = setupShown.hDevMode;
  printRecord.hDevNames = setupShown.hDevNames;
  if (chosen) {
    pageSetup = setupShown;
    pageSetup.Flags |= PSD_MINMARGINS | PSD_MARGINS;
  }
  FocusView();
}

void PrintRows(HWND window) {
  // One job at a time: the progress dialog is modal, yet a command posted to
  // the window still arrives, and a second job would take the first one's place.
  if (job.dc) return;
  if (FileIsOpen() && ChoosePrinter(window)) RunJob(window);
  FocusView();
}
