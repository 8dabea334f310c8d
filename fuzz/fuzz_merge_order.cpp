// Several files merged into one view: each file's units fed in chunks of
// random sizes, the files taking turns at random, every line keyed as it
// ends and put at its place among the keys so far. The order reached is the
// reference merge: every whole line of every file keyed from its whole text
// (its stamp moved to UTC by the calendar of <chrono> when it has a zone,
// the running stamp of its file), the keys sorted.
// Then the rows: the same files through their row streams, chunked and
// flushed at random, into a view of at most a lines limit of rows. It must
// hold the last rows of the reference merge: each file's rows built alone,
// each keyed by its line's reference key, sorted.
#include <algorithm>
#include <chrono>
#include <vector>

#include "core/merge_order.h"
#include "fuzz/stand_in.h"

namespace {

constexpr size_t kMostFiles = 4;

// A TimeKey with its zone as milliseconds, the plain way.
int64_t ReferenceMilliseconds(int64_t time, int32_t zone) {
  const int64_t keyDay = TimeKey(0, 0, 1, 0, 0, 0, 0);
  int64_t days = time / keyDay, clock = time % keyDay;
  int year = int(days / 32 / 13);
  unsigned month = unsigned(days / 32 % 13), day = unsigned(days % 32);
  using namespace std::chrono;
  int64_t first = sys_days{std::chrono::year{year} / std::chrono::month{month} / 1}.time_since_epoch().count();
  int64_t ms = (first + day - 1) * 86400000 + clock / 61000 / 60 * 3600000 + clock / 61000 % 60 * 60000 + clock % 61000;
  return zone == kNoZone ? ms : ms - int64_t(zone) * 60000;
}

struct KeyedRow {
  MergeKey key;
  uint64_t unit;
  std::u16string text;
};

// A file's rows built alone, without merging, as (line, unit, text).
std::vector<KeyedRow> RowsAlone(const std::u16string& text, uint32_t file, size_t capacity) {
  KeptRows kept;
  RowView view = kept.View();
  SetMerging(false);
  UseRowStream(0);
  SetRowOptions(RowOptions{1u << 30, false, false});
  ClearView(view);
  DiscardBatchedRows();
  ResetPendingRow();
  SetLinesFed(kFirstLineOrdinal);
  FeedUnits(text.data(), text.size(), capacity);
  FlushRowsTo(view, false, false);
  std::vector<KeyedRow> rows;
  for (size_t i = 0; i < kept.rows.size(); ++i) {
    RowPlace place = ViewRowPlace(i);
    rows.push_back(KeyedRow{MergeKey{kNoStamp, file, place.line - kFirstLineOrdinal}, place.unit, kept.rows[i]});
  }
  ClearView(view);
  return rows;
}

// The file that feeds next, at random among those with units left, and how
// many units it feeds: 0 when all are fed.
size_t NextChunk(Input& input, const std::vector<std::u16string>& texts, const std::vector<size_t>& fed, uint32_t* file) {
  std::vector<uint32_t> open;
  for (uint32_t i = 0; i < texts.size(); ++i)
    if (fed[i] < texts[i].size()) open.push_back(i);
  if (open.empty()) return 0;
  *file = open[input.Byte() % open.size()];
  return std::min<size_t>(1 + input.Byte() % 97, texts[*file].size() - fed[*file]);
}

void Take(void* context, const MergeKey& key) {
  auto* merged = static_cast<std::vector<MergeKey>*>(context);
  merged->insert(merged->begin() + ptrdiff_t(MergePlace(*merged, key)), key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  size_t files = 1 + input.Byte() % kMostFiles;
  YearHint hint{uint32_t(2000 + input.Byte() % 40), uint32_t(1 + input.Byte() % 12)};
  std::vector<std::u16string> texts(files);
  for (std::u16string& text : texts) text = input.Units(size_t(input.Byte()) * 8);

  std::vector<MergeKey> expected;
  for (uint32_t file = 0; file < files; ++file) {
    int64_t last = kNoStamp;
    uint64_t line = 0;
    const std::u16string& text = texts[file];
    for (size_t start = 0, end; (end = text.find(u'\n', start)) != std::u16string::npos; start = end + 1) {
      int64_t time;
      int32_t zone = kNoZone;
      if (FindLineTime(text.data() + start, end - start, hint, &time, nullptr, &zone))
        last = std::max(last, ReferenceMilliseconds(time, zone));
      expected.push_back(MergeKey{last, file, line++});
    }
  }
  std::sort(expected.begin(), expected.end());

  std::vector<MergeKey> merged;
  std::vector<LineKeyer> keyers(files);
  std::vector<size_t> fed(files, 0);
  for (uint32_t file = 0; file < files; ++file) keyers[file].file = file, keyers[file].hint = hint;
  for (uint32_t file; size_t chunk = NextChunk(input, texts, fed, &file);) {
    FeedLineKeys(&keyers[file], texts[file].data() + fed[file], chunk, Take, &merged);
    fed[file] += chunk;
  }
  if (merged != expected) __builtin_trap();

  // The rows, as narrow as one unit: a row of a line whose head has not all
  // come in waits until it has.
  uint8_t flags = input.Byte();
  size_t capacity = flags & 1 ? kMaxRowUnits : 1 + input.Byte();
  uint32_t limit = 1 + input.Byte() % 64;
  std::vector<KeyedRow> reference;
  for (uint32_t file = 0; file < files; ++file) {
    std::vector<KeyedRow> rows = RowsAlone(texts[file], file, capacity);
    reference.insert(reference.end(), rows.begin(), rows.end());
  }
  // A line not ended yet that already made rows is keyed from its head too.
  std::vector<int64_t> unended(files, kNoStamp);
  for (uint32_t file = 0; file < files; ++file) {
    const std::u16string& text = texts[file];
    size_t start = text.rfind(u'\n') == std::u16string::npos ? 0 : text.rfind(u'\n') + 1;
    for (const MergeKey& key : expected)
      if (key.file == file) unended[file] = key.stamp;
    int64_t time;
    int32_t zone = kNoZone;
    if (FindLineTime(text.data() + start, std::min(text.size() - start, kKeyedHeadUnits), hint, &time, nullptr, &zone))
      unended[file] = std::max(unended[file], ReferenceMilliseconds(time, zone));
  }
  std::vector<uint64_t> lines(files, 0);
  for (const MergeKey& key : expected) lines[key.file] = std::max(lines[key.file], key.line + 1);
  std::erase_if(reference, [&](const KeyedRow& row) {  // a line not ended, shorter than a head: its rows wait
    const std::u16string& text = texts[row.key.file];
    size_t start = text.rfind(u'\n') == std::u16string::npos ? 0 : text.rfind(u'\n') + 1;
    return row.key.line >= lines[row.key.file] && text.size() - start < kKeyedHeadUnits;
  });
  for (KeyedRow& row : reference) {
    auto keyed = std::find_if(expected.begin(), expected.end(), [&](const MergeKey& key) {
      return key.file == row.key.file && key.line == row.key.line;
    });
    row.key.stamp = keyed != expected.end() ? keyed->stamp : unended[row.key.file];
  }
  std::stable_sort(reference.begin(), reference.end(), [](const KeyedRow& a, const KeyedRow& b) {
    return a.key < b.key || (a.key == b.key && a.unit < b.unit);
  });
  if (reference.size() > limit) reference.erase(reference.begin(), reference.end() - limit);

  KeptRows kept;
  RowView view = kept.View();
  SetRowOptions(RowOptions{limit, false, false});
  SetMerging(true);
  ClearView(view);
  DiscardBatchedRows();
  for (uint32_t file = 0; file < files; ++file) {
    UseRowStream(file);
    ResetPendingRow();
    SetLinesFed(kFirstLineOrdinal);
    SetStreamYearHint(hint);
  }
  std::fill(fed.begin(), fed.end(), 0);
  for (uint32_t file; size_t chunk = NextChunk(input, texts, fed, &file);) {
    UseRowStream(file);
    FeedUnits(texts[file].data() + fed[file], chunk, capacity);
    fed[file] += chunk;
    if (input.Byte() & 1) FlushRowsTo(view, false, false);
  }
  FlushRowsTo(view, false, false);
  if (kept.rows.size() != reference.size() || ViewRows() != reference.size()) __builtin_trap();
  for (size_t i = 0; i < reference.size(); ++i) {
    RowPlace place = ViewRowPlace(i);
    if (kept.rows[i] != reference[i].text || place.file != reference[i].key.file ||
        place.line - kFirstLineOrdinal != reference[i].key.line || place.unit != reference[i].unit)
      __builtin_trap();
  }
  SetMerging(false);
  UseRowStream(0);
  return 0;
}
