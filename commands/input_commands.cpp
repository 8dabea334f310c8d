// The input paths that end in commands: the view's context menu, Ctrl+wheel,
// dropped files and the help line of highlighted menu items.
#include "commands/command_set.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/rows.h"
#include "engine/engine_host.h"
#include "engine/file_bookmarks.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "ui/localization.h"

namespace {

constexpr int kWheelStep = 120;
constexpr int kContextItems[] = {IDM_COPY, IDM_PRINT, IDM_SELECT_ALL};

HMENU viewMenu = nullptr;  // menu 2000, kept until the program ends
wchar_t droppedName[kPathUnits];

void EnableContextItems(HMENU menu, bool fileOpen) {
  for (int id : kContextItems)
    EnableMenuItem(menu, UINT(id), MF_BYCOMMAND | (fileOpen ? MF_ENABLED : MF_GRAYED));
  bool marked = fileOpen && AnyViewBookmarks();
  EnableMenuItem(menu, IDM_COPY_BOOKMARKED, MF_BYCOMMAND | (marked ? MF_ENABLED : MF_GRAYED));
}

// The row the keyboard's menu opens under: the current one, else the last,
// else an empty rectangle at the list's origin.
RECT KeyboardRowRect(HWND view) {
  RECT row{};
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  if (count == LB_ERR || count <= 0) return row;
  LRESULT current = SendMessageW(view, LB_GETCARETINDEX, 0, 0);
  if (current == LB_ERR || current < 0 || current >= count) current = count - 1;
  if (SendMessageW(view, LB_GETITEMRECT, WPARAM(current), reinterpret_cast<LPARAM>(&row)) == LB_ERR)
    row = RECT{};
  return row;
}

}  // namespace

POINT KeyboardMenuPoint(const RECT& rowOnScreen) {
  return POINT{rowOnScreen.left + (rowOnScreen.right - rowOnScreen.left) / 4,
               rowOnScreen.top + (rowOnScreen.bottom - rowOnScreen.top)};
}

POINT ContextMenuPoint(HWND view, int x, int y) {
  if (x != -1 || y != -1) return POINT{x, y};
  RECT row = KeyboardRowRect(view);
  POINT corner{row.left, row.top};
  ClientToScreen(view, &corner);
  return KeyboardMenuPoint(RECT{corner.x, corner.y, corner.x + (row.right - row.left),
                                corner.y + (row.bottom - row.top)});
}

HMENU ViewContextMenu() {
  if (!viewMenu) viewMenu = LoadLocalizedMenu(IDR_VIEW_MENU);
  return viewMenu ? GetSubMenu(viewMenu, 0) : nullptr;
}

bool HandleContextMenu(HWND window, HWND target, int x, int y) {
  if (!target || target != engineHost.view) return false;
  POINT at = ContextMenuPoint(target, x, y);
  HMENU menu = ViewContextMenu();
  if (!menu) return true;
  EnableContextItems(menu, FileIsOpen());
  SetForegroundWindow(window);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
  return true;
}

WheelSteps WheelStepsFor(int delta, bool ctrlHeld) {
  if (!ctrlHeld || delta == 0) return WheelSteps{0, 0};
  long long magnitude = delta < 0 ? -static_cast<long long>(delta) : delta;
  return WheelSteps{delta > 0 ? IDM_FONT_LARGER : IDM_FONT_SMALLER,
                    int((magnitude + kWheelStep - 1) / kWheelStep)};
}

// Posted, so the steps run after the wheel message itself.
void HandleWheel(HWND window, int delta, bool ctrlHeld) {
  WheelSteps steps = WheelStepsFor(delta, ctrlHeld);
  for (int i = 0; i < steps.count; ++i)
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(steps.command, 0), 0);
}

bool IsSoundDropList(const void* block, size_t size) {
  DROPFILES header;
  if (!block || size < sizeof header) return false;
  memcpy(&header, block, sizeof header);
  if (header.pFiles < sizeof header || header.pFiles >= size) return false;
  const auto* bytes = static_cast<const uint8_t*>(block);
  size_t unit = header.fWide ? 2 : 1;
  for (size_t at = header.pFiles, nameLength = 0; at + unit <= size; at += unit) {
    bool terminator = bytes[at] == 0 && (unit == 1 || bytes[at + 1] == 0);
    if (terminator && nameLength == 0) return true;
    nameLength = terminator ? 0 : nameLength + 1;
  }
  return false;
}

// The system posts the message with a block of ours; anyone else can post it
// with any number, which is looked into only when it is such a block.
void HandleDroppedFiles(HWND, HDROP drop) {
  SIZE_T size = GlobalSize(drop);
  const void* block = size ? GlobalLock(drop) : nullptr;
  bool sound = block && IsSoundDropList(block, size);
  if (block) GlobalUnlock(drop);
  if (!sound) return;
  // Several files dropped at once open as one view.
  std::vector<std::wstring> paths;
  UINT count = std::min<UINT>(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), kMaxViewFiles);
  for (UINT i = 0; i < count; ++i) {
    droppedName[0] = 0;
    UINT length = DragQueryFileW(drop, i, droppedName, UINT(kPathUnits));
    if (length > 0 && length < kPathUnits && droppedName[0]) paths.emplace_back(droppedName, length);
  }
  DragFinish(drop);
  std::vector<const wchar_t*> names;
  for (const std::wstring& path : paths) names.push_back(path.c_str());
  if (!names.empty()) OpenFiles(names.data(), names.size());
}

UINT MenuHelpStringId(WPARAM wparam, LPARAM lparam, HMENU menuBar) {
  UINT flags = HIWORD(wparam);
  UINT item = LOWORD(wparam);
  if (flags == 0xFFFF && lparam == 0) return 0;
  if (flags & MF_SYSMENU) return 0;
  if (flags & MF_POPUP) {
    // Only the popups of the menu bar have a line; the History submenu has none.
    bool onBar = menuBar && reinterpret_cast<HMENU>(lparam) == menuBar;
    return onBar ? IDS_MENU_HELP_BASE + item : 0;
  }
  return item ? IDS_MENU_HELP_BASE + item : 0;
}

// The help line is the status bar's one-pane mode. Our own rather than
// MenuHelp: it takes the texts in the program's language, by the offsets.
void HandleMenuSelect(HWND, WPARAM wparam, LPARAM lparam) {
  HWND bar = engineHost.statusBar;
  if (!bar) return;
  if (HIWORD(wparam) == 0xFFFF && lparam == 0) {
    LeaveMenuHelp();
    return;
  }
  UINT id = MenuHelpStringId(wparam, lparam, engineHost.menu);
  const wchar_t* text = id ? LocalizedString(id) : nullptr;
  SendMessageW(bar, SB_SETTEXTW, 255 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(text ? text : L""));
  SendMessageW(bar, SB_SIMPLE, TRUE, 0);
}

void LeaveMenuHelp() {
  if (engineHost.statusBar) SendMessageW(engineHost.statusBar, SB_SIMPLE, FALSE, 0);
}
