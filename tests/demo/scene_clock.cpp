// Start-up and play for the scene tests.
#include "scene_clock.h"

#include <unistd.h>

#include "demo/startup.h"
#include "display/framebuffer.h"
#include "shell/frame.h"
#include "support/temp_dir.h"

namespace scenetest {

namespace {

void (*watcher)() = nullptr;

void advance() {
    virtual_clock_advance();
    if (watcher) watcher();
}

}  // namespace

bool start(int fps, int width, int height) {
    virtual_clock_start(fps);
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
    virtual_clock_stop();
    render_set_headless(0);
}

}  // namespace scenetest
