// The program entry, FormCreate and the small handlers of the main window.
#include "common/ControlIds.h"
#include "config/UnitConfig.h"
#include "tests/core/CoreFixture.h"

namespace hv::test {
namespace {

const char kUnsupported[] =
    "This version of Microsoft Windows is not supported!\rProgram will be terminated.";
const char kPrivilegeWarning[] =
    "Horavia can't actualize the system time!\r"
    "It is necessary, to activate the ability, that system time\r"
    "can be changed under this account (see control panel).\r\r\r"
    "System time will not be synchronized to DCF time!";
const char kFirstRun[] =
    "Automatic summer time adjustment should be turned off\r"
    "in system configuration of windows (control panel).\r"
    "Automatic time adjustment via internet should also be disabled.\r"
    "This application changes system time! For this reason, the user\r"
    "rights must be set, that it is allowed, to do this.";

using Startup = CoreFixture;

// The running instance holds the mutex: started with the same rights, or
// elevated, when this process may not even open it.
TEST_F(Startup, SecondInstanceBeepsShowsTheNoticeAndCreatesNothing) {
  UseReceiver();
  for (const bool elevated : {false, true}) {
    SCOPED_TRACE(elevated ? "elevated instance" : "instance of the same rights");
    os.boxes.clear();
    os.beeps.clear();
    os.mutexes.clear();
    (elevated ? os.deniedMutexes : os.mutexes).insert("Tempiva");
    EXPECT_FALSE(StartProgram());
    ASSERT_EQ(os.boxes.size(), 1u);
    EXPECT_EQ(os.boxes[0].text, "Horavia\ris just running!");
    EXPECT_EQ(os.boxes[0].kind, MessageBoxKind::Information);
    EXPECT_EQ(os.boxes[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(os.beeps, std::vector<uint32_t>{0});
    EXPECT_EQ(app->FormMain, nullptr);
    EXPECT_TRUE(os.realizedForms.empty());
    EXPECT_TRUE(os.loadLibraryCalls.empty());
    EXPECT_TRUE(os.profileReads.empty());
    EXPECT_TRUE(os.profileWrites.empty());
  }
}

TEST_F(Startup, CreatesTheHiddenMainWindowThenTheNoticeWindowWithTheTitleDCF77) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  EXPECT_EQ(os.applicationTitle, "DCF77");
  ASSERT_EQ(os.realizedForms.size(), 2u);
  EXPECT_EQ(os.realizedForms[0], app->FormMain.get());
  EXPECT_EQ(os.realizedForms[1], app->FormLowBat.get());
  EXPECT_NE(app->DataModulePlausibility, nullptr);
  EXPECT_EQ(Main().Caption(), "Horavia");
  EXPECT_FALSE(Main().Visible());
  EXPECT_FALSE(Main().HasSystemMenu());
  EXPECT_FALSE(app->FormLowBat->Visible());
  EXPECT_TRUE(os.boxes.empty());  // the privilege is held, no first run
  // Position and size from the layout: client width of the page control,
  // height to the bottom of the terminate button.
  EXPECT_EQ(Main().Left(), 10);
  EXPECT_EQ(Main().Top(), 10);
  EXPECT_EQ(Main().ClientWidth(), Main().TabbedNotebook1.GetBounds().width);
  const Bounds& b = Main().SpeedButtonTerminate.GetBounds();
  EXPECT_EQ(Main().ClientHeight(), b.top + b.height);
  // The About picture fills its page.
  const Bounds page = Main().TabbedNotebook1.PageClientBounds();
  const Bounds& picture = Main().Image2.GetBounds();
  EXPECT_EQ(picture.left, 0);
  EXPECT_EQ(picture.top, 0);
  EXPECT_EQ(picture.width, page.width);
  EXPECT_EQ(picture.height, page.height);
}

TEST_F(Startup, ComponentsCarryTheirCaptionsItemsAndLimits) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  EXPECT_EQ(f.TabbedNotebook1.Items(),
            (std::vector<std::string>{"Time", "Setup", "Info", "About"}));
  EXPECT_EQ(f.SpeedButtonHide.Text(), "&Close");
  EXPECT_EQ(f.SpeedButtonTerminate.Text(), "&Terminate Program");
  EXPECT_EQ(f.RadioGroupStartup.Text(), " System Time Sync at Startup ");
  EXPECT_EQ(f.RadioGroupStartup.Items(),
            (std::vector<std::string>{"never", "immediately, also with crystal time",
                                      "DCF77 time with defined signal quality"}));
  EXPECT_EQ(f.RadioGroupPeriodical.Text(), " Periodical System Time Sync (each full hour) ");
  EXPECT_EQ(f.RadioGroupPeriodical.Items(),
            (std::vector<std::string>{"never", "also with crystal time",
                                      "DCF time with defined signal quality"}));
  EXPECT_EQ(f.CheckBoxTerminate.Text(),
            "&Terminate program after update (except this dialogue is shown)");
  EXPECT_EQ(f.CheckBoxTone.Text(), "message tone at system time sync");
  EXPECT_EQ(f.LabelQuality.Text(), "neccessary signal quality for system time sync");
  EXPECT_EQ(f.LabelRef.Text(), "system time reference");
  EXPECT_EQ(f.ComboBoxRef.Items(),
            (std::vector<std::string>{"UTC (DCF time w/o summer time -1h)",
                                      "CET (DCF time w/o summer time)", "CE(S)T (DCF time)"}));
  EXPECT_EQ(f.SpinEditQuality.MinValue(), 1);
  EXPECT_EQ(f.SpinEditQuality.MaxValue(), 99);
  EXPECT_EQ(f.ButtonTest.Text(), "Test");
  EXPECT_FALSE(f.ButtonTest.Visible());
  EXPECT_FALSE(f.PanelAntenna.Visible());
  EXPECT_FALSE(f.Panel3.Visible());
  EXPECT_EQ(f.LabelDOW.Text(), "---");
  EXPECT_EQ(f.LabelDate.Text(), "--.--.----");
  EXPECT_EQ(f.LabelTime.Text(), "--:--:--");
  EXPECT_EQ(f.Image1.Picture(), "STATE0");
  // Every control has its own id.
  std::set<int> ids;
  for (TControl* c : f.Controls()) EXPECT_TRUE(ids.insert(c->Id()).second) << c->Name();
}

TEST_F(Startup, ControllerFieldsTakeTheirInitialValues) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  EXPECT_TRUE(f.FLibraryLoaded);
  EXPECT_FALSE(f.FBusy);
  EXPECT_FALSE(f.FInfoRequest);
  EXPECT_FALSE(f.FPeriodicPending);
  EXPECT_TRUE(f.FStartupPending);
  EXPECT_FALSE(f.FSuspended);
  EXPECT_EQ(f.FBatteryCountdown, 3);
  EXPECT_EQ(f.FLastSecond, 153);
  EXPECT_EQ(f.FTraySource, 0);
  EXPECT_EQ(f.FSessionState, SessionState::Closed);
  EXPECT_EQ(f.FTick, 0);
  EXPECT_EQ(f.FQuality, -1);
  EXPECT_EQ(f.FLastSetTime, 29221.0);
  EXPECT_DOUBLE_EQ(f.FMinSetInterval, 10.0 / 1440.0);
  EXPECT_TRUE(os.TimerActive(f, kTimer3));
}

TEST_F(Startup, MessagePanelTellsWhetherLibraryAndReceiverArePresent) {
  struct Case {
    const char* name;
    bool library;
    const char* scenario;
    const char* without;
    const char* message;
    Color color;
  } cases[] = {
      {"no library", false, "", nullptr, "Error: Library Tempiva.dll not found!", clHighlight},
      {"nineteen of twenty", true, "", "_GetSN_EEPROM", "Error: Library Tempiva.dll not found!",
       clHighlight},
      {"no device", true, "installed = 0", nullptr, "Hint: No radio clock device installed!",
       clWindowText},
      {"device", true, "installed = 1", nullptr, "Radio clock not opened! (connected?)",
       clWindowText},
      {"two devices", true, "installed = 2", nullptr, "Radio clock not opened! (connected?)",
       clWindowText},
      {"library faults", true, "fault = _NumInstalled", nullptr,
       "Radio clock not opened! (connected?)", clWindowText},
  };
  for (const Case& c : cases) {
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    WriteSettings(fresh, "[TNA]\r\nFirstRun=0\r\n");
    std::unique_ptr<sim::Receiver> r;
    if (c.library) {
      r = std::make_unique<sim::Receiver>([&] { return fresh.TrueUtcMilliseconds(); },
                                          sim::ParseScenario(c.scenario));
      sim::SetInProcessReceiver(r.get());
      std::vector<VirtualPlatform::Export> exports;
      for (const auto& e :
           c.without ? sim::InProcessExportsWithout(c.without) : sim::InProcessExports())
        exports.push_back({e.name, e.proc});
      fresh.RegisterLibrary("Tempiva", exports);
    }
    InitializeUnits();
    TApplication a;
    ASSERT_TRUE(a.Start()) << c.name;
    EXPECT_EQ(a.FormMain->PanelMsg.Text(), c.message) << c.name;
    EXPECT_EQ(a.FormMain->PanelMsg.FontColor(), c.color) << c.name;
    EXPECT_EQ(a.FormMain->FLibraryLoaded, c.color == clWindowText) << c.name;
    if (!a.FormMain->FLibraryLoaded) {
      EXPECT_EQ(fresh.procCalls, 0) << c.name;
    }
    // The program runs on in every case.
    EXPECT_TRUE(fresh.TimerActive(*a.FormMain, kTimer3)) << c.name;
    sim::SetInProcessReceiver(nullptr);
  }
  InstallPlatform(&os);
}

TEST_F(Startup, UnsupportedPlatformShowsTheErrorAndEnds200msAfterTheBox) {
  struct Case {
    uint32_t platformId;
    uint32_t major;
  } cases[] = {{kPlatformWin32Windows, 4}, {kPlatformWin32NT, 4}, {kPlatformWin32s, 5}};
  for (const Case& c : cases) {
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    fresh.startupPlatformId = c.platformId;
    fresh.version.dwMajorVersion = c.major;
    fresh.version.dwPlatformId = c.platformId;
    fresh.boxAnswerDelayMs = 3000;  // the user reads the box for 3 s
    InitializeUnits();
    TApplication a;
    ASSERT_TRUE(a.Start());
    ASSERT_EQ(fresh.boxes.size(), 1u);
    EXPECT_EQ(fresh.boxes[0].text, kUnsupported);
    EXPECT_EQ(fresh.boxes[0].kind, MessageBoxKind::Error);
    EXPECT_EQ(fresh.boxes[0].buttons, MessageBoxButtons::Cancel);
    EXPECT_EQ(fresh.beeps, std::vector<uint32_t>{0});
    // Nothing after the box: no binding, no poll timer, fields at zero.
    EXPECT_TRUE(fresh.loadLibraryCalls.empty());
    EXPECT_FALSE(fresh.TimerActive(*a.FormMain, kTimer3));
    EXPECT_FALSE(a.FormMain->FStartupPending);
    EXPECT_EQ(a.FormMain->FLastSecond, 0);
    EXPECT_TRUE(fresh.TimerActive(*a.FormMain, kTimer1));
    const int64_t dismissed = fresh.TickUs();
    fresh.RunFor(199);
    EXPECT_FALSE(fresh.Terminated());
    fresh.RunFor(30);
    EXPECT_TRUE(fresh.Terminated());
    EXPECT_GE(fresh.TickUs() - dismissed, 200000);
    EXPECT_FALSE(fresh.TimerActive(*a.FormMain, kTimer1));
    // The settings are written on the way out; the icon that was never
    // added is deleted all the same.
    EXPECT_EQ(fresh.profiles.Get("TNA", "FirstRun", "", kSettingsPath), "0");
    ASSERT_EQ(fresh.trayCalls.size(), 1u);
    EXPECT_EQ(fresh.trayCalls[0].operation, 2u);
  }
  InstallPlatform(&os);
}

TEST_F(Startup, MissingPrivilegeWarnsAndTheProgramRunsOn) {
  os.adjustPrivilegeLastError = kErrorNotAllAssigned;
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, kPrivilegeWarning);
  EXPECT_EQ(os.boxes[0].kind, MessageBoxKind::Warning);
  EXPECT_EQ(os.boxes[0].buttons, MessageBoxButtons::Ok);
  EXPECT_EQ(os.beeps, std::vector<uint32_t>{0});
  EXPECT_TRUE(os.TimerActive(Main(), kTimer3));
  // The test button still tries, and the clock is not touched.
  Main().ButtonTestClick();
  EXPECT_TRUE(os.setLocalTimeCalls.empty());
  EXPECT_EQ(Main().LabelDebug_Time.Text(), "12:00:00");
}

TEST_F(Startup, TestButtonShowsTheTimeAndSetsTheClockToIt) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  os.RunFor(1500);
  Main().ButtonTestClick();
  EXPECT_EQ(Main().LabelDebug_Time.Text(), "12:00:01");
  ASSERT_EQ(os.setLocalTimeCalls.size(), 1u);
  EXPECT_EQ(os.setLocalTimeCalls[0].time.wSecond, 1);
  EXPECT_EQ(os.setLocalTimeCalls[0].time.wMilliseconds, 500);
}

TEST_F(Startup, FirstRunShowsTheNoticeThenTheWindow) {
  os.profiles.files.clear();  // no settings file yet
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  ASSERT_EQ(os.boxes.size(), 1u);
  EXPECT_EQ(os.boxes[0].text, kFirstRun);
  EXPECT_EQ(os.boxes[0].kind, MessageBoxKind::Information);
  EXPECT_EQ(os.beeps, std::vector<uint32_t>{0});
  EXPECT_TRUE(Main().Visible());
}

TEST_F(Startup, SettingsValuesAreClampedByTheControls) {
  struct Case {
    int32_t quality, timeRef, startup, periodical;
    int shownQuality, shownRef, shownStartup, shownPeriodical;
  } cases[] = {
      {0, 0, 0, 0, 1, 0, 0, 0},
      {150, 2, 1, 2, 99, 2, 1, 2},
      {-4, 3, 5, -3, 1, -1, 2, -1},
      {50, -1, 2, 7, 50, -1, 2, 2},
  };
  for (const Case& c : cases) {
    VirtualPlatform fresh;
    InstallPlatform(&fresh);
    WriteSettings(fresh, "[TNA]\r\nFirstRun=0\r\nDCFQuality=" + std::to_string(c.quality) +
                             "\r\nTimeRef=" + std::to_string(c.timeRef) +
                             "\r\nStartupUpdate=" + std::to_string(c.startup) +
                             "\r\nPeriodicalUpdate=" + std::to_string(c.periodical) + "\r\n");
    InitializeUnits();
    TApplication a;
    ASSERT_TRUE(a.Start());
    TFormMain& f = *a.FormMain;
    EXPECT_EQ(f.SpinEditQuality.Text(), std::to_string(c.shownQuality));
    EXPECT_EQ(f.ComboBoxRef.ItemIndex(), c.shownRef);
    EXPECT_EQ(f.RadioGroupStartup.ItemIndex(), c.shownStartup);
    EXPECT_EQ(f.RadioGroupPeriodical.ItemIndex(), c.shownPeriodical);
    // Closing stores what the controls show.
    f.SpeedButtonTerminate.UserClick();
    EXPECT_EQ(Config.DCFQuality, c.shownQuality);
    EXPECT_EQ(Config.TimeRef, c.shownRef);
    EXPECT_EQ(Config.StartupUpdate, c.shownStartup);
    EXPECT_EQ(Config.PeriodicalUpdate, c.shownPeriodical);
    const std::string saved = fresh.profiles.Get("TNA", "DCFQuality", "", kSettingsPath);
    EXPECT_EQ(saved, std::to_string(c.shownQuality));
  }
  InstallPlatform(&os);
}

TEST_F(Startup, SetupEnablingRules) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  // Start-up rule "never": terminate disabled and unticked, hourly enabled.
  EXPECT_EQ(f.RadioGroupStartup.ItemIndex(), 0);
  EXPECT_FALSE(f.CheckBoxTerminate.Enabled());
  EXPECT_TRUE(f.RadioGroupPeriodical.Enabled());
  f.CheckBoxTerminate.UserToggle();  // a disabled box cannot be ticked
  EXPECT_FALSE(f.CheckBoxTerminate.Checked());

  f.RadioGroupPeriodical.UserSelect(2);
  f.RadioGroupStartup.UserSelect(1);
  EXPECT_TRUE(f.CheckBoxTerminate.Enabled());
  EXPECT_TRUE(f.RadioGroupPeriodical.Enabled());
  f.CheckBoxTerminate.UserToggle();
  EXPECT_TRUE(f.CheckBoxTerminate.Checked());
  EXPECT_FALSE(f.RadioGroupPeriodical.Enabled());
  EXPECT_EQ(f.RadioGroupPeriodical.ItemIndex(), 2);  // the selection stays

  // Back to "never": terminate unticked again, hourly enabled.
  f.RadioGroupStartup.UserSelect(0);
  EXPECT_FALSE(f.CheckBoxTerminate.Enabled());
  EXPECT_FALSE(f.CheckBoxTerminate.Checked());
  EXPECT_TRUE(f.RadioGroupPeriodical.Enabled());
}

TEST_F(Startup, TerminateFromSettingsIsUntickedWhenTheStartupRuleIsNever) {
  UseReceiver();
  WriteSettings(os, "[TNA]\r\nFirstRun=0\r\nTerminate=1\r\nStartupUpdate=0\r\n");
  ASSERT_TRUE(StartProgram());
  EXPECT_FALSE(Main().CheckBoxTerminate.Checked());
  EXPECT_TRUE(Main().RadioGroupPeriodical.Enabled());
}

TEST_F(Startup, InfoRequestOnlyTenMillisecondsAfterSwitchingToTheInfoPage) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  os.RunFor(50);
  f.TabbedNotebook1.UserSelectPage(1);
  os.RunFor(100);
  EXPECT_FALSE(f.FInfoRequest);
  f.TabbedNotebook1.UserSelectPage(kInfoPageIndex);
  EXPECT_FALSE(f.FInfoRequest);
  EXPECT_TRUE(os.TimerActive(f, kTimer2));
  os.RunFor(5);
  EXPECT_FALSE(f.FInfoRequest);
  os.RunFor(20);
  EXPECT_TRUE(f.FInfoRequest);
  EXPECT_FALSE(os.TimerActive(f, kTimer2));  // one-shot
  f.FInfoRequest = false;
  os.RunFor(100);
  EXPECT_FALSE(f.FInfoRequest);  // set once
  f.TabbedNotebook1.UserSelectPage(3);
  os.RunFor(100);
  EXPECT_FALSE(f.FInfoRequest);
}

TEST_F(Startup, TrayButtonReleasesShowTheWindowOtherMouseMessagesDoNothing) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  intptr_t result = -1;
  for (intptr_t ignored : {512, 513, 516, 515, 518, 519, 0}) {
    EXPECT_TRUE(f.DispatchMessage(kWmTrayIcon, 1, ignored, result));
    EXPECT_FALSE(f.Visible()) << ignored;
  }
  EXPECT_EQ(os.bringToFrontCalls, 0);
  for (intptr_t release : {514, 517}) {
    f.Hide();
    EXPECT_TRUE(f.DispatchMessage(kWmTrayIcon, 1, release, result));
    EXPECT_TRUE(f.Visible()) << release;
    EXPECT_EQ(os.foreground, &f);
  }
  EXPECT_EQ(os.bringToFrontCalls, 2);
}

TEST_F(Startup, CloseHidesAndTerminateEndsWritingTheControlsIntoTheSettings) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TFormMain& f = Main();
  f.Show();
  f.SpeedButtonHide.UserClick();
  EXPECT_FALSE(f.Visible());
  EXPECT_FALSE(os.Terminated());

  f.UserMoved(-5, 300);
  f.ComboBoxRef.UserSelect(1);
  f.RadioGroupStartup.UserSelect(2);
  f.CheckBoxTerminate.UserToggle();
  f.SpinEditQuality.UserSetText("17");
  f.CheckBoxTone.UserToggle();
  f.SpeedButtonTerminate.UserClick();
  EXPECT_TRUE(os.Terminated());
  EXPECT_EQ(Config.x, -5);
  EXPECT_EQ(Config.y, 300);
  EXPECT_EQ(Config.TimeRef, 1);
  EXPECT_EQ(Config.StartupUpdate, 2);
  EXPECT_TRUE(Config.Terminate);
  EXPECT_EQ(Config.PeriodicalUpdate, 0);
  EXPECT_EQ(Config.DCFQuality, 17);
  EXPECT_TRUE(Config.Tone);
}

TEST_F(Startup, QualityTypedIsStoredWithinTheRangeEvenBeforeTheBoxLosesTheFocus) {
  UseReceiver();
  ASSERT_TRUE(StartProgram());
  TSpinEdit& box = Main().SpinEditQuality;
  // The box keeps what was typed until it loses the focus; its value keeps
  // to the range at every moment, its text read as a number does not.
  const struct {
    const char* typed;
    int asText;
    int value;
  } cases[] = {{"abc", 1, 1},    {"0", 0, 1},           {"-7", -7, 1},
               {" 42 ", 42, 42}, {"99999999999", 1, 1}, {"150", 150, 99}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    box.UserSetText(c.typed);
    EXPECT_EQ(box.Text(), c.typed);
    EXPECT_EQ(box.TextValue(), c.asText);
    EXPECT_EQ(box.Value(), c.value);
  }
  // A close before the box loses the focus (Windows ending the session).
  Main().SpeedButtonTerminate.UserClick();
  EXPECT_EQ(Config.DCFQuality, 99);
  EXPECT_EQ(os.profiles.Get("TNA", "DCFQuality", "", kSettingsPath), "99");
}

// Notes each unit that reaches the platform while the units initialise, and
// whether the settings defaults were set by then (the one unit that does
// not reach the platform at start).
class InitialisationWatch : public VirtualPlatform {
 public:
  std::vector<std::string> seen;
  bool QueryPerformanceFrequency(int64_t& frequency) override {
    Note("Prectime");
    return VirtualPlatform::QueryPerformanceFrequency(frequency);
  }
  bool OpenProcessToken(uint32_t access, TokenHandle& token) override {
    Note("PCTime");
    return VirtualPlatform::OpenProcessToken(access, token);
  }
  bool GetVersionEx(OsVersionInfo& info) override {
    Note("SysCheck");
    return VirtualPlatform::GetVersionEx(info);
  }

 private:
  void Note(const char* unit) {
    seen.push_back(std::string(unit) + (Config.x == 10 ? " after" : " before") + " UnitConfig");
  }
};

TEST_F(Startup, UnitsInitialiseInOrderBeforeTheEntry) {
  InitialisationWatch watch;
  InstallPlatform(&watch);
  Config = TConfig{};
  Serialization = TSerialization{};
  InitializeUnits();
  EXPECT_EQ(watch.seen,
            (std::vector<std::string>{"Prectime before UnitConfig", "PCTime after UnitConfig",
                                      "SysCheck after UnitConfig"}));
  EXPECT_GT(watch.counterReads, 0) << "Prectime calibrated";
  // The settings defaults exist before the main window reads them.
  EXPECT_EQ(Config.x, 10);
  EXPECT_EQ(Config.y, 10);
  EXPECT_EQ(Serialization.x, 10);
  EXPECT_EQ(Serialization.y, 10);
  EXPECT_EQ(Serialization.sn, 0);
  EXPECT_EQ(Config.DCFQuality, 0);
  EXPECT_FALSE(Config.FirstRun);
  // The entry code has not run.
  EXPECT_TRUE(watch.mutexes.empty());
  EXPECT_TRUE(watch.profileReads.empty());
  InstallPlatform(&os);
}

}  // namespace
}  // namespace hv::test
