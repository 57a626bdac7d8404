// A virtual engine clock for playing the demo headless (the capture tool, the tests): it stands still
// until told to move and then advances exactly 1/fps a frame, so a frame shows the same moment of the
// pass on any machine, however long it took to render. Main thread.
#pragma once

#include <cstdint>

struct VirtualClock {
    int fps = 30;
    int64_t frame = 0;  // frames shown since the clock was started
};

extern VirtualClock virtual_clock;

// Makes the engine clock read the virtual one, at frame 0 and standing still until the first advance.
void virtual_clock_start(int fps);
// One frame on.
void virtual_clock_advance();
// The time of a frame in whole microseconds, from its index: no error accumulates over a pass.
int64_t virtual_clock_microseconds(int64_t frame);
// Seconds the clock shows now.
double virtual_clock_seconds();
// The engine clock back on the wall clock.
void virtual_clock_stop();
