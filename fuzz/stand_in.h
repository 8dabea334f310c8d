// What the fuzz targets share: the stand-in for the system's code pages, and
// a view that keeps its rows.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/charset.h"
#include "core/line_starts.h"
#include "core/rows.h"

// ANSI and the current code page as a single-byte table; OEM as a double-byte
// code page (lead bytes 0x81 to 0xFE), so that the carry of a lead byte is
// fuzzed too; UTF-7 as the single-byte table.
extern const CharsetConversions kStandInConversions;

// Takes bytes from the front of the fuzzer's input.
struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t Byte() { return size ? (--size, *data++) : 0; }
  // Up to most bytes as UTF-16 units, two bytes a unit.
  std::u16string Units(size_t most);
};

// The fuzzer's bytes as a file the core's scans read.
struct Bytes {
  const uint8_t* data;
  size_t size;
  ByteReader Reader() const;
};

// The rows a RowView was handed, in order; the removal and clearing it was
// asked for applied.
struct KeptRows {
  std::vector<std::u16string> rows;
  RowView View();
};
