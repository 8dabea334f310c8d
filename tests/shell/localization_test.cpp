#include "shell/localization.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ChooseResourceLanguage, FallbackOrder) {
  const std::vector<LANGID> mainMenu{9, 1029, 1051}, trayMenu{1029, 1033, 1051};
  const struct {
    const char* what;
    std::vector<LANGID> available;
    LanguageFacts facts;  // requested, ui, user default, system default
    LANGID expected;
  } cases[] = {
      {"English chosen, tray menu", trayMenu, {0, 9, 1029, 1029}, 1033},
      {"automatic, German user and system", mainMenu, {0, 0, 1031, 1031}, 9},
      {"1031 stored by hand, Czech user", mainMenu, {0, 1031, 1029, 1033}, 1029},
      {"system default requested skips the user", mainMenu, {0x0800, 0, 1029, 1051}, 1051},
      {"requested language first", mainMenu, {1051, 1029, 1029, 1029}, 1051},
      {"nothing fits: neutral is the last resort", {0, 1030}, {0, 0, 1029, 1029}, 0},
      {"nothing at all", {}, {0, 9, 9, 9}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseResourceLanguage(c.available.data(), c.available.size(), c.facts), c.expected);
  }
}

}  // namespace
