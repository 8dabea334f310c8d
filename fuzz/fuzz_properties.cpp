// Values of a file's properties stream: the charset name a load reads, with
// the file's first bytes, the window placement and the filter's section; and
// the size limits from the registry.
#include <cstring>

#include "core/placement.h"
#include "core/stored_values.h"
#include "fuzz/stand_in.h"

namespace {

std::u16string storedName;

// Fills the reader's buffer as the profile reader does: up to capacity units.
bool ReadName(TextUnit* name, size_t capacity) {
  size_t n = std::min(storedName.size(), capacity);
  std::copy_n(storedName.begin(), n, name);
  if (n < capacity) name[n] = 0;
  return n > 0;
}

int32_t Number(Input& input) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | input.Byte();
  return int32_t(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  uint8_t flags = input.Byte();
  StoredPlacement placement{Number(input), Number(input), Number(input), Number(input), false, false};
  Frame work{Number(input), Number(input), Number(input), Number(input)};
  if (Frame frame; StoredFrame(placement, &frame) && work.left <= work.right && work.top <= work.bottom) {
    Frame kept = KeepOnMonitor(frame, flags & 1, work);
    // Off every monitor, the window lands inside the work area.
    if (!(flags & 1) && (kept.left < work.left || kept.right > work.right || kept.top < work.top ||
                         kept.bottom > work.bottom || kept.right < kept.left || kept.bottom < kept.top))
      __builtin_trap();
  }
  uint8_t probe[kBomProbeBytes] = {};
  for (uint8_t& byte : probe) byte = input.Byte();
  storedName = input.Units(80);
  SetStoredCharsetReader(ReadName);
  CharsetState state;
  state.autodetect = flags & 2, state.explicitChoice = flags & 4;
  uint32_t start = ResolveLoadCharset(state, DetectBom(probe, flags & 8 ? kBomProbeBytes : flags % 6));
  if (start > kBomProbeBytes || !CharsetStreamName(state.active)) __builtin_trap();
  SetStoredCharsetReader(nullptr);

  StoredLimits limits{uint32_t(Number(input)), uint32_t(Number(input)), uint32_t(Number(input)), Number(input)};
  ClampStoredLimits(limits);
  if (limits.rowLength - 1 >= kMaxRowLength || limits.linesLimit - 1 >= kMaxLinesLimit ||
      limits.kbLimit - 1 >= kMaxKbLimit || limits.fontHeight <= 0)
    __builtin_trap();

  std::u16string mode = input.Units(16), pattern = input.Units(2 * kFilterPatternUnits + 8);
  LineFilter filter;
  ReadFilterSection(pattern.c_str(), mode.c_str(), flags >> 4, &filter);
  std::u16string shownMode(mode.c_str());
  for (TextUnit& unit : shownMode) unit = FoldUnit(unit);
  size_t kept = TextLengthWithin(filter.pattern, kFilterPatternUnits);
  if (kept == kFilterPatternUnits || filter.hide != (shownMode == u"hide") || filter.matchCase != (flags >> 4 == 1) ||
      std::u16string(pattern.c_str()).compare(0, kept, filter.pattern, kept) != 0)
    __builtin_trap();

  // A filter of section "Filters" written back reads the same.
  std::u16string value = input.Units(2 * kFilterValueUnits);
  if (LineFilter parsed{}; ParseStoredFilter(value.c_str(), &parsed)) {
    TextUnit written[kFilterValueUnits], again[kFilterValueUnits];
    FormatStoredFilter(parsed, written);
    LineFilter reread{};
    if (!ParseStoredFilter(written, &reread)) __builtin_trap();
    FormatStoredFilter(reread, again);
    if (std::u16string(written) != again) __builtin_trap();
  }
  return 0;
}
