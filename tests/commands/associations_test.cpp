// The associations dialog answered from a timer, with the fixture's throwaway key as the classes root (the user's
// classes and the classes root in one, unless a test splits them); and what the uninstaller's call undoes.
#include "command_fixture.h"
#include "commands/associations.h"
#include <sddl.h>

namespace {
std::wstring shown;  // per box x checked, o not, s Save, upper case when enabled; ':' and the note
const char* answer;  // the boxes to leave checked, then '+' to press Save rather than Cancel
void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = GetActiveWindow();
  wchar_t note[128] = L":";
  if (!GetWindow(dialog, GW_OWNER)) return;  // not open yet
  if (!shown.empty()) {                       // answered, yet still open: '!', and Cancel
    shown += L'!';
    return (void)SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  }
  GetDlgItemTextW(dialog, IDC_RIGHTS_NOTE, note + 1, 127);
  for (int id : {IDC_ASSOC_LOG, IDC_ASSOC_TXT, IDC_ASSOC_CONTEXT_MENU, IDOK})
    shown += wchar_t((id == IDOK ? 's' : "ox"[IsDlgButtonChecked(dialog, id)]) - 32 * IsWindowEnabled(GetDlgItem(dialog, id)));
  shown += note;
  for (int i = 0; i < 3; ++i) CheckDlgButton(dialog, i < 2 ? IDC_ASSOC_LOG + i : IDC_ASSOC_CONTEXT_MENU, answer[i] == '1');
  SendMessageW(dialog, WM_COMMAND, answer[3] == '+' ? IDOK : IDCANCEL, 0);
}

struct AssociationsTest : CommandFixture {
  wchar_t text[1024];
  void SetUp() override { CommandFixture::SetUp(), SetAssociationsRoots(root, root); }
  void TearDown() override { SetAssociationsRoots(nullptr, nullptr), CommandFixture::TearDown(); }
  void Open(const char* boxes) { answer = boxes, shown.clear(), RunAnswered(IDM_ASSOCIATIONS, Answer); }
  void Set(const wchar_t* key, const wchar_t* data) { RegSetValueW(root, key, REG_SZ, data, 0); }  // default texts
  std::wstring Stored(const wchar_t* key) { LONG n = sizeof text; return RegQueryValueW(root, key, text, &n) ? L"-" : text; }
  std::wstring Named(const wchar_t* key, const wchar_t* name) {
    DWORD n = sizeof text;
    return RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, text, &n) ? L"-" : text;
  }
  std::wstring Kept(const wchar_t* extension) { return Named(extension, L"Kavex.Quillon.previous"); }  // to give back
  // A value of another type than text, which the registry still copies out when asked for text.
  void SetBinary(const wchar_t* key, const wchar_t* name, const wchar_t* data) {
    RegSetKeyValueW(root, key, name, REG_BINARY, data, DWORD((wcslen(data) + 1) * sizeof(wchar_t)));
  }
};

TEST_F(AssociationsTest, SaveWritesTheChangedBoxesAndGivesBackWhatItTookOver) {
  wchar_t command[MAX_PATH + 8] = L"\"";
  wcscat(command + 1 + GetModuleFileNameW(nullptr, command + 1, MAX_PATH), L"\" \"%1\"");
  const std::wstring verb = L"Watch file as log...|" + std::wstring(command);
  Set(L".log", L"OtherApp.log"), Set(L".txt", L"kavex.quillon.1");  // our own type in other letters
  Set(L"txtfile\\DefaultIcon", L"%SystemRoot%\\system32\\imageres.dll,-102");
  const struct { const char* boxes; const wchar_t *shown, *log, *txt; std::wstring verb; const wchar_t *logKept, *txtKept;
                 void (*before)(AssociationsTest*); } sessions[] = {
      {"111-", L"OOOS:", L"OtherApp.log", L"kavex.quillon.1", L"-|-", L"-", L"-", nullptr},  // Cancel changes nothing
      {"011+", L"OOOS:", L"OtherApp.log", L"Kavex.Quillon.1", verb, L"-", L"-", nullptr},   // .log untouched keeps its owner
      {"100+", L"OXXS:", L"Kavex.Quillon.1", L"txtfile", L"-|-", L"OtherApp.log", L"-", nullptr},  // ours: no owner
      {"000+", L"XOOS:", L"OtherApp.log", L"txtfile", L"-|-", L"-", L"-", nullptr},         // .log given back
      // A value that is no text names no class to keep or to give back to, nor does our own in any letters.
      {"110+", L"OOOS:", L"Kavex.Quillon.1", L"Kavex.Quillon.1", L"-|-", L"OtherApp.log", L"-",
       [](AssociationsTest* t) { t->SetBinary(L".txt", nullptr, L"Binary.class"); }},
      {"000+", L"XXOS:", L"txtfile", L"txtfile", L"-|-", L"-", L"-", [](AssociationsTest* t) {
         t->SetBinary(L".log", L"Kavex.Quillon.previous", L"Binary.class");
         RegSetKeyValueW(t->root, L".txt", L"Kavex.Quillon.previous", REG_SZ, L"KAVEX.QUILLON.1", 32);
       }}};
  for (const auto& s : sessions) {
    SCOPED_TRACE(testing::Message() << "session " << &s - sessions);
    if (s.before) s.before(this);
    Open(s.boxes);
    EXPECT_EQ(shown + L"|" + Stored(L".log") + L"|" + Stored(L".txt") + L"|" + Stored(L"*\\shell\\Kavex.Quillon") + L"|" +
              Stored(L"*\\shell\\Kavex.Quillon\\Command") + L"|" + Kept(L".log") + L"|" + Kept(L".txt"),
              std::wstring(s.shown) + L"|" + s.log + L"|" + s.txt + L"|" + s.verb + L"|" + s.logKept + L"|" + s.txtKept);
    DWORD flags = 0, size = sizeof flags;  // registered at every opening
    RegGetValueW(root, L"Kavex.Quillon.1", L"EditFlags", RRF_RT_REG_DWORD, nullptr, &flags, &size);
    EXPECT_EQ(Stored(L"Kavex.Quillon.1") + L"|" + std::to_wstring(flags) + L"|" +
              Stored(L"Kavex.Quillon.1\\CurVer") + L"|" + Stored(L"Kavex.Quillon.1\\DefaultIcon") + L"|" +
              Stored(L"Kavex.Quillon.1\\shell\\open\\command") + L"|" + Named(L"Kavex.Quillon.1", L"FriendlyTypeName"),
              std::wstring(L"Quillon|65537|Kavex.Quillon.1|%SystemRoot%\\system32\\imageres.dll,-102|") + command +
                  L"|Log file");
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
  EXPECT_EQ(shown, std::wstring(L"xoos:").append(LocalizedString(IDS_ASSOC_NO_RIGHTS)) + L"!");  // Save stays shut
  EXPECT_EQ(Stored(L".log") + Stored(L".txt") + Stored(L"Kavex.Quillon.1\\CurVer"), L"Kavex.Quillon.1kavex.quillon.1-");
}

// Reads see the user's classes over the classes root; every write, and what the uninstaller's call undoes, is the
// user's alone.
TEST_F(AssociationsTest, WrittenForTheUserAndReadFromTheUserThenTheClassesRoot) {
  HKEY user, all;  // the user's classes and the classes root
  for (auto [name, key] : {std::pair{L"user", &user}, {L"all", &all}}) RegCreateKeyW(root, name, key);
  SetAssociationsRoots(user, all);
  auto state = [&] {  // the user's .log, .txt (each with its kept owner), type and verb, then the classes root's
    std::wstring seen;
    for (const wchar_t* key : {L"user\\.log", L"user\\.txt", L"user\\Kavex.Quillon.1", L"user\\*\\shell\\Kavex.Quillon",
                               L"all\\.log", L"all\\.txt", L"all\\Kavex.Quillon.1", L"all\\*\\shell\\Kavex.Quillon"})
      seen += Stored(key) + L"," + Kept(key) + L" ";
    return seen;
  };
  Set(L"all\\.log", L"OtherApp.log"), Set(L"all\\.txt", L"Kavex.Quillon.1"), Set(L"user\\.txt", L"UserEditor.txt");
  Set(L"all\\*\\shell\\Kavex.Quillon", L"Watch");  // as an older version registered it for every user
  Open("110+");
  EXPECT_EQ(shown + state(), L"OOXS:Kavex.Quillon.1,OtherApp.log Kavex.Quillon.1,UserEditor.txt Quillon,- -,- "
                             L"OtherApp.log,- Kavex.Quillon.1,- -,- -,- ");
  Set(L"user\\Kavex.Quillon.1\\Kept", L"x"), Set(L"user\\*\\shell\\Kavex.Quillon", L"Watch");
  for (const wchar_t* txt : {L"KAVEX.QUILLON.1", L"Another.txt"}) {  // ours in any spelling, given back; another's, left
    RegSetKeyValueW(user, L".txt", nullptr, REG_SZ, txt, DWORD(wcslen(txt) + 1) * 2);
    UnregisterAssociations();
    EXPECT_EQ(state(), L"OtherApp.log,- " + std::wstring(txt[0] == L'K' ? L"UserEditor.txt" : txt) +
                           L",- -,- -,- OtherApp.log,- Kavex.Quillon.1,- -,- -,- ");
  }
  RegCloseKey(user), RegCloseKey(all);
}

}  // namespace
