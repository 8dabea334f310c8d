#include "extras/printing.h"

// Printing is not built yet: both commands do nothing.
void ShowPrintSetup(HWND) {}
void PrintRows(HWND) {}
