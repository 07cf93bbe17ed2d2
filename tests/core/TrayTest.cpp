// The tray icon: the records handed to the shell and when they are sent.
#include "common/ControlIds.h"
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
  os.trayBusyCalls = 1000;
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  EXPECT_TRUE(os.TimerActive(Main(), kTimer3));
  EXPECT_EQ(os.trayCalls.size(), 2u);  // the add, and the modify that tells it is not there
  EXPECT_TRUE(os.boxes.empty());
}

// At logon the shell may be too busy to take the icon, and no TaskbarCreated
// follows: the poll tick adds it again once a second until the shell has it
// (an add that timed out may have landed: a modify that succeeds tells),
// with the time source of that moment, and then leaves the shell alone.
struct BusyShell {
  const char* name;
  bool receiver;
  int busyCalls;
  bool addsLand;
};

void PrintTo(const BusyShell& shell, std::ostream* out) {
  *out << shell.name;
}

class TrayRetry : public CoreFixture, public ::testing::WithParamInterface<BusyShell> {};

TEST_P(TrayRetry, AnIconTheShellDidNotTakeIsAddedOnceASecondUntilItIsThere) {
  const BusyShell& c = GetParam();
  os.trayBusyCalls = c.busyCalls;
  os.trayBusyAddsLand = c.addsLand;
  if (c.receiver) UseReceiver();
  ASSERT_TRUE(StartProgram());
  std::vector<int64_t> triesAtMs = {0};
  while (os.trayBusyCalls > 0 && os.TickUs() < 10000000) {
    const size_t before = os.trayCalls.size();
    os.RunFor(50);
    if (os.trayCalls.size() > before) triesAtMs.push_back(os.TickUs() / 1000);
  }
  for (size_t i = 1; i < triesAtMs.size(); ++i)
    EXPECT_GE(triesAtMs[i] - triesAtMs[i - 1], 950) << "at most one try a second";
  os.RunFor(8000);  // the receiver's DCF77 time has come
  const size_t calls = os.trayCalls.size();
  os.RunFor(20000);
  EXPECT_EQ(os.trayCalls.size(), calls) << "the icon is there: the shell is left alone";
  const int source = c.receiver ? 2 : 0;
  EXPECT_EQ(Main().FTraySource, source);
  ASSERT_EQ(os.trayIcons.size(), 1u);
  EXPECT_EQ(os.trayIcons.begin()->second,
            AddRecord(os.WindowHandleValue(Main()), 1,
                      os.IconHandleOf(source ? "IMAGEDCF" : "IMAGEPC"), TrayTip(source)));
}

INSTANTIATE_TEST_SUITE_P(Logon, TrayRetry,
                         ::testing::Values(BusyShell{"FourFailedTries", true, 8, false},
                                           BusyShell{"AnAddThatLanded", true, 1, true},
                                           BusyShell{"AnAddThatLandedUnconfirmed", true, 3, true},
                                           BusyShell{"WithoutTheLibrary", false, 6, false}),
                         [](const ::testing::TestParamInfo<BusyShell>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(Tray, ARestartedShellGetsTheIconBackWithTheCurrentPicture) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  const uint32_t taskbarCreated = os.RegisterWindowMessage("TaskbarCreated");
  Main().FTraySource = 2;  // DCF77 time shown when the shell went away
  os.trayIcons.clear();
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
  os.RunFor(3000);  // the session may still end: the icon stays away
  EXPECT_EQ(os.trayCalls.size(), 2u);
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
