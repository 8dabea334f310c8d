#include "commands/open_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "command_fixture.h"
#include "engine/file_follower.h"
#include "resources/resource_ids.h"
#include "shell/startup.h"

namespace {

struct CommandOpenDialogTest : CommandFixture {};

TEST_F(CommandOpenDialogTest, FilterListsLogFilesThenAllFiles) {
  const wchar_t* filter = OpenDialogFilter();
  const wchar_t expected[] = L"Log files (*.log)\0*.log\0All files\0*.*\0";
  EXPECT_EQ(std::wstring(filter, sizeof expected / sizeof *expected),
            std::wstring(expected, sizeof expected / sizeof *expected));
}

TEST_F(CommandOpenDialogTest, ExplorerRecord) {
  wchar_t name[kPathUnits];
  name[0] = L'x';
  OPENFILENAMEW dialog;
  PrepareOpenDialog(window, &dialog, name, 6, false);
  EXPECT_EQ(dialog.lStructSize, sizeof dialog);
  EXPECT_EQ(dialog.hwndOwner, window);
  EXPECT_EQ(dialog.lpstrFilter, OpenDialogFilter());
  EXPECT_EQ(dialog.nFilterIndex, 1u);
  EXPECT_EQ(dialog.lpstrFile, name);
  EXPECT_EQ(name[0], 0);
  EXPECT_EQ(dialog.nMaxFile, 32768u);
  EXPECT_STREQ(dialog.lpstrDefExt, L"log");
  EXPECT_EQ(dialog.Flags,
            DWORD(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER));
  EXPECT_EQ(dialog.lpfnHook, nullptr);

  PrepareOpenDialog(window, &dialog, name, 4, false);
  EXPECT_EQ(dialog.lStructSize, DWORD(OPENFILENAME_SIZE_VERSION_400W));
}

TEST_F(CommandOpenDialogTest, ServerCoreGetsTheOlderDialogWithoutNetworkButton) {
  wchar_t name[kPathUnits];
  OPENFILENAMEW dialog;
  PrepareOpenDialog(window, &dialog, name, 6, true);
  EXPECT_EQ(dialog.Flags, DWORD(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLESIZING |
                                OFN_NONETWORKBUTTON | OFN_ENABLEHOOK));
  ASSERT_NE(dialog.lpfnHook, nullptr);
  EXPECT_EQ(dialog.lpfnHook(window, WM_INITDIALOG, 0, 0), 0u);

  for (DWORD type : {12u, 13u, 14u, 29u, 39u, 40u, 41u, 42u}) EXPECT_TRUE(IsServerCoreProduct(type)) << type;
  for (DWORD type : {0u, 1u, 7u, 11u, 15u, 28u, 30u, 38u, 43u, 48u}) EXPECT_FALSE(IsServerCoreProduct(type)) << type;
}

TEST_F(CommandOpenDialogTest, DialogLeavesNoCentringFlagBehind) {
  Run(IDM_FILE_OPEN);
  EXPECT_GE(refusedDialogs, 1);
  EXPECT_FALSE(FileIsOpen());
  EXPECT_FALSE(centerNextDialog);
  EXPECT_TRUE(shownErrors.empty());
}

}  // namespace
