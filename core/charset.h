// Charset codes, byte-order-mark detection, the charset chosen for a load, and
// decoding of one chunk of file bytes into UTF-16 units with the carry of a
// character the chunk does not finish.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"

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
constexpr size_t kMaxCarryBytes = 4;

// The system's own code pages (ANSI, OEM, the user's current one, UTF-7):
// the program hands the system's conversions, the native build a stand-in.
struct CharsetConversions {
  // Converts whole characters; returns the units written, at most capacity.
  size_t (*toUnits)(uint32_t codePage, const uint8_t* bytes, size_t count, TextUnit* units, size_t capacity);
  // Marks the lead bytes of a double-byte code page; false for any other.
  bool (*leadBytes)(uint32_t codePage, bool lead[256]);
};

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

// Bytes of the file start; detection needs exactly six of them.
BomResult DetectBom(const uint8_t* bytes, size_t count);

const TextUnit* CharsetStreamName(uint32_t charset);
bool CharsetFromStreamName(const TextUnit* name, uint32_t* charset);
int CharsetMenuCommand(uint32_t charset);  // 0 for a code outside the table
bool CharsetFromCommand(int command, uint32_t* charset, bool* setsFallback);
uint32_t CharsetUnitSize(uint32_t charset); // bytes of one unit in the file
uint32_t CharsetNewlineUnit(uint32_t charset); // as a little-endian value of unit size

// Reads the charset stored for the followed file ("Charset" in "Format" of its
// properties). Returns false when nothing is stored. Installed by the properties
// stream; none means no stored choice.
using StoredCharsetReader = bool (*)(TextUnit* name, size_t capacity);
void SetStoredCharsetReader(StoredCharsetReader reader);

// Chooses the charset of a load from the probe result; returns the byte offset
// at which reading starts. Updates state.active and clears the explicit choice.
uint32_t ResolveLoadCharset(CharsetState& state, BomResult bom);

// Platform rule: without a per-thread code page (Windows 4 and older) code 3
// stands for 0. Returns true when command 1305 must be disabled.
bool ApplyNoThreadCodePageRule(CharsetState& state, uint32_t windowsMajorVersion);

// What bytes say about UTF-8: nothing (ASCII only, or a multi-byte sequence
// cut by their end), valid (a whole multi-byte sequence and no invalid one),
// or invalid. *cut tells how many bytes at the end start a sequence they do
// not finish.
enum class Utf8Verdict { kUndecided, kValid, kInvalid };
Utf8Verdict JudgeUtf8(const uint8_t* bytes, size_t count, size_t* cut);

// Until a byte beyond ASCII comes, a load without a mark or a chosen charset
// may still turn out to be UTF-8: ASCII reads the same either way. Returns the
// charset to decode these bytes in (and makes it active once decided); a
// sequence cut by their end waits, *held bytes long, for the next chunk.
uint32_t SniffUtf8(CharsetState& state, const uint8_t* bytes, size_t count, size_t* held);

// Decodes bytes[0..count) in the given charset into units (kChunkUnits).
// Trailing bytes that do not yet form a whole character (a cut UTF-8 sequence,
// an odd UTF-16 byte, a DBCS lead byte) are not decoded: *leftover tells how
// many, for the caller to put in front of the next chunk. Invalid UTF-8 gives
// one U+FFFD for each maximal invalid subpart. For UTF-16 the bytes may alias
// units.
size_t DecodeChunk(uint32_t charset, uint8_t* bytes, size_t count, TextUnit* units, size_t* leftover,
                   const CharsetConversions& system);

// Decodes bytes[0..total) but their last `held`, and copies what is no whole
// character yet to carryTo (kMaxCarryBytes; it may be bytes itself) for the
// next chunk, *carried bytes. Returns the units decoded.
size_t DecodeKeepingCarry(uint32_t charset, uint8_t* bytes, size_t total, size_t held, TextUnit* units,
                          uint8_t* carryTo, size_t* carried, const CharsetConversions& system);
