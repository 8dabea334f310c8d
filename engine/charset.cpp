#include "engine/charset.h"

#include <climits>

#include "engine/file_follower.h"

namespace {

size_t SystemToUnits(uint32_t codePage, const uint8_t* bytes, size_t count, TextUnit* units, size_t capacity) {
  int n = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes), int(count), AsWide(units),
                              int(capacity > INT_MAX ? INT_MAX : capacity));
  return n > 0 ? size_t(n) : 0;
}

bool SystemLeadBytes(uint32_t codePage, bool lead[256]) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize != 2) return false;
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
    for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead[b] = true;
  return true;
}

constexpr CharsetConversions kSystemConversions{SystemToUnits, SystemLeadBytes};

}  // namespace

const CharsetConversions& SystemConversions() { return kSystemConversions; }

void UpdateCharsetMenu(HMENU menu) {
  if (!menu) return;
  // A merged view's menu shows the charset of the caret row's file.
  int command = CharsetMenuCommand(ViewFileCharset(CaretViewFile()).active);
  if (command) CheckMenuRadioItem(menu, 1301, 1310, command, MF_BYCOMMAND);
}
