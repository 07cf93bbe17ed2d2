// End to end: Kronalt.ini across starts: first run, the file's layout, the Setup page's
// choices, hand-edited values, the decimal separator and a file that cannot be written.
#include <gtest/gtest.h>

#include <cctype>
#include <initializer_list>
#include <ostream>
#include <sstream>
#include <utility>

#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

namespace ctl = hv::ctl;

// Time a started program gets, once its tray icon is there, to show a box it should not show.
constexpr DWORD kQuietMs = 1000;

// Lines joined as the program joins a message's lines: by single carriage returns.
std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += '\r';
    text += line;
  }
  return text;
}

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A settings file as it lists its sections and keys. Names are kept in lower case, since the
// profile functions match them without regard to case; values as they stand.
struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
  bool operator==(const IniSection&) const = default;
};
using IniFile = std::vector<IniSection>;

std::ostream& operator<<(std::ostream& out, const IniSection& section) {
  out << "[" << section.name << "]";
  for (const auto& [key, value] : section.keys) out << " " << key << "=" << value;
  return out;
}

IniFile ParseIni(const std::string& text) {
  IniFile file;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line.substr(0, line.find('\r')));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      file.push_back({Lower(Trim(line.substr(1, line.size() - 2))), {}});
    } else if (const size_t eq = line.find('='); eq != std::string::npos && !file.empty()) {
      file.back().keys.emplace_back(Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)));
    }
  }
  return file;
}

// The value of `key` in `section` (names in lower case), or "<missing>".
std::string ValueOf(const IniFile& file, const std::string& section, const std::string& key) {
  for (const IniSection& s : file) {
    if (s.name != section) continue;
    for (const auto& [k, v] : s.keys)
      if (k == key) return v;
  }
  return "<missing>";
}

// The Setup page's controls, changed as a user changes them and read as they show.
class SetupPage {
 public:
  explicit SetupPage(HWND window) : window_(window) {}

  // Radio buttons have the group's id + 1 + the item's index.
  void Choose(int group, int index) const { probe::Click(Window(group + 1 + index)); }
  // The ticked item of a three-item radio group; -1 when none is.
  int Chosen(int group) const {
    int chosen = -1;
    for (int index = 0; index < 3; ++index) {
      if (!Ticked(group + 1 + index)) continue;
      EXPECT_EQ(chosen, -1) << "two items of group " << group << " are ticked";
      chosen = index;
    }
    return chosen;
  }
  void Toggle(int check_box) const { probe::Click(Window(check_box)); }
  bool Ticked(int button) const {
    return probe::Send(Window(button), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  bool Enabled(int id) const { return IsWindowEnabled(Window(id)) != FALSE; }

  // A pick in the list: the selection changes and the combo box tells its parent.
  void SelectReference(int index) const {
    HWND combo = Window(ctl::ComboBoxRef);
    probe::Send(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    probe::Send(GetParent(combo), WM_COMMAND, MAKEWPARAM(ctl::ComboBoxRef, CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(combo));
  }
  int Reference() const {
    return static_cast<int>(probe::Send(Window(ctl::ComboBoxRef), CB_GETCURSEL, 0, 0));
  }
  std::string ReferenceText() const { return probe::Text(Window(ctl::ComboBoxRef)); }

  // Typing into the spin edit's box: the box's text changes and it tells its parent.
  void TypeQuality(const std::string& text) const {
    probe::Send(Window(ctl::SpinEditQuality), WM_SETTEXT, 0,
                reinterpret_cast<LPARAM>(text.c_str()));
  }
  std::string Quality() const { return probe::Text(Window(ctl::SpinEditQuality)); }

 private:
  HWND Window(int id) const { return probe::Control(window_, id); }
  HWND window_;
};

// Holds a file open without sharing, as another program may: nobody can open it meanwhile.
// (A read-only file would not do: run as root, Wine writes it all the same.)
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ExclusiveHold(const ExclusiveHold&) = delete;
  ExclusiveHold& operator=(const ExclusiveHold&) = delete;
  ~ExclusiveHold() { Release(); }
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (Held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// Sets the user's decimal separator for its lifetime and restores the one before.
class DecimalSeparatorOverride {
 public:
  explicit DecimalSeparatorOverride(const char* separator) {
    char before[8] = {0};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, before, sizeof before);
    before_ = before[0] ? before : ".";
    Set(separator);
  }
  DecimalSeparatorOverride(const DecimalSeparatorOverride&) = delete;
  DecimalSeparatorOverride& operator=(const DecimalSeparatorOverride&) = delete;
  ~DecimalSeparatorOverride() {
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, before_.c_str());
  }
  void Set(const char* separator) {
    if (!SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator)) {
      throw probe::Error("cannot set the decimal separator (error " +
                         std::to_string(GetLastError()) + ")");
    }
  }

 private:
  std::string before_;
};

std::string DecimalSeparator() {
  char separator[8] = {0};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator);
  return separator;
}

// Every test runs the program without the receiver library, so that no setting of the Setup
// page can make it set the clock or end by itself.
class SettingsTest : public HoraviaTest {
 protected:
  void SetUp() override {
    HoraviaTest::SetUp();
    folder_ = Folder("program");
    PutProgram(folder_, Dll::kNone);
  }

  probe::Process& Start() { return Launch(folder_); }

  // Ends the program with its terminate button, as the user does; throws when it runs on.
  void Terminate(const probe::Process& program, HWND window) {
    PostClick(probe::Control(window, ctl::SpeedButtonTerminate));
    const auto exit_code = program.WaitExit(probe::kActionTimeoutMs);
    if (!exit_code) throw probe::Error("the program runs on after Terminate Program");
    EXPECT_EQ(*exit_code, 0u);
  }

  // Shows the hidden window through the tray callback and makes the Setup page current.
  void ShowSetupPage(HWND window) {
    probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
    probe::WaitVisible(window, true, "the main window");
    probe::SelectTab(probe::Control(window, ctl::TabbedNotebook1), 1);
  }

  // Answers the first-run notice of a start without settings file.
  void DismissFirstRunNotice(const probe::Process& program) {
    HWND box = probe::WaitMessageBox(program.pid(), probe::kStartTimeoutMs);
    probe::PressMessageBoxButton(box, probe::kButtonOk);
  }

  std::string Settings() const {
    return probe::ReadTextFile(SettingsPath()).value_or("<no settings file>");
  }

  // Starts with `file` as the settings file and ends at once: the file as written back.
  IniFile WrittenBack(const std::string& file) {
    WriteSettings(file);
    probe::Process& program = Start();
    Terminate(program, StartedWindow(program));
    return ParseIni(Settings());
  }

  std::string folder_;
};

using FirstRunTest = SettingsTest;

const std::string& FirstRunNotice() {
  static const std::string text = Lines({txt::TxtFirstRun1, txt::TxtFirstRun2, txt::TxtFirstRun3,
                                         txt::TxtFirstRun4, txt::TxtFirstRun5});
  return text;
}

TEST_F(FirstRunTest, WithoutSettingsFileTheNoticeComesFirstThenTheWindow) {
  DeleteSettings();
  probe::Process& program = Start();

  HWND box = probe::WaitMessageBox(program.pid(), probe::kStartTimeoutMs);
  EXPECT_EQ(probe::MessageBoxText(box), FirstRunNotice());
  EXPECT_EQ(probe::MessageBoxButtons(box), std::vector<int>{probe::kButtonOk});
  HWND window = MainWindow(program);
  EXPECT_FALSE(probe::Visible(window)) << "the window comes after the notice";
  EXPECT_TRUE(TrayIconPresent(window)) << "the icon is added before the notice";

  probe::PressMessageBoxButton(box, probe::kButtonOk);

  probe::WaitVisible(window, true, "the main window after the notice");
  EXPECT_TRUE(TrayIconPresent(window));
  EXPECT_EQ(WineTrayIcons().size(), 1u);
  EXPECT_TRUE(program.Running());
  Sleep(kQuietMs);
  EXPECT_TRUE(probe::MessageBoxes(program.pid()).empty()) << "one notice only";
  EXPECT_FALSE(probe::FileExists(SettingsPath())) << "the file is written at the end only";
}

TEST_F(FirstRunTest, AfterAnOrderlyEndTheNextStartIsSilentAndHidden) {
  DeleteSettings();
  probe::Process& first = Start();
  DismissFirstRunNotice(first);
  HWND first_window = MainWindow(first);
  probe::WaitVisible(first_window, true, "the main window after the notice");
  Terminate(first, first_window);
  ASSERT_EQ(ValueOf(ParseIni(Settings()), "tna", "firstrun"), "0");

  probe::Process& next = Start();
  HWND window = StartedWindow(next);
  Sleep(kQuietMs);

  EXPECT_TRUE(probe::MessageBoxes(next.pid()).empty());
  EXPECT_FALSE(probe::Visible(window));
  EXPECT_TRUE(next.Running());
}

TEST_F(FirstRunTest, FirstRunSetInTheFileBringsTheNoticeBackOnce) {
  WriteSettings("[TNA]\r\nFirstRun=1\r\n");
  probe::Process& first = Start();
  HWND box = probe::WaitMessageBox(first.pid(), probe::kStartTimeoutMs);
  EXPECT_EQ(probe::MessageBoxText(box), FirstRunNotice());
  probe::PressMessageBoxButton(box, probe::kButtonOk);
  HWND window = MainWindow(first);
  probe::WaitVisible(window, true, "the main window after the notice");
  Terminate(first, window);
  EXPECT_EQ(ValueOf(ParseIni(Settings()), "tna", "firstrun"), "0");

  probe::Process& next = Start();
  StartedWindow(next);
  Sleep(kQuietMs);
  EXPECT_TRUE(probe::MessageBoxes(next.pid()).empty());
}

// While the notice is open only the tray icon can be used: it shows the window, whose terminate
// button must end the program as at any other time. FormCreate then goes on and starts the poll
// timer; the quit asked for must survive that (a filtered PeekMessage also yields WM_QUIT).
TEST_F(FirstRunTest, TerminateWhileTheNoticeIsOpenEndsTheProgram) {
  DeleteSettings();
  probe::Process& program = Start();
  probe::WaitMessageBox(program.pid(), probe::kStartTimeoutMs);
  HWND window = MainWindow(program);
  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the window, shown from the tray during the notice");

  PostClick(probe::Control(window, ctl::SpeedButtonTerminate));

  EXPECT_TRUE(program.WaitExit(probe::kActionTimeoutMs).has_value())
      << "runs on; window shown: " << probe::Visible(window)
      << ", tray icon: " << TrayIconPresent(window);
  EXPECT_EQ(ValueOf(ParseIni(Settings()), "tna", "firstrun"), "0");
}

TEST_F(SettingsTest, FirstCloseWritesTheSectionsAndKeysInTableOrder) {
  DeleteSettings();
  probe::Process& program = Start();
  DismissFirstRunNotice(program);
  HWND window = MainWindow(program);
  probe::WaitVisible(window, true, "the main window after the notice");
  const RECT place = probe::WindowRect(window);

  Terminate(program, window);

  const std::string expected =
      "[General]\r\n"
      "Product=Horavia\r\n"
      "IMPORTANT=Do not edit this file!\r\n"
      "[Serialization]\r\n"
      "x=10\r\n"
      "y=10\r\n"
      "sn=1\r\n"
      "[TNA]\r\n"
      "x=" +
      std::to_string(place.left) +
      "\r\n"
      "y=" +
      std::to_string(place.top) +
      "\r\n"
      "TimeRef=2\r\n"
      "StartupUpdate=0\r\n"
      "Terminate=0\r\n"
      "PeriodicalUpdate=0\r\n"
      "DCFQuality=2\r\n"
      "LastUpdate=0\r\n"
      "Tone=0\r\n"
      "FirstRun=0\r\n";
  EXPECT_EQ(Settings(), expected);
}

TEST_F(SettingsTest, SetupChoicesAndWindowPlaceSurviveARestart) {
  probe::Process& first = Start();
  HWND window = StartedWindow(first);
  ShowSetupPage(window);
  SetupPage page(window);
  // What a file without these keys gives.
  EXPECT_EQ(page.Reference(), 2);
  EXPECT_EQ(page.Chosen(ctl::RadioGroupStartup), 0);
  EXPECT_EQ(page.Chosen(ctl::RadioGroupPeriodical), 0);
  EXPECT_FALSE(page.Ticked(ctl::CheckBoxTerminate));
  EXPECT_FALSE(page.Enabled(ctl::CheckBoxTerminate)) << "start-up rule \"never\"";
  EXPECT_EQ(page.Quality(), "2");
  EXPECT_FALSE(page.Ticked(ctl::CheckBoxTone));

  // The hourly rule first: ticking "terminate after update" disables its group.
  page.Choose(ctl::RadioGroupPeriodical, 1);
  page.Choose(ctl::RadioGroupStartup, 2);
  ASSERT_TRUE(page.Enabled(ctl::CheckBoxTerminate));
  page.Toggle(ctl::CheckBoxTerminate);
  page.Toggle(ctl::CheckBoxTone);
  page.SelectReference(0);
  page.TypeQuality("37");
  ASSERT_TRUE(
      SetWindowPos(window, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  Terminate(first, window);

  const IniFile file = ParseIni(Settings());
  const std::pair<const char*, const char*> saved[] = {
      {"x", "123"},           {"y", "77"},        {"timeref", "0"},
      {"startupupdate", "2"}, {"terminate", "1"}, {"periodicalupdate", "1"},
      {"dcfquality", "37"},   {"tone", "1"},      {"firstrun", "0"}};
  for (const auto& [key, value] : saved) EXPECT_EQ(ValueOf(file, "tna", key), value) << key;

  probe::Process& next = Start();
  window = StartedWindow(next);
  EXPECT_FALSE(probe::Visible(window));
  const RECT place = probe::WindowRect(window);
  EXPECT_EQ(place.left, 123);
  EXPECT_EQ(place.top, 77);
  SetupPage shown(window);
  EXPECT_EQ(shown.Reference(), 0);
  EXPECT_EQ(shown.ReferenceText(), txt::TxtRefUTC);
  EXPECT_EQ(shown.Chosen(ctl::RadioGroupStartup), 2);
  EXPECT_TRUE(shown.Ticked(ctl::CheckBoxTerminate));
  EXPECT_EQ(shown.Chosen(ctl::RadioGroupPeriodical), 1) << "kept while its group is disabled";
  EXPECT_FALSE(shown.Enabled(ctl::RadioGroupPeriodical + 1));
  EXPECT_EQ(shown.Quality(), "37");
  EXPECT_TRUE(shown.Ticked(ctl::CheckBoxTone));
}

TEST_F(SettingsTest, QualityTypedIsSavedWithinTheRange) {
  // The box never loses the focus before the close, so what it shows is not clamped yet.
  const std::pair<const char*, const char*> cases[] = {{"abc", "1"}, {"150", "99"}};
  for (const auto& [typed, saved] : cases) {
    probe::Process& program = Start();
    HWND window = StartedWindow(program);
    ShowSetupPage(window);
    SetupPage(window).TypeQuality(typed);
    Terminate(program, window);
    EXPECT_EQ(ValueOf(ParseIni(Settings()), "tna", "dcfquality"), saved) << typed;
  }
}

TEST_F(SettingsTest, HandEditedValuesLoadAsTheRulesSayAndTheFileKeepsItsOwnParts) {
  // Names in other cases, blanks around values, a section and keys of someone else, the
  // sections in another order, a Serialization section that lacks "y".
  WriteSettings(
      "[Other]\r\n"
      "Keep=this\r\n"
      "[tna]\r\n"
      "x=-5\r\n"
      "Y = 20 \r\n"
      "TimeRef=7\r\n"
      "StartupUpdate=5\r\n"
      "Terminate=true\r\n"
      "PeriodicalUpdate=-3\r\n"
      "dcfquality=0x10\r\n"
      "Tone=2\r\n"
      "FirstRun=0\r\n"
      "Comment=mine\r\n"
      "[Serialization]\r\n"
      "sn=42\r\n"
      "x=3\r\n");
  probe::Process& program = Start();
  HWND window = StartedWindow(program);

  const RECT place = probe::WindowRect(window);
  EXPECT_EQ(place.left, -5) << "used as it is, partly off the screen";
  EXPECT_EQ(place.top, 20);
  SetupPage page(window);
  EXPECT_EQ(page.Reference(), -1) << "no item 7";
  EXPECT_EQ(page.ReferenceText(), "");
  EXPECT_EQ(page.Chosen(ctl::RadioGroupStartup), 2) << "5 selects the last item";
  EXPECT_TRUE(page.Enabled(ctl::CheckBoxTerminate));
  EXPECT_FALSE(page.Ticked(ctl::CheckBoxTerminate)) << "\"true\" is no integer: the default";
  EXPECT_EQ(page.Chosen(ctl::RadioGroupPeriodical), -1) << "a negative value selects nothing";
  EXPECT_EQ(page.Quality(), "16") << "0x10";
  EXPECT_TRUE(page.Ticked(ctl::CheckBoxTone)) << "any integer but 0 is true";
  Sleep(kQuietMs);
  EXPECT_TRUE(probe::MessageBoxes(program.pid()).empty()) << "FirstRun=0 was read";

  Terminate(program, window);

  const IniFile expected = {
      {"other", {{"keep", "this"}}},
      {"tna",
       {{"x", "-5"},
        {"y", "20"},
        {"timeref", "-1"},
        {"startupupdate", "2"},
        {"terminate", "0"},
        {"periodicalupdate", "-1"},
        {"dcfquality", "16"},
        {"tone", "1"},
        {"firstrun", "0"},
        {"comment", "mine"},
        {"lastupdate", "0"}}},
      {"serialization", {{"sn", "42"}, {"x", "3"}, {"y", "10"}}},
      {"general", {{"product", "Horavia"}, {"important", "Do not edit this file!"}}},
  };
  EXPECT_EQ(ParseIni(Settings()), expected) << Settings();
}

// DCFQuality as the file holds it, as the spin edit shows it, and as it is saved again.
struct QualityCase {
  const char* name;
  const char* in_file;
  const char* shown;
};

class QualityValueTest : public SettingsTest, public ::testing::WithParamInterface<QualityCase> {};

TEST_P(QualityValueTest, ShowsAndIsSavedAsTheControlTakesIt) {
  WriteSettings(std::string("[TNA]\r\nFirstRun=0\r\nDCFQuality=") + GetParam().in_file + "\r\n");
  probe::Process& program = Start();
  HWND window = StartedWindow(program);
  EXPECT_EQ(SetupPage(window).Quality(), GetParam().shown);
  Terminate(program, window);
  EXPECT_EQ(ValueOf(ParseIni(Settings()), "tna", "dcfquality"), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    File, QualityValueTest,
    ::testing::Values(QualityCase{"Dollar", "$10", "16"}, QualityCase{"Above", "150", "99"},
                      QualityCase{"Zero", "0", "1"}, QualityCase{"Negative", "-7", "1"},
                      QualityCase{"TrailingText", "16abc", "2"},
                      QualityCase{"TwelveDigits", "123456789012", "2"}),
    [](const ::testing::TestParamInfo<QualityCase>& info) { return info.param.name; });

TEST_F(SettingsTest, LastUpdateIsReadAndWrittenWithTheDecimalSeparatorOfTheMoment) {
  DecimalSeparatorOverride separator(",");
  ASSERT_EQ(DecimalSeparator(), ",");
  EXPECT_EQ(
      ValueOf(WrittenBack("[TNA]\r\nFirstRun=0\r\nLastUpdate=45000,5\r\n"), "tna", "lastupdate"),
      "45000,5");

  // The regional setting changes: the same file no longer holds a number.
  separator.Set(".");
  ASSERT_EQ(DecimalSeparator(), ".");
  EXPECT_EQ(ValueOf(WrittenBack(Settings()), "tna", "lastupdate"), "0");

  // With "." in force, a value with "." is read; written with 15 significant digits, in
  // decimal notation whatever the value, and negative zero as 0.
  const std::pair<const char*, const char*> cases[] = {
      {"45000.1234567890123", "45000.123456789"}, {"0.00001", "0.00001"}, {"-0", "0"}};
  for (const auto& [in_file, saved] : cases) {
    EXPECT_EQ(
        ValueOf(WrittenBack(std::string("[TNA]\r\nFirstRun=0\r\nLastUpdate=") + in_file + "\r\n"),
                "tna", "lastupdate"),
        saved)
        << in_file;
  }
}

// The ways to close the program while its window is shown: its terminate button, and "Close
// window" on its taskbar entry, which the system sends to the application's own window (the one
// whose caption is the entry's title).
struct CloseWay {
  const char* name;
  void (*close)(const probe::Process& program, HWND window);
};

void PrintTo(const CloseWay& way, std::ostream* out) {
  *out << way.name;
}

void ClickTerminate(const probe::Process&, HWND window) {
  // Posted: the box is modal inside the click, a sent click would wait for it.
  PostClick(probe::Control(window, ctl::SpeedButtonTerminate));
}

void CloseFromTheTaskbar(const probe::Process& program, HWND) {
  const std::vector<HWND> entries = probe::FindTopWindows(program.pid(), txt::TxtApplicationTitle);
  if (entries.size() != 1) throw probe::Error("no single window for the taskbar entry");
  PostMessageA(entries[0], WM_CLOSE, 0, 0);
}

class UnwritableSettingsTest : public SettingsTest,
                               public ::testing::WithParamInterface<CloseWay> {};

TEST_P(UnwritableSettingsTest, TheCloseShowsTheErrorAndTheProgramRunsOn) {
  const std::string before = "[TNA]\r\nFirstRun=0\r\nTone=1\r\n";
  WriteSettings(before);
  probe::Process& program = Start();
  HWND window = StartedWindow(program);
  probe::Send(window, hv::kWmTrayIcon, 0, hv::kWmLButtonUp);
  probe::WaitVisible(window, true, "the main window");
  ExclusiveHold hold(SettingsPath());
  ASSERT_TRUE(hold.Held()) << "cannot hold " << SettingsPath() << " (error " << GetLastError()
                           << ")";

  GetParam().close(program, window);

  HWND box = probe::WaitMessageBox(program.pid());
  char caption[64] = {0};
  GetWindowTextA(box, caption, sizeof caption);
  EXPECT_STREQ(caption, txt::TxtApplicationTitle);
  EXPECT_EQ(probe::MessageBoxText(box), "In " + SettingsPath() + " kann nicht geschrieben werden.");
  EXPECT_EQ(probe::MessageBoxButtons(box), std::vector<int>{probe::kButtonOk});
  probe::PressMessageBoxButton(box, probe::kButtonOk);
  WaitUntil([&] { return probe::MessageBoxes(program.pid()).empty(); }, "the box to go");
  Sleep(300);

  EXPECT_TRUE(program.Running());
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(probe::Visible(window));
  EXPECT_TRUE(TrayIconPresent(window)) << "the close query stops before the icon is deleted";
  EXPECT_EQ(WineTrayIcons().size(), 1u);
  hold.Release();
  EXPECT_EQ(Settings(), before) << "nothing was written";

  // Once the file can be written, the same way ends the program and saves.
  GetParam().close(program, window);
  const auto exit_code = program.WaitExit(probe::kActionTimeoutMs);
  ASSERT_TRUE(exit_code.has_value()) << "the program runs on";
  EXPECT_EQ(*exit_code, 0u);
  const IniFile file = ParseIni(Settings());
  EXPECT_EQ(ValueOf(file, "tna", "tone"), "1");
  EXPECT_EQ(ValueOf(file, "general", "product"), "Horavia");
}

INSTANTIATE_TEST_SUITE_P(Closes, UnwritableSettingsTest,
                         ::testing::Values(CloseWay{"TerminateButton", ClickTerminate},
                                           CloseWay{"TaskbarEntry", CloseFromTheTaskbar}),
                         [](const ::testing::TestParamInfo<CloseWay>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace e2e
