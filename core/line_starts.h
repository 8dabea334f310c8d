// Where a load starts reading: on a whole line, found by scanning the file's
// bytes for the charset's line break one whole unit at a time. The bytes come
// through a reader the caller hands in (the followed file in the program, a
// buffer in the fuzzers), a buffer's worth at a time.
#pragma once
#include <cstddef>
#include <cstdint>

struct ByteReader {
  void* context;
  // Reads up to count bytes at offset at; returns how many, 0 at the end or on failure.
  size_t (*read)(void* context, uint64_t at, uint8_t* bytes, size_t count);
};

// The value of one unit (1, 2 or 4 bytes) as the charsets' line break units
// are written: little-endian.
uint32_t UnitAt(const uint8_t* bytes, uint32_t unit);

// Line breaks in bytes[0..count), compared a whole unit (1, 2 or 4 bytes) at a
// time; a partial unit at the end is not looked at.
size_t CountNewlines(const uint8_t* bytes, size_t count, uint32_t unit, uint32_t newline);

// Byte offset of the first whole line at or after start, scanning in whole
// units from start; the end of the data (on that grid) when there is none.
// buffer holds capacity bytes.
uint64_t FindFirstWholeLine(const ByteReader& file, uint64_t start, uint32_t charset, uint8_t* buffer,
                            size_t capacity);

// Where the last `lines` whole lines before end begin (just past the line
// break before them), on the file's unit grid; floor when fewer lie between
// floor and end, or a read comes back short.
uint64_t StartOfLastLines(const ByteReader& file, uint64_t floor, uint64_t end, uint32_t charset, size_t lines,
                          uint8_t* buffer, size_t capacity);

// Where the line begins that follows `lines` line breaks after from (from
// itself for none), on the unit grid; the end of the data when fewer follow.
uint64_t SkipLines(const ByteReader& file, uint64_t from, uint32_t charset, uint64_t lines, uint8_t* buffer,
                   size_t capacity);
// Line breaks in [from, to), counted whole unit by whole unit from from.
uint64_t CountLineBreaks(const ByteReader& file, uint64_t from, uint64_t to, uint32_t charset, uint8_t* buffer,
                         size_t capacity);
