// Find through a 1 GiB UTF-8 log in the system's cache, the way the search
// thread goes through it (its reader, buffer and core scan), for a plain text
// and for a regular expression, beside reading the same bytes alone and
// reading and decoding them, in the same run.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench/bench.h"
#include "core/line_search.h"
#include "engine/charset.h"
#include "engine/file_follower.h"

namespace {

constexpr uint64_t kFileBytes = uint64_t(1) << 30;
constexpr size_t kBufferBytes = size_t(4) << 20;
constexpr int kRuns = 3;

HANDLE OpenForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Lines like "... took 12 ms"; the only ones with three digits or more, and
// the one plain text looked for, stand in the last hundredth.
bool WriteFindLog(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string block;
  for (int i = 0; block.size() < (size_t(1) << 20); ++i) {
    char line[160];
    snprintf(line, sizeof line, "2024-05-01 12:%02d:%02d.%03d INFO [worker-%d] request %06d served from cache, took %d ms\n",
             i / 60 % 60, i % 60, i % 1000, i % 8, i, 1 + i % 97);
    block += line;
  }
  bool ok = true;
  uint64_t written = 0;
  for (; ok && written < kFileBytes; written += block.size()) {
    std::string& chunk = block;
    std::string rare;
    if (written >= kFileBytes / 100 * 99 && written < kFileBytes / 100 * 99 + block.size())
      rare = "2024-05-01 13:00:00.000 WARN [worker-1] request 999999 needle in the haystack, took 1234 ms\n";
    DWORD done = 0;
    ok = WriteFile(file, chunk.data(), DWORD(chunk.size()), &done, nullptr) && done == chunk.size() &&
         (rare.empty() || (WriteFile(file, rare.data(), DWORD(rare.size()), &done, nullptr) && done == rare.size()));
  }
  CloseHandle(file);
  return ok;
}

// Reads the whole file in the search's buffer; with decode, decodes it too.
// Returns ms, and the bytes in *size.
double ReadAllMs(const wchar_t* path, bool decode, uint8_t* bytes, TextUnit* units, uint64_t* size) {
  int64_t start = Ticks();
  HANDLE file = OpenForReading(path);
  uint64_t at = 0;
  size_t carry = 0;
  for (size_t got; (got = ReadFileAt(file, at, bytes + carry, kBufferBytes - carry)) > 0;) {
    at += got;
    if (!decode) continue;
    size_t total = carry + got, from = 0;
    while (total - from > kMaxCarryBytes) {
      size_t piece = std::min(total - from, kChunkBytes), leftover = 0;
      DecodeChunk(kCharsetUtf8, bytes + from, piece, units, &leftover, SystemConversions());
      from += piece - leftover;
    }
    carry = total - from;
    memmove(bytes, bytes + from, carry);
  }
  CloseHandle(file);
  *size = at;
  return MsSince(start);
}

// The search thread's work, from the file's start down. Returns ms; *found
// where the line found starts.
double FindMs(const wchar_t* path, const char16_t* text, bool regex, uint8_t* bytes, TextUnit* units, uint64_t size,
              uint64_t* found) {
  FindQuery query;
  std::copy(text, text + std::char_traits<char16_t>::length(text), query.text);
  query.regex = regex;
  int64_t start = Ticks();
  HANDLE file = OpenForReading(path);
  LinePattern* pattern = MakeLinePattern(query, kCharsetUtf8, nullptr);
  LineScan scan{HandleReader(file), kCharsetUtf8, &SystemConversions(), pattern, nullptr, bytes, kBufferBytes, units,
                nullptr, nullptr};
  FoundLine line;
  *found = FindLineDown(scan, 0, size, &line) == ScanEnd::kFound ? line.start : ~0ull;
  FreeLinePattern(pattern);
  CloseHandle(file);
  return MsSince(start);
}

double Best(double a, double b) { return a < 0 ? b : std::min(a, b); }

}  // namespace

void RunFindBench() {
  wchar_t path[MAX_PATH];
  TempPath(L"quillon_bench_find.log", path);
  if (!WriteFindLog(path)) {
    Note("cannot write the 1 GiB log");
    AddResult("find in 1 GiB", Format("failed"), Format("-"), ">= 1000 MB/s plain, >= 300 MB/s regex");
    return;
  }
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[kBufferBytes]);
  std::unique_ptr<TextUnit[]> units(new TextUnit[kBufferBytes + kChunkUnits]);
  uint64_t size = 0, found = 0;
  ReadAllMs(path, false, bytes.get(), units.get(), &size);  // into the cache
  double read = -1, decode = -1, plain = -1, regex = -1;
  for (int run = 0; run < kRuns; ++run) {
    read = Best(read, ReadAllMs(path, false, bytes.get(), units.get(), &size));
    decode = Best(decode, ReadAllMs(path, true, bytes.get(), units.get(), &size));
    plain = Best(plain, FindMs(path, u"Needle In The", false, bytes.get(), units.get(), size, &found));
    Note("run %d: plain text found at %.1f%% of the file", run + 1, found == ~0ull ? -1.0 : 100.0 * double(found) / double(size));
    regex = Best(regex, FindMs(path, u"took \\d{3,} ms", true, bytes.get(), units.get(), size, &found));
    Note("run %d: regex found at %.1f%% of the file", run + 1, found == ~0ull ? -1.0 : 100.0 * double(found) / double(size));
  }
  DeleteFileW(path);
  auto rate = [&](double ms) { return double(size) / 1e6 / (ms / 1000); };
  Note("1 GiB log (%llu bytes), best of %d: read %.0f ms, read+decode %.0f ms, find plain %.0f ms, find regex %.0f ms",
       (unsigned long long)size, kRuns, read, decode, plain, regex);
  AddResult("find 1 GiB, plain text", Format("%.0f MB/s", rate(plain)), Format("read %.0f MB/s", rate(read)),
            ">= 1000 MB/s");
  AddResult("find 1 GiB, took \\d{3,} ms", Format("%.0f MB/s", rate(regex)),
            Format("read+decode %.0f MB/s", rate(decode)), ">= 300 MB/s");
}
