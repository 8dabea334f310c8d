#include "shell/startup.h"

#include <commctrl.h>
#include <shellapi.h>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "shell/main_window.h"
#include "shell/settings.h"

int RunTessel(HINSTANCE instance, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  AppSettings.textColor = GetSysColor(COLOR_WINDOWTEXT);
  AppSettings.background = GetSysColor(COLOR_WINDOW);
  ClampSettings(AppSettings);
  charsetState.active = AppSettings.charset;
  charsetState.autodetect = AppSettings.autodetect != 0;

  if (!RegisterMainWindowClass(instance)) return 1;
  HWND window = CreateMainWindow(instance);
  if (!window) return 1;

  int argumentCount = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  if (arguments && argumentCount > 1) OpenFile(arguments[1]);
  LocalFree(arguments);

  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return int(message.wParam);
}
