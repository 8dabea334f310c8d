// The view's side of the highlight rules: rows drawn in their rule's colours
// (the view is owner-drawn and keeps its strings, so other programs still
// read its rows), every row's rule found again after the rules change, and
// the alert when a row of an alert rule arrives.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/log_levels.h"
#include "engine/highlight_rules.h"

// A row's colours: the view's, moved by its line's level when levels are
// coloured (fatal and error towards red, warning towards amber, debug text
// half-way to the background), then a rule's, part by part, over them.
struct RowColours {
  COLORREF text, background;
};
RowColours ColoursOfRow(LogLevel level, const HighlightRule* rule);
// A colour moved eighths/8 of the way from one colour to another.
COLORREF Blend(COLORREF from, COLORREF to, int eighths);

// A rule's colours for a row; the view's own where it gives none.
COLORREF RuleTextColour(const HighlightRule* rule);
COLORREF RuleBackground(const HighlightRule* rule);

// One owner-drawn row: selected in the system's selection colours, with the
// focus rectangle where the control asks for one.
void DrawRow(const DRAWITEMSTRUCT* item, const wchar_t* text, size_t length, COLORREF textColour,
             COLORREF background);
// The height a list box gives rows of the font; 0 when it cannot be measured.
int FontRowHeight(HFONT font);
// WM_DRAWITEM of the view: the row's text and the rule kept in its item data.
void DrawViewRow(const DRAWITEMSTRUCT* item);

// After the rules changed: each row tagged anew, the view repainted. The rows
// on screen are tagged at once; past a time budget the others are tagged
// when drawn, so a costly rule over a full view never holds the window.
void RetagViewRows();
// Counts the retaggings: what was known of the rows' rules before one is stale.
uint32_t RowTagsRenewed();
