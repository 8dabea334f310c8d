#include "core/languages.h"

#include <algorithm>

namespace {

constexpr LanguageId kEnglish = 9;

constexpr LanguageId Primary(LanguageId language) { return language & 0x3FF; }
constexpr LanguageId Sub(LanguageId language) { return language >> 10; }
constexpr LanguageId Make(LanguageId primary, LanguageId sub) { return LanguageId(sub << 10 | primary); }

bool Available(const LanguageId* available, size_t count, LanguageId language) {
  return std::binary_search(available, available + count, language);
}

bool TryFamily(const LanguageId* available, size_t count, LanguageId language, LanguageId* found) {
  LanguageId primary = Primary(language);
  LanguageId candidates[65];
  size_t n = 0;
  candidates[n++] = language;
  candidates[n++] = Make(primary, 1);
  candidates[n++] = Make(primary, 0);
  for (LanguageId sub = 2; sub <= 63; ++sub) candidates[n++] = Make(primary, sub);
  for (size_t i = 0; i < n; ++i) {
    if (Available(available, count, candidates[i])) {
      *found = candidates[i];
      return true;
    }
  }
  return false;
}

}  // namespace

LanguageId ChooseResourceLanguage(const LanguageId* available, size_t count, const LanguageFacts& facts) {
  if (count == 0) return 0;
  LanguageId found;
  LanguageId requested = facts.requested;
  if (Primary(requested) != 0) {
    if (Available(available, count, requested)) return requested;
    if (Primary(facts.ui) == 0 && Sub(facts.ui) != 0) {
      LanguageId mixed = Make(Primary(requested), Sub(facts.ui));
      if (Available(available, count, mixed)) return mixed;
    }
    if (TryFamily(available, count, requested, &found)) return found;
  }
  if (Primary(facts.ui) != 0 && TryFamily(available, count, facts.ui, &found)) return found;
  if (requested != 0x0800 && TryFamily(available, count, facts.userDefault, &found)) return found;
  if (TryFamily(available, count, facts.systemDefault, &found)) return found;
  const LanguageId lastResorts[] = {0x0000, 0x0400, 0x0800, 1033, kEnglish};
  for (LanguageId language : lastResorts)
    if (Available(available, count, language)) return language;
  for (LanguageId sub = 2; sub <= 63; ++sub)
    if (Available(available, count, Make(kEnglish, sub))) return Make(kEnglish, sub);
  return count > 1 && available[0] == 0 ? available[1] : available[0];
}

bool LanguageOfCommand(int command, LanguageId* language) {
  switch (command) {
    case 1501: *language = 9; return true;
    case 1502: *language = 1029; return true;
    case 1503: *language = 1051; return true;
    case 1519: *language = 0; return true;
    default: return false;
  }
}

int LanguageMenuMark(uint32_t storedLanguage) {
  switch (storedLanguage) {
    case 9: return 1501;
    case 1029: return 1502;
    case 1051: return 1503;
    case 0: return 1519;
    default: return 0;
  }
}
