// The deterministic virtual platform.
#include "platform/virtual/VirtualPlatform.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "platform/Controls.h"

namespace hv {

namespace {

constexpr int64_t kUsPerDay = 86400LL * 1000000;
constexpr int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a day number

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s.size() > 4 && s.compare(s.size() - 4, 4, ".dll") == 0) s.resize(s.size() - 4);
  return s;
}

struct TextEntry {
  uint32_t id;
  const char* text;
};
const TextEntry kTexts[] = {
#define HV_TEXT(name, id, text) {id, text},
#include "common/Texts.def"
};

}  // namespace

VirtualPlatform::VirtualPlatform() {
  SetNow(*TryEncodeDate(2026, 12, 8) + *TryEncodeTime(12, 0, 0, 0));
}

TDateTime VirtualPlatform::Now() const {
  return static_cast<TDateTime>(NowUs()) / static_cast<TDateTime>(kUsPerDay);
}

TDateTime VirtualPlatform::TrueNow() const {
  return static_cast<TDateTime>(TrueNowUs()) / static_cast<TDateTime>(kUsPerDay);
}

void VirtualPlatform::SetNow(TDateTime localTime) {
  SetPCClock(localTime);
  trueOffsetUs_ = clockOffsetUs_;
}

void VirtualPlatform::SetPCClock(TDateTime localTime) {
  clockOffsetUs_ = std::llround(localTime * static_cast<double>(kUsPerDay)) - Tick();
}

int64_t VirtualPlatform::TrueUtcMilliseconds() const {
  const int64_t us = TrueNowUs() - kUnixEpochDay * kUsPerDay;
  return (us >= 0 ? us / 1000 : -((-us + 999) / 1000)) + utcOffsetMinutes * 60000LL;
}

SystemTime VirtualPlatform::GetLocalTime() {
  const int64_t us = NowUs();
  const int64_t day = us >= 0 ? us / kUsPerDay : -((-us + kUsPerDay - 1) / kUsPerDay);
  const int64_t msOfDay = (us - day * kUsPerDay) / 1000;
  SystemTime t = *DateTimeToSystemTime(static_cast<TDateTime>(day));
  t.wHour = static_cast<uint16_t>(msOfDay / 3600000);
  t.wMinute = static_cast<uint16_t>(msOfDay / 60000 % 60);
  t.wSecond = static_cast<uint16_t>(msOfDay / 1000 % 60);
  t.wMilliseconds = static_cast<uint16_t>(msOfDay % 1000);
  return t;
}

bool VirtualPlatform::SetLocalTime(const SystemTime& time) {
  setLocalTimeCalls.push_back({time, NowUs(), TrueUtcMilliseconds()});
  auto value = TrySystemTimeToDateTime(time);
  if (!value) {
    lastError_ = 87;  // ERROR_INVALID_PARAMETER
    return false;
  }
  if (!setLocalTimeResult) {
    lastError_ = setLocalTimeError;
    return false;
  }
  SetPCClock(*value);
  lastError_ = 0;
  return true;
}

bool VirtualPlatform::GetVersionEx(OsVersionInfo& info) {
  if (!versionQueryOk || info.dwOSVersionInfoSize != 148) return false;
  info = version;
  info.dwOSVersionInfoSize = 148;
  return true;
}

bool VirtualPlatform::OpenProcessToken(uint32_t desiredAccess, TokenHandle& token) {
  requestedTokenAccess.push_back(desiredAccess);
  if (!openTokenOk) return false;
  ++tokensOpened;
  token = reinterpret_cast<TokenHandle>(static_cast<intptr_t>(0x100 + ++tokenCounter_));
  return true;
}

bool VirtualPlatform::LookupPrivilegeValue(const char* name, Luid& luid) {
  lookedUpPrivileges.push_back(name);
  if (!lookupPrivilegeOk) return false;
  luid = Luid{12, 0};
  return true;
}

bool VirtualPlatform::AdjustTokenPrivilege(TokenHandle, const Luid&, uint32_t attributes) {
  adjustedAttributes.push_back(attributes);
  if (!adjustPrivilegeOk) return false;
  lastError_ = adjustPrivilegeLastError;
  return true;
}

void VirtualPlatform::CloseHandle(TokenHandle) {
  ++tokensClosed;
}

bool VirtualPlatform::QueryPerformanceFrequency(int64_t& frequency) {
  frequency = counterFrequency;
  return counterFrequency != 0;
}

bool VirtualPlatform::QueryPerformanceCounter(int64_t& count) {
  ++counterReads;
  tickNs_ += counterReadCostNs;
  // Counts since the start, from the monotonic time.
  count = static_cast<int64_t>(static_cast<long double>(tickNs_) * counterFrequency / 1e9L);
  return true;
}

void VirtualPlatform::RegisterLibrary(const std::string& name, const std::vector<Export>& exports) {
  libraries_.push_back({Lower(name), exports});
}

ModuleHandle VirtualPlatform::LoadLibrary(const char* name) {
  loadLibraryCalls.push_back(name);
  for (Library& library : libraries_)
    if (library.name == Lower(name)) return &library;
  lastError_ = 126;  // ERROR_MOD_NOT_FOUND
  return nullptr;
}

ProcAddress VirtualPlatform::GetProcAddress(ModuleHandle module, const char* name) {
  auto* library = static_cast<Library*>(module);
  for (const Export& e : library->exports)
    if (std::string(e.name) == name) return reinterpret_cast<ProcAddress>(e.proc);
  lastError_ = 127;  // ERROR_PROC_NOT_FOUND
  return nullptr;
}

int32_t VirtualPlatform::CallProc(ProcAddress proc, void* argument) {
  ++procCalls;
  if (!proc) throw std::logic_error("call of an unresolved entry point");
  // A failure escaping an in-process export is what a fault inside the real
  // library is to the Win32 platform.
  try {
    return reinterpret_cast<Proc>(proc)(argument);
  } catch (const ELibraryFault&) {
    throw;
  } catch (const std::exception& failure) {
    throw ELibraryFault(0, failure.what());
  }
}

bool VirtualPlatform::CreateMutex(const char* name, bool) {
  if (deniedMutexes.count(name)) {
    lastError_ = kErrorAccessDenied;
    return false;
  }
  lastError_ = mutexes.insert(name).second ? 0 : kErrorAlreadyExists;
  return true;
}

void VirtualPlatform::MessageBeep(uint32_t type) {
  beeps.push_back(type);
}

int VirtualPlatform::MessageBox(const std::string& text, const std::string& caption,
                                MessageBoxKind kind, MessageBoxButtons buttons) {
  boxes.push_back({text, caption, kind, buttons, NowUs()});
  // The modal box runs its own message loop until the user answers.
  if (boxAnswerDelayMs > 0) RunFor(boxAnswerDelayMs);
  return buttons == MessageBoxButtons::Cancel ? 2 : 1;
}

std::string VirtualPlatform::LoadText(uint32_t id) {
  for (const TextEntry& e : kTexts)
    if (e.id == id) return e.text;
  return {};
}

std::string VirtualPlatform::FormatShortDate(const SystemTime& t) {
  if (t.wYear < 1601) return {};  // as GetDateFormatA, which fails before 1601
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02u.%02u.%04u", t.wDay, t.wMonth, t.wYear);
  return buffer;
}

std::string VirtualPlatform::FormatLongTime(const SystemTime& t) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
  return buffer;
}

std::string VirtualPlatform::GetSpecialFolderPath(int csidl) {
  auto it = specialFolders.find(csidl);
  return it == specialFolders.end() ? std::string() : it->second;
}

std::string VirtualPlatform::GetProfileString(const std::string& section, const std::string& key,
                                              const std::string& file) {
  profileReads.push_back(section + "/" + key);
  return profiles.Get(section, key, "", file);
}

bool VirtualPlatform::WriteProfileString(const char* section, const char* key, const char* value,
                                         const std::string& file) {
  profileWrites.push_back({section ? section : "", key ? key : "", value ? value : "", file});
  if (!section) return true;         // the flush: nothing is cached here
  if (!key || !value) return false;  // deleting is not modelled
  if (!profiles.Write(section, key, value, file)) {
    lastError_ = 32;  // ERROR_SHARING_VIOLATION
    return false;
  }
  return true;
}

bool VirtualPlatform::ShellNotifyIcon(uint32_t operation, const NotifyIconRecord& record) {
  trayCalls.push_back({operation, record});
  const bool busy = trayBusyCalls > 0;
  if (busy) --trayBusyCalls;
  if (busy && !(trayBusyAddsLand && operation == 0)) return false;
  const auto key = std::pair{record.window, record.id};
  const auto icon = trayIcons.find(key);
  const bool there = icon != trayIcons.end();
  switch (operation) {
    case 0:  // add
      if (there) return false;
      trayIcons[key] = record;
      return !busy;
    case 1:  // modify: the fields its flags name
      if (!there) return false;
      if (record.flags & 2) icon->second.icon = record.icon;
      if (record.flags & 4) icon->second.tip = record.tip;
      return true;
    case 2:  // delete
      if (!there) return false;
      trayIcons.erase(icon);
      return true;
    default:
      return false;
  }
}

// Made-up handles use the upper half of a 64-bit handle where there is one (on a 32-bit build
// this is 0), so that a handle narrowed to 32 bits anywhere in the core shows in a test.
constexpr HandleValue kWideHandle = static_cast<HandleValue>(0x7FFE00000000ull);

HandleValue VirtualPlatform::WindowHandleValue(TForm& form) {
  for (size_t i = 0; i < realizedForms.size(); ++i)
    if (realizedForms[i] == &form) return kWideHandle | (0x10010 + 4 * i);
  return 0;
}

HandleValue VirtualPlatform::IconHandleOf(const std::string& name) const {
  // A stable made-up handle per icon name.
  uint32_t h = 0x20000;
  for (char c : name) h = h * 31 + static_cast<unsigned char>(c);
  return kWideHandle | (h & 0x7FFFFFFC);
}

uint32_t VirtualPlatform::RegisterWindowMessage(const char* name) {
  for (size_t i = 0; i < registeredMessages.size(); ++i)
    if (registeredMessages[i] == name) return static_cast<uint32_t>(0xC000 + i);
  registeredMessages.push_back(name);
  return static_cast<uint32_t>(0xC000 + registeredMessages.size() - 1);
}

bool VirtualPlatform::LoadVersionResource(std::vector<uint8_t>& block) {
  if (versionResource.empty()) return false;
  block = versionResource;
  return true;
}

std::string VirtualPlatform::WideToAnsi(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 256 ? static_cast<char>(c) : '?';
  return out;
}

bool VirtualPlatform::ReportEvent(EventType type, uint32_t messageId,
                                  const std::vector<std::string>& strings) {
  if (!reportEventOk) return false;
  events.push_back({type, messageId, strings, Tick()});
  return true;
}

std::string VirtualPlatform::LoadedLibraryPath(const char* name) {
  const bool registered = std::any_of(libraries_.begin(), libraries_.end(),
                                      [&](const Library& l) { return l.name == Lower(name); });
  const bool loaded = std::any_of(loadLibraryCalls.begin(), loadLibraryCalls.end(),
                                  [&](const std::string& n) { return Lower(n) == Lower(name); });
  return registered && loaded ? libraryFolder + "\\" + name + ".dll" : std::string();
}

void VirtualPlatform::RealizeForm(TForm& form) {
  realizedForms.push_back(&form);
  form.handle = &form;
}

void VirtualPlatform::BringToFront(TForm& form) {
  foreground = &form;
  ++bringToFrontCalls;
}

int64_t VirtualPlatform::Quantise(int64_t us) const {
  if (timerGranularityUs <= 0) return us;
  return (us + timerGranularityUs - 1) / timerGranularityUs * timerGranularityUs;
}

void VirtualPlatform::SetTimer(TForm& form, uint32_t id, uint32_t interval) {
  const int64_t intervalUs = static_cast<int64_t>(std::max<uint32_t>(interval, 1)) * 1000;
  timers_[{&form, id}] = Timer{intervalUs, Quantise(Tick() + intervalUs), false, ++timerOrder_,
                               form.TimerKindOf(id) == TimerKind::Wait};
}

void VirtualPlatform::KillTimer(TForm& form, uint32_t id) {
  timers_.erase({&form, id});
}

bool VirtualPlatform::TimerActive(const TForm& form, uint32_t id) const {
  return timers_.count({&form, id}) != 0;
}

int64_t VirtualPlatform::TimerDueUs(const TForm& form, uint32_t id) const {
  auto it = timers_.find({&form, id});
  return it == timers_.end() ? -1 : it->second.dueUs;
}

void VirtualPlatform::Post(std::function<void()> message) {
  posted_.push_back(std::move(message));
}

void VirtualPlatform::ExpireTimers() {
  for (auto& [key, timer] : timers_) {
    if (timer.dueUs > Tick()) continue;
    timer.pending = true;  // several expiries still make one pending tick
    while (timer.dueUs <= Tick()) timer.dueUs = Quantise(timer.dueUs + timer.intervalUs);
  }
}

bool VirtualPlatform::ProcessOne(bool inWait) {
  if (terminated_) return false;
  if (!posted_.empty()) {
    auto message = std::move(posted_.front());
    posted_.pop_front();
    Guard(message);  // as a window procedure runs it
    return true;
  }
  ExpireTimers();
  // Timer ticks only when no other message is pending; the earliest set first.
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it)
    if (it->second.pending && (inWait || !it->second.wait) &&
        (next == timers_.end() || it->second.order < next->second.order))
      next = it;
  if (next == timers_.end()) return false;
  next->second.pending = false;
  const auto [form, id] = next->first;
  const_cast<TForm*>(form)->DispatchTimer(id);
  return true;
}

int64_t VirtualPlatform::NextDueUs(bool inWait) const {
  int64_t next = INT64_MAX;
  for (const auto& [key, timer] : timers_)
    if (inWait || !timer.wait) next = std::min(next, timer.dueUs);
  return next;
}

void VirtualPlatform::RunFor(int64_t ms) {
  const int64_t until = Tick() + ms * 1000;
  while (!terminated_) {
    if (ProcessOne(false)) continue;
    const int64_t next = NextDueUs(false);
    if (next > until) {
      AdvanceTo(until);
      return;
    }
    AdvanceTo(next);
  }
}

void VirtualPlatform::RunMessageLoop() {
  while (!terminated_) {
    if (ProcessOne(false)) continue;
    const int64_t next = NextDueUs(false);
    if (next == INT64_MAX) return;  // nothing could ever arrive
    AdvanceTo(next);
  }
}

void VirtualPlatform::WaitAndProcessMessages() {
  if (terminated_) return;
  if (!ProcessOne(true)) {
    // Waiting: time passes until the next timer is due.
    const int64_t next = NextDueUs(true);
    AdvanceTo(next == INT64_MAX ? Tick() + std::max<int64_t>(timerGranularityUs, 1000) : next);
    if (!ProcessOne(true)) return;
  }
  while (ProcessOne(true)) {
  }
}

}  // namespace hv
