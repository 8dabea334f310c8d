// Printing of the view's rows: page setup with its sample page, the print
// dialog, pagination, and the pages produced one per tick of a progress dialog.
#pragma once
#include <windows.h>

#include <cstdint>

#include "core/pages.h"

void ShowPrintSetup(HWND window);  // 1102
void PrintRows(HWND window);       // 1103

// Stands in for StartPage in the print job (nullptr: StartPage again), so that
// tests can have a page refused, which no real printer does on demand.
void SetStartPageForTesting(int(WINAPI* call)(HDC));

// The facts of a job on the printer, with the margins of the last page setup;
// the rows are those the job copies.
PageFacts PrinterFacts(HDC printer);
