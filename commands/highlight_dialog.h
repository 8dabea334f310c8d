// The highlight rules dialog (1410, dialog 1011): the rules in order, each
// shown in its colours, an editor for one rule, and the buttons that add,
// change, remove and move them. OK stores the rules and recolours the view.
#pragma once
#include <windows.h>

// True when the rules were stored.
bool ShowHighlightRulesDialog(HWND window);
