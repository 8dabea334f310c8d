// The core's decisions on their own; also run natively (fuzz/).
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "core/bookmarks.h"
#include "core/charset.h"
#include "core/languages.h"
#include "core/matching.h"
#include "core/pages.h"

namespace {

TEST(PlanPages, MarginsRowsPerPageAndPages) {  // 600 DPI, 4960 × 7016 px, screen 96 DPI; 25 mm: 600 × 992 ÷ 1000 px
  const struct { uint32_t rows, font, dpiX, margin, line, perPage, pages; PageArea area; } cases[] = {
      {58, 16, 600, 2500, 100, 58, 1, {595, 595, 4365, 6421}}, {59, 16, 300, 2500, 100, 58, 2, {297, 595, 4663, 6421}},
      {1000, 7, 600, 2500, 43, 135, 8, {595, 595, 4365, 6421}},  // whole 43-pixel rows: all 135 on the paper
      {5, 1000, 600, 2500, 6250, 0, 0, {595, 595, 4365, 6421}}, {5, 16, 600, 30000, 0, 0, 0, {}}};
  for (const auto& c : cases) {
    PagePlan plan = PlanPages({c.rows, c.font, 96, c.dpiX, 600, 4960, 7016, {c.margin, c.margin, c.margin, c.margin}});
    EXPECT_TRUE(plan.lineHeight == c.line && plan.rowsPerPage == c.perPage && plan.pages == c.pages &&
                memcmp(&plan.area, &c.area, sizeof c.area) == 0) << &c - cases;
  }
}

TEST(ChooseResourceLanguage, FallbackOrder) {
  const std::vector<LanguageId> mainMenu{9, 1029, 1051}, trayMenu{1029, 1033, 1051};
  // facts: requested, ui, user default, system default
  const struct { const char* what; std::vector<LanguageId> available; LanguageFacts facts; LanguageId expected; } cases[] = {
      {"English chosen, tray menu", trayMenu, {0, 9, 1029, 1029}, 1033},
      {"automatic, German user and system", mainMenu, {0, 0, 1031, 1031}, 9},
      {"1031 stored by hand, Czech user", mainMenu, {0, 1031, 1029, 1033}, 1029},
      {"system default requested skips the user", mainMenu, {0x0800, 0, 1029, 1051}, 1051},
      {"requested language first", mainMenu, {1051, 1029, 1029, 1029}, 1051},
      {"requested language's family before the UI's", mainMenu, {0x0809, 1029, 1029, 1029}, 9},
      {"requested language in the neutral UI's sublanguage", {1029, 0x0809}, {1033, 0x0800, 1029, 1029}, 0x0809},
      {"nothing fits: neutral is the last resort", {0, 1030}, {0, 0, 1029, 1029}, 0},
      {"nothing at all", {}, {0, 9, 9, 9}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseResourceLanguage(c.available.data(), c.available.size(), c.facts), c.expected);
  }
}

TEST(RowMatches, ExactCaseTheWordsEndAndTheRowsEnd) {  // the dialog test covers the rest
  EXPECT_FALSE(RowMatches(u"an error", 8, u"ERROR", true, false));
  EXPECT_FALSE(RowMatches(u"ab1", 3, u"ab", false, true));
  EXPECT_TRUE(RowMatches(u"abc", 2, u"ab", false, true));  // the row ends before the c
  EXPECT_FALSE(RowMatches(u"abc", 2, u"abc", false, false));
  EXPECT_TRUE(RowMatches(u"xAAAB", 5, u"aab", false, false));    // a start that failed midway is met again
  EXPECT_FALSE(RowMatches(u"xab", 3, u"", false, false));
  const std::u16string a(4000, u'a'), text = std::u16string(254, u'a') + u"b";
  EXPECT_TRUE(RowMatches((a + u"b").c_str(), a.size() + 1, text.c_str(), true, false));
  EXPECT_FALSE(RowMatches(a.c_str(), a.size(), text.c_str(), true, false));
}

// A bookmark's hash is 64-bit FNV-1a over its line's first 64 bytes, its line feed not among them.
TEST(Bookmarks, LineHeadsHashAsStored) {
  auto hash = [](const std::string& bytes, uint32_t charset) {
    return LineHeadHash(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), charset);
  };
  auto fnv = [](const std::string& bytes) { return Fnv1a64(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); };
  EXPECT_EQ(fnv(""), 0xCBF29CE484222325u);
  EXPECT_EQ(fnv("a"), 0xAF63DC4C8601EC8Cu);
  EXPECT_EQ(fnv("foobar"), 0x85944171F73967E8u);
  EXPECT_EQ(hash("foobar\nnext", kCharsetUtf8), fnv("foobar"));
  EXPECT_EQ(hash(std::string(70, 'x'), kCharsetUtf8), fnv(std::string(64, 'x')));
  EXPECT_EQ(hash(std::string("\x0A\x01\n\0x", 5), kCharsetUtf16Le), fnv(std::string("\x0A\x01", 2)));  // U+010A
  TextUnit value[kBookmarkValueUnits];
  FormatBookmark(Bookmark{18446744073709551615u, 0xAB}, value);
  EXPECT_EQ(std::u16string(value), u"18446744073709551615|00000000000000ab");
  BookmarkSet set;  // entries without a key, or whose key is no number, are none
  const char16_t section[] = u"=5|ab\0x=6|ab\0" u"7=7|ab\0";
  ParseBookmarkSection(section, std::size(section), &set);
  EXPECT_TRUE(set.items.size() == 1 && set.items[0].offset == 7);
}

}  // namespace
