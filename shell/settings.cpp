#include "shell/settings.h"

Settings AppSettings;

void ClampSettings(Settings& settings) {
  if (settings.rowLength == 0 || settings.rowLength > kMaxRowLength) settings.rowLength = 80;
  if (settings.linesLimit == 0) settings.linesLimit = 2048;
  if (settings.linesLimit > kMaxLinesLimit) settings.linesLimit = kMaxLinesLimit;
  if (settings.kbLimit == 0) settings.kbLimit = 256;
  if (settings.kbLimit > kMaxKbLimit) settings.kbLimit = kMaxKbLimit;
}
