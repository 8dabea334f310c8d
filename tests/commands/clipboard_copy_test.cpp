#include "commands/clipboard_copy.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "command_fixture.h"
#include "engine/engine_host.h"
#include "resources/resource_ids.h"
#include "shell/settings.h"

namespace {

struct CopyTest : CommandFixture {
  void SetUp() override {
    CommandFixture::SetUp();
    AppSettings.cutEmpty = 0;
  }

  void Select(std::initializer_list<int> rows) {
    SendMessageW(engineHost.view, LB_SETSEL, FALSE, -1);
    for (int row : rows) SendMessageW(engineHost.view, LB_SETSEL, TRUE, row);
  }

  static void PutOnClipboard(const wchar_t* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
  }

  // The clipboard's Unicode text, or "<none>".
  static std::wstring ClipboardText() {
    if (!OpenClipboard(nullptr)) return L"<busy>";
    std::wstring text = L"<none>";
    if (HANDLE memory = GetClipboardData(CF_UNICODETEXT)) {
      if (auto* units = static_cast<const wchar_t*>(GlobalLock(memory))) {
        text = units;
        GlobalUnlock(memory);
      }
    }
    CloseClipboard();
    return text;
  }
};

TEST_F(CopyTest, SelectedRowsEachEndWithCrLf) {
  OpenLog(PathOf(L"copy.log"), "a\n\nb\n");
  const struct {
    std::initializer_list<int> rows;
    const wchar_t* text;
  } cases[] = {
      {{0, 1, 2}, L"a\r\n\r\nb\r\n"},
      {{0, 2}, L"a\r\nb\r\n"},
      {{1}, L"\r\n"},
      {{2}, L"b\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    Select(c.rows);
    Run(IDM_COPY);
    EXPECT_EQ(ClipboardText(), c.text);
  }
  EXPECT_TRUE(shownErrors.empty());
}

TEST_F(CopyTest, NothingSelectedLeavesTheClipboardEmpty) {
  OpenLog(PathOf(L"copy.log"), "a\nb\n");
  PutOnClipboard(L"earlier");
  Select({});
  Run(IDM_COPY);
  EXPECT_EQ(ClipboardText(), L"<none>");
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_EQ(CountClipboardFormats(), 0);
  CloseClipboard();
}

TEST_F(CopyTest, WithoutAFileTheClipboardIsLeftAlone) {
  AddRows({L"a"});
  SendMessageW(engineHost.view, LB_SETSEL, TRUE, 0);
  PutOnClipboard(L"earlier");
  Run(IDM_COPY);
  EXPECT_EQ(ClipboardText(), L"earlier");
}

TEST_F(CopyTest, LongestRowsCopyWhole) {
  AppSettings.wrapLines = 0;
  std::string row(4000, 'w');
  OpenLog(PathOf(L"wide.log"), row + "\n" + row + "\n");
  Select({0, 1});
  Run(IDM_COPY);
  std::wstring wide(row.begin(), row.end());
  EXPECT_EQ(ClipboardText(), wide + L"\r\n" + wide + L"\r\n");
}

}  // namespace
