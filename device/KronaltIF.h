// The binding to the receiver library Tempiva.dll and the records it fills.
//
// `LoadDeviceLibrary` binds the twenty entry points once; the entry-point
// wrappers below may be called only after it returned true. The record
// functions are pure and touch no device.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/DateTime.h"

namespace hv {

// The receiver's time, 8 bytes: BCD year of the century, month, day, hour,
// minute, second; day of week 1 = Monday .. 7 = Sunday; flag byte.
using TimeData = std::array<uint8_t, 8>;
// Firmware version (bytes 0-1, little endian), build, type/revision, mode.
using DeviceInfo = std::array<uint8_t, 6>;

enum TimeDataByte { tdYear, tdMonth, tdDay, tdHour, tdMinute, tdSecond, tdDayOfWeek, tdFlags };

// Binds "Tempiva" by bare name and resolves all twenty entry points; true
// only when the library loaded and every one was found. The library stays
// loaded either way, for the life of the process; after a false answer no
// entry point is bound, whatever an earlier call bound.
bool LoadDeviceLibrary();

// The entry points, by the names the library exports. Flags are read from
// the low byte of the result only; buffers handed to the library are larger
// than documented, and only the documented bytes are read back.
int32_t _NumInstalled();
bool _Open();  // with the empty device name
int32_t _Close();
int32_t _GetStatus();  // 1 ready, -1 failure, else not ready yet
bool _TimeChanged();
bool _GetTimeData(TimeData& record);
int32_t _GetDCFQuality();
int32_t _GetDCFStatus();       // reception state 0..3
uint8_t _GetCfg();             // configuration byte
int32_t _GetBatteryVoltage();  // millivolts; negative = no reading
void _GetDeviceInfo(DeviceInfo& info);
std::string _GetSerialNumber();

uint8_t BCDToByte(uint8_t value);  // high nibble * 10 + low nibble
bool TimeDataValid(const TimeData& record);
bool TimeDataIsDCF(const TimeData& record);         // flag bit 6
bool TimeDataSpareAntenna(const TimeData& record);  // flag bit 4
bool TimeDataSummerTime(const TimeData& record);    // flag bit 2
int TimeDataState(const TimeData& record);          // flag bits 1-0
// The record's date and time as a system time record: year 2000 + the BCD
// year, the BCD fields decoded, the day-of-week byte unchanged, and the
// given milliseconds. Nothing is checked.
SystemTime TimeDataToSystemTime(const TimeData& record, uint16_t milliseconds);
// The record's date and time with whole seconds; 1980-01-01 00:00:00 when
// the time flag is clear or the fields form no date and time.
TDateTime TimeDataToDateTime(const TimeData& record);

bool CfgHasRTC(uint8_t cfg);             // bit 0 clear
bool CfgHasBatteryMeasure(uint8_t cfg);  // bit 1 clear
int CfgDCFModule(uint8_t cfg);           // high nibble XOR 15

}  // namespace hv
