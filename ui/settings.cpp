#include "ui/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/localization.h"

Settings AppSettings;

namespace {

HKEY settingsRoot = HKEY_CURRENT_USER;

struct NumericValue {
  UINT name;
  uint32_t Settings::*field;
};

// In the order they are read.
constexpr NumericValue kFirstValues[] = {
    {kSettingRowLength, &Settings::rowLength},
    {kSettingTextColor, &Settings::textColor},
    {kSettingBackground, &Settings::background},
    {kSettingCharset, &Settings::charset},
    {kSettingAutodetect, &Settings::autodetect},
    {kSettingStatusBar, &Settings::statusBar},
    {kSettingKbLimit, &Settings::kbLimit},
    {kSettingWrapLines, &Settings::wrapLines},
    {kSettingLinesLimit, &Settings::linesLimit},
    {kSettingLastCheck, &Settings::lastCheck},
    {kSettingAutoCheck, &Settings::autoCheck},
    {kSettingRestrictInstances, &Settings::restrictInstances},
    {kSettingRepo, &Settings::repo},
    {kSettingLanguage, &Settings::language},
};

constexpr NumericValue kLaterValues[] = {
    {kSettingCutEmpty, &Settings::cutEmpty},
    {kSettingTrayMinimize, &Settings::trayMinimize},
    {kSettingFullscreen, &Settings::fullscreen},
    {kSettingEscClose, &Settings::escClose},
    {kSettingSavePosition, &Settings::savePosition},
    {kSettingLevelColors, &Settings::levelColors},
    {kSettingOverview, &Settings::overview},
    {kSettingFileNames, &Settings::fileNames},
};

const NumericValue* FindNumeric(UINT name) {
  for (const NumericValue& value : kFirstValues)
    if (value.name == name) return &value;
  for (const NumericValue& value : kLaterValues)
    if (value.name == name) return &value;
  return nullptr;
}

// A value is taken only when it is exactly as large as its field: a shorter
// one would mix with the default, a longer one is not ours.
bool ReadExact(HKEY key, const wchar_t* name, void* field, DWORD size) {
  if (!name) return false;
  alignas(8) BYTE buffer[sizeof(LOGFONTW)];
  DWORD got = sizeof buffer;
  if (size > got) return false;
  if (RegQueryValueExW(key, name, nullptr, nullptr, buffer, &got) != ERROR_SUCCESS || got != size)
    return false;
  memcpy(field, buffer, size);
  return true;
}

void ReadNumeric(HKEY key, const NumericValue& value) {
  uint32_t number;
  if (ReadExact(key, LocalizedString(value.name), &number, sizeof number))
    AppSettings.*value.field = number;
}

void NumberedValueName(UINT format, int index, wchar_t* name, size_t capacity) {
  const wchar_t* text = LocalizedString(format);
  swprintf(name, capacity, text ? text : L"", unsigned(index));
}

void ReadHistory(HKEY key, int index) {
  wchar_t name[64];
  NumberedValueName(kSettingHistoryFormat, index, name, 64);
  wchar_t* entry = AppSettings.history[index];
  DWORD bytes = kHistoryUnits * sizeof(wchar_t);
  if (!name[0] || RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(entry),
                                   &bytes) != ERROR_SUCCESS) {
    entry[0] = 0;
    return;
  }
  // The registry does not promise a terminator.
  size_t units = bytes / sizeof(wchar_t);
  entry[units < kHistoryUnits ? units : kHistoryUnits - 1] = 0;
}

// A missing or empty value leaves the slot free; anything that is not a rule
// keeps its slot, so that saving the rules never overwrites it.
void ReadRule(HKEY key, int slot) {
  wchar_t name[64], value[kRuleValueUnits + 1];
  NumberedValueName(kSettingRuleFormat, slot, name, 64);
  if (!name[0]) return;
  DWORD type = 0, bytes = kRuleValueUnits * sizeof(wchar_t);
  LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
  if (status == ERROR_FILE_NOT_FOUND) return;
  value[status == ERROR_SUCCESS ? bytes / sizeof(wchar_t) : 0] = 0;
  if (status == ERROR_SUCCESS && type == REG_SZ && (!value[0] || ParseRule(AsText(value), &AppSettings.rules[slot])))
    return;
  AppSettings.keptRules |= 1u << slot;
}

bool WriteText(HKEY key, const wchar_t* name, const wchar_t* text) {
  return name[0] && RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                   DWORD((wcslen(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteDword(HKEY key, UINT name, uint32_t value) {
  const wchar_t* text = LocalizedString(name);
  return text && RegSetValueExW(key, text, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value) == ERROR_SUCCESS;
}

HKEY OpenForReading() {
  const wchar_t* path = LocalizedString(kSettingsKeyPath);
  HKEY key = nullptr;
  if (!path || RegOpenKeyExW(settingsRoot, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

HKEY OpenForWriting() {
  const wchar_t* path = LocalizedString(kSettingsKeyPath);
  HKEY key = nullptr;
  if (!path || RegCreateKeyExW(settingsRoot, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                               nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

}  // namespace

LOGFONTW Settings::DefaultViewFont() {
  LOGFONTW font{};
  font.lfHeight = 13;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfQuality = PROOF_QUALITY;
  font.lfPitchAndFamily = FF_MODERN;
  wcscpy(font.lfFaceName, L"Lucida Console");
  return font;
}

void SetSettingsRoot(HKEY root) { settingsRoot = root ? root : HKEY_CURRENT_USER; }

void ResetSettings(Settings& settings) {
  settings = Settings{};
  settings.textColor = GetSysColor(COLOR_WINDOWTEXT);
  settings.background = GetSysColor(COLOR_WINDOW);
}

void LoadSettings() {
  ResetSettings(AppSettings);
  HKEY key = OpenForReading();
  if (!key) return;
  for (const NumericValue& value : kFirstValues) ReadNumeric(key, value);
  if (AppSettings.language != 0) uiLanguage = LANGID(AppSettings.language & 0xFFFF);
  for (const NumericValue& value : kLaterValues) ReadNumeric(key, value);
  for (int index = kHistoryEntries - 1; index >= 0; --index) ReadHistory(key, index);
  LOGFONTW font;
  if (ReadExact(key, LocalizedString(kSettingFont), &font, sizeof font)) AppSettings.font = font;
  for (int slot = 0; slot < kMaxRules; ++slot) ReadRule(key, slot);
  RegCloseKey(key);
  ClampSettings(AppSettings);
}

bool StoreSettings(std::initializer_list<UINT> names) {
  HKEY key = OpenForWriting();
  if (!key) return false;
  for (UINT name : names) {
    if (name == kSettingFont) {
      const wchar_t* text = LocalizedString(kSettingFont);
      if (text)
        RegSetValueExW(key, text, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&AppSettings.font),
                       sizeof AppSettings.font);
    } else if (const NumericValue* value = FindNumeric(name)) {
      WriteDword(key, name, AppSettings.*value->field);
    }
  }
  RegCloseKey(key);
  return true;
}

bool StoreHistory() {
  HKEY key = OpenForWriting();
  if (!key) return false;
  for (int index = kHistoryEntries - 1; index >= 0; --index) {
    wchar_t name[64];
    NumberedValueName(kSettingHistoryFormat, index, name, 64);
    WriteText(key, name, AppSettings.history[index]);
  }
  RegCloseKey(key);
  return true;
}

int StoreRules(const HighlightRule* rules, int count) {
  HKEY key = OpenForWriting();
  int placed = 0;
  for (int slot = 0; slot < kMaxRules; ++slot) {
    if (AppSettings.keptRules & (1u << slot)) continue;
    HighlightRule& held = AppSettings.rules[slot];
    bool heldBefore = held.length != 0;
    held = placed < count ? rules[placed++] : HighlightRule{};
    if (!key || (!heldBefore && !held.length)) continue;
    wchar_t name[64], value[kRuleValueUnits];
    NumberedValueName(kSettingRuleFormat, slot, name, 64);
    FormatRule(held, AsText(value));
    WriteText(key, name, value);
  }
  if (key) RegCloseKey(key);
  return placed;
}

bool ReadStoredNumber(UINT name, uint32_t* value) {
  HKEY key = OpenForReading();
  if (!key) return false;
  bool read = ReadExact(key, LocalizedString(name), value, sizeof *value);
  RegCloseKey(key);
  return read;
}

bool StoreNumber(UINT name, uint32_t value) {
  HKEY key = OpenForWriting();
  bool written = key && WriteDword(key, name, value);
  if (key) RegCloseKey(key);
  return written;
}

void ClampSettings(Settings& settings) {
  StoredLimits limits{settings.rowLength, settings.linesLimit, settings.kbLimit, settings.font.lfHeight};
  ClampStoredLimits(limits);
  settings.rowLength = limits.rowLength;
  settings.linesLimit = limits.linesLimit;
  settings.kbLimit = limits.kbLimit;
  settings.font.lfHeight = limits.fontHeight;
  settings.font.lfFaceName[LF_FACESIZE - 1] = 0;
}
