// The tray icon: the records handed to the shell and when they are sent.
#include "app/ControlIds.h"
#include "desktop/TBProcs.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {
namespace {

uint32_t Get32(const NotifyIconRecord& r, size_t offset) {
  return r[offset] | r[offset + 1] << 8 | r[offset + 2] << 16 |
         static_cast<uint32_t>(r[offset + 3]) << 24;
}

std::string Tip(const NotifyIconRecord& r) {
  return std::string(reinterpret_cast<const char*>(r.data() + 24));
}

TEST(TrayRecords, AddModifyAndDeleteFillTheirFieldsOnly) {
  const NotifyIconRecord add = AddRecord(0x1234, 1, 0xABCD, "No Radio Clock Time available");
  EXPECT_EQ(Get32(add, 0), 88u);
  EXPECT_EQ(Get32(add, 4), 0x1234u);
  EXPECT_EQ(Get32(add, 8), 1u);
  EXPECT_EQ(Get32(add, 12), 7u);
  EXPECT_EQ(Get32(add, 16), 2024u);
  EXPECT_EQ(Get32(add, 20), 0xABCDu);
  EXPECT_EQ(Tip(add), "No Radio Clock Time available");

  const NotifyIconRecord modify = ModifyRecord(0x1234, 0xFFFF, 0x77, "DCF77 Time");
  EXPECT_EQ(Get32(modify, 8), 0xFFFFu);  // the 16-bit id zero-extended
  EXPECT_EQ(Get32(modify, 12), 6u);
  EXPECT_EQ(Get32(modify, 16), 0u);  // the callback stays as registered
  EXPECT_EQ(Get32(modify, 20), 0x77u);
  EXPECT_EQ(Tip(modify), "DCF77 Time");

  const NotifyIconRecord remove = DeleteRecord(0x1234, 1);
  EXPECT_EQ(Get32(remove, 0), 88u);
  EXPECT_EQ(Get32(remove, 4), 0x1234u);
  EXPECT_EQ(Get32(remove, 8), 1u);
  for (size_t i = 12; i < remove.size(); ++i) EXPECT_EQ(remove[i], 0) << i;
}

TEST(TrayRecords, TipsAreCopiedWholeUpToSixtyThreeCharacters) {
  EXPECT_EQ(AddRecord(1, 1, 1, "")[24], 0);
  EXPECT_EQ(Get32(AddRecord(1, 1, 1, ""), 12), 7u);  // icon and tip still valid
  const std::string tip63(63, 'x');
  const NotifyIconRecord full = ModifyRecord(1, 1, 1, tip63);
  EXPECT_EQ(Tip(full), tip63);
  EXPECT_EQ(full[87], 0);
  // Never passed by the program; a longer tip is cut, not overrun.
  EXPECT_EQ(Tip(ModifyRecord(1, 1, 1, std::string(80, 'y'))), std::string(63, 'y'));
}

using Tray = CoreFixture;

TEST_F(Tray, AddedAtStartWithThePcPictureAndDeletedAfterSaving) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  const uint32_t window = os.WindowHandleValue(Main());
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
