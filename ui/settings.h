// The persisted settings record and its store under
// HKEY_CURRENT_USER\Software\Morvane\Quillon. Every change is written at once,
// one value (or one dialog's group) at a time. Fields are named after their
// registry values, whose names are string ids 129 to 159.
#pragma once
#include <windows.h>

#include <cstdint>
#include <initializer_list>

#include "core/history.h"
#include "core/stored_values.h"
#include "engine/highlight_rules.h"


struct Settings {
  uint32_t rowLength = 80;        // "row length"
  uint32_t textColor = 0;         // "text color", COLOR_WINDOWTEXT by default
  uint32_t background = 0xFFFFFF; // "background", COLOR_WINDOW by default
  uint32_t charset = 3;           // "charset"
  uint32_t autodetect = 1;        // "autodetect"
  uint32_t statusBar = 1;         // "status bar"
  uint32_t kbLimit = 256;         // "kb limit"
  uint32_t wrapLines = 1;         // "wrap lines"
  uint32_t linesLimit = 2048;     // "lines limit"
  uint32_t lastCheck = 0;         // "last check"
  uint32_t autoCheck = 1;         // "auto check"
  uint32_t restrictInstances = 1; // "restrict instances"
  uint32_t repo = 0;              // "repo"
  uint32_t language = 0;          // "language"
  uint32_t cutEmpty = 0;          // "cut empty"
  uint32_t trayMinimize = 0;      // "tray minimize"
  uint32_t fullscreen = 0;        // "fullscreen"
  uint32_t escClose = 0;          // "esc close"
  uint32_t savePosition = 1;      // "save position"
  uint32_t levelColors = 1;       // "level colors"
  uint32_t overview = 1;          // "overview"
  uint32_t fileNames = 1;         // "file names"
  LOGFONTW font = DefaultViewFont();  // "font"
  wchar_t history[kHistoryEntries][kHistoryUnits] = {};  // "history 0" .. "history 9"
  HighlightRule rules[kMaxRules] = {};  // "rule 0" .. "rule 31"; a slot without pattern is free
  uint32_t keptRules = 0;  // slots whose stored value is no rule: never written

  static LOGFONTW DefaultViewFont();
};

extern Settings AppSettings;

// String ids of the key path and the value names.
enum : UINT {
  kSettingsKeyPath = 129,
  kSettingRowLength = 130,
  kSettingTextColor = 131,
  kSettingBackground = 132,
  kSettingHistoryFormat = 133,  // "history %u"
  kSettingCharset = 134,
  kSettingStatusBar = 135,
  kSettingFont = 136,
  kSettingKbLimit = 137,
  kSettingWrapLines = 138,
  kSettingLinesLimit = 139,
  kSettingInstalled = 140,
  kSettingAutodetect = 141,
  kSettingLastCheck = 142,
  kSettingAutoCheck = 143,
  kSettingRuleFormat = 144,  // "rule %u"
  kSettingLevelColors = 149,
  kSettingOverview = 150,
  kSettingFileNames = 151,
  kSettingRestrictInstances = 152,
  kSettingRepo = 153,
  kSettingLanguage = 154,
  kSettingCutEmpty = 155,
  kSettingTrayMinimize = 156,
  kSettingFullscreen = 157,
  kSettingEscClose = 158,
  kSettingSavePosition = 159,
};

// Tests hand the store a key of their own instead of HKEY_CURRENT_USER.
void SetSettingsRoot(HKEY root);

// Defaults, with the colours taken from the system now.
void ResetSettings(Settings& settings);

// Fills AppSettings from the registry; without the key every default stays and
// the key is not created. Values the program cannot hold are replaced.
void LoadSettings();

// Writes the fields named by the ids with one opening of the key (the font
// record for kSettingFont). False when the key cannot be opened.
bool StoreSettings(std::initializer_list<UINT> names);
inline bool StoreSetting(UINT name) { return StoreSettings({name}); }
bool StoreHistory();
// Puts the rules, in order, into the slots not kept, and writes every slot
// that holds or held a rule (an emptied one as an empty string). Returns how
// many found a slot.
int StoreRules(const HighlightRule* rules, int count);
// One number as the key holds it now, for values without a field
// ("installed"); false when it is missing or not a number.
bool ReadStoredNumber(UINT name, uint32_t* value);
bool StoreNumber(UINT name, uint32_t value);

// Keeps values the engine cannot hold within range (ClampStoredLimits, and a
// font without a terminated face name).
void ClampSettings(Settings& settings);
