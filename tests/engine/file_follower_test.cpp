#include "engine/file_follower.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "test_support.h"

namespace {

using RowList = std::vector<std::wstring>;

std::vector<std::pair<UINT, DWORD>> shownErrors;
void RecordError(UINT message, DWORD error) { shownErrors.push_back({message, error}); }

// A hidden main window with its real list box; polls are driven by hand
// unless a test pumps messages and lets timer 1 do it.
struct FollowerTest : testing::Test {
  std::wstring directory;
  std::wstring path;
  HWND window = nullptr;

  void SetUp() override {
    shownErrors.clear();
    window = StartHostedEngine();
    ASSERT_NE(window, nullptr);
    engineHost.showError = RecordError;
    directory = MakeTempDirectory();
    ASSERT_FALSE(directory.empty());
    path = directory + L"\\app.log";
  }

  void TearDown() override {
    StopHostedEngine(window);
    RemoveDirectoryTree(directory);
  }

  void Open(const std::wstring& name) { ASSERT_TRUE(OpenFile(name.c_str())); }
  void Poll() {
    do PollFile();
    while (PollContinues());
  }
  RowList Rows() const { return ListRows(engineHost.view); }

  // Lets timer 1 run until the view holds the expected rows, at most a few seconds.
  bool WaitForRows(const RowList& expected, DWORD limit = 4000) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < limit) {
      PumpMessages(20);
      if (Rows() == expected) return true;
    }
    return false;
  }
};

TEST_F(FollowerTest, AppendsInPiecesBecomeWholeRows) {
  WriteBytes(path, "first\n");
  Open(path);
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"first"}));
  AppendBytes(path, "hel");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"first"}));
  AppendBytes(path, "lo\r\nwor");
  Poll();
  AppendBytes(path, "ld\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"first", L"hello", L"world"}));
}

TEST_F(FollowerTest, TimerFollowsAGrowingFile) {
  WriteBytes(path, "one\n");
  Open(path);
  ASSERT_TRUE(WaitForRows({L"one"}));
  AppendBytes(path, "two\nthree\n");
  EXPECT_TRUE(WaitForRows({L"one", L"two", L"three"}));
}

TEST_F(FollowerTest, MultiByteCharacterCutByTheChunkBoundary) {
  AppSettings.wrapLines = 0;
  charsetState.fallback = kCharsetUtf8;
  // The euro sign's three bytes straddle the first 64 KiB chunk.
  std::string bytes(kChunkBytes - 1, 'x');
  bytes[999] = '\n';
  bytes += "\xE2\x82\xAC tail\n";
  WriteBytes(path, bytes);
  AppSettings.kbLimit = 1024;
  Open(path);
  Poll();
  RowList rows = Rows();
  ASSERT_FALSE(rows.empty());
  std::wstring last = rows.back();
  EXPECT_EQ(last.substr(last.size() - 6), L"\x20AC tail");
  for (const std::wstring& row : rows) EXPECT_EQ(row.find(L'\xFFFD'), std::wstring::npos);
}

TEST_F(FollowerTest, WriterFinishingACharacterLater) {
  charsetState.fallback = kCharsetUtf8;
  WriteBytes(path, "price: \xE2");
  Open(path);
  Poll();
  AppendBytes(path, "\x82");
  Poll();
  AppendBytes(path, "\xAC\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"price: \x20AC"}));
}

TEST_F(FollowerTest, OddByteOfUtf16DoesNotMisalignTheRest) {
  WriteBytes(path, std::string("\xFF\xFE" "a\0b\0\n\0c", 9));
  Open(path);
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"ab"}));
  AppendBytes(path, std::string("\0d\0\n\0", 5));
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"ab", L"cd"}));
}

TEST_F(FollowerTest, RotationByRenameFollowsTheNewFile) {
  WriteBytes(path, "old 1\nold 2\n");
  Open(path);
  Poll();
  ASSERT_EQ(Rows(), (RowList{L"old 1", L"old 2"}));
  std::wstring followed = FollowedPath();
  ASSERT_TRUE(MoveFileW(path.c_str(), (path + L".1").c_str()));
  WriteBytes(path, "new 1\n");
  EXPECT_TRUE(WaitForRows({L"new 1"}));
  EXPECT_EQ(std::wstring(FollowedPath()), followed);
  AppendBytes(path + L".1", "late write to the old file\n");
  AppendBytes(path, "new 2\n");
  EXPECT_TRUE(WaitForRows({L"new 1", L"new 2"}));
}

TEST_F(FollowerTest, DeletedFileLeavesTheViewAlone) {
  WriteBytes(path, "kept\n");
  Open(path);
  Poll();
  ASSERT_TRUE(DeleteFileW(path.c_str()));
  PumpMessages(1300);  // past an identity check
  EXPECT_TRUE(FileIsOpen());
  EXPECT_EQ(Rows(), (RowList{L"kept"}));
}

TEST_F(FollowerTest, TruncateAndRewriteKeepsThePendingRow) {
  WriteBytes(path, "a\nb\npart");
  Open(path);
  Poll();
  ASSERT_EQ(Rows(), (RowList{L"a", L"b"}));
  TruncateFile(path, 0);
  Poll();
  EXPECT_TRUE(Rows().empty());
  AppendBytes(path, "x\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"partx"}));
}

// Copy-truncate rotation with a busy writer: between two polls the file was
// cut and has grown past its old size again.
TEST_F(FollowerTest, RewrittenPastTheOldSizeIsReadFromTheStart) {
  WriteBytes(path, "old line\n");
  Open(path);
  Poll();
  ASSERT_EQ(Rows(), (RowList{L"old line"}));
  WriteBytes(path, "brand new first line\nsecond\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"brand new first line", L"second"}));
}

TEST_F(FollowerTest, PausedFileIsReadWhenResumed) {
  WriteBytes(path, "a\n");
  Open(path);
  Poll();
  TogglePause();
  AppendBytes(path, "b\nc\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"a"}));
  TogglePause();
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"a", L"b", L"c"}));
}

TEST_F(FollowerTest, ReloadWhilePausedReadsOnceAndStaysPaused) {
  WriteBytes(path, "a\n");
  Open(path);
  Poll();
  TogglePause();
  AppendBytes(path, "b\n");
  LoadFile();
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"a", L"b"}));
  EXPECT_TRUE(FollowingPaused());
  AppendBytes(path, "c\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"a", L"b"}));
}

TEST_F(FollowerTest, TailStartsAtTheFirstWholeLineOfTheLastKilobytes) {
  AppSettings.linesLimit = 65535;
  std::string bytes;
  for (int i = 0; bytes.size() < 300 * 1024; ++i)
    bytes += "line " + std::to_string(i) + std::string(size_t(i % 37), '.') + "\n";
  bytes.resize(300 * 1024);
  bytes.back() = '\n';
  WriteBytes(path, bytes);
  size_t cut = 300 * 1024 - 256 * 1024;
  ASSERT_EQ(cut, 45056u);
  size_t firstLine = bytes.find('\n', cut) + 1;
  std::string expectedFirst = bytes.substr(firstLine, bytes.find('\n', firstLine) - firstLine);
  Open(path);
  Poll();
  RowList rows = Rows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front(), Widen(expectedFirst));
  EXPECT_EQ(rows.back(), Widen(bytes.substr(bytes.rfind('\n', bytes.size() - 2) + 1,
                                            bytes.size() - 2 - bytes.rfind('\n', bytes.size() - 2))));
}

TEST_F(FollowerTest, TailWithoutAnotherLineFeedShowsNothingUntilOne) {
  AppSettings.kbLimit = 1;
  WriteBytes(path, "head\n" + std::string(3000, 'z'));
  Open(path);
  Poll();
  EXPECT_TRUE(Rows().empty());
  AppendBytes(path, "zz\nnext\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"zz", L"next"}));  // the skipped line's end shows
}

TEST_F(FollowerTest, Utf16BigEndianTailIsCutAtAWholeUnit) {
  AppSettings.kbLimit = 1;
  std::string bytes("\xFE\xFF", 2);
  for (int i = 0; i < 300; ++i) {
    std::string line = "row " + std::to_string(i) + "\n";
    for (char c : line) bytes += std::string("\0", 1) + c;
  }
  WriteBytes(path, bytes);
  Open(path);
  Poll();
  RowList rows = Rows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), L"row 299");
  EXPECT_EQ(rows.front().substr(0, 4), L"row ");
}

TEST_F(FollowerTest, Utf16TailOfAFileWithAHalfWrittenUnit) {
  AppSettings.kbLimit = 1;
  std::string bytes("\xFF\xFE", 2);
  for (int i = 0; i < 300; ++i) {
    std::string line = "line " + std::to_string(i) + "\n";
    for (char c : line) bytes += std::string(1, c) + std::string("\0", 1);
  }
  bytes += "x";  // the writer has written half of the next unit
  WriteBytes(path, bytes);
  Open(path);
  Poll();
  RowList rows = Rows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), L"line 299");
  AppendBytes(path, std::string("\0y\0\n\0", 5));
  Poll();
  EXPECT_EQ(Rows().back(), L"xy");
}

TEST_F(FollowerTest, FiveByteFileIsNotDetected) {
  std::string bytes("\xEF\xBB\xBF" "a\n");
  WriteBytes(path, bytes);
  Open(path);
  Poll();
  EXPECT_EQ(charsetState.detected, 0u);
  EXPECT_EQ(Rows(), (RowList{Widen(bytes.substr(0, 4), CP_THREAD_ACP)}));
}

TEST_F(FollowerTest, Utf7SignatureSkippedOnlyWhenComplete) {
  WriteBytes(path, "+/v8-Hi\n");
  Open(path);
  Poll();
  EXPECT_EQ(charsetState.active, kCharsetUtf7);
  EXPECT_EQ(charsetState.bomLength, 5u);
  EXPECT_EQ(Rows(), (RowList{L"Hi"}));

  std::string other = "+/v9-Hi\n";
  WriteBytes(path, other);
  LoadFile();
  Poll();
  EXPECT_EQ(charsetState.active, kCharsetUtf7);
  EXPECT_EQ(charsetState.bomLength, 0u);
  std::wstring decoded = Widen(other.substr(0, other.size() - 1), kCharsetUtf7);
  std::erase(decoded, L'\xFEFF');
  EXPECT_EQ(Rows(), (RowList{decoded}));
}

TEST_F(FollowerTest, Utf32LittleEndianMarkIsNotUtf16) {
  WriteBytes(path, std::string("\xFF\xFE\0\0A\0\0\0\0\xF6\x01\0\n\0\0\0", 16));
  Open(path);
  Poll();
  EXPECT_EQ(charsetState.active, kCharsetUtf32Le);
  EXPECT_EQ(Rows(), (RowList{L"A\xD83D\xDE00"}));
}

TEST_F(FollowerTest, RowLimitAndScrollLockThroughTheRealView) {
  AppSettings.linesLimit = 3;
  WriteBytes(path, "r1\nr2\nr3\nr4\nr5\n");
  Open(path);
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"r3", L"r4", L"r5"}));
  SetScrollLock(true);
  AppendBytes(path, "r6\nr7\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"r3", L"r4", L"r5", L"r6", L"r7"}));
  SetScrollLock(false);
  AppendBytes(path, "r8\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"r6", L"r7", L"r8"}));
}

TEST_F(FollowerTest, EraseKeepsTheMarkOfTheCharsetInUse) {
  WriteBytes(path, "\xEF\xBB\xBFsome text\nmore\n");
  Open(path);
  Poll();
  ASSERT_EQ(Rows(), (RowList{L"some text", L"more"}));
  ASSERT_TRUE(EraseFileContent());
  EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF");
  EXPECT_TRUE(Rows().empty());
  AppendBytes(path, "after\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"after"}));

  ChooseCharset(1303);  // the user picks ANSI: the mark no longer belongs to the text
  Poll();
  ASSERT_TRUE(EraseFileContent());
  EXPECT_EQ(FileSizeOf(path), 0u);
}

TEST_F(FollowerTest, DevicesAndDirectoriesAreRefused) {
  WriteBytes(path, "still here\n");
  Open(path);
  Poll();
  EXPECT_FALSE(OpenFile(L"NUL"));
  EXPECT_FALSE(OpenFile(L"CON"));
  EXPECT_FALSE(OpenFile(directory.c_str()));
  ASSERT_EQ(shownErrors.size(), 3u);
  for (auto& [message, error] : shownErrors) {
    EXPECT_EQ(message, UINT(kMsgOpenFailed));
    EXPECT_NE(error, 0u);
  }
  EXPECT_TRUE(FileIsOpen());
  AppendBytes(path, "and following\n");
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"still here", L"and following"}));
}

TEST_F(FollowerTest, MissingFileReportsTheSystemError) {
  EXPECT_FALSE(OpenFile((directory + L"\\absent.log").c_str()));
  ASSERT_EQ(shownErrors.size(), 1u);
  EXPECT_EQ(shownErrors[0].second, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(FileIsOpen());
}

// The load skips lines that the lines limit would drop again; the view must
// still end exactly as if every line had been read.
TEST_F(FollowerTest, LoadSkippingOldLinesEndsWithTheSameRows) {
  AppSettings.linesLimit = 5;
  AppSettings.rowLength = 10;
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += "line " + std::to_string(i) + "\n";
  bytes += "a wrapped line of thirty chars\n\nlast\npartial";
  WriteBytes(path, bytes);
  Open(path);
  Poll();
  // 30 characters: three rows, then the empty row of an exact multiple
  EXPECT_EQ(Rows(), (RowList{L"line of th", L"irty chars", L"", L"", L"last"}));
  AppendBytes(path, " done\n");
  Poll();
  RowList rows = Rows();
  EXPECT_EQ(RowList(rows.end() - 2, rows.end()), (RowList{L"partial do", L"ne"}));

  AppSettings.cutEmpty = 1;  // blank rows vanish: nothing may be skipped then
  WriteBytes(path, "keep 1\nkeep 2\n\n\n\n\n\n\n\n\n\n\n");
  LoadFile();
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"keep 1", L"keep 2", L""}));
}

TEST_F(FollowerTest, StartOfLastLinesCountsWholeUnits) {
  WriteBytes(path, std::string("\xFF\xFE" "a\0\n\0b\0\n\0c\0\n\0", 14));
  Open(path);
  HANDLE handle = FollowedFileHandle();
  EXPECT_EQ(StartOfLastLines(handle, 2, 14, kCharsetUtf16Le, 2), 6u);
  EXPECT_EQ(StartOfLastLines(handle, 2, 14, kCharsetUtf16Le, 3), 2u);
  EXPECT_EQ(StartOfLastLines(handle, 2, 14, kCharsetUtf16Le, 1), 10u);
}

TEST_F(FollowerTest, LargeTrimRebuildsTheViewWithTheSameRows) {
  AppSettings.linesLimit = 100;
  std::string first;
  for (int i = 0; i < 100; ++i) first += "old " + std::to_string(i) + "\n";
  WriteBytes(path, first);
  Open(path);
  Poll();
  ASSERT_EQ(Rows().size(), 100u);
  std::string next;
  for (int i = 0; i < 90; ++i) next += "new " + std::to_string(i) + "\n";
  AppendBytes(path, next);
  Poll();
  RowList rows = Rows();
  ASSERT_EQ(rows.size(), 100u);
  EXPECT_EQ(rows[0], L"old 90");
  EXPECT_EQ(rows[9], L"old 99");
  EXPECT_EQ(rows[10], L"new 0");
  EXPECT_EQ(rows[99], L"new 89");
}

TEST(FullPathOf, LongPathForms) {
  wchar_t out[kPathUnits];
  ASSERT_TRUE(FullPathOf(L"\\\\server\\share\\x.log", out, kPathUnits));
  EXPECT_STREQ(out, L"\\\\?\\UNC\\server\\share\\x.log");
  ASSERT_TRUE(FullPathOf(L"C:\\logs\\..\\a.log", out, kPathUnits));
  EXPECT_STREQ(out, L"\\\\?\\C:\\a.log");
  ASSERT_TRUE(FullPathOf(L"\\\\?\\C:\\as\\is", out, kPathUnits));
  EXPECT_STREQ(out, L"\\\\?\\C:\\as\\is");
  std::wstring tooLong = L"C:\\" + std::wstring(kPathUnits, L'a');
  EXPECT_FALSE(FullPathOf(tooLong.c_str(), out, kPathUnits));
}

TEST_F(FollowerTest, LargeTailWithoutLineFeedsLoadsPromptly) {
  // Scanning one byte per read here would keep the window busy for minutes.
  AppSettings.kbLimit = 16384;
  std::string bytes(40u << 20, 'q');
  bytes += "\nlast\n";
  WriteBytes(path, bytes);
  Open(path);
  Poll();
  EXPECT_EQ(Rows(), (RowList{L"last"}));
}

}  // namespace
