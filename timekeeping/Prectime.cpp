// Calibrated microsecond busy-wait on the performance counter.
//
// Arithmetic runs in long double (a 64-bit mantissa on x87, so a 64-bit
// count converts without loss) and converts back to integers rounding to
// nearest with ties to even, which is the default rounding of nearbyintl.
#include "timekeeping/Prectime.h"

#include <cmath>
#include <cstdint>

#include "platform/Platform.h"

namespace hv {

namespace {
int64_t counterFrequency = 0;  // counts per second; fixed at initialisation
int32_t delayOverhead = 0;     // microseconds; fixed at the end of calibration

// Rounds to the nearest 64-bit integer; beyond the range, the nearest end
// of it (a count no wait or measurement can reach).
int64_t RoundToInt64(long double value) {
  constexpr long double kLimit = 9223372036854775808.0L;  // 2^63
  const long double rounded = std::nearbyintl(value);
  if (rounded >= kLimit) return INT64_MAX;
  if (rounded < -kLimit) return INT64_MIN;
  return static_cast<int64_t>(rounded);
}
}  // namespace

void ReadCounter(int64_t& count) {
  Os().QueryPerformanceCounter(count);
}

int64_t ElapsedMicroseconds(int64_t start, int64_t stop) {
  if (counterFrequency <= 0) return 0;  // no counter: nothing can be measured
  // The difference in extended precision: exact wherever it fits 64 bits.
  const long double d = static_cast<long double>(stop) - static_cast<long double>(start);
  return RoundToInt64(d * 1000000.0L / static_cast<long double>(counterFrequency));
}

void DelayMicroseconds(int32_t n) {
  // In 64 bits: with a negative overhead, a request near the 32-bit limit
  // asks for more than 32 bits hold.
  const int64_t m = n > delayOverhead ? int64_t{n} - delayOverhead : 0;
  if (m <= 0 || counterFrequency <= 0) return;
  const int64_t ticks = RoundToInt64(static_cast<long double>(counterFrequency) / 1000000.0L * m);
  int64_t start = 0;
  int64_t now = 0;
  ReadCounter(start);
  do {
    ReadCounter(now);
  } while (now - start < ticks);
}

void CalibrateDelay() {
  delayOverhead = 0;
  if (counterFrequency <= 0) return;  // no counter: no overhead and no wait
  DelayMicroseconds(2);               // warm-up, not measured
  uint32_t sum = 0;                   // 32-bit sum of the low halves, wrapping
  for (int i = 0; i < 16; ++i) {
    int64_t t0 = 0;
    int64_t t1 = 0;
    ReadCounter(t0);
    DelayMicroseconds(2);
    ReadCounter(t1);
    sum += static_cast<uint32_t>(ElapsedMicroseconds(t0, t1));
  }
  delayOverhead = static_cast<int32_t>(sum) / 16 - 2;
}

void InitializePrectime() {
  counterFrequency = 0;
  Os().QueryPerformanceFrequency(counterFrequency);
  CalibrateDelay();
}

int64_t CounterFrequencyValue() {
  return counterFrequency;
}
int32_t DelayOverheadValue() {
  return delayOverhead;
}

}  // namespace hv
