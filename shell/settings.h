// The persisted settings record. Fields are named after their registry values.
// Loading and storing live with the settings store; until a value is loaded it
// holds its default.
#pragma once
#include <windows.h>
#include <cstdint>

struct Settings {
  uint32_t rowLength = 80;        // "row length"
  uint32_t textColor = 0;         // "text color", set from COLOR_WINDOWTEXT at start-up
  uint32_t background = 0xFFFFFF; // "background", set from COLOR_WINDOW at start-up
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
};

extern Settings AppSettings;

// Row builder limits that every consumer relies on, whatever the registry holds.
constexpr uint32_t kMaxRowLength = 4095;
constexpr uint32_t kMaxLinesLimit = 65535;
constexpr uint32_t kMaxKbLimit = 65535;

// Keeps values the engine cannot hold within range (zero limits, over-long rows).
void ClampSettings(Settings& settings);
