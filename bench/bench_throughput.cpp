// Decoding plus row building of an in-memory log, in the follower's 64 KiB
// chunks, against reading the same bytes from a file.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/row_builder.h"
#include "ui/settings.h"

namespace {

constexpr size_t kTextBytes = 32u << 20;
constexpr int kPasses = 3;
// About what one long read gathers between flushes, enough for the batch
// to be compacted as it is in the follower.
constexpr size_t kFlushEveryBytes = 1u << 20;

// A view that takes rows and keeps nothing: only building is measured.
int NullCount(void*) { return 0; }
void NullRemoveTop(void*, int) {}
void NullClear(void*) {}
void NullAppend(void*, const TextUnit*) {}
int NullTopIndex(void*) { return 0; }
void NullSetTopIndex(void*, int) {}
void NullScrollToEnd(void*, bool) {}
void NullSetRedraw(void*, bool) {}
const RowView kNullView{nullptr,      NullCount,       NullRemoveTop,   NullClear,    NullAppend,
                        NullTopIndex, NullSetTopIndex, NullScrollToEnd, NullSetRedraw};

TextUnit unitBuffer[kChunkUnits];
alignas(8) uint8_t readBuffer[kChunkBytes];

size_t RowCapacity() {
  return AppSettings.wrapLines ? std::min<size_t>(AppSettings.rowLength, kMaxRowUnits)
                               : kMaxRowUnits;
}

// One pass over text; withRows false decodes only. Returns ms.
double DecodePass(uint32_t charset, uint8_t* text, size_t size, bool withRows) {
  size_t capacity = RowCapacity();
  TakeEngineOptions();
  ResetPendingRow();
  DiscardBatchedRows();
  int64_t start = Ticks();
  size_t position = 0;
  size_t sinceFlush = 0;
  while (position < size) {
    size_t count = std::min(kChunkBytes, size - position);
    size_t leftover = 0;
    // UTF-16 is moved into the unit buffer here, as the follower reads it there.
    size_t units = DecodeChunk(charset, text + position, count, unitBuffer, &leftover, SystemConversions());
    if (count == leftover) break;
    position += count - leftover;
    if (!withRows) continue;
    FeedUnits(unitBuffer, units, capacity);
    sinceFlush += count;
    if (sinceFlush >= kFlushEveryBytes) {
      FlushRows();
      sinceFlush = 0;
    }
  }
  if (withRows) FlushRows();
  double ms = MsSince(start);
  ResetPendingRow();
  DiscardBatchedRows();
  return ms;
}

double BestDecodeMs(uint32_t charset, std::vector<uint8_t>& text, bool withRows) {
  double best = 1e30;
  for (int pass = 0; pass < kPasses; ++pass)
    best = std::min(best, DecodePass(charset, text.data(), text.size(), withRows));
  return best;
}

// Reads the file in chunks, as the follower does; the file was just written
// and sits in the page cache. Returns ms, negative on failure.
double BestReadMs(const wchar_t* path) {
  double best = 1e30;
  for (int pass = 0; pass < kPasses; ++pass) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    int64_t start = Ticks();
    DWORD got = 0;
    while (ReadFile(file, readBuffer, DWORD(kChunkBytes), &got, nullptr) && got > 0) {
    }
    best = std::min(best, MsSince(start));
    CloseHandle(file);
  }
  return best;
}

double MbPerSecond(size_t bytes, double ms) { return double(bytes) / 1e6 / (ms / 1000.0); }

void MeasureCharset(const char* name, uint32_t charset, std::vector<uint8_t>& text,
                    const wchar_t* fileName) {
  double rowsMs = BestDecodeMs(charset, text, true);
  double decodeMs = BestDecodeMs(charset, text, false);
  wchar_t path[MAX_PATH];
  TempPath(fileName, path);
  double readMs = WriteWholeFile(path, text.data(), text.size()) ? BestReadMs(path) : -1;
  DeleteFileW(path);
  double mb = double(text.size()) / 1e6;
  Note("%s: %.1f MB, decode+rows %.1f ms, decode only %.1f ms, read %.1f ms", name, mb, rowsMs,
       decodeMs, readMs);
  char metric[64];
  snprintf(metric, sizeof(metric), "%s decode+rows (vs read)", name);
  AddResult(metric, Format("%.0f MB/s (%.0f ms)", MbPerSecond(text.size(), rowsMs), rowsMs),
            Format("%.0f MB/s (%.0f ms)", MbPerSecond(text.size(), readMs), readMs), "-");
  snprintf(metric, sizeof(metric), "%s decode only (vs read)", name);
  AddResult(metric, Format("%.0f MB/s", MbPerSecond(text.size(), decodeMs)),
            Format("%.0f MB/s", MbPerSecond(text.size(), readMs)), "-");
}

}  // namespace

void RunThroughputBench() {
  printf("1. decode + row building, %u KiB chunks, wrap %u, lines limit %u\n",
         unsigned(kChunkBytes / 1024), unsigned(RowCapacity()), unsigned(AppSettings.linesLimit));
  fflush(stdout);
  SetRowView(&kNullView);

  std::vector<uint8_t> utf8 = MakeLogText(kTextBytes);
  MeasureCharset("UTF-8", kCharsetUtf8, utf8, L"utf8.log");

  int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(utf8.data()),
                                  int(utf8.size()), nullptr, 0);
  std::vector<uint8_t> utf16(size_t(units) * 2);
  MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(utf8.data()), int(utf8.size()),
                      reinterpret_cast<wchar_t*>(utf16.data()), units);
  utf8 = {};
  MeasureCharset("UTF-16", kCharsetUtf16Le, utf16, L"utf16.log");

  SetRowView(nullptr);
}
