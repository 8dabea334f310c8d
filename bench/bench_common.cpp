#include "bench/bench.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

#include "core/stored_values.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/highlight_rules.h"
#include "engine/row_builder.h"
#include "ui/settings.h"

DWORD wineserverPid = 0;
std::vector<double> pollStartsMs;
std::vector<double> pollDurationsMs;
std::vector<bool> pollAddedRows;
uint64_t viewAdds = 0;
int clockTicksPerSecond = 100;

namespace {

int64_t Frequency() {
  static int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return int64_t(f.QuadPart);
  }();
  return frequency;
}

// Column offsets of the stamp within a line (and its first row).
constexpr size_t kSeqAt = 43;
constexpr size_t kSeqDigits = 10;
constexpr size_t kStampAt = 58;
constexpr size_t kStampDigits = 20;
constexpr size_t kMicroAt = 86;  // the "us" of "took 42us"

void PutDigits(char* out, uint64_t value, size_t digits) {
  for (size_t i = digits; i-- > 0;) {
    out[i] = char('0' + value % 10);
    value /= 10;
  }
}

template <typename Unit>
bool ParseStampUnits(const Unit* text, size_t length, uint64_t* seq, int64_t* stamp) {
  if (length < kStampAt + kStampDigits) return false;
  if (text[kSeqAt - 4] != 's' || text[kSeqAt - 1] != '=' || text[kStampAt - 4] != 'q' ||
      text[kStampAt - 1] != '=')
    return false;
  uint64_t s = 0, t = 0;
  for (size_t i = 0; i < kSeqDigits; ++i) {
    Unit c = text[kSeqAt + i];
    if (c < '0' || c > '9') return false;
    s = s * 10 + uint64_t(c - '0');
  }
  for (size_t i = 0; i < kStampDigits; ++i) {
    Unit c = text[kStampAt + i];
    if (c < '0' || c > '9') return false;
    t = t * 10 + uint64_t(c - '0');
  }
  *seq = s;
  *stamp = int64_t(t);
  return true;
}

struct ResultRow {
  char metric[64];
  Cell quillon;
  Cell baseline;
  char goal[40];
};
std::vector<ResultRow> results;

WNDPROC mainWindowProc = nullptr;

LRESULT CALLBACK TimedMainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_TIMER || wparam != kPollTimer)
    return CallWindowProcW(mainWindowProc, window, message, wparam, lparam);
  int64_t start = Ticks();
  uint64_t addsBefore = viewAdds;
  LRESULT result = CallWindowProcW(mainWindowProc, window, message, wparam, lparam);
  pollStartsMs.push_back(TicksToMs(start));
  pollDurationsMs.push_back(MsSince(start));
  pollAddedRows.push_back(viewAdds != addsBefore);
  return result;
}

}  // namespace

int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return int64_t(now.QuadPart);
}

double TicksToMs(int64_t ticks) { return double(ticks) * 1000.0 / double(Frequency()); }
double MsSince(int64_t start) { return TicksToMs(Ticks() - start); }

void FormatLine(char* out, uint64_t seq, int64_t stamp, bool micro) {
  static const char kTemplate[] =
      "2024-05-01 12:00:00.000 INFO  [worker] seq=0000000000 qpc=00000000000000000000 "
      "took 42us /api/v1/x";
  static_assert(sizeof(kTemplate) - 1 == kLineBytes - 2);
  memcpy(out, kTemplate, kLineBytes - 2);
  PutDigits(out + kSeqAt, seq, kSeqDigits);
  PutDigits(out + kStampAt, uint64_t(stamp), kStampDigits);
  // "us" and "µ" are both two bytes in UTF-8: every line stays kLineBytes long.
  if (micro) memcpy(out + kMicroAt, "\xC2\xB5", 2);
  out[kLineBytes - 2] = '\r';
  out[kLineBytes - 1] = '\n';
}

bool ParseRowStamp(const wchar_t* row, uint64_t* seq, int64_t* stamp) {
  return ParseStampUnits(row, wcslen(row), seq, stamp);
}

bool ParseLineStamp(const char* line, size_t length, uint64_t* seq, int64_t* stamp) {
  return ParseStampUnits(line, length, seq, stamp);
}

std::vector<uint8_t> MakeLogText(size_t bytes) {
  size_t lines = std::max<size_t>(bytes / kLineBytes, 1);
  std::vector<uint8_t> text(lines * kLineBytes);
  for (size_t i = 0; i < lines; ++i)
    FormatLine(reinterpret_cast<char*>(text.data() + i * kLineBytes), i, 0, i % 4 == 3);
  return text;
}

void TempPath(const wchar_t* name, wchar_t* out) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  swprintf(out, MAX_PATH, L"%lsquillon_bench_%ls", folder, name);
}

bool WriteWholeFile(const wchar_t* path, const void* data, size_t size) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const uint8_t* at = static_cast<const uint8_t*>(data);
  bool ok = true;
  while (size > 0 && ok) {
    DWORD part = DWORD(std::min<size_t>(size, 1 << 24));
    DWORD wrote = 0;
    ok = WriteFile(file, at, part, &wrote, nullptr) && wrote == part;
    at += part;
    size -= part;
  }
  CloseHandle(file);
  return ok;
}

double Percentile(std::vector<double>& values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t rank = size_t(fraction * double(values.size()) + 0.999999);
  rank = std::clamp<size_t>(rank, 1, values.size());
  return values[rank - 1];
}

bool PumpUntil(bool (*done)(void* context), void* context, double timeoutMs) {
  int64_t start = Ticks();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (done && done(context)) return true;
    }
    if (done && done(context)) return true;
    double left = timeoutMs - MsSince(start);
    if (left <= 0) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(left) + 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void PumpFor(double ms) { PumpUntil(nullptr, nullptr, ms); }

void TimePolls(bool on) {
  HWND window = engineHost.window;
  if (on) {
    pollStartsMs.clear();
    pollDurationsMs.clear();
    pollAddedRows.clear();
    mainWindowProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TimedMainWindowProc)));
  } else {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mainWindowProc));
  }
}

void NotePolls(const char* what) {
  std::vector<double> gaps, adding, others;
  for (size_t i = 1; i < pollStartsMs.size(); ++i) gaps.push_back(pollStartsMs[i] - pollStartsMs[i - 1]);
  for (size_t i = 0; i < pollDurationsMs.size(); ++i)
    (pollAddedRows[i] ? adding : others).push_back(pollDurationsMs[i]);
  double gapMedian = Percentile(gaps, 0.5);
  double gapP99 = Percentile(gaps, 0.99);
  Note("%s: %zu polls, one every %.1f ms (median; p99 %.1f)", what, pollDurationsMs.size(),
       gapMedian, gapP99);
  double median = Percentile(adding, 0.5);
  double p99 = Percentile(adding, 0.99);
  Note("  %zu adding rows took median %.2f, p99 %.2f, max %.2f ms", adding.size(), median, p99,
       adding.empty() ? 0.0 : adding.back());
  median = Percentile(others, 0.5);
  p99 = Percentile(others, 0.99);
  Note("  %zu others took median %.2f, p99 %.2f, max %.2f ms", others.size(), median, p99,
       others.empty() ? 0.0 : others.back());
}

double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto value = [](const FILETIME& t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
  };
  return value(kernel) + value(user);
}

double LinuxProcessCpuMs(DWORD pid) {
  // Wine shows the Linux root as drive Z:.
  wchar_t path[64];
  swprintf(path, 64, L"Z:\\proc\\%lu\\stat", pid);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  char text[1024];
  DWORD got = 0;
  BOOL ok = ReadFile(file, text, sizeof(text) - 1, &got, nullptr);
  CloseHandle(file);
  if (!ok || got == 0) return -1;
  text[got] = 0;
  // Fields after the command's closing parenthesis start at field 3; utime
  // and stime are fields 14 and 15.
  const char* at = strrchr(text, ')');
  if (!at) return -1;
  unsigned long long utime = 0, stime = 0;
  if (sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
    return -1;
  return double(utime + stime) * 1000.0 / clockTicksPerSecond;
}

Cell Format(const char* format, ...) {
  Cell cell;
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(cell.text, sizeof(cell.text), format, arguments);
  va_end(arguments);
  return cell;
}

void AddResult(const char* metric, const Cell& quillon, const Cell& baseline, const char* goal) {
  ResultRow row{};
  snprintf(row.metric, sizeof(row.metric), "%s", metric);
  row.quillon = quillon;
  row.baseline = baseline;
  snprintf(row.goal, sizeof(row.goal), "%s", goal);
  results.push_back(row);
}

void Note(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  fputs("  ", stdout);
  vfprintf(stdout, format, arguments);
  fputc('\n', stdout);
  va_end(arguments);
  fflush(stdout);
}

void PrintResults() {
  const char* header[4] = {"metric", "Quillon", "baseline", "goal"};
  size_t width[4] = {strlen(header[0]), strlen(header[1]), strlen(header[2]), strlen(header[3])};
  for (const ResultRow& row : results) {
    width[0] = std::max(width[0], strlen(row.metric));
    width[1] = std::max(width[1], strlen(row.quillon.text));
    width[2] = std::max(width[2], strlen(row.baseline.text));
    width[3] = std::max(width[3], strlen(row.goal));
  }
  auto line = [&](const char* a, const char* b, const char* c, const char* d) {
    printf("%-*s | %-*s | %-*s | %s\n", int(width[0]), a, int(width[1]), b, int(width[2]), c, d);
  };
  printf("\n");
  line(header[0], header[1], header[2], header[3]);
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < width[i] + (i ? 2 : 1); ++j) putchar('-');
    if (i < 3) putchar('|');
  }
  putchar('\n');
  for (const ResultRow& row : results) line(row.metric, row.quillon.text, row.baseline.text, row.goal);
  fflush(stdout);
}

// Ten rules that every row is tested against; the last matches a line in four.
bool LastRowIs(HWND view, const wchar_t* text) {
  LRESULT count = SendMessageW(view, LB_GETCOUNT, 0, 0);
  LRESULT length = LRESULT(wcslen(text));
  if (count <= 0 || length >= 128 || SendMessageW(view, LB_GETTEXTLEN, WPARAM(count - 1), 0) != length) return false;
  wchar_t row[128];
  return SendMessageW(view, LB_GETTEXT, WPARAM(count - 1), reinterpret_cast<LPARAM>(row)) == length &&
         wmemcmp(row, text, size_t(length)) == 0;
}

WNDPROC Subclass(HWND window, WNDPROC proc) {
  return reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

namespace {

// Ten rules every row is tested against and filters every line passes, the
// same shapes as plain patterns and as regular expressions.
const wchar_t* const kPlainRules[] = {L"|FFFFFF|C00000|ERROR", L"w|806000|FFF0B0|warn", L"c|-|-|FATAL",
                                      L"|-|-|exception", L"w|-|-|timeout", L"a|-|-|panic", L"|-|-|seq=99999999",
                                      L"c|-|-|qpc=1", L"|-|-|/api/v2/", L"|0000C0|-|\u00B5s"};
const wchar_t* const kRegexRules[] = {
    L"r|FFFFFF|C00000|\\bERROR\\b", L"wr|806000|FFF0B0|warn(ing)?", L"cr|-|-|FATAL|PANIC",
    L"r|-|-|exception:\\s+\\w+", L"r|-|-|time(d)?out after \\d+", L"ar|-|-|panic",
    L"r|-|-|seq=9{8}", L"cr|-|-|qpc=1\\d{19}", L"r|-|-|/api/v[2-9]/", L"r|0000C0|-|took \\d{3,} ms"};
const wchar_t* const kPlainFilters[] = {L"h|DEBUG"};
const wchar_t* const kRegexFilters[] = {L"sr|\\d{4,}", L"sr|ERROR|WARN(ING)?", L"hr|DEBUG\\s+\\[",
                                        L"hr|heartbeat|keepalive"};

template <size_t n>
void TakeFilters(const wchar_t* const (&values)[n], LineFilters* filters) {
  for (const wchar_t* value : values)
    if (ParseStoredFilter(AsText(value), &filters->items[filters->count])) ++filters->count;
}

}  // namespace

void UseBenchMatching(BenchMatching matching) {
  for (int i = 0; i < 10; ++i) {
    const wchar_t* value = matching == BenchMatching::kRegex ? kRegexRules[i] : kPlainRules[i];
    if (matching == BenchMatching::kNone || !ParseRule(AsText(value), &AppSettings.rules[i]))
      AppSettings.rules[i] = HighlightRule{};
  }
  static LineFilters filters;
  filters = LineFilters{};
  if (matching == BenchMatching::kPlain) TakeFilters(kPlainFilters, &filters);
  if (matching == BenchMatching::kRegex) TakeFilters(kRegexFilters, &filters);
  SetLineFilters(filters);
}

void StoreBenchFilters(const wchar_t* path, BenchMatching matching) {
  wchar_t stream[MAX_PATH + 40];
  swprintf(stream, MAX_PATH + 40, L"%ls:Kavex.Quillon.Properties", path);
  WritePrivateProfileStringW(L"Filters", nullptr, nullptr, stream);
  std::vector<const wchar_t*> values;
  if (matching == BenchMatching::kPlain) values.assign(std::begin(kPlainFilters), std::end(kPlainFilters));
  if (matching == BenchMatching::kRegex) values.assign(std::begin(kRegexFilters), std::end(kRegexFilters));
  for (size_t i = 0; i < values.size(); ++i) {
    wchar_t key[4], quoted[300];
    swprintf(key, 4, L"%zu", i), swprintf(quoted, 300, L"\"%ls\"", values[i]);
    WritePrivateProfileStringW(L"Filters", key, quoted, stream);
  }
}
