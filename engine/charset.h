// Charset codes, byte-order-mark detection, the charset chosen for a load, and
// decoding of one chunk of file bytes into UTF-16 units.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

enum : uint32_t {
  kCharsetAnsi = 0,
  kCharsetOem = 1,
  kCharsetCurrent = 3,
  kCharsetUtf16Le = 16,
  kCharsetUtf16Be = 17,
  kCharsetUtf32Le = 18,
  kCharsetUtf32Be = 19,
  kCharsetUtf7 = 65000,
  kCharsetUtf8 = 65001,
};

constexpr size_t kChunkBytes = 65536;
constexpr size_t kChunkUnits = 65536;
constexpr size_t kBomProbeBytes = 6;

struct BomResult {
  uint32_t charset;  // 0: nothing detected
  uint32_t length;   // bytes the mark occupies, skipped at load
};

struct CharsetState {
  uint32_t active = kCharsetCurrent;
  uint32_t fallback = kCharsetCurrent;
  bool autodetect = true;
  bool explicitChoice = false;
  uint32_t detected = 0;
  uint32_t bomLength = 0;
  // Without a mark or a chosen charset, the first bytes beyond ASCII decide
  // whether the load is UTF-8 after all.
  bool sniffUtf8 = false;
};

extern CharsetState charsetState;

// Bytes of the file start; detection needs exactly six of them.
BomResult DetectBom(const uint8_t* bytes, size_t count);

const wchar_t* CharsetStreamName(uint32_t charset);
bool CharsetFromStreamName(const wchar_t* name, uint32_t* charset);
int CharsetMenuCommand(uint32_t charset);  // 0 for a code outside the table
bool CharsetFromCommand(int command, uint32_t* charset, bool* setsFallback);
uint32_t CharsetUnitSize(uint32_t charset); // bytes of one unit in the file
uint32_t CharsetNewlineUnit(uint32_t charset); // as a little-endian value of unit size

// Reads the charset stored for the followed file ("Charset" in "Format" of its
// properties). Returns false when nothing is stored. Installed by the properties
// stream; none means no stored choice.
using StoredCharsetReader = bool (*)(wchar_t* name, size_t capacity);
void SetStoredCharsetReader(StoredCharsetReader reader);

// Chooses the charset of a load from the probe result; returns the byte offset
// at which reading starts. Updates state.active and clears the explicit choice.
uint32_t ResolveLoadCharset(CharsetState& state, BomResult bom);

// What bytes say about UTF-8: nothing (ASCII only, or a multi-byte sequence
// cut by their end), valid (a whole multi-byte sequence and no invalid one),
// or invalid. *cut tells how many bytes at the end start a sequence they do
// not finish.
enum class Utf8Verdict { kUndecided, kValid, kInvalid };
Utf8Verdict JudgeUtf8(const uint8_t* bytes, size_t count, size_t* cut);

// Decodes bytes[0..count) in the given charset into units. Trailing bytes that
// do not yet form a whole character (a cut UTF-8 sequence, an odd UTF-16 byte,
// a DBCS lead byte) are not decoded: *leftover tells how many, for the caller
// to put in front of the next chunk. For UTF-16 the bytes may alias units.
size_t DecodeChunk(uint32_t charset, uint8_t* bytes, size_t count, wchar_t* units,
                   size_t* leftover);

// Platform rule: without a per-thread code page (Windows 4 and older) code 3
// stands for 0. Returns true when command 1305 must be disabled.
bool ApplyNoThreadCodePageRule(CharsetState& state, DWORD windowsMajorVersion);

// Puts the radio mark of the Charset menu on the active charset's command.
void UpdateCharsetMenu(HMENU menu);
