#include "engine/properties.h"

#include "commands/bookmark_commands.h"
#include "core/charset.h"
#include "core/stored_values.h"
#include "engine/charset.h"
#include "engine/file_bookmarks.h"
#include "test_support.h"

namespace {

constexpr FILETIME kLongAgo{0xD53E8000, 0x01D5B0A8};  // early 2020

std::wstring Stored(const wchar_t* section) {  // its keys, each followed by a space
  wchar_t keys[512];
  std::wstring text(keys, GetPrivateProfileSectionW(section, keys, 512, PropertiesStreamPath()));
  for (wchar_t& c : text) c = c ? c : L' ';
  return text;
}

std::wstring Frame(HWND window) {  // as Stored() shows a placement
  RECT r{};
  GetWindowRect(window, &r);
  return L"X=" + std::to_wstring(r.left) + L" Y=" + std::to_wstring(r.top) + L" Width=" +
         std::to_wstring(r.right - r.left) + L" Height=" + std::to_wstring(r.bottom - r.top) + L" ";
}

// The real main window following a file last written long ago.
struct PropertiesTest : HostedTest {
  void SetUp() override {
    HostedTest::SetUp();
    SetStoredCharsetReader(ReadStoredCharsetName);
    WriteBytes(path, std::string("\0h\0i\0\n", 6));
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &kLongAgo);
    CloseHandle(file);
    ASSERT_TRUE(OpenFile(path.c_str()));
  }
  void TearDown() override { SetStoredCharsetReader(nullptr); HostedTest::TearDown(); }
};

TEST_F(PropertiesTest, ChosenCharsetIsStoredBesideTheFileAndDecidesTheNextLoad) {
  ChooseCharset(1307);
  EXPECT_EQ(Stored(L"Format"), L"Charset=UCS-2BE ");
  FollowedCharset() = CharsetState{};  // only the stream can tell the next load
  LoadFile();
  PollFile();
  EXPECT_EQ(ListRows(engineHost.view), std::vector<std::wstring>{L"hi"});
}

// Saved with the log's time kept, then applied as far as the screen allows.
TEST_F(PropertiesTest, PlacementIsSavedWithTheLogTimeAndApplied) {
  MoveWindow(window, 100, 50, 800, 600, FALSE);
  ShowWindow(window, SW_SHOWMAXIMIZED);
  const std::wstring maximized = Frame(window);
  struct Case { int show; std::wstring stored; } cases[] = {
      {SW_SHOWNORMAL, L"X=100 Y=50 Width=800 Height=600 "},
      {SW_SHOWMINNOACTIVE, L"X=100 Y=50 Width=800 Height=600 Minimized=1 "},  // keeps the last place
      {SW_SHOWMAXIMIZED, maximized + L"Maximized=1 "}, {SW_SHOWMINNOACTIVE, maximized + L"Minimized=1 "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.show);
    ShowWindow(window, c.show);
    SaveWindowPlacement(window, FollowedFileHandle());
    EXPECT_EQ(Stored(L"Position"), c.stored);
    // Restoring the log's time opens the stream to set it, so the stream has it.
    WIN32_FILE_ATTRIBUTE_DATA stream{};
    GetFileAttributesExW(PropertiesStreamPath(), GetFileExInfoStandard, &stream);
    EXPECT_EQ(CompareFileTime(&stream.ftLastWriteTime, &kLongAgo), 0);
  }
  ShowWindow(window, SW_SHOWNORMAL);
  const std::wstring kept = L"X=10 Y=10 Width=640 Height=400 ", placed = L"X=120 Y=80 Width=700 Height=300 ";
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  struct Applied { const wchar_t* stored; int show; std::wstring frame; } applied[] = {  // keys, NUL-separated
      {L"X=120\0Y=80\0Width=700\0Height=300\0", SW_SHOWNORMAL, placed},
      {L"X=120\0Y=80\0Width=0\0Height=300\0", SW_SHOWNORMAL, kept},  // a width of 0 moves nothing
      {L"X=120\0Y=80\0Width=700\0Height=300\0Minimized=1\0", SW_SHOWMINNOACTIVE, placed},
      {L"X=120\0Y=80\0Width=700\0Height=300\0Maximized=1\0", SW_SHOWMAXIMIZED, kept},
      // Off the only monitor: moved into the corner of its work area.
      {L"X=-20000\0Y=-9000\0Width=640\0Height=480\0", SW_SHOWNORMAL, L"X=0 Y=0 Width=640 Height=480 "},
      // X + Width past the largest coordinate did not wrap around to the far left.
      {L"X=2147483600\0Y=-9000\0Width=600\0Height=300\0", SW_SHOWNORMAL,
       L"X=" + std::to_wstring(work.right - 600) + L" Y=0 Width=600 Height=300 "}};
  for (const Applied& c : applied) {
    SCOPED_TRACE(&c - applied);
    MoveWindow(window, 10, 10, 640, 400, FALSE);
    WritePrivateProfileSectionW(L"Position", c.stored, PropertiesStreamPath());
    EXPECT_EQ(ApplyWindowPlacement(window, SW_SHOWNORMAL), c.show);
    EXPECT_EQ(Frame(window), c.frame);
  }
}

// A view of several files keeps its placement and filters in its first file's stream, under sections named by the other
// files: the first file alone keeps its own, and the same set opened again finds what it was left with.
TEST_F(PropertiesTest, AViewOfSeveralFilesKeepsItsPlacementAndFiltersApart) {
  std::wstring other = directory + L"\\other.log";
  WriteBytes(other, "b\n");
  LineFilters own{}, set{};
  own.count = set.count = 1;
  own.items[0].pattern[0] = u'h', set.items[0].pattern[0] = u'b';
  WriteStoredFilters(own);
  MoveWindow(window, 100, 50, 800, 600, FALSE);
  SaveWindowPlacement(window, FollowedFileHandle());
  auto sections = [] {  // the stream's section names, each followed by a space
    wchar_t names[1024];
    std::wstring text(names, GetPrivateProfileSectionNamesW(names, 1024, PropertiesStreamPath()));
    for (wchar_t& c : text) c = c ? c : L' ';
    return text;
  };
  const wchar_t* names[] = {path.c_str(), other.c_str()};
  ASSERT_TRUE(OpenFiles(names, 2));
  EXPECT_EQ(CurrentLineFilters().count, 1);  // the first file's, until the view has its own
  WriteStoredFilters(set);
  MoveWindow(window, 120, 80, 700, 300, FALSE);
  SaveWindowPlacement(window, FollowedFileHandle());
  std::wstring all = sections();
  size_t scoped = all.rfind(L"Filters ");  // after the file's own
  ASSERT_NE(scoped, std::wstring::npos) << all;
  std::wstring scope = all.substr(scoped + 8, 16);
  EXPECT_EQ(Stored((L"Position " + scope).c_str()), L"X=120 Y=80 Width=700 Height=300 ");
  EXPECT_EQ(Stored(L"Position"), L"X=100 Y=50 Width=800 Height=600 ");
  ASSERT_TRUE(OpenFile(path.c_str()));
  EXPECT_EQ(CurrentLineFilters().items[0].pattern[0], u'h');
  ASSERT_TRUE(OpenFiles(names, 2));
  EXPECT_EQ(CurrentLineFilters().items[0].pattern[0], u'b');
  MoveWindow(window, 10, 10, 640, 400, FALSE);
  ApplyWindowPlacement(window, SW_SHOWNORMAL);
  EXPECT_EQ(Frame(window), L"X=120 Y=80 Width=700 Height=300 ");
}

// Sixteen filters at most are read back, whatever else the section holds.
TEST_F(PropertiesTest, AtMostSixteenStoredFiltersAreReadBack) {
  std::wstring block;
  for (int key = 0; key <= kMaxFilters; ++key) block += std::to_wstring(key) + L"=s|p" + std::to_wstring(key) + L'\0';
  ASSERT_TRUE(WritePrivateProfileSectionW(L"Filters", (block + L'\0').c_str(), PropertiesStreamPath()));
  LineFilters read{};
  ReadStoredFilters(&read);
  ASSERT_EQ(read.count, kMaxFilters);
  EXPECT_EQ(std::u16string(read.items[kMaxFilters - 1].pattern), u"p15");
}

// A section read whole gives each key's value as the system's read of that key alone does: blanks, quotes (a pair
// of like ones), a key written otherwise, a key twice, other keys between.
TEST(StoredSection, ValuesAsTheSystemReadsThemKeyByKey) {
  std::wstring directory = MakeTempDirectory(), ini = directory + L"\\section.ini";
  WriteBytes(ini, "[Filters]\r\n 0 = \"s|a b \"  \r\n1='h|x'\r\n01=s|no\r\nx=y\r\n2=\"s|unmatched\r\n2=s|second\r\n"
                  "3=\r\n4=  s|trim  \r\n5=\"\"\r\n6=\"'\r\n7=\"\r\n[Other]\r\n8=s|elsewhere\r\n");
  wchar_t block[1024];
  DWORD units = GetPrivateProfileSectionW(L"Filters", block, 1024, ini.c_str());
  for (uint32_t key = 0; key <= 9; ++key) {
    wchar_t name[4], alone[256];
    swprintf(name, 4, L"%u", key);
    DWORD length = GetPrivateProfileStringW(L"Filters", name, L"", alone, 256, ini.c_str());
    const TextUnit* value = nullptr;
    size_t valueLength = 0;
    bool found = StoredSectionValue(AsText(block), units, key, &value, &valueLength);
    EXPECT_EQ(found ? std::wstring(AsWide(value), valueLength) : L"", std::wstring(alone, length)) << key;
  }
  RemoveDirectoryTree(directory);
}

// Bookmarks: written as they change with the log's time kept, back after a restart, checked against the file on
// open (the ones that no longer match go, and the stream with them), at most 1,000, and gone with a truncation.
TEST_F(PropertiesTest, BookmarksAreKeptBesideTheFileCheckedOnOpenAndGoWithTheirLines) {
  std::string text = NumberedLines(0, 1100);
  auto value = [&](size_t line) {  // "offset|hash" of a line
    size_t offset = line ? NumberedLines(0, int(line)).size() : 0;
    wchar_t stored[64];
    swprintf(stored, 64, L"%zu|%016llx", offset, (unsigned long long)LineHeadHash(
        reinterpret_cast<const uint8_t*>(text.data()) + offset, text.size() - offset, kCharsetUtf8));
    return std::wstring(stored);
  };
  auto reopen = [&] {
    CloseFile();
    ASSERT_TRUE(OpenFile(path.c_str()));
    while (PollFile(), PollContinues()) {}
  };
  auto keys = [&](std::vector<size_t> lines) {  // as Stored() shows them
    std::wstring shown;
    for (size_t i = 0; i < lines.size(); ++i) shown += std::to_wstring(i) + L"=" + value(lines[i]) + L" ";
    return shown;
  };
  WriteBytes(path, text);
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, nullptr, nullptr, &kLongAgo), CloseHandle(file);
  reopen();
  size_t firstLine = 1100 - ListRows(engineHost.view).size();
  ToggleBookmarkOfRow(3), ToggleBookmarkOfRow(1);
  EXPECT_EQ(Stored(L"Bookmarks"), keys({firstLine + 1, firstLine + 3}));
  WIN32_FILE_ATTRIBUTE_DATA stream{};
  GetFileAttributesExW(PropertiesStreamPath(), GetFileExInfoStandard, &stream);
  EXPECT_EQ(CompareFileTime(&stream.ftLastWriteTime, &kLongAgo), 0);
  reopen();
  EXPECT_EQ(FileBookmarks().items.size(), 2u);
  EXPECT_TRUE(ViewLineBookmarked(ViewRowPlace(1)) && ViewLineBookmarked(ViewRowPlace(3)) && !ViewLineBookmarked(ViewRowPlace(2)));
  // Not a line start, another line's bytes, a line start again, no bookmark, a number past 64 bits.
  std::wstring kept = value(1050), moved = value(1051), section = L"0=" + value(1049).replace(0, 4, L"7001") + L'\0' +
      L"1=" + moved.replace(0, moved.find(L'|'), std::to_wstring(NumberedLines(0, 1052).size())) + L'\0' + L"2=" + kept +
      L'\0' + L"3=junk\0" + L"4=99999999999999999999999|0\0";
  WritePrivateProfileSectionW(L"Bookmarks", section.c_str(), PropertiesStreamPath());
  reopen();
  EXPECT_EQ(Stored(L"Bookmarks"), keys({1050}));
  section.clear();
  for (size_t line = 0; line < 1000; ++line) section += std::to_wstring(line) + L"=" + value(line) + L'\0';
  WritePrivateProfileSectionW(L"Bookmarks", section.c_str(), PropertiesStreamPath());
  reopen();
  EXPECT_EQ(FileBookmarks().items.size(), 1000u);
  ToggleBookmarkOfRow(int(1050 - firstLine));  // the 1,001st
  EXPECT_EQ(FileBookmarks().items.size(), 1000u);
  WriteBytes(path, "cut\n");
  while (PollFile(), PollContinues()) {}
  EXPECT_EQ(FileBookmarks().items.size() + Stored(L"Bookmarks").size(), 0u);
}

}  // namespace
