#include "extras/about.h"

// The version history and About dialogs are not built yet: both do nothing.
void ShowVersionHistory(HWND) {}
void ShowAbout(HWND) {}
