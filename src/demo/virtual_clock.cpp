// The virtual engine clock, through the engine clock's source seam.
#include "demo/virtual_clock.h"

#include "core/clock.h"

VirtualClock virtual_clock;

namespace {

WallTime read_virtual() {
    const int64_t us = virtual_clock_microseconds(virtual_clock.frame);
    return WallTime{us / 1000000, static_cast<int32_t>(us % 1000000)};
}

// The back-step guard never fires on a clock that only goes forwards; should it, nobody waits.
void no_sleep(unsigned) {}

}  // namespace

void virtual_clock_start(int fps) {
    virtual_clock = VirtualClock{fps > 0 ? fps : 1, 0};
    clock_set_source(read_virtual, no_sleep);
    clock_reset();
}

void virtual_clock_advance() {
    ++virtual_clock.frame;
}

int64_t virtual_clock_microseconds(int64_t frame) {
    return (frame * 2000000 / virtual_clock.fps + 1) / 2;
}

double virtual_clock_seconds() {
    return static_cast<double>(virtual_clock_microseconds(virtual_clock.frame)) / 1e6;
}

void virtual_clock_stop() {
    clock_set_source(nullptr, nullptr);
}
