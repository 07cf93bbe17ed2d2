// The status display: the Time page for each kind of record, the battery
// panel and its low-battery countdown, the tray by time source, the
// last-synchronisation panel and the Info page.
#include <cstring>
#include <limits>

#include "config/UnitConfig.h"
#include "desktop/TBProcs.h"
#include "tests/core/PollFixture.h"

namespace hv::test {
namespace {

// The program with an open receiver in Running, the poll timer stopped so
// that each routine runs alone.
class StatusDisplay : public PollFixture {
 protected:
  void StartRunning(const std::string& scenario = "") {
    Start(scenario);
    Main().Timer3.SetEnabled(false);
    ASSERT_TRUE(_Open());
    Main().FSessionState = SessionState::Running;
    Main().FQuality = 60;  // read already: no quality waits
  }
  int TrayModifies() const {
    int n = 0;
    for (const auto& call : os.trayCalls) n += call.operation == kNimModify;
    return n;
  }
};

TEST_F(StatusDisplay, TimePageShowsEachKindOfRecord) {
  const struct {
    TimeData record;
    const char *picture, *dow, *date, *time, *season, *status, *antenna, *tip;
  } cases[] = {
      {Record(2026, 12, 8, 14, 5, 9, 2, 0x80), "STATE1", "Tuesday", "08.12.2026", "14:05:09", "n/a",
       "no signal", "main", "Crystal Time"},
      {Record(2026, 7, 1, 12, 0, 1, 3, 0xC7), "STATE2", "Wednesday", "01.07.2026", "12:00:01",
       "summer time", "time available", "main", "DCF77 Time"},
      {Record(2026, 12, 8, 23, 59, 59, 2, 0xD2), "STATE1", "Tuesday", "08.12.2026", "23:59:59",
       "normal time", "data evaluation", "spare", "DCF77 Time"},
      // No 29 February in 2026: the fallback moment, the record's own weekday.
      {Record(2026, 2, 29, 10, 0, 0, 7, 0xC3), "STATE2", "Sunday", "01.01.1980", "00:00:00",
       "normal time", "time available", "main", "DCF77 Time"},
      // Minute 0x1A passes the validity test and shows as minute 20.
      {{0x26, 0x12, 0x08, 0x10, 0x1A, 0x00, 2, 0xC1},
       "STATE1",
       "Tuesday",
       "08.12.2026",
       "10:20:00",
       "normal time",
       "waiting for new minute",
       "main",
       "DCF77 Time"},
  };
  // Each record comes from the receiver through the poll ticks.
  Start();
  Main().Show();
  os.RunFor(2500);
  ASSERT_EQ(Main().FSessionState, SessionState::Running);
  sim::Scenario& scenario = receiver->mutable_scenario();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time);
    scenario.time_data = c.record;
    os.RunFor(1000);
    EXPECT_EQ(Main().Image1.Picture(), c.picture);
    EXPECT_EQ(Main().LabelDOW.Text(), c.dow);
    EXPECT_EQ(Main().LabelDate.Text(), c.date);
    EXPECT_EQ(Main().LabelTime.Text(), c.time);
    EXPECT_EQ(Main().PanelSeason.Text(), c.season);
    EXPECT_EQ(Main().PanelStatus.Text(), c.status);
    EXPECT_EQ(Main().PanelAntenna.Text(), c.antenna);
    EXPECT_EQ(LastTrayTip(), c.tip);
    EXPECT_EQ(Main().PanelBattery.Text(), "3.01V");
    EXPECT_EQ(Main().PanelLastUpdate.Text(), "never");
  }

  // An invalid record: dashes, tray without radio time; picture and panels
  // keep what they showed; the battery and last-update panels are refreshed.
  scenario.time_data = Record(2026, 12, 8, 12, 0, 0, 2, 0x43);  // time flag clear
  scenario.battery = sim::Sequence{{2900}};
  Config.LastUpdate = 46364.5;
  os.RunFor(1000);
  EXPECT_EQ(Main().FSessionState, SessionState::Running);
  EXPECT_EQ(Main().LabelDOW.Text(), "---");
  EXPECT_EQ(Main().LabelDate.Text(), "--.--.----");
  EXPECT_EQ(Main().LabelTime.Text(), "--:--:--");
  EXPECT_EQ(Main().Image1.Picture(), "STATE1");
  EXPECT_EQ(Main().PanelStatus.Text(), "waiting for new minute");
  EXPECT_EQ(LastTrayTip(), "No Radio Clock Time available");
  EXPECT_EQ(Main().PanelBattery.Text(), "2.90V");
  EXPECT_EQ(Main().PanelLastUpdate.Text(), "08.12.2026 12:00:00");

  // Hidden: a valid record changes no label, but second 0 still reads the
  // quality into its panel; an invalid one shows dashes all the same.
  Main().Hide();
  scenario.quality = sim::Sequence{{42}};
  scenario.time_data = Record(2026, 12, 8, 12, 1, 0, 2, 0xC3);
  os.RunFor(1000);
  EXPECT_EQ(Main().LabelTime.Text(), "--:--:--");
  EXPECT_EQ(Main().PanelDCFQuality.Text(), "42");
  EXPECT_EQ(Main().FQuality, 42);
  Main().LabelTime.SetText("x");
  scenario.time_data = TimeData{};
  os.RunFor(1000);
  EXPECT_EQ(Main().LabelTime.Text(), "--:--:--");
}

TEST_F(StatusDisplay, TrayChangesOnlyWhenTheSourceChanges) {
  StartRunning();
  const int before = TrayModifies();
  const TimeData dcf = Record(2026, 12, 8, 12, 0, 1, 2, 0xC3);
  const TimeData crystal = Record(2026, 12, 8, 12, 0, 2, 2, 0x80);
  for (const TimeData& r : {dcf, dcf, dcf, crystal, crystal, dcf}) Main().ProcessTimeData(r);
  EXPECT_EQ(TrayModifies() - before, 3);
  EXPECT_EQ(os.trayCalls.back().record.icon, os.IconHandleOf("IMAGEDCF"));
}

// Each refresh from a countdown of 2: the panel, the countdown after it, and
// the readings it took (a negative one is read once more).
TEST_F(StatusDisplay, BatteryPanelRoundsAndCountsLowReadings) {
  const struct {
    std::vector<int32_t> readings;
    const char* shown;
    int countdown;
  } cases[] = {
      {{2794}, "2.79V", 1},          {{2795}, "2.80V", 3}, {{3499}, "3.50V", 3},
      {{3500}, "not available", 2},  {{9000}, "not available", 2},
      {{1000}, "1.00V", 1},          {{5}, "0.01V", 1},    {{4}, "0.00V", 1},
      {{0}, "0.00V", 1},             {{3045}, "3.05V", 3}, {{-1, 2900}, "2.90V", 3},
      {{-7, 2700}, "2.70V", 1},      {{-1, -1}, "not available", 2},
      {{-1, 3600}, "not available", 2},
  };
  StartRunning();
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.readings));
    // The receiver answers its battery calls in order, from the first on.
    const int before = Count("_GetBatteryVoltage");
    std::vector<int32_t> answers(static_cast<size_t>(before), 3000);
    answers.insert(answers.end(), c.readings.begin(), c.readings.end());
    receiver->mutable_scenario().battery = sim::Sequence{answers};
    Main().FBatteryCountdown = 2;
    Main().UpdateBatteryPanel();
    EXPECT_EQ(Main().PanelBattery.Text(), c.shown);
    EXPECT_EQ(Main().FBatteryCountdown, c.countdown);
    EXPECT_EQ(Count("_GetBatteryVoltage") - before, static_cast<int>(c.readings.size()));
  }
}

TEST_F(StatusDisplay, ThreeLowReadingsInARowWarnOnceAndTheNoticeComesOncePerRun) {
  // low, low, normal, low, low, low, low, normal, low, low, low
  StartRunning(
      "battery = 2700, 2700, 2900, 2700, 2794, 2000, 2700, 3000, 2700, 2700, 2700\n"
      "battery_repeat = 0");
  const struct {
    bool highlighted;
    bool message;
  } expected[] = {{false, false}, {false, false}, {false, false}, {false, false},
                  {false, false}, {true, true},   {false, false}, {false, false},
                  {false, false}, {false, false}, {true, true}};
  int reading = 0;
  for (const auto& e : expected) {
    SCOPED_TRACE("reading " + std::to_string(++reading));
    Main().PanelMsg.SetText("other");
    Main().UpdateBatteryPanel();
    EXPECT_EQ(Main().PanelBattery.FontColor(), e.highlighted ? clHighlight : clWindowText);
    EXPECT_EQ(Main().PanelMsg.Text(), e.message ? "Battery voltage low! Please replace!" : "other");
    if (reading == 6) {
      EXPECT_TRUE(app->FormLowBat->Visible());
      EXPECT_EQ(os.beeps, std::vector<uint32_t>{0});
      EXPECT_EQ(os.flashedForms, std::vector<TForm*>{app->FormLowBat.get()});
      app->FormLowBat->BitBtnOk.UserClick();
      EXPECT_FALSE(app->FormLowBat->Visible());
    }
  }
  EXPECT_FALSE(app->FormLowBat->Visible()) << "the notice comes once per run";
  EXPECT_EQ(os.beeps.size(), 1u);
  EXPECT_EQ(os.flashedForms.size(), 1u);
  EXPECT_EQ(Main().FBatteryCountdown, 0);
}

TEST_F(StatusDisplay, BatteryPanelWithoutMeasuringOrSessionCallsNothing) {
  StartRunning("cfg = 0xFE");  // bit 1 set: no battery measuring
  Main().UpdateBatteryPanel();
  EXPECT_EQ(Main().PanelBattery.Text(), "n/a");
  Main().FSessionState = SessionState::Closed;
  const size_t before = calls.size();
  Main().UpdateBatteryPanel();
  EXPECT_EQ(Main().PanelBattery.Text(), "n/a");
  EXPECT_EQ(calls.size(), before);
  EXPECT_EQ(Count("_GetBatteryVoltage"), 0);
}

TEST_F(StatusDisplay, InfoPageShowsTheDeviceAndKeepsItAfterTheDeviceCloses) {
  const struct {
    const char* scenario;
    std::vector<std::string> panels;  // firmware, type, serial, revision, module, RTC,
                                      // measure, mode
  } cases[] = {
      {"device_info = 10 02 05 31 00 00\ncfg = 0xFF",
       {" Version 02.10  Built 5", " no display, with buffered RTC", " DCF-0001234", " 4",
        " Reichelt DCF77 MODUL", " not available", " not supported", " normal"}},
      {"device_info = 0A 01 07 F3 01 00\ncfg = 0x0C\nserial = X",
       {" Version 01.0A  Built 7", " (unspecified)", " X", " 16", " (unknown)", " equipped",
        " supported", " maintenance"}},
      {"device_info = FF FF FF 02 05 00\ncfg = 0xEC",
       {" Version FF.FF  Built 255", " no display, with unbuffered RTC", " DCF-0001234", " 1",
        " Conrad 641138", " equipped", " supported", " (unknown)"}},
  };
  Start("installed = 0");
  TFormMain& f = Main();
  f.Show();
  TPanel* const panels[] = {&f.PanelFirmware, &f.PanelType, &f.PanelSN,      &f.PanelSN_EEPROM,
                            &f.PanelModule,   &f.PanelRTC,  &f.PanelMeasure, &f.PanelMode};
  auto shown = [&] {
    std::vector<std::string> texts;
    for (TPanel* p : panels) texts.push_back(p->Text());
    return texts;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    // The Info page chosen while no device is open: " n/a" everywhere.
    f.TabbedNotebook1.UserSelectPage(0);
    f.TabbedNotebook1.UserSelectPage(kInfoPageIndex);
    os.RunFor(300);
    EXPECT_EQ(shown(), std::vector<std::string>(8, " n/a"));
    // Plugged in while the Info page is current: refreshed by the tick that opens.
    sim::Scenario& scenario = receiver->mutable_scenario();
    const sim::Scenario device = sim::ParseScenario(c.scenario);
    scenario.device_info = device.device_info;
    scenario.cfg = device.cfg;
    scenario.serial = device.serial;
    scenario.installed = {{0, 1}};
    const int infoCalls = Count("_GetDeviceInfo");
    os.RunFor(1100);
    EXPECT_EQ(f.FSessionState, SessionState::Opened);
    EXPECT_EQ(shown(), c.panels);
    EXPECT_EQ(Count("_GetDeviceInfo") - infoCalls, 1);
    // Nothing else refreshes it; the values stay after the device closes.
    scenario.installed = {{0, 0}};
    os.RunFor(3000);
    EXPECT_EQ(f.FSessionState, SessionState::Closed);
    EXPECT_EQ(shown(), c.panels);
    EXPECT_EQ(Count("_GetDeviceInfo") - infoCalls, 1);
  }
}

TEST_F(StatusDisplay, LastSynchronisationPanel) {
  const struct {
    TDateTime lastUpdate;
    const char* shown;
  } cases[] = {
      {0.0, "never"},
      {46364.5 + 1.0 / 86400, "08.12.2026 12:00:01"},
      {-1.25, "29.12.1899 06:00:00"},
      {*TryEncodeDate(1601, 1, 1), "01.01.1601 00:00:00"},
      {*TryEncodeDate(1600, 12, 31) - 0.5, "never"},  // the system's date format refuses it
      {1e10, "never"},
      {-1e10, "never"},
      {std::numeric_limits<double>::quiet_NaN(), "never"},
      {std::numeric_limits<double>::infinity(), "never"},
  };
  StartRunning();
  for (const auto& c : cases) {
    Config.LastUpdate = c.lastUpdate;
    Main().ProcessTimeData(Record(2026, 12, 8, 12, 0, 5, 2, 0xC3));
    EXPECT_EQ(Main().PanelLastUpdate.Text(), c.shown) << c.lastUpdate;
  }
}

}  // namespace
}  // namespace hv::test
