#include "core/pages.h"

uint32_t ToDevicePixels(uint32_t dpi, uint32_t length) { return dpi * (length * 100 / 252) / 1000; }

PagePlan PlanPages(const PageFacts& facts) {
  PagePlan plan{};
  uint32_t left = ToDevicePixels(facts.dpiX, facts.margins.left);
  uint32_t right = ToDevicePixels(facts.dpiX, facts.margins.right);
  uint32_t top = ToDevicePixels(facts.dpiY, facts.margins.top);
  uint32_t bottom = ToDevicePixels(facts.dpiY, facts.margins.bottom);
  // Margins the page cannot hold leave no room, rather than a wrapped-around height.
  if (uint64_t(left) + right >= facts.width || uint64_t(top) + bottom >= facts.height || !facts.fontDpi)
    return plan;
  plan.area = PageArea{int32_t(left), int32_t(top), int32_t(facts.width - right), int32_t(facts.height - bottom)};
  // Rows are drawn at this same whole pitch: a fractional one would push the
  // last rows of a full page below the bottom margin, off the paper.
  plan.lineHeight = uint32_t(uint64_t(facts.fontHeight) * facts.dpiY / facts.fontDpi);
  if (!plan.lineHeight) return plan;
  plan.rowsPerPage = (facts.height - top - bottom) / plan.lineHeight;
  if (plan.rowsPerPage) plan.pages = uint32_t((uint64_t(facts.rows) + plan.rowsPerPage - 1) / plan.rowsPerPage);
  return plan;
}
