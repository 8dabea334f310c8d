#include "extras/about.h"

#include "engine/engine_host.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"

namespace {

// Both dialogs are all frame: the common procedure fills in the history
// text and handles the links and Close.
void ShowFrameDialog(HWND window, UINT templateId) {
  ShowDialog(window, templateId, CommonDialogProc);
  if (engineHost.view) SetFocus(engineHost.view);
}

}  // namespace

void ShowVersionHistory(HWND window) { ShowFrameDialog(window, IDD_VERSION_HISTORY); }
void ShowAbout(HWND window) { ShowFrameDialog(window, IDD_ABOUT); }
