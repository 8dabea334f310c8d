#include "ui/main_frame.h"

bool centerNextWindow = false;
bool centerNextDialog = false;
HWND dialogFocusWindow = nullptr;
MainFrameCalls mainFrame;
