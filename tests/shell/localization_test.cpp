#include "shell/localization.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct LanguageCase {
  const char* what;
  std::vector<LANGID> available;
  LanguageFacts facts;
  LANGID expected;
};

TEST(ChooseResourceLanguage, FallbackOrder) {
  const std::vector<LANGID> mainMenu{9, 1029, 1051};
  const std::vector<LANGID> trayMenu{1029, 1033, 1051};
  const LanguageCase cases[] = {
      {"Czech chosen", mainMenu, {0, 1029, 1033, 1033}, 1029},
      {"Czech chosen, tray menu", trayMenu, {0, 1029, 1033, 1033}, 1029},
      {"English chosen, main menu", mainMenu, {0, 9, 1029, 1029}, 9},
      {"English chosen, tray menu", trayMenu, {0, 9, 1029, 1029}, 1033},
      {"automatic, Slovak user", mainMenu, {0, 0, 1051, 1033}, 1051},
      {"automatic, German user and system", mainMenu, {0, 0, 1031, 1031}, 9},
      {"automatic, German user, tray menu", trayMenu, {0, 0, 1031, 1031}, 1033},
      {"1031 stored by hand, Czech user", mainMenu, {0, 1031, 1029, 1033}, 1029},
      {"Swiss German user finds nothing of German", mainMenu, {0, 0, 2055, 2055}, 9},
      {"system default requested skips the user", mainMenu, {0x0800, 0, 1029, 1051}, 1051},
      {"requested language first", mainMenu, {1051, 1029, 1029, 1029}, 1051},
      {"nothing fits: smallest", {1030, 1031}, {0, 0, 1029, 1029}, 1030},
      {"nothing fits: neutral is last resort", {0, 1030}, {0, 0, 1029, 1029}, 0},
      {"English variant", {1030, 2057}, {0, 0, 1029, 1029}, 2057},
  };
  for (const LanguageCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseResourceLanguage(c.available.data(), c.available.size(), c.facts), c.expected);
  }
  EXPECT_EQ(ChooseResourceLanguage(nullptr, 0, {0, 9, 9, 9}), 0);
}

TEST(LocalizedString, SameTextEveryTimeAndNothingForMissing) {
  const wchar_t* first = LocalizedString(129);
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, L"Software\\Morvane\\Quillon");
  EXPECT_EQ(LocalizedString(129), first);
  EXPECT_EQ(LocalizedString(64999), nullptr);
  EXPECT_EQ(LocalizedString(64999), nullptr);
}

TEST(LanguageMenu, CommandsAndMarks) {
  LANGID language = 1;
  ASSERT_TRUE(LanguageOfCommand(1519, &language));
  EXPECT_EQ(language, 0);
  ASSERT_TRUE(LanguageOfCommand(1503, &language));
  EXPECT_EQ(language, 1051);
  EXPECT_FALSE(LanguageOfCommand(1504, &language));
  EXPECT_EQ(LanguageMenuMark(1029), 1502);
  EXPECT_EQ(LanguageMenuMark(0), 1519);
  EXPECT_EQ(LanguageMenuMark(1031), 0);
}

TEST(LanguageMenu, RestartKeepsAPathWithSpacesWhole) {
  wchar_t arguments[300];
  RestartArguments(L"\\\\?\\C:\\My Logs\\app server.log", arguments, 300);
  EXPECT_STREQ(arguments, L"\"\\\\?\\C:\\My Logs\\app server.log\"");
  int count = 0;
  std::wstring line = L"tessel.exe " + std::wstring(arguments);
  wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(split[1], L"\\\\?\\C:\\My Logs\\app server.log");
  LocalFree(split);
  RestartArguments(L"", arguments, 300);
  EXPECT_STREQ(arguments, L"");
}

// An extended template as the resource compiler writes it: header, title,
// font, then DWORD-aligned items.
struct TemplateWriter {
  std::vector<uint8_t> bytes;
  void Word(uint16_t w) { bytes.insert(bytes.end(), {uint8_t(w), uint8_t(w >> 8)}); }
  void Dword(uint32_t d) { Word(uint16_t(d)); Word(uint16_t(d >> 16)); }
  void Text(const wchar_t* text) {
    for (; *text; ++text) Word(*text);
    Word(0);
  }
  void Align() { while (bytes.size() % 4) bytes.push_back(0); }
};

std::vector<uint8_t> SampleDialog() {
  TemplateWriter t;
  t.Word(1); t.Word(0xFFFF); t.Dword(0); t.Dword(0);
  t.Dword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION);
  t.Word(2); t.Word(0); t.Word(0); t.Word(200); t.Word(80);
  t.Word(0); t.Word(0); t.Text(L"Sample");
  t.Word(8); t.Word(400); t.Word(0x0100); t.Text(L"MS Shell Dlg 2");
  const struct { uint16_t id; const wchar_t* text; int16_t x; } items[] = {{101, L"First label", 7}, {102, L"Second", 70}};
  for (auto& item : items) {
    t.Align();
    t.Dword(0); t.Dword(0); t.Dword(WS_CHILD | WS_VISIBLE | SS_LEFT);
    t.Word(uint16_t(item.x)); t.Word(10); t.Word(60); t.Word(10); t.Dword(item.id);
    t.Word(0xFFFF); t.Word(0x0082); t.Text(item.text); t.Word(0);
  }
  return t.bytes;
}

TEST(DialogFont, ModernFaceKeepsEveryControlAligned) {
  std::vector<uint8_t> dialog = SampleDialog();
  size_t size = ModernizeDialogFont(dialog.data(), dialog.size());
  ASSERT_EQ(size, dialog.size() - 12);
  dialog.resize(size);
  std::vector<uint8_t> again = dialog;
  EXPECT_EQ(ModernizeDialogFont(again.data(), again.size()), size);  // already modern

  const wchar_t* face = reinterpret_cast<const wchar_t*>(dialog.data() + 50);  // after header, menu, class and title
  std::wstring text(face, 8);
  EXPECT_EQ(text, L"Segoe UI");
  uint16_t points;
  memcpy(&points, dialog.data() + 44, 2);
  EXPECT_EQ(points, 9);

  HWND shown = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(dialog.data()), nullptr,
                                          [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
  ASSERT_NE(shown, nullptr);
  wchar_t label[32];
  GetDlgItemTextW(shown, 101, label, 32);
  EXPECT_STREQ(label, L"First label");
  GetDlgItemTextW(shown, 102, label, 32);
  EXPECT_STREQ(label, L"Second");
  LOGFONTW font;
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(shown, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
  DestroyWindow(shown);
}

TEST(DialogFont, OtherTemplatesAreLeftAlone) {
  std::vector<uint8_t> dialog = SampleDialog();
  dialog[12] &= ~uint8_t(DS_SETFONT);
  EXPECT_EQ(ModernizeDialogFont(dialog.data(), dialog.size()), dialog.size());
  std::vector<uint8_t> tiny(8, 0);
  EXPECT_EQ(ModernizeDialogFont(tiny.data(), tiny.size()), 8u);
}

}  // namespace
