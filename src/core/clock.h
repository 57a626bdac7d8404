// The engine clock: seconds since the first reading, the single time base of the whole demo.
// Main thread only (the music player process has its own copy after fork).
#pragma once

#include <cstdint>

struct EngineClock {
    int clock_started = 0;                // 0 until the first reading
    int64_t clock_base_seconds = 0;       // tv_sec of the first reading
    long double clock_base_fraction = 0;  // tv_usec / 1e6 of the first reading
    long double clock_floor = 0;          // lowest raw time accepted without correction
    long double clock_offset = 0;         // added to every raw reading once the back-step guard fired
};

extern EngineClock engine_clock;

// Seconds since the first call (which returns exactly 0). When the wall clock is set back to before
// the first reading, time is held at the old floor and the call pauses 40 ms, then runs on from there.
double engine_time();

// Test seam: the wall-clock reading and the pause. Defaults are gettimeofday and usleep.
struct WallTime {
    int64_t seconds;
    int32_t microseconds;
};
using WallClockFn = WallTime (*)();
using SleepFn = void (*)(unsigned microseconds);
void clock_set_source(WallClockFn read, SleepFn sleep);  // nullptr restores the default
void clock_reset();                                      // forget the first reading
