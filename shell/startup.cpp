#include "shell/startup.h"

#include <commctrl.h>
#include <shellapi.h>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/properties.h"
#include "shell/localization.h"
#include "shell/main_window.h"
#include "shell/settings.h"

bool centerNextWindow = false;
bool centerNextDialog = false;

int RunTessel(HINSTANCE instance, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  LoadSettings();
  EnableLocalizedStringLock();
  charsetState.active = AppSettings.charset;
  charsetState.autodetect = AppSettings.autodetect != 0;
  SetStoredCharsetReader(ReadStoredCharsetName);

  if (!RegisterMainWindowClass(instance)) return 1;
  HWND window = CreateMainWindow(instance);
  if (!window) return 1;

  int argumentCount = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  if (arguments && argumentCount > 1) OpenFile(arguments[1]);
  LocalFree(arguments);

  if (AppSettings.savePosition && FileIsOpen()) showCommand = ApplyWindowPlacement(window, showCommand);
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return int(message.wParam);
}
