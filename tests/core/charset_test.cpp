// In the Windows suite and natively (fuzz/): the system's code pages under Windows, the fuzzers' stand-in elsewhere.
#include "core/charset.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#ifdef _WIN32
#include "engine/charset.h"
const CharsetConversions& TestConversions() { return SystemConversions(); }
#else
#include "fuzz/stand_in.h"
const CharsetConversions& TestConversions() { return kStandInConversions; }
#endif

namespace {

TEST(DetectBom, TableOfMarks) {
  const struct { std::string bytes; uint32_t charset, length; } cases[] = {
      {std::string("\x00\x00\xFE\xFF\x00\x00", 6), kCharsetUtf32Be, 4},
      {std::string("\xFF\xFE\x00\x00\x41\x00", 6), kCharsetUtf32Le, 4}, {std::string("+/v/ab", 6), kCharsetUtf7, 0},
      {std::string("\xFF\xFE\x00\x41\x00\x0A", 6), kCharsetUtf16Le, 2},  // b2, b3 not both 00
      {std::string("\xFE\xFF\x00\x41\x00\x0A", 6), kCharsetUtf16Be, 2},
      {std::string("\xEF\xBB\xBF" "abc", 6), kCharsetUtf8, 3},
      {std::string("\xEF\xBB\xBF" "a\n", 5), 0, 0},  // six bytes or nothing
      {std::string("+/v8-a", 6), kCharsetUtf7, 5}, {std::string("+/v8xa", 6), kCharsetUtf7, 0},
      {std::string("+/vAab", 6), 0, 0}, {std::string("+xv9ab", 6), 0, 0}, {std::string("\xEFve \xBB\xBF", 6), 0, 0},
      {std::string("\xA1Q\xBF" "es?", 6), 0, 0},  // a cp1252 "¿" third is no mark
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    BomResult result = DetectBom(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(std::pair(result.charset, result.length), std::pair(c.charset, c.length));
  }
}

// The names stand in every file's properties stream: they must never change.
TEST(CharsetNames, StoredNamesAndCommands) {
  const struct { uint32_t code; const char16_t* name; int command; bool setsFallback; } charsets[] = {
      {0, u"ACP", 1303, true},         {1, u"OEM", 1304, true},       {3, u"Current", 1305, true},
      {16, u"UCS-2", 1306, false},     {17, u"UCS-2BE", 1307, false}, {18, u"UCS-4", 1308, false},
      {19, u"UCS-4BE", 1310, false},   {65000, u"UTF-7", 1309, true}, {65001, u"UTF-8", 1302, true},
  };
  for (const auto& c : charsets) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(std::u16string(CharsetStreamName(c.code)), c.name);
    uint32_t code = 12345;
    bool setsFallback = !c.setsFallback;
    ASSERT_TRUE(CharsetFromCommand(c.command, &code, &setsFallback));
    EXPECT_EQ(std::pair(code, setsFallback), std::pair(c.code, c.setsFallback));
  }
}

std::u16string Decode(uint32_t charset, std::string bytes, size_t* leftover) {
  static TextUnit units[kChunkUnits];
  size_t count = DecodeChunk(charset, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), units, leftover,
                             TestConversions());
  return std::u16string(units, count);
}

TEST(DecodeChunk, WholeCharactersOnly) {
  const struct { uint32_t charset; std::string bytes; std::u16string units; size_t leftover; } cases[] = {
      {kCharsetUtf16Be, std::string("\x00\x41\x00\x0A", 4), u"A\n", 0},
      {kCharsetUtf16Le, std::string("A\x00\x0A\x00\x42", 5), u"A\n", 1},
      {kCharsetUtf32Le, std::string("\x00\xF6\x01\x00\x41\x00\x00\x00", 8), u"\xD83D\xDE00" u"A", 0},
      {kCharsetUtf32Be, std::string("\x00\x01\xF6\x00\x00\x00\x00\x0A\x00\x00", 10), u"\xD83D\xDE00\n", 2},
      {kCharsetUtf32Le, std::string("\x00\x00\x11\x00", 4), u"\xDC00\xDC00", 0},  // nothing rejected
      {kCharsetUtf8, "x\xFF", u"x\xFFFD", 0},
      {kCharsetUtf8, "a\xE2\x82", u"a", 2}, {kCharsetUtf8, "a\xF0\x9F\x98", u"a", 3},  // carried to the next chunk
      // A cut sequence never takes the line feed after it.
      {kCharsetUtf8, "a\xE2\n", u"a\xFFFD\n", 0}, {kCharsetUtf8, "a\xF0\x9F\n", u"a\xFFFD\n", 0},
      {kCharsetUtf8, "a\xE2\n\n", u"a\xFFFD\n\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    size_t leftover = 99;
    EXPECT_EQ((std::pair{Decode(c.charset, c.bytes, &leftover), leftover}), std::pair(c.units, c.leftover));
  }
#ifdef _WIN32
  size_t leftover = 0;  // a Shift-JIS lead byte alone waits
  EXPECT_EQ((std::pair{Decode(932, "x\x82\xA0\x82", &leftover), leftover}), std::pair(std::u16string(u"x\x3042"), size_t(1)));
#endif
}

TEST(JudgeUtf8, WholeSequencesDecideCutOnesWait) {
  using V = Utf8Verdict;
  const struct { std::string bytes; V verdict; size_t cut; } cases[] = {
      {"plain", V::kUndecided, 0}, {"caf\xC3\xA9", V::kValid, 0}, {"\xE2\x82", V::kUndecided, 2},
      {"\xC3\xA9 \xF0\x9F", V::kValid, 2}, {"caf\xA9", V::kInvalid, 0}, {"\xC0\xAF", V::kInvalid, 0},
      {"\xE0\x80\xAF", V::kInvalid, 0}, {"\xED\xA0\x80", V::kInvalid, 0}, {"\xF4\x90\x80\x80", V::kInvalid, 0},
      {"\xE2\x41", V::kInvalid, 0}, {"\xF5\x80\x80\x80", V::kInvalid, 0}};
  for (const auto& c : cases) {
    size_t cut = 9;
    EXPECT_EQ(JudgeUtf8(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), &cut), c.verdict) << c.bytes;
    EXPECT_EQ(cut, c.cut) << c.bytes;
  }
}

}  // namespace
