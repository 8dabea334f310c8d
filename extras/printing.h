// Printing of the view's rows: page setup with its sample page, the print
// dialog, pagination, and the pages produced one per tick of a progress dialog.
#pragma once
#include <windows.h>

#include <cstdint>

void ShowPrintSetup(HWND window);  // 1102
void PrintRows(HWND window);       // 1103

// Stands in for StartPage in the print job (nullptr: StartPage again), so that
// tests can have a page refused, which no real printer does on demand.
void SetStartPageForTesting(int(WINAPI* call)(HDC));

// Margins and paper sizes are hundredths of a millimetre; to device pixels:
// dpi × (m × 100 ÷ 252) ÷ 1000, truncating at each step.
uint32_t ToDevicePixels(uint32_t dpi, uint32_t length);

struct Margins {
  uint32_t left, top, right, bottom;
};

// What pagination needs: counts and device capabilities, no row texts.
struct PageFacts {
  uint32_t rows;        // rows to print: all of the view, or the selected ones
  uint32_t fontHeight;  // the view font's stored height, in pixels at fontDpi
  uint32_t fontDpi;     // 96: the view font is the same size on every screen
  uint32_t dpiX, dpiY;  // the printer's LOGPIXELSX and LOGPIXELSY
  uint32_t width, height;  // the printer's HORZRES and VERTRES
  Margins margins;
};

struct PagePlan {
  uint32_t rowsPerPage;
  uint32_t pages;       // 0 when nothing is to print or no row fits
  uint32_t lineHeight;  // printer pixels: the printed font's height and the row pitch
  RECT area;            // inside the margins, relative to the printable origin
};
PagePlan PlanPages(const PageFacts& facts);

// The facts of a job on the printer for all rows or the selected ones, with the
// margins of the last page setup.
PageFacts PrinterFacts(HDC printer, bool allRows);
