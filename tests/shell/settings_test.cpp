#include "commands/command_fixture.h"

namespace {

using SettingsTest = CommandFixture;

TEST_F(SettingsTest, EachStoreWritesOnlyItsValuesAndLoadReadsThemBack) {
  LoadSettings();
  HKEY key;  // a first start creates no key
  EXPECT_EQ(RegOpenKeyExW(root, LocalizedString(IDS_REG_KEY), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  AppSettings.kbLimit = 1024;
  AppSettings.language = 0x0405;
  wcscpy(AppSettings.history[0], L"C:\\logs\\newest.log");
  wcscpy(AppSettings.history[9], L"C:\\logs\\oldest.log");
  ASSERT_TRUE(StoreSettings({kSettingKbLimit, kSettingLanguage}) && StoreHistory());
  EXPECT_EQ(StoredNames().size(), 12u);  // two values and ten history entries
  ResetSettings(AppSettings);
  LoadSettings();
  EXPECT_EQ(AppSettings.kbLimit, 1024u);
  EXPECT_EQ(uiLanguage, 0x0405);
  EXPECT_STREQ(AppSettings.history[0], L"C:\\logs\\newest.log");
  EXPECT_STREQ(AppSettings.history[9], L"C:\\logs\\oldest.log");
}

// Values the program cannot use are replaced; a value of another size is absent.
TEST_F(SettingsTest, LoadReplacesValuesTheProgramCannotHold) {
  auto Put = [&](const wchar_t* name, DWORD type, const void* data, size_t bytes) {
    RegSetKeyValueW(root, LocalizedString(IDS_REG_KEY), name, type, data, DWORD(bytes));
  };
  const struct {
    const wchar_t* name;
    uint32_t Settings::*field;
    std::string bytes;
    uint32_t expected;
  } cases[] = {{L"kb limit", &Settings::kbLimit, std::string(4, '\0'), 256},  // not an empty view
               {L"kb limit", &Settings::kbLimit, std::string(4, '\xFF'), 65535},
               {L"row length", &Settings::rowLength, std::string(4, '\0'), 80},
               {L"row length", &Settings::rowLength, std::string("\xA0\x86\x01\0", 4), 4095},
               {L"lines limit", &Settings::linesLimit, std::string(4, '\0'), 2048},
               {L"lines limit", &Settings::linesLimit, std::string("\0\0\x10\0", 4), 65535},
               {L"charset", &Settings::charset, std::string("a\0b\0c\0d\0e\0", 10), 3},
               {L"wrap lines", &Settings::wrapLines, std::string(1, '\0'), 1}};  // too short
  for (const auto& c : cases) {
    Put(c.name, REG_BINARY, c.bytes.data(), c.bytes.size());
    LoadSettings();
    EXPECT_EQ(AppSettings.*c.field, c.expected) << testing::PrintToString(std::wstring(c.name));
  }
  LOGFONTW font = Settings::DefaultViewFont();
  for (wchar_t& c : font.lfFaceName) c = L'Z';  // no terminator
  for (LONG height : {-16, 0}) {
    font.lfHeight = height;
    Put(L"font", REG_BINARY, &font, sizeof font);
    LoadSettings();
    EXPECT_EQ(AppSettings.font.lfHeight, height ? 16 : 13);
    EXPECT_EQ(wcslen(AppSettings.font.lfFaceName), size_t(LF_FACESIZE - 1));
  }
  std::wstring endless(kHistoryUnits, L'x');
  Put(L"history 3", REG_SZ, endless.data(), (kHistoryUnits - 1) * sizeof(wchar_t));
  Put(L"history 4", REG_BINARY, L"abc", 6);
  Put(L"history 5", REG_SZ, endless.data(), kHistoryUnits * sizeof(wchar_t));  // too long
  LoadSettings();
  EXPECT_EQ(wcslen(AppSettings.history[3]), kHistoryUnits - 1);
  EXPECT_STREQ(AppSettings.history[4], L"abc");
  EXPECT_LT(wcslen(AppSettings.history[5]), kHistoryUnits);
}

}  // namespace
