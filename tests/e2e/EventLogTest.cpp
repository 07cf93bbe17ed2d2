// End to end: the events that a start, a setting of the clock and an end write to the event log.
// Wine keeps no event log: it prints each call as a "fixme" of its `advapi` channel (with the
// type and the message id) and each insertion string on its `eventlog` channel, on the standard
// error that the program shares with this test. CTest's e2e_eventlog sends that to a file
// (HV_E2E_STDERR), which the test reads back; the program gets the channels through its own
// environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "app/EventLog.h"
#include "common/ControlIds.h"
#include "tests/e2e/E2eFixture.h"

namespace e2e {
namespace {

constexpr char kWineDebug[] = "-all,+eventlog,fixme+advapi";

struct WineEvent {
  unsigned type = 0;
  unsigned long messageId = 0;
  std::vector<std::string> strings;
};

// The text of a string as Wine's debugstr_w prints it: L"C:\\x \"y\"".
std::string Unquoted(const std::string& printed) {
  const size_t open = printed.find("L\"");
  const size_t close = printed.rfind('"');
  std::string text;
  for (size_t i = open + 2; open != std::string::npos && i < close; ++i) {
    if (printed[i] == '\\' && i + 1 < close) ++i;
    text += printed[i];
  }
  return text;
}

// "0024:fixme:advapi:ReportEventW (handle,0x0004,0x0000,0x40000001,...): stub", then one
// "0024:trace:eventlog:ReportEventW L"..."" (warn:, err:) line per insertion string.
std::vector<WineEvent> ParseWineEvents(const std::string& text) {
  static const std::regex call(
      R"(:advapi:ReportEventW \([^,]*,0x([0-9a-fA-F]+),[^,]*,0x([0-9a-fA-F]+),)");
  std::vector<WineEvent> events;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (std::regex_search(line, m, call)) {
      events.push_back({static_cast<unsigned>(std::stoul(m[1], nullptr, 16)),
                        std::stoul(m[2], nullptr, 16),
                        {}});
    } else if (line.find(":eventlog:ReportEventW L\"") != std::string::npos && !events.empty()) {
      events.back().strings.push_back(Unquoted(line));
    }
  }
  return events;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class EventLog : public HoraviaTest {
 protected:
  // Wine's standard error since `from`, as events.
  std::vector<WineEvent> EventsSince(size_t from) const {
    const std::string all = probe::ReadTextFile(stderr_).value_or("");
    return ParseWineEvents(all.size() > from ? all.substr(from) : "");
  }
  std::vector<WineEvent> Only(const std::vector<WineEvent>& events, hv::EventKind kind) const {
    std::vector<WineEvent> found;
    for (const WineEvent& e : events)
      if (e.messageId == hv::MessageId(kind)) found.push_back(e);
    return found;
  }
  std::string stderr_;
};

// The hourly rule as in SyncTest: the receiver first runs ahead of the machine's clock (Wine
// refuses the time), then in step, and the clock is set. Every event names what the issue
// asks of it, and the program's message table has a sentence for each with its strings in it.
TEST_F(EventLog, AStartASettingAndAnEndWriteTheirEvents) {
  const char* log = std::getenv("HV_E2E_STDERR");
  if (!log || !*log) GTEST_SKIP() << "needs Wine's standard error in a file: CTest's e2e_eventlog";
  stderr_ = probe::WindowsPath(log);
  const size_t before = probe::ReadTextFile(stderr_).value_or("").size();

  const long long in_step = LocalMinusUtcMs();
  const long long ahead = OffsetReaching(1000, 3600000, in_step, 4000);
  const long long first = ahead - in_step < 120000 ? ahead - 3600000 : ahead;
  WriteSettings(std::string(kSettingsAfterFirstRun) + "PeriodicalUpdate=1\r\nTimeRef=0\r\n");
  const std::string folder = Folder("program");
  PutProgram(folder, Dll::kCdecl);
  WriteFile(Path("scenario.ini"), "summer = 1\noffset_ms = " + std::to_string(first) +
                                      "\noffset_changes = " + std::to_string(in_step) + "@8000\n");
  probe::Process& program =
      Launch(folder, Path("scenario.ini"), "", "", {{"WINEDEBUG", std::string(kWineDebug)}});
  HWND window = StartedWindow(program);
  WaitUntil([&] { return !Only(EventsSince(before), hv::ev::ClockSet).empty(); },
            "the event of the clock's setting", 20000);
  PostClick(probe::Control(window, hv::ctl::SpeedButtonTerminate));
  ASSERT_EQ(program.WaitExit(probe::kActionTimeoutMs), 0u);

  const std::vector<WineEvent> events = EventsSince(before);
  const std::string build = sizeof(void*) == 8 ? "x64" : "x86";
  const std::vector<WineEvent> started = Only(events, hv::ev::Started);
  ASSERT_EQ(started.size(), 1u);
  ASSERT_EQ(started[0].strings.size(), 4u);
  EXPECT_EQ(started[0].strings[0], HV_PROJECT_VERSION);
  EXPECT_EQ(started[0].strings[1], build);
  EXPECT_EQ(started[0].strings[2], "found");
  EXPECT_EQ(Lower(started[0].strings[3]), Lower(folder));

  const std::vector<WineEvent> refused = Only(events, hv::ev::SettingRefused);
  ASSERT_EQ(refused.size(), 1u) << "the receiver ahead, once";
  EXPECT_EQ(refused[0].strings.front(), "no right");
  EXPECT_EQ(refused[0].strings.back(), "1314");  // Wine's answer to a time off its clock

  const std::vector<WineEvent> set = Only(events, hv::ev::ClockSet);
  ASSERT_EQ(set.size(), 1u);
  ASSERT_EQ(set[0].strings.size(), 4u);
  EXPECT_TRUE(
      std::regex_match(set[0].strings[0], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.100)")))
      << set[0].strings[0];
  EXPECT_EQ(set[0].strings[1], "UTC");
  // Wine takes a time only within half a second of its own clock.
  EXPECT_TRUE(std::regex_match(set[0].strings[2], std::regex(R"([+-]0\.\d{3})")))
      << set[0].strings[2];
  EXPECT_EQ(set[0].strings[3], "hourly");

  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().messageId, hv::MessageId(hv::ev::Ended));
  EXPECT_EQ(events.back().strings, std::vector<std::string>{HV_PROJECT_VERSION});
  EXPECT_EQ(Only(events, hv::ev::ReceiverFound).size(), 1u);

  // Each event's type is its message's severity, and the message table fills in its strings.
  HMODULE exe =
      LoadLibraryExA((folder + "\\" + kExeName).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  for (const WineEvent& e : events) {
    SCOPED_TRACE(e.messageId);
    const unsigned severity = e.messageId >> 30;
    EXPECT_EQ(e.type, severity == 3 ? 1u : severity == 2 ? 2u : 4u);
    std::vector<DWORD_PTR> args;
    for (const std::string& s : e.strings) args.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    char* text = nullptr;
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                           FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       exe, e.messageId, 0, reinterpret_cast<char*>(&text), 0,
                       args.empty() ? nullptr : reinterpret_cast<va_list*>(args.data()));
    ASSERT_NE(n, 0u) << "no message " << std::hex << e.messageId;
    const std::string sentence(text, n);
    LocalFree(text);
    for (const std::string& s : e.strings)
      EXPECT_NE(sentence.find(s), std::string::npos) << sentence;
  }
  // Every event the program may write has its sentence.
  for (hv::EventKind kind :
       {hv::ev::Started, hv::ev::NoPrivilege, hv::ev::ClockSet, hv::ev::SettingRefused,
        hv::ev::ReceiverFound, hv::ev::ReceiverLost, hv::ev::LibraryFault, hv::ev::Ended}) {
    char text[1024];
    EXPECT_NE(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, exe,
                             hv::MessageId(kind), 0, text, sizeof text, nullptr),
              0u)
        << "no message for event " << kind.id;
  }
  FreeLibrary(exe);
}

}  // namespace
}  // namespace e2e
