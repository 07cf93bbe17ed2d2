// The receiver library binding and the record functions.
#include "device/KronaltIF.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/Platform.h"

namespace hv {

namespace {

enum EntryIndex {
#define HV_ENTRY(name, takesBuffer) e##name,
#include "device/EntryPoints.def"
  kEntryCount
};

const char* const kEntryNames[kEntryCount] = {
#define HV_ENTRY(name, takesBuffer) #name,
#include "device/EntryPoints.def"
};

// Module-wide: set once by the binding, kept until the process ends.
ModuleHandle library = nullptr;
ProcAddress entries[kEntryCount] = {};

// Room beyond what the library is documented to fill, so that a library
// writing a little more corrupts nothing.
constexpr size_t kSlack = 256;

int32_t Call(EntryIndex index, void* argument = nullptr) {
  return Os().CallProc(entries[index], argument);
}

bool Flag(int32_t result) {
  return (static_cast<uint32_t>(result) & 0xFF) != 0;
}

}  // namespace

bool LoadDeviceLibrary() {
  // Whatever an earlier binding left: a failed one leaves nothing bound.
  std::fill(std::begin(entries), std::end(entries), nullptr);
  library = Os().LoadLibrary("Tempiva");
  if (!library) return false;
  ProcAddress found[kEntryCount] = {};
  bool all = true;
  for (int i = 0; i < kEntryCount; ++i) {
    found[i] = Os().GetProcAddress(library, kEntryNames[i]);
    if (!found[i]) all = false;
  }
  if (all) std::copy(std::begin(found), std::end(found), std::begin(entries));
  return all;
}

int32_t _NumInstalled() {
  return Call(e_NumInstalled);
}

bool _Open() {
  uint8_t name[256 + kSlack] = {};  // length 0: the empty device name
  return Flag(Call(e_Open, name));
}

int32_t _Close() {
  return Call(e_Close);
}
int32_t _GetStatus() {
  return Call(e_GetStatus);
}
bool _TimeChanged() {
  return Flag(Call(e_TimeChanged));
}

bool _GetTimeData(TimeData& record) {
  uint8_t buffer[8 + kSlack] = {};
  const bool filled = Flag(Call(e_GetTimeData, buffer));
  std::memcpy(record.data(), buffer, record.size());
  return filled;
}

int32_t _GetDCFQuality() {
  return Call(e_GetDCFQuality);
}
int32_t _GetDCFStatus() {
  return Call(e_GetDCFStatus);
}
uint8_t _GetCfg() {
  return static_cast<uint8_t>(Call(e_GetCfg) & 0xFF);
}
int32_t _GetBatteryVoltage() {
  return Call(e_GetBatteryVoltage);
}

void _GetDeviceInfo(DeviceInfo& info) {
  uint8_t buffer[6 + kSlack] = {};
  Call(e_GetDeviceInfo, buffer);
  std::memcpy(info.data(), buffer, info.size());
}

std::string _GetSerialNumber() {
  uint8_t buffer[256 + kSlack] = {};
  Call(e_GetSerialNumber, buffer);
  return std::string(reinterpret_cast<const char*>(buffer + 1), buffer[0]);
}

uint8_t BCDToByte(uint8_t value) {
  return static_cast<uint8_t>((value >> 4) * 10 + (value & 15));
}

bool TimeDataValid(const TimeData& r) {
  return (r[tdFlags] & 0x80) != 0 && r[tdDayOfWeek] >= 1 && r[tdDayOfWeek] <= 7 &&
         r[tdHour] < 0x24 && r[tdMinute] < 0x60 && r[tdSecond] < 0x60 && r[tdYear] <= 0x99 &&
         r[tdMonth] >= 0x01 && r[tdMonth] <= 0x12 && r[tdDay] >= 0x01 && r[tdDay] <= 0x31;
}

bool TimeDataIsDCF(const TimeData& r) {
  return (r[tdFlags] & 0x40) != 0;
}
bool TimeDataSpareAntenna(const TimeData& r) {
  return (r[tdFlags] & 0x10) != 0;
}
bool TimeDataSummerTime(const TimeData& r) {
  return (r[tdFlags] & 0x04) != 0;
}
int TimeDataState(const TimeData& r) {
  return r[tdFlags] & 0x03;
}

SystemTime TimeDataToSystemTime(const TimeData& record, uint16_t milliseconds) {
  SystemTime t;
  t.wYear = static_cast<uint16_t>(2000 + BCDToByte(record[tdYear]));
  t.wMonth = BCDToByte(record[tdMonth]);
  t.wDayOfWeek = record[tdDayOfWeek];
  t.wDay = BCDToByte(record[tdDay]);
  t.wHour = BCDToByte(record[tdHour]);
  t.wMinute = BCDToByte(record[tdMinute]);
  t.wSecond = BCDToByte(record[tdSecond]);
  t.wMilliseconds = milliseconds;
  return t;
}

TDateTime TimeDataToDateTime(const TimeData& r) {
  if ((r[tdFlags] & 0x80) == 0) return kFallbackDateTime;
  return TrySystemTimeToDateTime(TimeDataToSystemTime(r, 0)).value_or(kFallbackDateTime);
}

bool CfgHasRTC(uint8_t cfg) {
  return (cfg & 0x01) == 0;
}
bool CfgHasBatteryMeasure(uint8_t cfg) {
  return (cfg & 0x02) == 0;
}
int CfgDCFModule(uint8_t cfg) {
  return (cfg >> 4) ^ 15;
}

}  // namespace hv
