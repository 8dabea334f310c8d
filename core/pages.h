// Pagination of printed rows: one view row a printed line, at the view
// font's height scaled to the printer, inside the page setup's margins.
#pragma once
#include <cstdint>

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
  uint32_t dpiX, dpiY;  // the printer's horizontal and vertical pixels per inch
  uint32_t width, height;  // the printer's printable width and height in pixels
  Margins margins;
};

struct PageArea {
  int32_t left, top, right, bottom;
};

struct PagePlan {
  uint32_t rowsPerPage;
  uint32_t pages;       // 0 when nothing is to print or no row fits
  uint32_t lineHeight;  // printer pixels: the printed font's height and the row pitch
  PageArea area;        // inside the margins, relative to the printable origin
};
PagePlan PlanPages(const PageFacts& facts);
