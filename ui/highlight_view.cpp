#include "ui/highlight_view.h"

#include <algorithm>

#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "engine/status_bar.h"
#include "ui/platform.h"
#include "ui/settings.h"

namespace {

wchar_t rowText[kMaxRowUnits + 1];
constexpr ULONGLONG kRetagBudgetMs = 50;
uint32_t retaggings = 0;

// The short names of a merged view's files, as drawn before each row, and the
// width they take in the view's font (the widest, and a space).
constexpr size_t kFileNameUnits = 64;
struct FileNameColumn {
  uint64_t files = ~uint64_t(0);  // the view's files they were taken from
  HFONT font = nullptr;
  wchar_t names[kMaxViewFiles][kFileNameUnits] = {};
  int width = 0;
};
FileNameColumn nameColumn;

const FileNameColumn& FileNames(HDC dc) {
  HFONT font = HFONT(GetCurrentObject(dc, OBJ_FONT));
  if (nameColumn.files == ViewFilesChanges() && nameColumn.font == font) return nameColumn;
  nameColumn.files = ViewFilesChanges(), nameColumn.font = font, nameColumn.width = 0;
  for (uint32_t i = 0; i < kMaxViewFiles; ++i) {
    ViewFileTitle(i, nameColumn.names[i], kFileNameUnits);
    SIZE extent;
    if (i < ViewFileCount() && GetTextExtentPoint32W(dc, nameColumn.names[i], int(wcslen(nameColumn.names[i])), &extent))
      nameColumn.width = std::max<int>(nameColumn.width, extent.cx);
  }
  SIZE space;
  if (GetTextExtentPoint32W(dc, L"  ", 2, &space)) nameColumn.width += space.cx;
  return nameColumn;
}

// A merged view with "File names" on: the row's file's name, dimmed, in a
// column of its own before the text; what is left of the row for the text.
RECT DrawFileName(const DRAWITEMSTRUCT* item, uint32_t file, const RowColours& colours) {
  RECT rest = item->rcItem;
  if (!AppSettings.fileNames || !ViewMerges() || file >= kMaxViewFiles) return rest;
  HDC dc = item->hDC;
  const FileNameColumn& names = FileNames(dc);
  RECT cell = rest;
  cell.right = std::min<LONG>(cell.left + names.width, cell.right);
  bool selected = item->itemState & ODS_SELECTED;
  SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : Blend(colours.text, colours.background, 3));
  SetBkColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHT) : colours.background);
  ExtTextOutW(dc, cell.left + 1, cell.top, ETO_OPAQUE | ETO_CLIPPED, &cell, names.names[file],
              UINT(wcslen(names.names[file])), nullptr);
  rest.left = cell.right;
  return rest;
}

}  // namespace

// From one colour a part of the way towards another.
COLORREF Blend(COLORREF from, COLORREF to, int eighths) {
  auto part = [&](int shift) {
    int a = int(from >> shift & 0xFF), b = int(to >> shift & 0xFF);
    return COLORREF(a + (b - a) * eighths / 8) << shift;
  };
  return part(0) | part(8) | part(16);
}

RowColours ColoursOfRow(LogLevel level, const HighlightRule* rule) {
  RowColours colours{COLORREF(AppSettings.textColor), COLORREF(AppSettings.background)};
  if (AppSettings.levelColors) {
    constexpr COLORREF kRed = RGB(255, 0, 0), kAmber = RGB(255, 176, 0);
    switch (level) {
      case LogLevel::kFatal: colours.background = Blend(colours.background, kRed, 3); break;
      case LogLevel::kError: colours.background = Blend(colours.background, kRed, 2); break;
      case LogLevel::kWarning: colours.background = Blend(colours.background, kAmber, 2); break;
      case LogLevel::kDebug: colours.text = Blend(colours.text, colours.background, 4); break;
      default: break;
    }
  }
  if (rule && rule->text != kViewColour) colours.text = rule->text;
  if (rule && rule->background != kViewColour) colours.background = rule->background;
  return colours;
}

COLORREF RuleTextColour(const HighlightRule* rule) {
  return rule && rule->text != kViewColour ? rule->text : AppSettings.textColor;
}

COLORREF RuleBackground(const HighlightRule* rule) {
  return rule && rule->background != kViewColour ? rule->background : AppSettings.background;
}

void DrawRow(const DRAWITEMSTRUCT* item, const wchar_t* text, size_t length, COLORREF textColour,
             COLORREF background) {
  HDC dc = item->hDC;
  bool selected = item->itemState & ODS_SELECTED;
  SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : textColour);
  SetBkColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHT) : background);
  // One pixel in, where the list box puts its own text.
  ExtTextOutW(dc, item->rcItem.left + 1, item->rcItem.top, ETO_OPAQUE | ETO_CLIPPED, &item->rcItem, text,
              UINT(length), nullptr);
  if ((item->itemState & ODS_FOCUS) && !(item->itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &item->rcItem);
}

int FontRowHeight(HFONT font) {
  int height = 0;
  if (HDC dc = GetDC(nullptr)) {
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics;
    if (GetTextMetricsW(dc, &metrics)) height = metrics.tmHeight;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
  }
  return height;
}

void DrawViewRow(const DRAWITEMSTRUCT* item) {
  if (item->CtlType != ODT_LISTBOX || DropViewDrawing(item->itemAction == ODA_FOCUS)) return;
  // The list box asks for every row it shows, even those the paint leaves alone.
  if (!RectVisible(item->hDC, &item->rcItem)) return;
  size_t length = ReadViewRow(item->hwndItem, int(item->itemID), rowText);
  LPARAM tag = LPARAM(item->itemData);
  if (tag == kUntaggedRow) {
    tag = MatchingRule(rowText, length) + 1;
    SendMessageW(item->hwndItem, LB_SETITEMDATA, item->itemID, tag);
  }
  // The level is the rows' own record of the view, while it holds the list box's rows.
  bool placesKnown = size_t(SendMessageW(item->hwndItem, LB_GETCOUNT, 0, 0)) == ViewRows();
  LogLevel level = placesKnown ? ViewRowPlace(item->itemID).level : LogLevel::kNone;
  RowColours colours = ColoursOfRow(level, RuleOfTag(tag));
  RECT text = DrawFileName(item, placesKnown ? ViewRowPlace(item->itemID).file : kMaxViewFiles, colours);
  if (text.left == item->rcItem.left) return DrawRow(item, rowText, length, colours.text, colours.background);
  DRAWITEMSTRUCT rest = *item;
  rest.rcItem = text;
  DrawRow(&rest, rowText, length, colours.text, colours.background);
}

uint32_t RowTagsRenewed() { return retaggings; }

void RetagViewRows() {
  ++retaggings;
  TakeEngineOptions();  // the rules as they are now, compiled
  HWND view = engineHost.view;
  if (!view) return;
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  auto retag = [&](LRESULT row) {
    int slot = MatchingRule(rowText, ReadViewRow(view, int(row), rowText));
    SendMessageW(view, LB_SETITEMDATA, WPARAM(row), slot + 1);
  };
  // The rows on screen first. A costly rule can take seconds over a full
  // view: past the budget, the other rows are tagged when they are drawn.
  LRESULT top = std::max<LRESULT>(SendMessageW(view, LB_GETTOPINDEX, 0, 0), 0);
  RECT client{};
  GetClientRect(view, &client);
  LRESULT rowHeight = std::max<LRESULT>(SendMessageW(view, LB_GETITEMHEIGHT, 0, 0), 1);
  LRESULT end = std::min(count, top + client.bottom / rowHeight + 1);
  for (LRESULT row = top; row < end; ++row) retag(row);
  ULONGLONG deadline = GetTickCount64() + kRetagBudgetMs;
  for (LRESULT row = 0; row < count; ++row) {
    if (row >= top && row < end) continue;
    if (GetTickCount64() <= deadline) retag(row);
    else SendMessageW(view, LB_SETITEMDATA, WPARAM(row), kUntaggedRow);
  }
  InvalidateRect(view, nullptr, TRUE);
}
