// The core's text is char16_t, Windows' wchar_t: the same 16-bit units under
// two type names, passed across as they are.
#pragma once
#include "core/text.h"

static_assert(sizeof(wchar_t) == sizeof(TextUnit), "wchar_t holds UTF-16 units");

inline const TextUnit* AsText(const wchar_t* text) { return reinterpret_cast<const TextUnit*>(text); }
inline TextUnit* AsText(wchar_t* text) { return reinterpret_cast<TextUnit*>(text); }
inline const wchar_t* AsWide(const TextUnit* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(TextUnit* text) { return reinterpret_cast<wchar_t*>(text); }
