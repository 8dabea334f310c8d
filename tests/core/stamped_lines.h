// Log lines stamped in the forms logs use, for the time search and Go to time tests.
#pragma once
#include <string>

inline std::string TwoDigits(int value) { return std::string(1, char('0' + value / 10)) + char('0' + value % 10); }

// Line `index` stamped in the given form on 2026-03-01, `seconds` into the day.
inline std::string Stamped(int form, int seconds, int index) {
  std::string h = TwoDigits(seconds / 3600), m = TwoDigits(seconds / 60 % 60), s = TwoDigits(seconds % 60);
  std::string rest = " line " + std::to_string(index);
  switch (form) {
    case 0: return "2026-03-01T" + h + ":" + m + ":" + s + ".250+01:00" + rest;
    case 1: return "2026-03-01 " + h + ":" + m + ":" + s + ",250 INFO" + rest;
    case 2: return "2026/03/01 " + h + ":" + m + ":" + s + rest;
    case 3: return "Mar  1 " + h + ":" + m + ":" + s + " host" + rest;
    case 4: return "10.0.0.1 - - [01/Mar/2026:" + h + ":" + m + ":" + s + " +0000] \"GET /\"" + rest;
    default: return "WARN  [2026-03-01 " + h + ":" + m + ":" + s + "Z]" + rest;
  }
}
