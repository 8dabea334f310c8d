#include "commands/go_to_time.h"

#include "commands/find.h"
#include "core/merge_order.h"
#include "core/time_search.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/localization.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kRowsBeforeFound = 4;
// The dialog starts with the time of the caret row's line: the nearest
// stamped row at or above the caret, looked for this far up.
constexpr int kRowsUpForTime = 64;
constexpr int kTimeTextUnits = 64;

int64_t wantedTime = 0;
alignas(8) uint8_t window[kChunkBytes];
wchar_t rowText[kMaxRowUnits + 1];

// The followed file opened again for the search, the lines decoded as the
// view decodes them.
struct OwnRead {
  HANDLE file = INVALID_HANDLE_VALUE;
  TimeSearch search{};

  // The view's file of that place, the first by default.
  bool Open(uint32_t index = 0) {
    file = ReOpenFile(ViewFileHandle(index), GENERIC_READ, kShareAll, 0);
    if (file == INVALID_HANDLE_VALUE)
      file = CreateFileW(ViewFilePath(index), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size;
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) return false;
    // The mark is skipped when the load took the charset from it.
    const CharsetState& charset = ViewFileCharset(index);
    uint64_t start = charset.detected && charset.detected == charset.active ? charset.bomLength : 0;
    search = TimeSearch{HandleReader(file), start, uint64_t(size.QuadPart), charset.active,
                        YearHintOf(file), &SystemConversions(), window, sizeof window};
    return true;
  }
  ~OwnRead() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

// The time of the caret row's line, -1 for none.
int64_t CaretRowTime() {
  HWND view = engineHost.view;
  LRESULT caret = view ? SendMessageW(view, LB_GETCARETINDEX, 0, 0) : LB_ERR;
  if (caret == LB_ERR || caret < 0 || FollowedFileHandle() == INVALID_HANDLE_VALUE) return -1;
  YearHint hint = YearHintOf(FollowedFileHandle());
  for (int row = int(caret); row >= 0 && row > int(caret) - kRowsUpForTime; --row) {
    int64_t time;
    if (FindLineTime(AsText(rowText), ReadViewRow(view, row, rowText), hint, &time)) return time;
  }
  return -1;
}

void OnGoToTimeInit(HWND dialog) {
  SendDlgItemMessageW(dialog, IDC_TIME_TEXT, EM_LIMITTEXT, kTimeTextUnits - 1, 0);
  TextUnit text[kTimeTextUnits];
  if (int64_t time = CaretRowTime(); time >= 0) {
    FormatTime(time, text);
    SetDlgItemTextW(dialog, IDC_TIME_TEXT, AsWide(text));
    SendDlgItemMessageW(dialog, IDC_TIME_TEXT, EM_SETSEL, 0, -1);
  }
}

// Text that is no time keeps the dialog open for another try; a time alone
// needs a stamp near the file's end for its day.
void OnGoToTimeAccept(HWND dialog) {
  wchar_t text[kTimeTextUnits] = L"";
  GetDlgItemTextW(dialog, IDC_TIME_TEXT, text, kTimeTextUnits);
  bool read = ParseWantedTime(AsText(text), -1, &wantedTime);
  if (!read) {
    OwnRead own;
    int64_t last = -1;
    read = own.Open() && FindLastStamp(own.search, &last) && ParseWantedTime(AsText(text), last, &wantedTime);
  }
  if (read) EndDialog(dialog, 1);
  else MessageBeep(MB_OK);
}

INT_PTR CALLBACK GoToTimeProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) OnGoToTimeInit(dialog);
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) OnGoToTimeAccept(dialog);
  return CommonDialogProc(dialog, message, wparam, lparam);
}

// A merged view: each file searched, the view loaded around the time.
void GoToTimeInFiles(int64_t time) {
  int row = -1;
  if (!ShowTimeInView(MergeMilliseconds(time, kNoZone), kRowsBeforeFound, &row)) return FollowEndAgain();
  if (row >= 0) ShowRow(row);
  else MessageBeep(MB_OK);
}

// Shows the first row logged at or after the time; a time past the last
// stamp goes back to the end; nothing found beeps.
void GoToTime(int64_t time) {
  if (ViewMerges()) return GoToTimeInFiles(time);
  OwnRead own;
  uint64_t line = 0;
  TimeFound found = own.Open() ? FindLineAtTime(own.search, time, &line) : TimeFound::kNone;
  if (found == TimeFound::kPastEnd) {
    FollowEndAgain();
    return;
  }
  int row = found == TimeFound::kLine ? ShowLineAt(line, 0, kRowsBeforeFound) : -1;
  if (row >= 0) ShowRow(row);
  else MessageBeep(MB_OK);
}

}  // namespace

void ShowGoToTimeDialog(HWND window) {
  if (FileIsOpen() && ShowDialog(window, IDD_GOTO_TIME, GoToTimeProc) == 1) GoToTime(wantedTime);
  if (engineHost.view) SetFocus(engineHost.view);
}
