// Find's row test against a plain search: the first occurrence decides.
#include "core/matching.h"
#include "fuzz/stand_in.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  uint8_t flags = input.Byte();
  bool exact = flags & 1, whole = flags & 2;
  std::u16string text = input.Units(input.Byte() % 16);
  std::u16string row = input.Units(kMaxRowUnits);
  size_t length = flags >> 2 < row.size() ? row.size() - (flags >> 2) : row.size();  // rows may be read short
  auto same = [&](TextUnit a, TextUnit b) { return exact ? a == b : FoldUnit(a) == FoldUnit(b); };
  bool expected = false;
  for (size_t at = 0; !text.empty() && text.find(u'\0') == std::u16string::npos && at + text.size() <= length; ++at) {
    size_t k = 0;
    while (k < text.size() && same(row[at + k], text[k])) ++k;
    if (k < text.size()) continue;
    bool before = at > 0 && IsWordUnit(row[at - 1]), after = at + k < length && IsWordUnit(row[at + k]);
    expected = !whole || (!before && !after);
    break;
  }
  if (text.find(u'\0') != std::u16string::npos) return 0;  // the dialog's text is terminated
  if (RowMatches(row.c_str(), length, text.c_str(), exact, whole) != expected) __builtin_trap();
  return 0;
}
