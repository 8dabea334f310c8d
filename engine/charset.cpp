#include "engine/charset.h"

#include <cstring>
#include <utility>

CharsetState charsetState;

namespace {

struct CharsetInfo {
  uint32_t code;
  const wchar_t* streamName;
  int command;
  bool setsFallback;
};

constexpr CharsetInfo kCharsets[] = {
    {kCharsetAnsi, L"ACP", 1303, true},         {kCharsetOem, L"OEM", 1304, true},
    {kCharsetCurrent, L"Current", 1305, true},  {kCharsetUtf16Le, L"UCS-2", 1306, false},
    {kCharsetUtf16Be, L"UCS-2BE", 1307, false}, {kCharsetUtf32Le, L"UCS-4", 1308, false},
    {kCharsetUtf32Be, L"UCS-4BE", 1310, false}, {kCharsetUtf7, L"UTF-7", 1309, true},
    {kCharsetUtf8, L"UTF-8", 1302, true},
};

const CharsetInfo* FindCharset(uint32_t code) {
  for (const CharsetInfo& info : kCharsets)
    if (info.code == code) return &info;
  return nullptr;
}

StoredCharsetReader storedCharsetReader = nullptr;

// Bytes at the end of a UTF-8 chunk that start a sequence the chunk does not finish.
size_t Utf8IncompleteTail(const uint8_t* bytes, size_t count) {
  for (size_t back = 1; back <= 3 && back <= count; ++back) {
    uint8_t c = bytes[count - back];
    if ((c & 0xC0) == 0x80) continue;
    size_t need = 1;
    if (c >= 0xC2 && c <= 0xDF) need = 2;
    else if (c >= 0xE0 && c <= 0xEF) need = 3;
    else if (c >= 0xF0 && c <= 0xF4) need = 4;
    return need > back ? back : 0;
  }
  return 0;
}

// A double-byte code page's lead byte left alone at the end of the chunk.
// Walks from the chunk start, which is always a character boundary.
size_t DbcsIncompleteTail(UINT codePage, const uint8_t* bytes, size_t count) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info) || info.MaxCharSize != 2) return 0;
  bool lead[256] = {};
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
    for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead[b] = true;
  size_t i = 0;
  while (i < count) i += lead[bytes[i]] ? 2 : 1;
  return i > count ? 1 : 0;
}

// Wine's converter lets a sequence cut short at the very end of its input
// swallow the bytes after it, a line feed included. A line feed is never part
// of a sequence, so the last bytes are converted in pieces that each end just
// before a line feed: a cut sequence then ends its piece and becomes U+FFFD.
size_t ConvertUtf8(const uint8_t* bytes, size_t count, wchar_t* units) {
  size_t produced = 0;
  size_t start = 0;
  auto convert = [&](size_t end) {
    if (end <= start) return;
    int n = MultiByteToWideChar(kCharsetUtf8, 0, reinterpret_cast<const char*>(bytes + start),
                                int(end - start), units + produced, int(kChunkUnits - produced));
    if (n > 0) produced += size_t(n);
    start = end;
  };
  for (size_t i = count > 3 ? count - 3 : 0; i < count; ++i)
    if (bytes[i] == '\n') convert(i);
  convert(count);
  return produced;
}

size_t DecodeUtf32(uint32_t charset, uint8_t* bytes, size_t values, wchar_t* units) {
  size_t produced = 0;
  for (size_t i = 0; i < values; ++i) {
    uint8_t* group = bytes + i * 4;
    if (charset == kCharsetUtf32Be) {
      std::swap(group[0], group[3]);
      std::swap(group[1], group[2]);
    }
    uint32_t v = group[0] | (group[1] << 8) | (group[2] << 16) | (uint32_t(group[3]) << 24);
    if (v >= 0x10000) {
      units[produced++] = wchar_t(0xD800 | ((v - 0x10000) >> 10));
      units[produced++] = wchar_t(0xDC00 | (v & 0x3FF));
    } else {
      units[produced++] = wchar_t(v);
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

const wchar_t* CharsetStreamName(uint32_t charset) {
  const CharsetInfo* info = FindCharset(charset);
  return info ? info->streamName : nullptr;
}

bool CharsetFromStreamName(const wchar_t* name, uint32_t* charset) {
  for (const CharsetInfo& info : kCharsets) {
    if (wcscmp(name, info.streamName) == 0) {
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
  wchar_t name[64] = L"";
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

Utf8Verdict JudgeUtf8(const uint8_t* bytes, size_t count, size_t* cut) {
  bool multiByte = false;
  *cut = 0;
  for (size_t at = 0; at < count;) {
    uint8_t lead = bytes[at];
    if (lead < 0x80) {
      ++at;
      continue;
    }
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0) return Utf8Verdict::kInvalid;
    // The second byte's range rules out overlong forms, surrogates and code
    // points past U+10FFFF.
    uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (size_t k = 1; k < length; ++k) {
      if (at + k >= count) {  // cut by the end
        *cut = count - at;
        return multiByte ? Utf8Verdict::kValid : Utf8Verdict::kUndecided;
      }
      uint8_t next = bytes[at + k];
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return Utf8Verdict::kInvalid;
    }
    multiByte = true;
    at += length;
  }
  return multiByte ? Utf8Verdict::kValid : Utf8Verdict::kUndecided;
}

size_t DecodeChunk(uint32_t charset, uint8_t* bytes, size_t count, wchar_t* units,
                   size_t* leftover) {
  *leftover = 0;
  switch (charset) {
    case kCharsetUtf16Le:
    case kCharsetUtf16Be: {
      size_t n = count / 2;
      *leftover = count % 2;
      if (reinterpret_cast<void*>(bytes) != reinterpret_cast<void*>(units))
        memmove(units, bytes, n * 2);
      if (charset == kCharsetUtf16Be)
        for (size_t i = 0; i < n; ++i) units[i] = wchar_t((units[i] >> 8) | (units[i] << 8));
      return n;
    }
    case kCharsetUtf32Le:
    case kCharsetUtf32Be:
      *leftover = count % 4;
      return DecodeUtf32(charset, bytes, count / 4, units);
    case kCharsetUtf8:
      *leftover = Utf8IncompleteTail(bytes, count);
      break;
    case kCharsetUtf7:
      break;
    default:
      *leftover = DbcsIncompleteTail(charset, bytes, count);
      break;
  }
  int whole = int(count - *leftover);
  if (whole <= 0) return 0;
  if (charset == kCharsetUtf8) return ConvertUtf8(bytes, size_t(whole), units);
  int n = MultiByteToWideChar(charset, 0, reinterpret_cast<const char*>(bytes), whole, units,
                              int(kChunkUnits));
  return n > 0 ? size_t(n) : 0;
}

bool ApplyNoThreadCodePageRule(CharsetState& state, DWORD windowsMajorVersion) {
  if (windowsMajorVersion > 4) return false;
  if (state.active == kCharsetCurrent) state.active = kCharsetAnsi;
  if (state.fallback == kCharsetCurrent) state.fallback = kCharsetAnsi;
  return true;
}

void UpdateCharsetMenu(HMENU menu) {
  if (!menu) return;
  int command = CharsetMenuCommand(charsetState.active);
  if (command) CheckMenuRadioItem(menu, 1301, 1310, command, MF_BYCOMMAND);
}
