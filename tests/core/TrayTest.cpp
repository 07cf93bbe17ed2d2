// The tray icon: the records handed to the shell and when they are sent.
#include "app/ControlIds.h"
#include "desktop/TBProcs.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {
namespace {

std::string Tip(const NotifyIconRecord& r) { return r.tip.data(); }

// Handles wider than 32 bits where the build has them: none may be narrowed.
constexpr HandleValue kWindow = static_cast<HandleValue>(0x7FFE00001234ull);
constexpr HandleValue kIcon = static_cast<HandleValue>(0x7FFD0000ABCDull);

TEST(TrayRecords, AddModifyAndDeleteFillTheirFieldsOnly) {
  const NotifyIconRecord add = AddRecord(kWindow, 1, kIcon, "No Radio Clock Time available");
  EXPECT_EQ(add.window, kWindow);
  EXPECT_EQ(add.id, 1u);
  EXPECT_EQ(add.flags, 7u);
  EXPECT_EQ(add.callbackMessage, 2024u);
  EXPECT_EQ(add.icon, kIcon);
  EXPECT_EQ(Tip(add), "No Radio Clock Time available");

  const NotifyIconRecord modify = ModifyRecord(kWindow, 0xFFFF, 0x77, "DCF77 Time");
  EXPECT_EQ(modify.id, 0xFFFFu);  // the 16-bit id zero-extended
  EXPECT_EQ(modify.flags, 6u);
  EXPECT_EQ(modify.callbackMessage, 0u);  // the callback stays as registered
  EXPECT_EQ(modify.icon, 0x77u);
  EXPECT_EQ(Tip(modify), "DCF77 Time");

  NotifyIconRecord expected;
  expected.window = kWindow;
  expected.id = 1;
  EXPECT_EQ(DeleteRecord(kWindow, 1), expected) << "size, window and id only";
}

TEST(TrayRecords, TipsAreCopiedWholeUpToSixtyThreeCharacters) {
  EXPECT_EQ(AddRecord(1, 1, 1, "").tip[0], 0);
  EXPECT_EQ(AddRecord(1, 1, 1, "").flags, 7u);  // icon and tip still valid
  const std::string tip63(63, 'x');
  const NotifyIconRecord full = ModifyRecord(1, 1, 1, tip63);
  EXPECT_EQ(Tip(full), tip63);
  EXPECT_EQ(full.tip[63], 0);
  // Never passed by the program; a longer tip is cut, not overrun.
  EXPECT_EQ(Tip(ModifyRecord(1, 1, 1, std::string(80, 'y'))), std::string(63, 'y'));
}

using Tray = CoreFixture;

TEST_F(Tray, AddedAtStartWithThePcPictureAndDeletedAfterSaving) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  const HandleValue window = os.WindowHandleValue(Main());
  ASSERT_EQ(os.trayCalls.size(), 1u);
  EXPECT_EQ(os.trayCalls[0].operation, kNimAdd);
  EXPECT_EQ(os.trayCalls[0].record,
            AddRecord(window, 1, os.IconHandleOf("IMAGEPC"), "No Radio Clock Time available"));
  EXPECT_EQ(Main().FTraySource, 0);

  const size_t writesBefore = os.profileWrites.size();
  Main().SpeedButtonTerminate.UserClick();
  ASSERT_EQ(os.trayCalls.size(), 2u);
  EXPECT_EQ(os.trayCalls[1].operation, kNimDelete);
  EXPECT_EQ(os.trayCalls[1].record, DeleteRecord(window, 1));
  EXPECT_GT(os.profileWrites.size(), writesBefore);  // saved first
}

TEST_F(Tray, AFailedAddIsIgnored) {
  os.trayResult = false;
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  EXPECT_TRUE(os.TimerActive(Main(), kTimer3));
  EXPECT_EQ(os.trayCalls.size(), 1u);
}

TEST_F(Tray, ARestartedShellGetsTheIconBackWithTheCurrentPicture) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  const uint32_t taskbarCreated = os.RegisterWindowMessage("TaskbarCreated");
  Main().FTraySource = 2;  // DCF77 time shown when the shell went away
  intptr_t result = 0;
  EXPECT_TRUE(Main().DispatchMessage(taskbarCreated, 0, 0, result));
  ASSERT_EQ(os.trayCalls.size(), 2u);
  EXPECT_EQ(os.trayCalls[1].operation, kNimAdd);
  EXPECT_EQ(os.trayCalls[1].record,
            AddRecord(os.WindowHandleValue(Main()), 1, os.IconHandleOf("IMAGEDCF"), "DCF77 Time"));
}

TEST_F(Tray, ACancelledEndOfSessionBringsTheIconBack) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  EXPECT_TRUE(Main().QueryEndSession());  // saves and deletes the icon
  ASSERT_EQ(os.trayCalls.size(), 2u);
  EXPECT_EQ(os.trayCalls[1].operation, kNimDelete);
  intptr_t result = 0;
  Main().DispatchMessage(kWmEndSession, 0, 0, result);  // another program cancelled it
  ASSERT_EQ(os.trayCalls.size(), 3u);
  EXPECT_EQ(os.trayCalls[2].operation, kNimAdd);
  // Nothing is added twice.
  Main().DispatchMessage(kWmEndSession, 0, 0, result);
  EXPECT_EQ(os.trayCalls.size(), 3u);
}

TEST_F(Tray, WithoutAnIconNeitherMessageAddsOne) {
  os.startupPlatformId = kPlatformWin32Windows;
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  EXPECT_TRUE(os.trayCalls.empty());
  intptr_t result = 0;
  Main().DispatchMessage(os.RegisterWindowMessage("TaskbarCreated"), 0, 0, result);
  Main().DispatchMessage(kWmEndSession, 0, 0, result);
  EXPECT_TRUE(os.trayCalls.empty());
}

}  // namespace
}  // namespace hv::test
