#include "commands/associations.h"

// File type associations are not built yet: the command does nothing.
void ShowAssociationsDialog(HWND) {}
