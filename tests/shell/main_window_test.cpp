#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/charset.h"
#include "engine/engine_host.h"
#include "engine/file_follower.h"
#include "engine/row_builder.h"
#include "shell/settings.h"
#include "test_support.h"

namespace {

struct MainWindowTest : testing::Test {
  std::wstring directory;
  std::wstring path;
  HWND window = nullptr;

  void SetUp() override {
    window = StartHostedEngine();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    SetWindowPos(window, nullptr, 0, 0, 700, 500, SWP_NOZORDER);
    directory = MakeTempDirectory();
    path = directory + L"\\window.log";
    std::string lines;
    for (int i = 0; i < 300; ++i) lines += "row " + std::to_string(i) + "\n";
    WriteBytes(path, lines);
    ASSERT_TRUE(OpenFile(path.c_str()));
    PollFile();
    PumpMessages(0);
  }

  void TearDown() override {
    StopHostedEngine(window);
    RemoveDirectoryTree(directory);
  }

  LRESULT Top() const { return SendMessageW(engineHost.view, LB_GETTOPINDEX, 0, 0); }
};

TEST_F(MainWindowTest, ResizeKeepsTheLastRowInSight) {
  ASSERT_TRUE(LastRowVisible(engineHost.view));
  SetWindowPos(window, nullptr, 0, 0, 500, 260, SWP_NOZORDER | SWP_NOMOVE);
  EXPECT_TRUE(LastRowVisible(engineHost.view));
  SetWindowPos(window, nullptr, 0, 0, 640, 700, SWP_NOZORDER | SWP_NOMOVE);
  EXPECT_TRUE(LastRowVisible(engineHost.view));
}

TEST_F(MainWindowTest, ResizeWhileScrolledUpKeepsThePlace) {
  SendMessageW(engineHost.view, LB_SETTOPINDEX, 10, 0);
  SetWindowPos(window, nullptr, 0, 0, 500, 260, SWP_NOZORDER | SWP_NOMOVE);
  EXPECT_EQ(Top(), 10);
  EXPECT_FALSE(LastRowVisible(engineHost.view));
}

TEST_F(MainWindowTest, DraggingTheThumbHoldsFollowing) {
  SendMessageW(engineHost.view, LB_SETTOPINDEX, 5, 0);
  SendMessageW(engineHost.view, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 5), 0);
  EXPECT_TRUE(SuspendFlag());
  LRESULT top = Top();
  AppendBytes(path, "while dragging\n");
  PollFile();
  EXPECT_EQ(Top(), top);

  SendMessageW(engineHost.view, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
  EXPECT_FALSE(SuspendFlag());
  AppendBytes(path, "released\n");
  PollFile();
  EXPECT_TRUE(LastRowVisible(engineHost.view));
}

TEST_F(MainWindowTest, MinimizedSizeChangesNothing) {
  SendMessageW(engineHost.view, LB_SETTOPINDEX, 3, 0);
  SendMessageW(window, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  EXPECT_EQ(Top(), 3);
}

}  // namespace
