// The associations dialog answered from a timer, with the fixture's throwaway key as the classes root.
#include "command_fixture.h"
#include "commands/associations.h"
#include <sddl.h>

namespace {
std::wstring shown;  // per box x checked, o not, s Save, upper case when enabled; ':' and the note
const char* answer;  // the boxes to leave checked, then '+' to press Save before Cancel
void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetActiveWindow();
  wchar_t note[128] = L":";
  if (!shown.empty() || !GetWindow(dialog, GW_OWNER)) return;  // answered, or not open yet
  GetDlgItemTextW(dialog, IDC_RIGHTS_NOTE, note + 1, 127);
  for (int id : {IDC_ASSOC_LOG, IDC_ASSOC_TXT, IDC_ASSOC_CONTEXT_MENU, IDOK})
    shown += wchar_t((id == IDOK ? 's' : "ox"[IsDlgButtonChecked(dialog, id)]) - 32 * IsWindowEnabled(GetDlgItem(dialog, id)));
  shown += note;
  for (int i = 0; i < 3; ++i) CheckDlgButton(dialog, i < 2 ? IDC_ASSOC_LOG + i : IDC_ASSOC_CONTEXT_MENU, answer[i] == '1');
  for (int button : {answer[3] == '+' ? IDOK : IDCANCEL, IDCANCEL}) SendMessageW(dialog, WM_COMMAND, button, 0);
}

struct AssociationsTest : CommandFixture {
  UINT_PTR timer = 0;
  wchar_t text[1024];
  void SetUp() override { CommandFixture::SetUp(), SetAssociationsRoot(root), timer = SetTimer(nullptr, 0, 10, Answer); }
  void TearDown() override { SetAssociationsRoot(nullptr), KillTimer(nullptr, timer), CommandFixture::TearDown(); }
  void Open(const char* boxes) { allowDialogs = true, answer = boxes, shown.clear(), Run(IDM_ASSOCIATIONS); }
  void Set(const wchar_t* key, const wchar_t* data) { RegSetValueW(root, key, REG_SZ, data, 0); }  // default texts
  std::wstring Stored(const wchar_t* key) { LONG n = sizeof text; return RegQueryValueW(root, key, text, &n) ? L"-" : text; }
};

TEST_F(AssociationsTest, SaveWritesTheChangedBoxesAndGivesBackWhatItTookOver) {
  wchar_t command[MAX_PATH + 8] = L"\"";
  wcscat(command + 1 + GetModuleFileNameW(nullptr, command + 1, MAX_PATH), L"\" \"%1\"");
  Set(L".log", L"OtherApp.log");
  const struct { const char* boxes; const wchar_t *shown, *log, *txt, *verb; } sessions[] = {
      {"111-", L"OOOS:", L"OtherApp.log", L"-", L"-"},                   // Cancel changes nothing
      {"011+", L"OOOS:", L"OtherApp.log", L"Kavex.Quillon.1", command},  // .log untouched keeps its owner
      {"100+", L"OXXS:", L"Kavex.Quillon.1", L"txtfile", L"-"},          // nothing was kept for .txt
      {"000+", L"XOOS:", L"OtherApp.log", L"txtfile", L"-"}};            // .log given back
  for (const auto& s : sessions) {
    Open(s.boxes);
    EXPECT_EQ(shown + L"|" + Stored(L".log") + L"|" + Stored(L".txt") + L"|" + Stored(L"*\\shell\\Kavex.Quillon\\Command"),
              std::wstring(s.shown) + L"|" + s.log + L"|" + s.txt + L"|" + s.verb);
    EXPECT_EQ(Stored(L"Kavex.Quillon.1\\shell\\open\\command"), command);  // registered at every opening
  }
}

TEST_F(AssociationsTest, WithoutWriteAccessTheBoxesOnlyShowTheState) {
  Set(L".log", L"Kavex.Quillon.1"), Set(L".txt", L"kavex.quillon.1");  // another spelling is another type
  HKEY type;  // the key's own security denies the writes
  PSECURITY_DESCRIPTOR readOnly;
  RegCreateKeyExW(root, L"Kavex.Quillon.1", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &type, nullptr);
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KRSD;;;WD)", SDDL_REVISION_1, &readOnly, nullptr);
  RegSetKeySecurity(type, DACL_SECURITY_INFORMATION, readOnly), LocalFree(readOnly), RegCloseKey(type);
  Open("011+");
  EXPECT_EQ(shown, std::wstring(L"xoos:").append(LocalizedString(IDS_ASSOC_NO_RIGHTS)));
  EXPECT_EQ(Stored(L".log") + Stored(L".txt") + Stored(L"Kavex.Quillon.1\\CurVer"), L"Kavex.Quillon.1kavex.quillon.1-");
}

}  // namespace
