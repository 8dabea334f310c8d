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
  if (text.find(u'\0') != std::u16string::npos) return 0;  // the dialog's text is terminated
  // The reference: the first occurrence in the row as folded, found by the
  // standard library, its edges then read from the row itself.
  std::u16string folded(row, 0, length), wanted = text;
  if (!exact) {
    for (TextUnit& unit : folded) unit = FoldUnit(unit);
    for (TextUnit& unit : wanted) unit = FoldUnit(unit);
  }
  size_t at = folded.find(wanted);
  bool expected = !text.empty() && at != std::u16string::npos;
  if (expected && whole) {
    size_t end = at + wanted.size();
    expected = !(at > 0 && IsWordUnit(row[at - 1])) && !(end < length && IsWordUnit(row[end]));
  }
  if (RowMatches(row.c_str(), length, text.c_str(), exact, whole) != expected) __builtin_trap();
  return 0;
}
