// The charsets' Windows side: the system's code page conversions handed to
// the core's decoding, and the Charset menu.
#pragma once
#include <windows.h>

#include "core/charset.h"
#include "engine/wide_text.h"

// MultiByteToWideChar and the code pages' lead bytes.
const CharsetConversions& SystemConversions();

// Puts the radio mark of the Charset menu on the active charset's command.
void UpdateCharsetMenu(HMENU menu);
