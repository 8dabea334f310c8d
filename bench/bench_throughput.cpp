// Decoding plus row building of an in-memory log, in the follower's 64 KiB
// chunks, against reading the same bytes from a file; then the highlight
// rules over its rows, a regular expression against a plain pattern, and
// how soon a pattern that backtracks without end stops at the bound.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bench/bench.h"
#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/row_builder.h"
#include "engine/wide_text.h"
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
void NullInsert(void*, int, const TextUnit*) {}
void NullRemoveBottom(void*, int) {}
void NullRemoveAt(void*, int) {}
const RowView kNullView{nullptr,         NullCount,       NullRemoveTop, NullClear,  NullAppend,      NullTopIndex,
                        NullSetTopIndex, NullScrollToEnd, NullSetRedraw, NullInsert, NullRemoveBottom, NullRemoveAt};

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

// Every row of the text once against the one rule (stored form); MB/s of
// UTF-16 rows, the best of the passes.
struct Row {
  const TextUnit* text;
  size_t length;
};

double RuleMbPerSecond(const wchar_t* value, const std::vector<Row>& rows, size_t* matched) {
  static HighlightRule rules[kMaxRules];
  static PreparedRules prepared;
  rules[0] = HighlightRule{};
  if (!ParseRule(AsText(value), &rules[0])) return 0;
  PrepareRules(&prepared, rules);
  double best = 1e30;
  for (int pass = 0; pass < kPasses; ++pass) {
    int64_t start = Ticks();
    *matched = 0;
    for (const Row& row : rows) *matched += MatchingRule(&prepared, row.text, row.length, true) == 0;
    best = std::min(best, MsSince(start));
  }
  PrepareRules(&prepared, nullptr);
  size_t units = 0;
  for (const Row& row : rows) units += row.length;
  return MbPerSecond(units * sizeof(TextUnit), best);
}

void MeasureRules(const std::vector<uint8_t>& utf16) {
  // Each line a row, its CR LF left out.
  const TextUnit* units = reinterpret_cast<const TextUnit*>(utf16.data());
  std::vector<Row> rows;
  for (size_t at = 0, count = utf16.size() / sizeof(TextUnit), end; at < count; at = end + 2) {
    end = std::find(units + at, units + count, u'\r') - units;
    rows.push_back(Row{units + at, end - at});
  }
  const struct { const char* metric; const wchar_t* value; const wchar_t* baseline; } cases[] = {
      {"rule took \\d{3,} ms, any case", L"r|-|-|took \\d{3,} ms", L"|-|-|took 420 ms"},
      {"rule took \\d{3,} ms, whole word", L"wr|-|-|took \\d{3,} ms", L"w|-|-|took 420 ms"},
      {"rule took \\d+us, any case", L"r|-|-|took \\d+us", L"|-|-|took 42us"},
  };
  for (const auto& c : cases) {
    size_t matched = 0, plainMatched = 0;
    double regex = RuleMbPerSecond(c.value, rows, &matched);
    double plain = RuleMbPerSecond(c.baseline, rows, &plainMatched);
    Note("%s: %zu of %zu rows match (plain pattern %zu)", c.metric, matched, rows.size(), plainMatched);
    char metric[64];
    snprintf(metric, sizeof(metric), "%s (vs plain)", c.metric);
    AddResult(metric, Format("%.0f MB/s", regex), Format("%.0f MB/s", plain), "-");
  }
  // (a+)+$ against a row of 4,000 a's and a b, until it stops at the bound.
  std::vector<TextUnit> costly(4000, u'a');
  costly.push_back(u'b');
  static HighlightRule rules[kMaxRules];
  static PreparedRules prepared;
  ParseRule(u"r|-|-|(a+)+$", &rules[0]);
  PrepareRules(&prepared, rules);
  constexpr int kRows = 200;
  int64_t start = Ticks();
  int matched = 0;
  for (int i = 0; i < kRows; ++i) matched += MatchingRule(&prepared, costly.data(), costly.size(), true) == 0;
  double perRow = MsSince(start) / kRows;
  Note("(a+)+$ on 4,000 a's and a b: %d of %d rows matched, %u stopped at the bound", matched, kRows,
       unsigned(AllBoundHits(prepared)));
  AddResult("(a+)+$, 4,000 a's and b: to the bound", Format("%.3f ms a row", perRow), Format("-"), "-");
  PrepareRules(&prepared, nullptr);
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
  MeasureRules(utf16);

  SetRowView(nullptr);
}
