// The virtual clock of the scene tests.
#include "scene_clock.h"

#include <unistd.h>

#include "demo/startup.h"
#include "display/framebuffer.h"
#include "shell/frame.h"
#include "support/temp_dir.h"

namespace scenetest {

VirtualClock virtual_clock;

namespace {

int64_t microseconds(int64_t frame) {
    return (frame * 2000000 / virtual_clock.fps + 1) / 2;
}

WallTime read_virtual() {
    const int64_t us = microseconds(virtual_clock.frame);
    return WallTime{us / 1000000, static_cast<int32_t>(us % 1000000)};
}

void no_sleep(unsigned) {}

void (*watcher)() = nullptr;

void advance() {
    ++virtual_clock.frame;
    if (watcher) watcher();
}

}  // namespace

bool start(int fps, int width, int height) {
    virtual_clock = VirtualClock{fps, 0};
    clock_set_source(read_virtual, no_sleep);
    clock_reset();
    if (chdir(vmtest::build_dir().c_str()) != 0) return false;
    render_set_headless(1);
    if (!startup_load(true)) return false;
    set_resolution(width, height);
    return true;
}

void play(int first, int last) {
    SceneHooks& h = scene_hooks;
    watcher = h.frame_done;
    h.frame_done = advance;
    h.first = first;
    h.last = last;
    h.music = 0;
    scene_cycle_pass();
    h.frame_done = watcher;
}

void finish() {
    scene_hooks = SceneHooks{};
    clock_set_source(nullptr, nullptr);
    render_set_headless(0);
}

double now() {
    return static_cast<double>(microseconds(virtual_clock.frame)) / 1e6;
}

}  // namespace scenetest
