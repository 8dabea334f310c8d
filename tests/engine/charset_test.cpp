#include "engine/charset.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct BomCase {
  std::string bytes;
  uint32_t charset;
  uint32_t length;
};

TEST(DetectBom, TableOfMarks) {
  const BomCase cases[] = {
      {std::string("\x00\x00\xFE\xFF\x00\x00", 6), kCharsetUtf32Be, 4},
      {std::string("\xFF\xFE\x00\x00\x41\x00", 6), kCharsetUtf32Le, 4},
      {std::string("\xFF\xFE\x41\x00\x0A\x00", 6), kCharsetUtf16Le, 2},
      {std::string("\xFF\xFE\x00\x41\x00\x0A", 6), kCharsetUtf16Le, 2},  // b2, b3 not both 00
      {std::string("\xFE\xFF\x00\x41\x00\x0A", 6), kCharsetUtf16Be, 2},
      {std::string("\xEF\xBB\xBF" "abc", 6), kCharsetUtf8, 3},
      {std::string("+/v8-a", 6), kCharsetUtf7, 5},
      {std::string("+/v8xa", 6), kCharsetUtf7, 0},
      {std::string("+/v9ab", 6), kCharsetUtf7, 0},
      {std::string("+/v+ab", 6), kCharsetUtf7, 0},
      {std::string("+/v/ab", 6), kCharsetUtf7, 0},
      {std::string("+/vAab", 6), 0, 0},
      {std::string("hello\n", 6), 0, 0},
  };
  for (const BomCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    BomResult result = DetectBom(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(result.charset, c.charset);
    EXPECT_EQ(result.length, c.length);
  }
}

TEST(DetectBom, NeedsSixBytes) {
  const uint8_t utf8[] = {0xEF, 0xBB, 0xBF, 0x61, 0x0A};
  BomResult result = DetectBom(utf8, sizeof utf8);
  EXPECT_EQ(result.charset, 0u);
  EXPECT_EQ(result.length, 0u);
}

const wchar_t* storedName = nullptr;
bool ReadStoredName(wchar_t* name, size_t capacity) {
  if (!storedName) return false;
  lstrcpynW(name, storedName, int(capacity));
  return true;
}

struct ResolveTest : testing::Test {
  void SetUp() override {
    storedName = nullptr;
    SetStoredCharsetReader(ReadStoredName);
  }
  void TearDown() override { SetStoredCharsetReader(nullptr); }
};

TEST_F(ResolveTest, MarkWinsUnlessTheUserJustChose) {
  CharsetState state;
  state.fallback = kCharsetAnsi;
  storedName = L"UTF-8";
  EXPECT_EQ(ResolveLoadCharset(state, {kCharsetUtf16Le, 2}), 2u);
  EXPECT_EQ(state.active, kCharsetUtf16Le);

  // The user picks UTF-8 for a UTF-16 file: that one load is UTF-8 from byte 0.
  state.active = kCharsetUtf8;
  state.explicitChoice = true;
  EXPECT_EQ(ResolveLoadCharset(state, {kCharsetUtf16Le, 2}), 0u);
  EXPECT_EQ(state.active, kCharsetUtf8);
  EXPECT_FALSE(state.explicitChoice);
  EXPECT_EQ(state.detected, kCharsetUtf16Le);

  // The next reload finds the mark again.
  EXPECT_EQ(ResolveLoadCharset(state, {kCharsetUtf16Le, 2}), 2u);
  EXPECT_EQ(state.active, kCharsetUtf16Le);
}

TEST_F(ResolveTest, WithoutMarkTheStoredChoiceThenTheFallback) {
  CharsetState state;
  state.fallback = kCharsetOem;
  storedName = L"UCS-2BE";
  EXPECT_EQ(ResolveLoadCharset(state, {0, 0}), 0u);
  EXPECT_EQ(state.active, kCharsetUtf16Be);

  storedName = L"utf-8";  // names are case-sensitive
  EXPECT_EQ(ResolveLoadCharset(state, {0, 0}), 0u);
  EXPECT_EQ(state.active, kCharsetOem);

  storedName = nullptr;
  state.autodetect = false;
  state.active = kCharsetUtf8;
  EXPECT_EQ(ResolveLoadCharset(state, {kCharsetUtf16Le, 2}), 0u);
  EXPECT_EQ(state.active, kCharsetUtf8);  // autodetect off keeps the active charset
}

std::wstring Decode(uint32_t charset, std::string bytes, size_t* leftover) {
  static wchar_t units[kChunkUnits];
  size_t count = DecodeChunk(charset, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(),
                             units, leftover);
  return std::wstring(units, count);
}

TEST(DecodeChunk, WideCharsetsByHand) {
  size_t leftover;
  EXPECT_EQ(Decode(kCharsetUtf16Be, std::string("\x00\x41\x00\x0A", 4), &leftover), L"A\n");
  EXPECT_EQ(Decode(kCharsetUtf16Le, std::string("A\x00\x0A\x00\x42", 5), &leftover), L"A\n");
  EXPECT_EQ(leftover, 1u);

  std::wstring pair = Decode(kCharsetUtf32Le, std::string("\x00\xF6\x01\x00\x41\x00\x00\x00", 8),
                             &leftover);
  EXPECT_EQ(pair, std::wstring(L"\xD83D\xDE00" L"A"));
  pair = Decode(kCharsetUtf32Be, std::string("\x00\x01\xF6\x00\x00\x00\x00\x0A\x00\x00", 10),
                &leftover);
  EXPECT_EQ(pair, std::wstring(L"\xD83D\xDE00\n"));
  EXPECT_EQ(leftover, 2u);

  // Every value goes through the same formula: nothing is rejected.
  std::wstring beyond = Decode(kCharsetUtf32Le, std::string("\x00\x00\x11\x00", 4), &leftover);
  EXPECT_EQ(beyond, std::wstring(L"\xDC00\xDC00"));  // high unit truncated to 16 bits
}

TEST(DecodeChunk, ChunkOfOnlySupplementaryValuesDoublesTheUnits) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += std::string("\x00\xF6\x01\x00", 4);
  size_t leftover;
  std::wstring units = Decode(kCharsetUtf32Le, bytes, &leftover);
  ASSERT_EQ(units.size(), 2000u);
  EXPECT_EQ(units[1998], 0xD83D);
  EXPECT_EQ(units[1999], 0xDE00);
}

// A character cut anywhere by a chunk boundary must come out whole.
TEST(DecodeChunk, CarriedBytesNeverBecomeReplacementCharacters) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  const std::wstring expected = Widen(text);
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    size_t leftover;
    std::string first = text.substr(0, cut);
    std::wstring result = Decode(kCharsetUtf8, first, &leftover);
    std::string second = first.substr(first.size() - leftover) + text.substr(cut);
    result += Decode(kCharsetUtf8, second, &leftover);
    EXPECT_EQ(leftover, 0u);
    EXPECT_EQ(result, expected);
  }
}

TEST(DecodeChunk, DoubleByteLeadByteIsCarried) {
  CPINFO info;
  if (!GetCPInfo(932, &info)) GTEST_SKIP() << "code page 932 not installed";
  const std::string text = "\x82\xA0\x82\xA2x";  // two hiragana, then x, in Shift-JIS
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    size_t leftover;
    std::string first = text.substr(0, cut);
    std::wstring result = Decode(932, first, &leftover);
    std::string second = first.substr(first.size() - leftover) + text.substr(cut);
    result += Decode(932, second, &leftover);
    EXPECT_EQ(result, Widen(text, 932));
  }
}

TEST(DecodeChunk, InvalidUtf8IsReplacedNotHeldBack) {
  size_t leftover;
  std::wstring result = Decode(kCharsetUtf8, "x\xFF", &leftover);
  EXPECT_EQ(leftover, 0u);
  EXPECT_EQ(result, std::wstring(L"x\xFFFD"));
}

TEST(CharsetTables, CommandsAndNames) {
  uint32_t charset;
  bool setsFallback;
  ASSERT_TRUE(CharsetFromCommand(1310, &charset, &setsFallback));
  EXPECT_EQ(charset, kCharsetUtf32Be);
  EXPECT_FALSE(setsFallback);
  ASSERT_TRUE(CharsetFromCommand(1309, &charset, &setsFallback));
  EXPECT_EQ(charset, kCharsetUtf7);
  EXPECT_TRUE(setsFallback);
  for (uint32_t code : {0u, 1u, 3u, 16u, 17u, 18u, 19u, 65000u, 65001u}) {
    uint32_t back = 12345;
    ASSERT_TRUE(CharsetFromStreamName(CharsetStreamName(code), &back));
    EXPECT_EQ(back, code);
    ASSERT_TRUE(CharsetFromCommand(CharsetMenuCommand(code), &back, &setsFallback));
    EXPECT_EQ(back, code);
  }
}

}  // namespace
