#include "fuzz/stand_in.h"

#include <cstring>

namespace {

// Bytes below 0x80 as themselves, the rest spread over the BMP, NUL and
// the line feed's neighbours included, so that the builder sees them all.
TextUnit SingleByte(uint8_t byte) { return byte < 0x80 ? byte : TextUnit(byte * 251u); }

bool StandInLeadBytes(uint32_t codePage, bool lead[256]) {
  if (codePage != kCharsetOem) return false;
  for (unsigned b = 0x81; b <= 0xFE; ++b) lead[b] = true;
  return true;
}

size_t StandInToUnits(uint32_t codePage, const uint8_t* bytes, size_t count, TextUnit* units, size_t capacity) {
  bool lead[256] = {};
  bool wide = StandInLeadBytes(codePage, lead);
  size_t produced = 0;
  for (size_t i = 0; i < count && produced < capacity; ++i) {
    if (wide && lead[bytes[i]] && i + 1 < count) {
      units[produced++] = TextUnit(0x4E00 + (bytes[i] << 8 | bytes[i + 1]) % 0x5000);
      ++i;
    } else {
      units[produced++] = wide && lead[bytes[i]] ? 0xFFFD : SingleByte(bytes[i]);
    }
  }
  return produced;
}

int Count(void* context) { return int(static_cast<KeptRows*>(context)->rows.size()); }
void RemoveTop(void* context, int rows) {
  auto& kept = static_cast<KeptRows*>(context)->rows;
  kept.erase(kept.begin(), kept.begin() + std::min<ptrdiff_t>(rows, ptrdiff_t(kept.size())));
}
void Clear(void* context) { static_cast<KeptRows*>(context)->rows.clear(); }
void Append(void* context, const TextUnit* text) { static_cast<KeptRows*>(context)->rows.emplace_back(text); }
int TopIndex(void*) { return 0; }
void SetTopIndex(void*, int) {}
void ScrollToEnd(void*, bool) {}
void SetRedraw(void*, bool) {}
void Insert(void* context, int index, const TextUnit* text) {
  auto& kept = static_cast<KeptRows*>(context)->rows;
  kept.emplace(kept.begin() + std::clamp<ptrdiff_t>(index, 0, ptrdiff_t(kept.size())), text);
}
void RemoveBottom(void* context, int rows) {
  auto& kept = static_cast<KeptRows*>(context)->rows;
  kept.resize(kept.size() - std::min<size_t>(size_t(std::max(rows, 0)), kept.size()));
}
void RemoveAt(void* context, int index) {
  auto& kept = static_cast<KeptRows*>(context)->rows;
  if (index >= 0 && size_t(index) < kept.size()) kept.erase(kept.begin() + index);
}

size_t ReadBytes(void* context, uint64_t at, uint8_t* bytes, size_t count) {
  const Bytes& file = *static_cast<const Bytes*>(context);
  if (at >= file.size) return 0;
  size_t got = std::min<uint64_t>(count, file.size - at);
  memcpy(bytes, file.data + at, got);
  return got;
}

}  // namespace

ByteReader Bytes::Reader() const { return ByteReader{const_cast<Bytes*>(this), ReadBytes}; }

const CharsetConversions kStandInConversions{StandInToUnits, StandInLeadBytes};

std::u16string Input::Units(size_t most) {
  std::u16string units;
  while (size >= 2 && units.size() < most) {
    units.push_back(TextUnit(data[0] | data[1] << 8));
    data += 2, size -= 2;
  }
  return units;
}

RowView KeptRows::View() {
  return RowView{this,        Count,       RemoveTop, Clear,  Append, TopIndex,
                 SetTopIndex, ScrollToEnd, SetRedraw, Insert, RemoveBottom, RemoveAt};
}
