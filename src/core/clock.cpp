#include "core/clock.h"

#include <sys/time.h>
#include <unistd.h>

EngineClock engine_clock;

namespace {

WallTime read_gettimeofday() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return {static_cast<int64_t>(tv.tv_sec), static_cast<int32_t>(tv.tv_usec)};
}

void sleep_usleep(unsigned microseconds) {
    usleep(microseconds);
}

WallClockFn read_wall = read_gettimeofday;
SleepFn pause_for = sleep_usleep;

// A set-back clock is held this long before time runs on, and the floor rises this far above it.
constexpr unsigned BACKSTEP_PAUSE_US = 40000;
constexpr long double BACKSTEP_FLOOR_MARGIN = 0.02L;

}  // namespace

double engine_time() {
    WallTime now = read_wall();
    long double fraction = static_cast<long double>(now.microseconds) / 1000000.0L;
    long double raw;
    if (!engine_clock.clock_started) {
        engine_clock.clock_base_seconds = now.seconds;
        engine_clock.clock_started = 1;
        engine_clock.clock_base_fraction = fraction + 0.0L;
        raw = 0;
    } else {
        raw = static_cast<long double>(now.seconds - engine_clock.clock_base_seconds) + fraction -
              engine_clock.clock_base_fraction;
    }
    double t = static_cast<double>(raw);
    // The floor only moves inside this guard, so it fires only when the wall clock went back to
    // before the first reading; the offset is replaced, not accumulated.
    if (engine_clock.clock_floor > t) {
        engine_clock.clock_offset = engine_clock.clock_floor - t;
        engine_clock.clock_floor = t + BACKSTEP_FLOOR_MARGIN;
        pause_for(BACKSTEP_PAUSE_US);
    }
    return static_cast<double>(t + engine_clock.clock_offset);
}

void clock_set_source(WallClockFn read, SleepFn sleep) {
    read_wall = read != nullptr ? read : read_gettimeofday;
    pause_for = sleep != nullptr ? sleep : sleep_usleep;
}

void clock_reset() {
    engine_clock = EngineClock{};
}
