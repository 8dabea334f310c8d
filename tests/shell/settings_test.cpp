#include "shell/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/localization.h"

namespace {

// The store works under a throwaway key of the test prefix's registry.
struct SettingsTest : testing::Test {
  HKEY root = nullptr;
  std::wstring rootPath;

  void SetUp() override {
    rootPath = L"Software\\QuillonTests\\" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, rootPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &root, nullptr),
              ERROR_SUCCESS);
    SetSettingsRoot(root);
    ASSERT_NE(LocalizedString(kSettingsKeyPath), nullptr) << "settings names missing from resources";
  }
  void TearDown() override {
    SetSettingsRoot(nullptr);
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, rootPath.c_str());
    uiLanguage = 0;
    ResetSettings(AppSettings);
  }

  HKEY OpenSettingsKey() {
    HKEY key = nullptr;
    RegCreateKeyExW(root, LocalizedString(kSettingsKeyPath), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    return key;
  }
  bool SettingsKeyExists() {
    HKEY key;
    if (RegOpenKeyExW(root, LocalizedString(kSettingsKeyPath), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }
  void Put(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key = OpenSettingsKey();
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
  }
  void PutDword(UINT nameId, DWORD value) {
    Put(LocalizedString(nameId), REG_DWORD, &value, sizeof value);
  }
  std::vector<std::wstring> ValueNames() {
    std::vector<std::wstring> names;
    HKEY key = OpenSettingsKey();
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      names.push_back(name);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(SettingsTest, FirstStartHasDefaultsAndCreatesNoKey) {
  AppSettings.rowLength = 7;
  LoadSettings();
  EXPECT_FALSE(SettingsKeyExists());
  EXPECT_EQ(AppSettings.rowLength, 80u);
  EXPECT_EQ(AppSettings.kbLimit, 256u);
  EXPECT_EQ(AppSettings.linesLimit, 2048u);
  EXPECT_EQ(AppSettings.charset, 3u);
  EXPECT_EQ(AppSettings.savePosition, 1u);
  EXPECT_EQ(AppSettings.escClose, 0u);
  EXPECT_EQ(AppSettings.textColor, GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(AppSettings.font.lfHeight, 13);
  EXPECT_STREQ(AppSettings.font.lfFaceName, L"Lucida Console");
  EXPECT_EQ(AppSettings.font.lfPitchAndFamily, FF_MODERN);
  EXPECT_EQ(uiLanguage, 0);
}

TEST_F(SettingsTest, EachChangeWritesOnlyItsValues) {
  LoadSettings();
  AppSettings.background = 0x123456;
  ASSERT_TRUE(StoreSetting(kSettingBackground));
  EXPECT_EQ(ValueNames(), (std::vector<std::wstring>{L"background"}));

  AppSettings.font.lfHeight = 20;
  ASSERT_TRUE(StoreSettings({kSettingTextColor, kSettingFont}));
  EXPECT_EQ(ValueNames(), (std::vector<std::wstring>{L"background", L"font", L"text color"}));

  ResetSettings(AppSettings);
  LoadSettings();
  EXPECT_EQ(AppSettings.background, 0x123456u);
  EXPECT_EQ(AppSettings.font.lfHeight, 20);
}

TEST_F(SettingsTest, ValuesSurviveARoundTrip) {
  LoadSettings();
  AppSettings.kbLimit = 1024;
  AppSettings.linesLimit = 500;
  AppSettings.cutEmpty = 1;
  AppSettings.language = 0x0405;
  wcscpy(AppSettings.history[0], L"C:\\logs\\newest.log");
  wcscpy(AppSettings.history[9], L"C:\\logs\\oldest.log");
  ASSERT_TRUE(StoreSettings({kSettingKbLimit, kSettingLinesLimit}));
  ASSERT_TRUE(StoreSettings({kSettingCutEmpty, kSettingLanguage}));
  ASSERT_TRUE(StoreHistory());
  EXPECT_EQ(ValueNames().size(), 14u);  // four values and ten history entries

  LoadSettings();
  EXPECT_EQ(AppSettings.kbLimit, 1024u);
  EXPECT_EQ(AppSettings.linesLimit, 500u);
  EXPECT_EQ(AppSettings.cutEmpty, 1u);
  EXPECT_EQ(uiLanguage, 0x0405);
  EXPECT_STREQ(AppSettings.history[0], L"C:\\logs\\newest.log");
  EXPECT_STREQ(AppSettings.history[5], L"");
  EXPECT_STREQ(AppSettings.history[9], L"C:\\logs\\oldest.log");
}

TEST_F(SettingsTest, HostileValuesGiveSafeSettings) {
  PutDword(kSettingRowLength, 0);
  PutDword(kSettingLinesLimit, 0);
  PutDword(kSettingKbLimit, 0xFFFFFFFF);
  Put(LocalizedString(kSettingCharset), REG_SZ, L"abcdef", 14);  // not a number at all
  Put(LocalizedString(kSettingWrapLines), REG_BINARY, "\x00", 1);  // too short to be one
  Put(LocalizedString(kSettingFont), REG_BINARY, "\x01\x02\x03", 3);
  LoadSettings();
  EXPECT_EQ(AppSettings.rowLength, 80u);
  EXPECT_EQ(AppSettings.linesLimit, 2048u);
  EXPECT_EQ(AppSettings.kbLimit, 65535u);
  EXPECT_EQ(AppSettings.charset, 3u);
  EXPECT_EQ(AppSettings.wrapLines, 1u);
  EXPECT_STREQ(AppSettings.font.lfFaceName, L"Lucida Console");

  PutDword(kSettingRowLength, 100000);
  PutDword(kSettingLinesLimit, 1u << 20);
  LoadSettings();
  EXPECT_EQ(AppSettings.rowLength, 4095u);
  EXPECT_EQ(AppSettings.linesLimit, 65535u);
}

TEST_F(SettingsTest, FontWithoutTerminatedFaceAndNegativeHeight) {
  LOGFONTW font = Settings::DefaultViewFont();
  font.lfHeight = -16;
  for (wchar_t& c : font.lfFaceName) c = L'Z';
  Put(LocalizedString(kSettingFont), REG_BINARY, &font, sizeof font);
  LoadSettings();
  EXPECT_EQ(AppSettings.font.lfHeight, 16);
  EXPECT_EQ(wcslen(AppSettings.font.lfFaceName), size_t(LF_FACESIZE - 1));

  font.lfHeight = 0;
  Put(LocalizedString(kSettingFont), REG_BINARY, &font, sizeof font);
  LoadSettings();
  EXPECT_EQ(AppSettings.font.lfHeight, 13);
}

TEST_F(SettingsTest, HistoryWithoutTerminatorStaysInItsBuffer) {
  std::wstring endless(kHistoryUnits, L'x');
  wchar_t name[32];
  swprintf(name, 32, LocalizedString(kSettingHistoryFormat), 3u);
  Put(name, REG_SZ, endless.data(), DWORD((kHistoryUnits - 1) * sizeof(wchar_t)));
  swprintf(name, 32, LocalizedString(kSettingHistoryFormat), 5u);
  Put(name, REG_SZ, endless.data(), DWORD(kHistoryUnits * sizeof(wchar_t)));
  swprintf(name, 32, LocalizedString(kSettingHistoryFormat), 4u);
  Put(name, REG_BINARY, L"abc", 6);  // no terminator, shorter than the buffer
  LoadSettings();
  EXPECT_EQ(wcslen(AppSettings.history[3]), kHistoryUnits - 1);
  EXPECT_STREQ(AppSettings.history[4], L"abc");
  EXPECT_STREQ(AppSettings.history[2], L"");
  EXPECT_LT(wcslen(AppSettings.history[5]), kHistoryUnits);  // too long: never unterminated
}

}  // namespace
