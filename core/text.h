// Text in the core: UTF-16 code units whatever width the platform gives
// wchar_t, with the few string helpers the core needs.
#pragma once
#include <cstddef>
#include <cstdint>

using TextUnit = char16_t;

size_t TextLength(const TextUnit* text);
size_t TextLengthWithin(const TextUnit* text, size_t most);
bool SameText(const TextUnit* a, const TextUnit* b);
// Like SameText, ASCII letters compared without case.
bool SameTextAnyCase(const TextUnit* a, const TextUnit* b);
// Copies at most capacity - 1 units and terminates; nothing for capacity 0.
void CopyText(TextUnit* to, const TextUnit* from, size_t capacity);

// A number in decimal digits, terminated; out holds at least 11 units.
// Returns the digits written.
size_t DecimalText(uint32_t value, TextUnit* out);

// Folding as the C runtime's towlower does in its "C" locale: ASCII letters only.
inline TextUnit FoldUnit(TextUnit unit) { return unit >= u'A' && unit <= u'Z' ? TextUnit(unit + 32) : unit; }
inline bool IsDigitUnit(TextUnit unit) { return unit >= u'0' && unit <= u'9'; }
// A letter or decimal digit, by the table of the C runtime's wide classes.
bool IsWordUnit(TextUnit unit);
// The units an empty row may consist of.
bool IsBlankUnit(TextUnit unit);
