// Two threads as the program runs them: the find worker searching a file
// (its own pattern and filter stack) beside the view building rows through
// the line filters and tagging them with the highlight rules, plain and
// regular, with and without case. Every verdict is checked against the same
// work done first on one thread. Built under ThreadSanitizer by
// scripts/fuzz.sh; exits non-zero on a wrong verdict.
//
//   search_threads [rounds]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/line_search.h"
#include "core/matching.h"
#include "core/rows.h"
#include "core/stored_values.h"
#include "fuzz/stand_in.h"

namespace {

const char* const kLines[] = {
    "2026-01-02 ERROR disk full",  "error: retry in 5 s",     "WARN slow answer",      "heartbeat ok",
    "GET /api took 1234 ms",       "Took 12 ms",              "a warning with Error",  "\tindented error here",
    "DEBUG error dump",            "RETRY-error",             "nothing to see",        "Heartbeat Error took 999 ms",
};
const char16_t* const kFilters[] = {u"s|error", u"sr|took \\d{3,} ms", u"h|heartbeat", u"hc|DEBUG"};
const char16_t* const kRules[] = {u"|-|-|warn", u"c|-|-|ERROR", u"r|-|-|took \\d+", u"w|-|-|retry", u"|-|-|OK"};
const char* const kQueries[] = {"error", "took \\d{3}", "ok"};

std::string MakeFile() {
  std::string file;
  uint32_t state = 12345;
  for (int line = 0; line < 3000; ++line) {
    state = state * 1103515245u + 12345u;
    file += kLines[(state >> 16) % std::size(kLines)];
    file += (state >> 8) % 5 == 0 ? "\r\n" : "\n";
  }
  return file;
}

LineFilters Filters() {
  LineFilters filters{};
  for (const char16_t* value : kFilters) ParseStoredFilter(value, &filters.items[filters.count++]);
  return filters;
}

bool GoOn(void*, uint64_t) { return true; }

// Each line found, down from the start to the end, as start and match unit.
std::vector<uint64_t> FindAll(const std::string& file, const char* text, bool regex) {
  FindQuery query;
  for (size_t i = 0; text[i]; ++i) query.text[i] = TextUnit(text[i]);
  query.regex = regex;
  LinePattern* pattern = MakeLinePattern(query, kCharsetUtf8, nullptr);
  FilterStack filters;
  BuildFilterStack(&filters, Filters(), nullptr, true);  // as the worker builds its own
  constexpr size_t kCapacity = 16384;
  std::vector<uint8_t> bytes(kCapacity);
  std::vector<TextUnit> units(kCapacity + kChunkUnits);
  Bytes memory{reinterpret_cast<const uint8_t*>(file.data()), file.size()};
  LineScan scan{memory.Reader(), kCharsetUtf8, &kStandInConversions, pattern, &filters, bytes.data(), kCapacity,
                units.data(), GoOn, nullptr};
  std::vector<uint64_t> found;
  FoundLine line;
  for (uint64_t from = 0; FindLineDown(scan, from, file.size(), &line) == ScanEnd::kFound; from = line.end)
    found.push_back(line.start), found.push_back(line.matchUnit);
  ClearFilterStack(&filters);
  FreeLinePattern(pattern);
  return found;
}

// The view's rows, each followed by the slot of the rule that tags it.
std::vector<std::u16string> BuildRows(const std::u16string& text, PreparedRules* prepared) {
  KeptRows kept;
  RowView view = kept.View();
  ClearView(view);
  ResetPendingRow();
  SetLineFilters(Filters());
  for (size_t at = 0; at < text.size(); at += 1000)
    FeedUnits(text.data() + at, std::min<size_t>(1000, text.size() - at), kMaxRowUnits);
  FlushRowsTo(view, false, false);
  std::vector<std::u16string> rows;
  for (const std::u16string& row : kept.rows) {
    rows.push_back(row);
    rows.push_back(std::u16string(1, TextUnit(u'0' + MatchingRule(prepared, row.data(), row.size(), false))));
  }
  return rows;
}

size_t Differences(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b) {
  size_t wrong = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) wrong += a[i] != b[i];
  return wrong;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 20;
  const std::string file = MakeFile();
  const std::u16string text(file.begin(), file.end());  // ASCII
  const size_t lines = size_t(std::count(file.begin(), file.end(), '\n'));
  HighlightRule rules[kMaxRules];
  for (size_t i = 0; i < std::size(kRules); ++i) ParseRule(kRules[i], &rules[i]);
  SetRowOptions(RowOptions{1u << 20, false});
  PreparedRules prepared;
  PrepareRules(&prepared, rules);

  std::vector<std::vector<uint64_t>> expectedFinds;
  for (size_t q = 0; q < std::size(kQueries); ++q) expectedFinds.push_back(FindAll(file, kQueries[q], q == 1));
  const std::vector<std::u16string> expectedRows = BuildRows(text, &prepared);

  size_t findVerdicts = 0, findWrong = 0, rowVerdicts = 0, rowWrong = 0;
  std::thread worker([&] {
    for (int round = 0; round < rounds; ++round)
      for (size_t q = 0; q < std::size(kQueries); ++q) {
        findWrong += Differences(FindAll(file, kQueries[q], q == 1), expectedFinds[q]);
        findVerdicts += lines;  // each line found or passed by
      }
  });
  for (int round = 0; round < rounds * 3; ++round) {
    std::vector<std::u16string> rows = BuildRows(text, &prepared);
    rowVerdicts += expectedRows.size();
    for (size_t i = 0; i < std::max(rows.size(), expectedRows.size()); ++i)
      rowWrong += i >= rows.size() || i >= expectedRows.size() || rows[i] != expectedRows[i];
  }
  worker.join();
  PrepareRules(&prepared, nullptr);
  SetLineFilters(LineFilters{});
  printf("search beside the view: %zu of %zu find verdicts and %zu of %zu row verdicts wrong\n", findWrong,
         findVerdicts, rowWrong, rowVerdicts);
  return findWrong || rowWrong ? 1 : 0;
}
