#include "engine/properties.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "test_support.h"

namespace {

FILETIME LastWriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

void SetLastWriteTime(const std::wstring& path, FILETIME time) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
}

bool SameTime(FILETIME a, FILETIME b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

std::wstring StreamValue(const wchar_t* section, const wchar_t* key) {
  wchar_t value[64];
  GetPrivateProfileStringW(section, key, L"<none>", value, 64, PropertiesStreamPath());
  return value;
}

struct PropertiesTest : testing::Test {
  std::wstring directory;
  std::wstring path;
  HWND window = nullptr;

  void SetUp() override {
    window = StartHostedEngine();
    ASSERT_NE(window, nullptr);
    SetStoredCharsetReader(ReadStoredCharsetName);
    directory = MakeTempDirectory();
    path = directory + L"\\placed.log";
    WriteBytes(path, "a log line\n");
    FILETIME old{0xD53E8000, 0x01D5B0A8};  // early 2020
    SetLastWriteTime(path, old);
    ASSERT_TRUE(OpenFile(path.c_str()));
  }
  void TearDown() override {
    SetStoredCharsetReader(nullptr);
    StopHostedEngine(window);
    RemoveDirectoryTree(directory);
  }
};

TEST_F(PropertiesTest, StreamSitsBesideTheFileContent) {
  std::wstring stream = PropertiesStreamPath();
  EXPECT_EQ(stream, std::wstring(FollowedPath()) + L":Kavex.Quillon.Properties");
  WriteStoredCharsetName(L"UCS-2BE");
  wchar_t name[64];
  ASSERT_TRUE(ReadStoredCharsetName(name, 64));
  EXPECT_STREQ(name, L"UCS-2BE");
  EXPECT_EQ(ReadBytes(path), "a log line\n");
}

TEST_F(PropertiesTest, StoredCharsetDecidesTheNextLoad) {
  WriteBytes(path, std::string("\0h\0i\0\n", 6));
  WriteStoredCharsetName(L"UCS-2BE");
  LoadFile();
  PollFile();
  EXPECT_EQ(charsetState.active, kCharsetUtf16Be);
  EXPECT_EQ(ListRows(engineHost.view), (std::vector<std::wstring>{L"hi"}));
}

TEST_F(PropertiesTest, ChosenCharsetIsRememberedForTheFile) {
  ChooseCharset(1307);
  EXPECT_EQ(StreamValue(L"Format", L"Charset"), L"UCS-2BE");
  ChooseCharset(1302);
  EXPECT_EQ(StreamValue(L"Format", L"Charset"), L"UTF-8");
}

TEST_F(PropertiesTest, PlacementIsSavedWithoutTouchingTheLogTime) {
  FILETIME before = LastWriteTime(path);
  ShowWindow(window, SW_SHOWNORMAL);
  MoveWindow(window, 100, 50, 800, 600, FALSE);
  SaveWindowPlacement(window, FollowedFileHandle());
  EXPECT_EQ(StreamValue(L"Position", L"X"), L"100");
  EXPECT_EQ(StreamValue(L"Position", L"Y"), L"50");
  EXPECT_EQ(StreamValue(L"Position", L"Width"), L"800");
  EXPECT_EQ(StreamValue(L"Position", L"Height"), L"600");
  EXPECT_EQ(StreamValue(L"Position", L"Maximized"), L"<none>");
  EXPECT_EQ(StreamValue(L"Position", L"Minimized"), L"<none>");
  EXPECT_TRUE(SameTime(LastWriteTime(path), before));

  ShowWindow(window, SW_SHOWMINNOACTIVE);
  SaveWindowPlacement(window, FollowedFileHandle());
  EXPECT_EQ(StreamValue(L"Position", L"X"), L"100");  // a minimized window keeps its place
  EXPECT_EQ(StreamValue(L"Position", L"Minimized"), L"1");
  EXPECT_TRUE(SameTime(LastWriteTime(path), before));
}

TEST_F(PropertiesTest, StoredPlacementIsApplied) {
  WritePrivateProfileStringW(L"Position", L"X", L"120", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Position", L"Y", L"80", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Position", L"Width", L"700", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Position", L"Height", L"300", PropertiesStreamPath());
  EXPECT_EQ(ApplyWindowPlacement(window, SW_SHOWNORMAL), SW_SHOWNORMAL);
  RECT frame;
  GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, 120);
  EXPECT_EQ(frame.top, 80);
  EXPECT_EQ(frame.right - frame.left, 700);

  WritePrivateProfileStringW(L"Position", L"Width", L"0", PropertiesStreamPath());
  MoveWindow(window, 10, 10, 640, 400, FALSE);
  ApplyWindowPlacement(window, SW_SHOWNORMAL);
  GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, 10);

  WritePrivateProfileStringW(L"Position", L"Minimized", L"1", PropertiesStreamPath());
  EXPECT_EQ(ApplyWindowPlacement(window, SW_SHOWNORMAL), SW_SHOWMINNOACTIVE);
  WritePrivateProfileStringW(L"Position", L"Maximized", L"1", PropertiesStreamPath());
  EXPECT_EQ(ApplyWindowPlacement(window, SW_SHOWNORMAL), SW_SHOWMAXIMIZED);
}

TEST_F(PropertiesTest, PlacementOffEveryMonitorComesBackIntoView) {
  WritePrivateProfileStringW(L"Position", L"X", L"-20000", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Position", L"Y", L"30000", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Position", L"Width", L"640", PropertiesStreamPath());
  WritePrivateProfileStringW(L"Position", L"Height", L"480", PropertiesStreamPath());
  ApplyWindowPlacement(window, SW_SHOWNORMAL);
  RECT frame;
  GetWindowRect(window, &frame);
  EXPECT_NE(MonitorFromRect(&frame, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(frame.right - frame.left, 640);
}

TEST(KeepOnMonitor, MovesOnlyWindowsThatAreNowhere) {
  RECT work{0, 0, 1280, 770};
  RECT visible{100, 100, 900, 700};
  RECT kept = KeepOnMonitor(visible, true, work);
  EXPECT_EQ(kept.left, 100);
  RECT lost{5000, -3000, 5800, -2400};
  kept = KeepOnMonitor(lost, false, work);
  EXPECT_EQ(kept.left, 480);
  EXPECT_EQ(kept.top, 0);
  EXPECT_EQ(kept.right - kept.left, 800);
  RECT huge{-9000, -9000, 9000, 9000};
  kept = KeepOnMonitor(huge, false, work);
  EXPECT_EQ(kept.left, 0);
  EXPECT_EQ(kept.bottom, 770);
}

}  // namespace
