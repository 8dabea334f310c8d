// Several files merged into one view: each file's units fed in chunks of
// random sizes, the files taking turns at random, every line keyed as it
// ends and put at its place among the keys so far. The order reached is the
// reference merge: every whole line of every file keyed from its whole text
// (its stamp moved to UTC by the calendar of <chrono> when it has a zone,
// the running stamp of its file), the keys sorted.
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
  for (;;) {
    std::vector<uint32_t> open;
    for (uint32_t file = 0; file < files; ++file)
      if (fed[file] < texts[file].size()) open.push_back(file);
    if (open.empty()) break;
    uint32_t file = open[input.Byte() % open.size()];
    size_t chunk = std::min<size_t>(1 + input.Byte() % 97, texts[file].size() - fed[file]);
    FeedLineKeys(&keyers[file], texts[file].data() + fed[file], chunk, Take, &merged);
    fed[file] += chunk;
  }
  if (merged != expected) __builtin_trap();
  return 0;
}
