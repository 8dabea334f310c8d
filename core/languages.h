// Which language the interface is shown in: the language a resource is
// loaded in, and the Language menu's commands.
#pragma once
#include <cstddef>
#include <cstdint>

using LanguageId = uint16_t;  // primary language in the low 10 bits, sublanguage above

// Picks the language a resource is loaded in from those it exists in (sorted
// ascending), or 0 when none fits. The defaults are handed in.
struct LanguageFacts {
  LanguageId requested;
  LanguageId ui;
  LanguageId userDefault;
  LanguageId systemDefault;
};
LanguageId ChooseResourceLanguage(const LanguageId* available, size_t count, const LanguageFacts& facts);

// Language menu: the language id a command stands for; false for another command.
bool LanguageOfCommand(int command, LanguageId* language);
// Which item of 1501..1503 and 1519 carries the radio mark for a stored
// language; 0 when none does.
int LanguageMenuMark(uint32_t storedLanguage);
