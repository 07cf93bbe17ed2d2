// The deterministic virtual platform of the core tests: a virtual clock,
// window timers and a message loop that behave like Windows' (a timer tick
// is generated only when its timer is due and no other message is pending,
// at most one pending per timer, on a configurable timer granularity; a
// wait timer the same, but only in WaitAndProcessMessages, not in the
// outer loop nor in a modal one's),
// recorded and answered message boxes, a mutex namespace, libraries
// registered by name, and scriptable privilege, version and clock results.
// Nothing here reads the real clock or sleeps.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/DateTime.h"
#include "platform/Platform.h"
#include "platform/virtual/ProfileFile.h"

namespace hv {

class VirtualPlatform : public Platform {
 public:
  VirtualPlatform();

  // --- Time: the true time, and the PC clock that the program sets ---------
  // Two clocks run on the one monotonic time of the timers: the true time,
  // which only a test sets and which the receiver keeps, and the PC clock,
  // which starts where a test puts it and which `SetLocalTime` sets. Both
  // are local time of the zone below, microseconds since 1899-12-30 00:00.
  //
  // The PC clock (what `GetLocalTime` reads).
  int64_t NowUs() const { return tickNs_ / 1000 + clockOffsetUs_; }
  TDateTime Now() const;
  // The true time.
  int64_t TrueNowUs() const { return tickNs_ / 1000 + trueOffsetUs_; }
  TDateTime TrueNow() const;
  // The monotonic time the timers run on, microseconds since the start.
  int64_t TickUs() const { return tickNs_ / 1000; }
  // It is now `localTime`: the true time and the PC clock both read it.
  void SetNow(TDateTime localTime);
  // The PC clock alone reads `localTime` from now on; the true time runs on.
  void SetPCClock(TDateTime localTime);
  // Minutes to add to local time to get UTC (CET: -60).
  int utcOffsetMinutes = -60;
  // The true time as UTC milliseconds since 1970-01-01: the in-process
  // receiver's clock.
  int64_t TrueUtcMilliseconds() const;

  struct SetLocalTimeCall {
    SystemTime time;
    int64_t atUs;        // the PC clock when asked
    int64_t trueUtcMs;   // the true time when asked
  };
  std::vector<SetLocalTimeCall> setLocalTimeCalls;
  bool setLocalTimeResult = true;  // the system accepts (and takes) the time
  // Why it does not: ERROR_PRIVILEGE_NOT_HELD unless a test says otherwise.
  uint32_t setLocalTimeError = 1314;

  // --- Version and privileges ------------------------------------------------
  uint32_t startupPlatformId = kPlatformWin32NT;
  bool versionQueryOk = true;
  OsVersionInfo version{148, 5, 1, 2600, kPlatformWin32NT};
  bool openTokenOk = true;
  bool lookupPrivilegeOk = true;
  bool adjustPrivilegeOk = true;
  uint32_t adjustPrivilegeLastError = 0;  // 1300 when the account lacks the right
  int tokensOpened = 0;
  int tokensClosed = 0;
  std::vector<std::string> lookedUpPrivileges;
  std::vector<uint32_t> requestedTokenAccess;
  std::vector<uint32_t> adjustedAttributes;

  // --- Performance counter ----------------------------------------------------
  int64_t counterFrequency = 10000000;  // counts per second
  int64_t counterReadCostNs = 1000;     // virtual time each counter reading takes
  int counterReads = 0;

  // The program's windows are gone (a test ends one program to start another):
  // their timers and the messages posted to them go with them, as on Windows.
  void DestroyWindows() {
    timers_.clear();
    posted_.clear();
  }

  // --- Libraries ------------------------------------------------------------------
  using Proc = int32_t (*)(void* argument);
  struct Export {
    const char* name;
    Proc proc;
  };
  // Registers a library under `name` (matched without regard to case, with
  // or without ".dll").
  void RegisterLibrary(const std::string& name, const std::vector<Export>& exports);
  std::vector<std::string> loadLibraryCalls;
  // Calls of entry points, also of one that is not bound (which fail).
  int procCalls = 0;

  // --- Mutexes: names that exist in the system's namespace --------------------
  std::set<std::string> mutexes;
  // Names whose mutex this process may not open (held by an elevated process
  // of the same user): creating one fails with access denied.
  std::set<std::string> deniedMutexes;

  // --- Beeps and message boxes ----------------------------------------------------
  struct Box {
    std::string text;
    std::string caption;
    MessageBoxKind kind;
    MessageBoxButtons buttons;
    int64_t atUs;
  };
  std::vector<Box> boxes;
  std::vector<uint32_t> beeps;
  // How long the user takes to answer a box; the box's own message loop
  // runs meanwhile, as a modal box's does.
  int64_t boxAnswerDelayMs = 0;

  // --- Settings file ----------------------------------------------------------------
  std::map<int, std::string> specialFolders{{26, "C:\\Users\\user\\AppData\\Roaming"}};
  ProfileFiles profiles;
  struct ProfileWrite {
    std::string section, key, value;  // section empty: a flush
    std::string file;
  };
  std::vector<ProfileWrite> profileWrites;
  std::vector<std::string> profileReads;  // "section/key"
  char decimalSeparator = '.';

  // --- Tray, shell, version resource ----------------------------------------------
  struct TrayCall {
    uint32_t operation;
    NotifyIconRecord record;
  };
  std::vector<TrayCall> trayCalls;
  // The shell's icons by window and id, as the last add and modifies left
  // them: an add fails for an icon that is there, a modify or delete for one
  // that is not.
  std::map<std::pair<HandleValue, uint32_t>, NotifyIconRecord> trayIcons;
  // The shell is busy for this many calls, which fail; with
  // `trayBusyAddsLand` an add among them takes effect all the same (an add
  // that timed out).
  int trayBusyCalls = 0;
  bool trayBusyAddsLand = false;
  std::vector<std::string> shellOpened;
  std::vector<std::string> registeredMessages;
  std::vector<uint8_t> versionResource;  // empty: no resource
  HandleValue IconHandleOf(const std::string& name) const;

  // --- Event log: the events written, in order ------------------------------------
  struct Event {
    EventType type;
    uint32_t messageId;
    std::vector<std::string> strings;
    int64_t atUs;  // the monotonic time when written
  };
  std::vector<Event> events;
  bool reportEventOk = true;  // false: the log takes no event (a full log, no service)
  // Where a loaded library lies: this folder, named as it was asked for, with ".dll".
  std::string libraryFolder = "C:\\Program Files\\Horavia";

  // --- Windows ----------------------------------------------------------------------
  std::string applicationTitle;
  std::vector<TForm*> realizedForms;
  TForm* foreground = nullptr;
  int bringToFrontCalls = 0;
  std::vector<TForm*> flashedForms;

  // --- Message loop ---------------------------------------------------------------------
  int64_t timerGranularityUs = 15600;
  // Queues an action as a window message (a click, a message from another
  // process); it runs when the loop next takes a message.
  void Post(std::function<void()> message);
  // Runs the message loop for `ms` of virtual time (or until Quit).
  void RunFor(int64_t ms);
  bool TimerActive(const TForm& form, uint32_t id) const;
  // Due time of a running timer (microseconds), -1 when not running.
  int64_t TimerDueUs(const TForm& form, uint32_t id) const;

  // --- Platform -------------------------------------------------------------------------
  SystemTime GetLocalTime() override;
  bool SetLocalTime(const SystemTime& time) override;
  uint32_t GetLastError() override { return lastError_; }
  uint32_t StartupPlatformId() override { return startupPlatformId; }
  bool GetVersionEx(OsVersionInfo& info) override;
  bool OpenProcessToken(uint32_t desiredAccess, TokenHandle& token) override;
  bool LookupPrivilegeValue(const char* name, Luid& luid) override;
  bool AdjustTokenPrivilege(TokenHandle token, const Luid& luid, uint32_t attributes) override;
  void CloseHandle(TokenHandle handle) override;
  bool QueryPerformanceFrequency(int64_t& frequency) override;
  bool QueryPerformanceCounter(int64_t& count) override;
  ModuleHandle LoadLibrary(const char* name) override;
  ProcAddress GetProcAddress(ModuleHandle module, const char* name) override;
  int32_t CallProc(ProcAddress proc, void* argument) override;
  bool CreateMutex(const char* name, bool initialOwner) override;
  void MessageBeep(uint32_t type) override;
  int MessageBox(const std::string& text, const std::string& caption, MessageBoxKind kind,
                 MessageBoxButtons buttons) override;
  std::string LoadText(uint32_t id) override;
  std::string FormatShortDate(const SystemTime& time) override;
  std::string FormatLongTime(const SystemTime& time) override;
  std::string GetSpecialFolderPath(int csidl) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& file) override;
  bool WriteProfileString(const char* section, const char* key, const char* value,
                          const std::string& file) override;
  char DecimalSeparator() override { return decimalSeparator; }
  std::string Utf8ToAnsi(const std::string& text) override { return text; }
  bool ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record) override;
  HandleValue WindowHandleValue(TForm& form) override;
  HandleValue LoadSmallIcon(const std::string& resourceName) override {
    return IconHandleOf(resourceName);
  }
  uint32_t RegisterWindowMessage(const char* name) override;
  void ShellOpen(const std::string& link) override { shellOpened.push_back(link); }
  bool LoadVersionResource(std::vector<uint8_t>& block) override;
  std::string WideToAnsi(const std::u16string& text) override;
  bool ReportEvent(EventType type, uint32_t messageId,
                   const std::vector<std::string>& strings) override;
  std::string LoadedLibraryPath(const char* name) override;
  void SetApplicationTitle(const std::string& title) override { applicationTitle = title; }
  void RealizeForm(TForm& form) override;
  void UpdateFormWindow(TForm&) override {}
  void BringToFront(TForm& form) override;
  void FlashForm(TForm& form) override { flashedForms.push_back(&form); }
  void SetTimer(TForm& form, uint32_t id, uint32_t interval) override;
  void KillTimer(TForm& form, uint32_t id) override;
  void RunMessageLoop() override;
  void WaitAndProcessMessages() override;
  void Quit() override { terminated_ = true; }
  bool Terminated() override { return terminated_; }

 private:
  struct Timer {
    int64_t intervalUs;
    int64_t dueUs;
    bool pending;
    uint64_t order;  // set order, to deliver simultaneous ticks like Windows
    bool wait;       // a wait timer: ticks only in WaitAndProcessMessages
  };
  using TimerKey = std::pair<const TForm*, uint32_t>;
  struct Library {
    std::string name;
    std::vector<Export> exports;
  };

  int64_t Quantise(int64_t us) const;
  int64_t Tick() const { return tickNs_ / 1000; }
  void AdvanceTo(int64_t us) {
    if (us * 1000 > tickNs_) tickNs_ = us * 1000;
  }
  void ExpireTimers();
  // One message, or one due timer's tick; `inWait`: in the program's own
  // wait, where wait timers tick too.
  bool ProcessOne(bool inWait);
  int64_t NextDueUs(bool inWait) const;

  int64_t tickNs_ = 0;  // monotonic time since the start
  int64_t clockOffsetUs_ = 0;  // PC clock minus monotonic time
  int64_t trueOffsetUs_ = 0;   // true time minus monotonic time
  uint32_t lastError_ = 0;
  bool terminated_ = false;
  std::map<TimerKey, Timer> timers_;
  uint64_t timerOrder_ = 0;
  std::deque<std::function<void()>> posted_;
  std::vector<Library> libraries_;
  int tokenCounter_ = 0;
};

}  // namespace hv
