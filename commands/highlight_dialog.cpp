// The dialog edits a copy; only OK puts it into the settings. The list holds
// as many rules as there are slots not kept for stored values that are no
// rule, so saving never overwrites those.
#include "commands/highlight_dialog.h"

#include <algorithm>
#include <bit>
#include <cwchar>
#include <iterator>

#include "commands/font_commands.h"
#include "engine/engine_host.h"
#include "engine/status_bar.h"
#include "resources/resource_ids.h"
#include "ui/dialog_frame.h"
#include "ui/highlight_view.h"
#include "ui/localization.h"
#include "ui/main_frame.h"
#include "ui/settings.h"

namespace {

HighlightRule pending[kMaxRules];
int pendingCount = 0;
int capacity = kMaxRules;
// What the colour buttons chose, kept while their boxes are off.
COLORREF chosenText = 0, chosenBackground = 0;

bool Checked(HWND dialog, int box) { return IsDlgButtonChecked(dialog, box) == BST_CHECKED; }
void Check(HWND dialog, int box, bool on) { CheckDlgButton(dialog, box, on ? BST_CHECKED : BST_UNCHECKED); }
HWND RuleList(HWND dialog) { return GetDlgItem(dialog, IDC_RULE_LIST); }

// The pattern, then the rule's options in brackets, then the rows that were
// too costly for it to match, if any.
void RuleCaption(const HighlightRule& rule, wchar_t* out, size_t units) {
  size_t at = size_t(std::max(0, swprintf(out, units, L"%ls", rule.pattern)));
  const UINT words[] = {rule.regex ? IDS_RULE_REGEX : 0u, rule.matchCase ? IDS_RULE_CASE : 0u,
                        rule.wholeWord ? IDS_RULE_WORD : 0u, rule.alert ? IDS_RULE_ALERT : 0u};
  const wchar_t* separator = L"   [";
  for (UINT word : words) {
    const wchar_t* text = word ? LocalizedString(word) : nullptr;
    if (!text) continue;
    at += size_t(std::max(0, swprintf(out + at, units - at, L"%ls%ls", separator, text)));
    separator = L", ";
  }
  if (separator[0] == L',') at += size_t(std::max(0, swprintf(out + at, units - at, L"]")));
  if (uint32_t hits = RuleBoundHits(rule); hits && at + 3 < units) {
    wchar_t number[12];
    DecimalText(hits, AsText(number));
    const wchar_t* args[] = {number};
    at += size_t(swprintf(out + at, units - at, L"   "));
    FormatPaneText(LocalizedString(IDS_RULE_BOUND_HITS), args, 1, out + at, units - at);
  }
}

// The editor's rule; false when its pattern is empty.
bool ReadEditor(HWND dialog, HighlightRule* rule) {
  wchar_t pattern[kMaxPatternUnits + 1];
  UINT length = GetDlgItemTextW(dialog, IDC_RULE_PATTERN, pattern, int(kMaxPatternUnits + 1));
  *rule = HighlightRule{};
  rule->matchCase = Checked(dialog, IDC_RULE_MATCH_CASE);
  rule->wholeWord = Checked(dialog, IDC_RULE_WHOLE_WORD);
  rule->alert = Checked(dialog, IDC_RULE_ALERT);
  rule->regex = Checked(dialog, IDC_RULE_REGEX);
  rule->text = Checked(dialog, IDC_RULE_TEXT_ON) ? chosenText : kViewColour;
  rule->background = Checked(dialog, IDC_RULE_BACK_ON) ? chosenBackground : kViewColour;
  return MakeRule(rule, AsText(pattern), length);
}

void ShowInEditor(HWND dialog, const HighlightRule& rule) {
  SetDlgItemTextW(dialog, IDC_RULE_PATTERN, AsWide(rule.pattern));
  Check(dialog, IDC_RULE_MATCH_CASE, rule.matchCase);
  Check(dialog, IDC_RULE_WHOLE_WORD, rule.wholeWord);
  Check(dialog, IDC_RULE_ALERT, rule.alert);
  Check(dialog, IDC_RULE_REGEX, rule.regex);
  Check(dialog, IDC_RULE_TEXT_ON, rule.text != kViewColour);
  Check(dialog, IDC_RULE_BACK_ON, rule.background != kViewColour);
  chosenText = RuleTextColour(&rule);
  chosenBackground = RuleBackground(&rule);
  InvalidateRect(GetDlgItem(dialog, IDC_RULE_SAMPLE), nullptr, TRUE);
}

void UpdateButtons(HWND dialog) {
  int selected = int(SendMessageW(RuleList(dialog), LB_GETCURSEL, 0, 0));
  EnableWindow(GetDlgItem(dialog, IDC_RULE_ADD), pendingCount < capacity);
  EnableWindow(GetDlgItem(dialog, IDC_RULE_CHANGE), selected >= 0);
  EnableWindow(GetDlgItem(dialog, IDC_RULE_REMOVE), selected >= 0);
  EnableWindow(GetDlgItem(dialog, IDC_RULE_UP), selected > 0);
  EnableWindow(GetDlgItem(dialog, IDC_RULE_DOWN), selected >= 0 && selected + 1 < pendingCount);
  // A button that went grey with the focus leaves it to the list.
  if (HWND focus = GetFocus(); focus && !IsWindowEnabled(focus)) SetFocus(RuleList(dialog));
}

// The list anew with one rule selected, shown in the editor.
void FillList(HWND dialog, int selected) {
  HWND list = RuleList(dialog);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  wchar_t caption[kMaxPatternUnits + 128];
  for (int i = 0; i < pendingCount; ++i) {
    RuleCaption(pending[i], caption, std::size(caption));
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption));
  }
  SendMessageW(list, LB_SETCURSEL, WPARAM(selected), 0);
  if (selected >= 0 && selected < pendingCount) ShowInEditor(dialog, pending[selected]);
}

bool RefusedPattern(HWND dialog, const HighlightRule& rule) {
  return rule.regex &&
         RefusedRegex(dialog, IDC_RULE_PATTERN, rule.pattern, rule.length, rule.matchCase, rule.wholeWord);
}

bool AppendRule(const HighlightRule& rule) {
  if (pendingCount >= capacity) return false;
  pending[pendingCount++] = rule;
  return true;
}

void AddRule(HWND dialog) {
  HighlightRule rule;
  if (!ReadEditor(dialog, &rule)) return (void)MessageBeep(MB_OK);
  if (RefusedPattern(dialog, rule)) return;
  if (!AppendRule(rule)) return (void)MessageBeep(MB_OK);
  FillList(dialog, pendingCount - 1);
}

void ChangeRule(HWND dialog, int selected) {
  HighlightRule rule;
  if (selected < 0 || !ReadEditor(dialog, &rule)) return (void)MessageBeep(MB_OK);
  if (RefusedPattern(dialog, rule)) return;
  pending[selected] = rule;
  FillList(dialog, selected);
}

void RemoveRule(HWND dialog, int selected) {
  if (selected < 0) return;
  std::move(pending + selected + 1, pending + pendingCount, pending + selected);
  --pendingCount;
  FillList(dialog, std::min(selected, pendingCount - 1));
}

void MoveRule(HWND dialog, int from, int to) {
  if (from < 0 || to < 0 || to >= pendingCount) return;
  std::swap(pending[from], pending[to]);
  FillList(dialog, to);
}

void ChooseColour(HWND dialog, int box, COLORREF* colour) {
  CHOOSECOLORW chooser;
  PrepareBackgroundDialog(dialog, &chooser);
  chooser.rgbResult = *colour;
  centerNextWindow = true;
  BOOL chosen = ChooseColorW(&chooser);
  centerNextWindow = false;
  if (!chosen) return;
  *colour = chooser.rgbResult;
  Check(dialog, box, true);
  InvalidateRect(GetDlgItem(dialog, IDC_RULE_SAMPLE), nullptr, TRUE);
}

void OnRulesInit(HWND dialog) {
  pendingCount = 0;
  for (const HighlightRule& rule : AppSettings.rules)
    if (rule.length) pending[pendingCount++] = rule;
  capacity = kMaxRules - std::popcount(AppSettings.keptRules);
  SendDlgItemMessageW(dialog, IDC_RULE_PATTERN, EM_LIMITTEXT, kMaxPatternUnits, 0);
  ShowInEditor(dialog, HighlightRule{});
  FillList(dialog, pendingCount ? 0 : -1);
  UpdateButtons(dialog);
}

bool Listed(const HighlightRule& rule) {
  TextUnit value[kRuleValueUnits], listed[kRuleValueUnits];
  FormatRule(rule, value);
  for (int i = 0; i < pendingCount; ++i)
    if (FormatRule(pending[i], listed), SameText(value, listed)) return true;
  return false;
}

// A rule typed into the editor but not yet added is added, room allowing,
// rather than lost; the dialog stays while its pattern does not compile.
void OnRulesAccept(HWND dialog) {
  if (HighlightRule rule; ReadEditor(dialog, &rule) && !Listed(rule)) {
    if (RefusedPattern(dialog, rule)) return;
    AppendRule(rule);
  }
  StoreRules(pending, pendingCount);
  RetagViewRows();
  EndDialog(dialog, 1);
}

void OnRulesCommand(HWND dialog, int id, int code) {
  int selected = int(SendMessageW(RuleList(dialog), LB_GETCURSEL, 0, 0));
  switch (id) {
    case IDOK: return OnRulesAccept(dialog);
    case IDC_RULE_LIST:
      if (code == LBN_SELCHANGE && selected >= 0) ShowInEditor(dialog, pending[selected]);
      break;
    case IDC_RULE_ADD: AddRule(dialog); break;
    case IDC_RULE_CHANGE: ChangeRule(dialog, selected); break;
    case IDC_RULE_REMOVE: RemoveRule(dialog, selected); break;
    case IDC_RULE_UP: MoveRule(dialog, selected, selected - 1); break;
    case IDC_RULE_DOWN: MoveRule(dialog, selected, selected + 1); break;
    case IDC_RULE_TEXT_CHOOSE: ChooseColour(dialog, IDC_RULE_TEXT_ON, &chosenText); break;
    case IDC_RULE_BACK_CHOOSE: ChooseColour(dialog, IDC_RULE_BACK_ON, &chosenBackground); break;
    default:  // the pattern and the boxes change the sample
      if (id >= IDC_RULE_PATTERN && id <= IDC_RULE_BACK_ON)
        InvalidateRect(GetDlgItem(dialog, IDC_RULE_SAMPLE), nullptr, TRUE);
      break;
  }
  UpdateButtons(dialog);
}

void OnRulesMeasureItem(HWND dialog, MEASUREITEMSTRUCT* item) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (int height = FontRowHeight(font); height > 0) item->itemHeight = UINT(height + 2);
}

// The list shows each rule in its colours; the sample, the editor's pattern in the editor's.
void OnRulesDrawItem(HWND dialog, const DRAWITEMSTRUCT* item) {
  wchar_t text[kMaxPatternUnits + 128] = L"";
  HighlightRule rule;
  const HighlightRule* shown = &rule;
  if (item->CtlID == IDC_RULE_LIST && item->itemID < UINT(pendingCount)) {
    shown = &pending[item->itemID];
    RuleCaption(*shown, text, std::size(text));
  } else if (item->CtlID == IDC_RULE_SAMPLE) {
    ReadEditor(dialog, &rule);
    wcscpy(text, AsWide(rule.pattern));
  }
  DrawRow(item, text, wcslen(text), RuleTextColour(shown), RuleBackground(shown));
}

INT_PTR CALLBACK RulesProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: OnRulesInit(dialog); break;
    case WM_COMMAND: OnRulesCommand(dialog, LOWORD(wparam), HIWORD(wparam)); break;
    case WM_MEASUREITEM: OnRulesMeasureItem(dialog, reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)); break;
    case WM_DRAWITEM: OnRulesDrawItem(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)); break;
  }
  return CommonDialogProc(dialog, message, wparam, lparam);
}

}  // namespace

bool ShowHighlightRulesDialog(HWND window) {
  bool stored = ShowDialog(window, IDD_HIGHLIGHT_RULES, RulesProc) == 1;
  if (engineHost.view) SetFocus(engineHost.view);
  return stored;
}
