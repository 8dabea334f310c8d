#include "core/charset.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

struct CharsetInfo {
  uint32_t code;
  const TextUnit* streamName;
  int command;
  bool setsFallback;
};

constexpr CharsetInfo kCharsets[] = {
    {kCharsetAnsi, u"ACP", 1303, true},         {kCharsetOem, u"OEM", 1304, true},
    {kCharsetCurrent, u"Current", 1305, true},  {kCharsetUtf16Le, u"UCS-2", 1306, false},
    {kCharsetUtf16Be, u"UCS-2BE", 1307, false}, {kCharsetUtf32Le, u"UCS-4", 1308, false},
    {kCharsetUtf32Be, u"UCS-4BE", 1310, false}, {kCharsetUtf7, u"UTF-7", 1309, true},
    {kCharsetUtf8, u"UTF-8", 1302, true},
};

const CharsetInfo* FindCharset(uint32_t code) {
  for (const CharsetInfo& info : kCharsets)
    if (info.code == code) return &info;
  return nullptr;
}

StoredCharsetReader storedCharsetReader = nullptr;

// The length of the sequence a UTF-8 lead byte starts (0: no lead byte) and
// the range of its second byte, which rules out overlong forms, surrogates and
// code points past U+10FFFF.
struct Utf8Lead {
  size_t length;
  uint8_t low, high;
};

Utf8Lead LeadOf(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead >= 0xE0 && lead <= 0xEF) return {3, uint8_t(lead == 0xE0 ? 0xA0 : 0x80), uint8_t(lead == 0xED ? 0x9F : 0xBF)};
  if (lead >= 0xF0 && lead <= 0xF4) return {4, uint8_t(lead == 0xF0 ? 0x90 : 0x80), uint8_t(lead == 0xF4 ? 0x8F : 0xBF)};
  return {0, 0, 0};
}

// Whole sequences become units; each maximal invalid subpart (the longest
// start of a valid sequence, or else one byte) becomes one U+FFFD, as the
// Unicode standard recommends. A valid start cut by the end is left over.
size_t DecodeUtf8(const uint8_t* bytes, size_t count, TextUnit* units, size_t* leftover) {
  size_t produced = 0;
  for (size_t at = 0; at < count;) {
    uint8_t lead = bytes[at];
    if (lead < 0x80) {
      units[produced++] = lead;
      ++at;
      continue;
    }
    Utf8Lead form = LeadOf(lead);
    uint32_t value = form.length == 2 ? lead & 0x1F : form.length == 3 ? lead & 0x0F : lead & 0x07;
    size_t k = 1;
    for (; k < form.length && at + k < count; ++k) {
      uint8_t next = bytes[at + k];
      if (next < (k == 1 ? form.low : 0x80) || next > (k == 1 ? form.high : 0xBF)) break;
      value = value << 6 | (next & 0x3F);
    }
    if (form.length && k < form.length && at + k == count) {
      *leftover = count - at;
      break;
    }
    if (form.length == 0 || k < form.length) {
      units[produced++] = 0xFFFD;
      at += form.length ? k : 1;
      continue;
    }
    if (value >= 0x10000) {
      units[produced++] = TextUnit(0xD800 | ((value - 0x10000) >> 10));
      units[produced++] = TextUnit(0xDC00 | (value & 0x3FF));
    } else {
      units[produced++] = TextUnit(value);
    }
    at += k;
  }
  return produced;
}

// A double-byte code page's lead byte left alone at the end of the chunk.
// Walks from the chunk start, which is always a character boundary.
size_t DbcsIncompleteTail(const CharsetConversions& system, uint32_t codePage, const uint8_t* bytes, size_t count) {
  bool lead[256] = {};
  if (!system.leadBytes(codePage, lead)) return 0;
  size_t i = 0;
  while (i < count) i += lead[bytes[i]] ? 2 : 1;
  return i > count ? 1 : 0;
}

size_t DecodeUtf32(uint32_t charset, uint8_t* bytes, size_t values, TextUnit* units) {
  size_t produced = 0;
  for (size_t i = 0; i < values; ++i) {
    uint8_t* group = bytes + i * 4;
    if (charset == kCharsetUtf32Be) {
      std::swap(group[0], group[3]);
      std::swap(group[1], group[2]);
    }
    uint32_t v = group[0] | (group[1] << 8) | (group[2] << 16) | (uint32_t(group[3]) << 24);
    if (v >= 0x10000) {
      units[produced++] = TextUnit(0xD800 | ((v - 0x10000) >> 10));
      units[produced++] = TextUnit(0xDC00 | (v & 0x3FF));
    } else {
      units[produced++] = TextUnit(v);
    }
  }
  return produced;
}

}  // namespace

BomResult DetectBom(const uint8_t* b, size_t count) {
  if (count != kBomProbeBytes) return {0, 0};
  if (b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) return {kCharsetUtf32Be, 4};
  if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00) return {kCharsetUtf32Le, 4};
  if (b[0] == 0xFF && b[1] == 0xFE) return {kCharsetUtf16Le, 2};
  if (b[0] == 0xFE && b[1] == 0xFF) return {kCharsetUtf16Be, 2};
  if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {kCharsetUtf8, 3};
  if (b[0] == 0x2B && b[1] == 0x2F && b[2] == 0x76) {
    if (b[3] == 0x38 && b[4] == 0x2D) return {kCharsetUtf7, 5};
    if (b[3] == 0x2B || b[3] == 0x2F || b[3] == 0x38 || b[3] == 0x39) return {kCharsetUtf7, 0};
  }
  return {0, 0};
}

const TextUnit* CharsetStreamName(uint32_t charset) {
  const CharsetInfo* info = FindCharset(charset);
  return info ? info->streamName : nullptr;
}

bool CharsetFromStreamName(const TextUnit* name, uint32_t* charset) {
  for (const CharsetInfo& info : kCharsets) {
    if (SameText(name, info.streamName)) {
      *charset = info.code;
      return true;
    }
  }
  return false;
}

int CharsetMenuCommand(uint32_t charset) {
  const CharsetInfo* info = FindCharset(charset);
  return info ? info->command : 0;
}

bool CharsetFromCommand(int command, uint32_t* charset, bool* setsFallback) {
  for (const CharsetInfo& info : kCharsets) {
    if (info.command == command) {
      *charset = info.code;
      *setsFallback = info.setsFallback;
      return true;
    }
  }
  return false;
}

uint32_t CharsetUnitSize(uint32_t charset) {
  if (charset == kCharsetUtf16Le || charset == kCharsetUtf16Be) return 2;
  if (charset == kCharsetUtf32Le || charset == kCharsetUtf32Be) return 4;
  return 1;
}

uint32_t CharsetNewlineUnit(uint32_t charset) {
  switch (charset) {
    case kCharsetUtf16Be: return 0x0A00;      // bytes 00 0A
    case kCharsetUtf32Be: return 0x0A000000;  // bytes 00 00 00 0A
    default: return 0x0A;                     // 0A, 0A 00, 0A 00 00 00
  }
}

void SetStoredCharsetReader(StoredCharsetReader reader) { storedCharsetReader = reader; }

uint32_t ResolveLoadCharset(CharsetState& state, BomResult bom) {
  state.detected = bom.charset;
  state.bomLength = bom.charset ? bom.length : 0;
  state.sniffUtf8 = false;
  bool automatic = state.autodetect && !state.explicitChoice;
  if (automatic) {
    if (bom.charset) {
      state.active = bom.charset;
      return state.bomLength;
    }
    state.active = state.fallback;
  } else {
    state.explicitChoice = false;
  }
  TextUnit name[64] = u"";
  uint32_t stored;
  if (storedCharsetReader && storedCharsetReader(name, 64)) {
    name[63] = 0;
    if (CharsetFromStreamName(name, &stored)) {
      state.active = stored;
      return 0;
    }
  }
  // Only a byte-wide code page can turn out to be UTF-8 without a mark.
  state.sniffUtf8 = automatic && CharsetUnitSize(state.active) == 1 && state.active != kCharsetUtf8 &&
                    state.active != kCharsetUtf7;
  return 0;
}

bool ApplyNoThreadCodePageRule(CharsetState& state, uint32_t windowsMajorVersion) {
  if (windowsMajorVersion > 4) return false;
  if (state.active == kCharsetCurrent) state.active = kCharsetAnsi;
  if (state.fallback == kCharsetCurrent) state.fallback = kCharsetAnsi;
  return true;
}

Utf8Verdict JudgeUtf8(const uint8_t* bytes, size_t count, size_t* cut) {
  bool multiByte = false;
  *cut = 0;
  for (size_t at = 0; at < count;) {
    uint8_t lead = bytes[at];
    if (lead < 0x80) {
      ++at;
      continue;
    }
    Utf8Lead form = LeadOf(lead);
    if (form.length == 0) return Utf8Verdict::kInvalid;
    for (size_t k = 1; k < form.length; ++k) {
      if (at + k >= count) {  // cut by the end
        *cut = count - at;
        return multiByte ? Utf8Verdict::kValid : Utf8Verdict::kUndecided;
      }
      uint8_t next = bytes[at + k];
      if (next < (k == 1 ? form.low : 0x80) || next > (k == 1 ? form.high : 0xBF)) return Utf8Verdict::kInvalid;
    }
    multiByte = true;
    at += form.length;
  }
  return multiByte ? Utf8Verdict::kValid : Utf8Verdict::kUndecided;
}

uint32_t SniffUtf8(CharsetState& state, const uint8_t* bytes, size_t count, size_t* held) {
  Utf8Verdict verdict = JudgeUtf8(bytes, count, held);
  if (verdict == Utf8Verdict::kUndecided) return state.active;
  *held = 0;
  state.sniffUtf8 = false;
  if (verdict == Utf8Verdict::kValid) state.active = kCharsetUtf8;
  return state.active;
}

size_t DecodeChunk(uint32_t charset, uint8_t* bytes, size_t count, TextUnit* units, size_t* leftover,
                   const CharsetConversions& system) {
  *leftover = 0;
  switch (charset) {
    case kCharsetUtf16Le:
    case kCharsetUtf16Be: {
      size_t n = count / 2;
      *leftover = count % 2;
      if (static_cast<void*>(bytes) != static_cast<void*>(units)) memmove(units, bytes, n * 2);
      if (charset == kCharsetUtf16Be)
        for (size_t i = 0; i < n; ++i) units[i] = TextUnit((units[i] >> 8) | (units[i] << 8));
      return n;
    }
    case kCharsetUtf32Le:
    case kCharsetUtf32Be:
      *leftover = count % 4;
      return DecodeUtf32(charset, bytes, count / 4, units);
    case kCharsetUtf8:
      return DecodeUtf8(bytes, count, units, leftover);
    case kCharsetUtf7:
      break;
    default:
      *leftover = DbcsIncompleteTail(system, charset, bytes, count);
      break;
  }
  size_t whole = count - *leftover;
  return whole ? system.toUnits(charset, bytes, whole, units, kChunkUnits) : 0;
}

size_t DecodeKeepingCarry(uint32_t charset, uint8_t* bytes, size_t total, size_t held, TextUnit* units,
                          uint8_t* carryTo, size_t* carried, const CharsetConversions& system) {
  // Save what may be carried before decoding rewrites the buffer in place.
  uint8_t last[kMaxCarryBytes];
  size_t lastCount = std::min(total, kMaxCarryBytes);
  memcpy(last, bytes + total - lastCount, lastCount);
  size_t leftover = 0;
  size_t decoded = DecodeChunk(charset, bytes, total - held, units, &leftover, system);
  *carried = std::min(leftover + held, lastCount);
  memcpy(carryTo, last + lastCount - *carried, *carried);
  return decoded;
}
