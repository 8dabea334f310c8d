// Bytes in each charset to rows, fed in chunks of random sizes as a growing
// file gives them, and flushed to the view in parts as a poll out of time
// does: the rows and the unfinished row must be those that all the bytes at
// once give, whatever the chunking.
#include <cstring>

#include "fuzz/stand_in.h"

namespace {

constexpr uint32_t kCharsets[] = {kCharsetAnsi,    kCharsetOem,     kCharsetCurrent, kCharsetUtf16Le, kCharsetUtf16Be,
                                  kCharsetUtf32Le, kCharsetUtf32Be, kCharsetUtf7,    kCharsetUtf8};

struct Built {
  std::vector<std::u16string> rows;
  std::u16string pending;
  bool operator==(const Built&) const = default;
};

TextUnit units[kChunkUnits];
alignas(8) uint8_t buffer[kChunkBytes];

uint32_t timeSeed = 0;
bool OutOfTimeAtRandom() { return (timeSeed = timeSeed * 1103515245 + 12345) >> 16 & 1; }

// As the follower reads: the carry first, then the chunk; UTF-16 straight
// into the units. sizes[i] bytes at a time, the last size repeated.
Built Build(CharsetState state, const uint8_t* bytes, size_t count, const std::vector<size_t>& sizes,
            size_t capacity, bool (*outOfTime)() = nullptr) {
  KeptRows kept;
  RowView view = kept.View();
  ResetPendingRow();
  DiscardBatchedRows();
  uint8_t carry[kMaxCarryBytes];
  size_t carryCount = 0;
  for (size_t at = 0, step = 0; at < count; ++step) {
    size_t size = std::min({sizes[std::min(step, sizes.size() - 1)], count - at, kChunkBytes - carryCount});
    bool straight = state.active == kCharsetUtf16Le || state.active == kCharsetUtf16Be;
    uint8_t* chunk = straight ? reinterpret_cast<uint8_t*>(units) : buffer;
    memcpy(chunk, carry, carryCount);
    memcpy(chunk + carryCount, bytes + at, size);
    at += size;
    size_t total = carryCount + size, held = 0;
    uint32_t charset = state.sniffUtf8 ? SniffUtf8(state, chunk, total, &held) : state.active;
    FeedUnits(units, DecodeKeepingCarry(charset, chunk, total, held, units, carry, &carryCount, kStandInConversions),
              capacity);
    FlushRowsTo(view, false, step % 2 == 0, outOfTime);
  }
  while (HasBatchedRows()) FlushRowsTo(view, false, false, outOfTime);
  return Built{kept.rows, std::u16string(PendingRowUnits(), PendingRowLength())};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  CharsetState state;
  state.active = kCharsets[input.Byte() % std::size(kCharsets)];
  uint8_t flags = input.Byte();
  size_t capacity = flags & 1 ? input.Byte() % 100 + 1 : kMaxRowUnits;
  SetRowOptions(RowOptions{flags & 2 ? input.Byte() % 64u + 1 : 2048u, (flags & 4) != 0});
  // Up to three filters, showing and hiding.
  LineFilters filters{};
  for (int i = 0; i < 3 && flags & (8 << i); ++i) {
    LineFilter& filter = filters.items[filters.count++];
    std::u16string pattern = input.Units(input.Byte() % 4);
    std::copy(pattern.begin(), pattern.end(), filter.pattern);
    uint8_t kind = input.Byte();
    filter.hide = kind & 1, filter.matchCase = kind & 2, filter.regex = kind & 4;
  }
  SetLineFilters(filters);
  uint32_t seed = input.Byte() | input.Byte() << 8;
  std::vector<size_t> sizes;
  for (size_t total = 0; total < input.size; total += sizes.back()) {
    seed = seed * 1103515245 + 12345;
    sizes.push_back(seed >> 16 & 1 ? (seed >> 17) % 7 + 1 : (seed >> 17) % 300 + 1);
  }
  if (input.size > kChunkBytes - kMaxCarryBytes) return 0;
  if (flags & 64) {  // sniffing decides on what the first chunk holds: no oracle, but it must hold up
    state.sniffUtf8 = CharsetUnitSize(state.active) == 1;
    Build(state, input.data, input.size, sizes, capacity);
    return 0;
  }
  Built whole = Build(state, input.data, input.size, {kChunkBytes}, capacity);
  timeSeed = seed;
  Built chunked = Build(state, input.data, input.size, sizes, capacity, flags & 128 ? OutOfTimeAtRandom : nullptr);
  if (!(whole == chunked)) __builtin_trap();
  return 0;
}
