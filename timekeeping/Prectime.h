// A busy-wait delay in microseconds on the performance counter, corrected
// by an overhead measured once at start.
#pragma once

#include <cstdint>

namespace hv {

// Reads the performance counter (counts); the call's result is ignored.
void ReadCounter(int64_t& count);
// Whole microseconds from `start` to `stop` (negative when stop is
// earlier), rounded to nearest, ties to even; 0 when the counter has no
// frequency.
int64_t ElapsedMicroseconds(int64_t start, int64_t stop);
// Spins until at least `n` microseconds less the measured overhead have
// passed; returns at once, without reading the counter, when that is not
// positive or the counter has no frequency.
void DelayMicroseconds(int32_t n);
// Measures the overhead of one request (seventeen short waits).
void CalibrateDelay();

// The unit's initialisation: reads the counter frequency, then calibrates.
void InitializePrectime();

// Read-only views of the calibration, for tests.
int64_t CounterFrequencyValue();
int32_t DelayOverheadValue();

}  // namespace hv
