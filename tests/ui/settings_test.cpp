#include "commands/command_fixture.h"

namespace {

using SettingsTest = CommandFixture;

// Values the program cannot use are replaced; a value of another size is absent; the stored language decides the UI's.
TEST_F(SettingsTest, LoadTakesTheStoredValuesAndReplacesThoseTheProgramCannotHold) {
  const struct { const wchar_t* name; uint32_t Settings::*field; std::string bytes; uint32_t expected; } cases[] = {
      {L"kb limit", &Settings::kbLimit, std::string(4, '\0'), 256},  // not an empty view
      {L"kb limit", &Settings::kbLimit, std::string(4, '\xFF'), 65535},
      {L"row length", &Settings::rowLength, std::string(4, '\0'), 80},
      {L"row length", &Settings::rowLength, std::string("\xA0\x86\x01\0", 4), 4095},
      {L"lines limit", &Settings::linesLimit, std::string(4, '\0'), 2048},
      {L"lines limit", &Settings::linesLimit, std::string("\0\0\x10\0", 4), 65535},
      {L"charset", &Settings::charset, std::string("a\0b\0c\0d\0e\0", 10), 3},
      {L"wrap lines", &Settings::wrapLines, std::string(1, '\0'), 1},  // too short
      {L"language", &Settings::language, std::string("\x05\x04\0\0", 4), 0x405}};
  for (const auto& c : cases) {
    RegSetKeyValueW(root, LocalizedString(IDS_REG_KEY), c.name, REG_BINARY, c.bytes.data(), DWORD(c.bytes.size()));
    LoadSettings();
    EXPECT_EQ(AppSettings.*c.field, c.expected) << testing::PrintToString(std::wstring(c.name));
  }
  EXPECT_EQ(uiLanguage, 0x405);
  LOGFONTW font = Settings::DefaultViewFont();  // a face name without its terminator
  wmemset(font.lfFaceName, L'A', LF_FACESIZE);
  font.lfHeight = INT32_MIN;  // no positive counterpart
  RegSetKeyValueW(root, LocalizedString(IDS_REG_KEY), L"font", REG_BINARY, &font, sizeof font);
  LoadSettings();
  EXPECT_EQ(wcslen(AppSettings.font.lfFaceName), size_t(LF_FACESIZE - 1));
  EXPECT_EQ(AppSettings.font.lfHeight, 13);
}

}  // namespace
