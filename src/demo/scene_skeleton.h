// The skeleton every scene follows, written once: the time origin, the loop of frames (the frame's end,
// the scene's own updates from the elapsed time, the camera, the window's size, the frame) with the end
// test after the frame, so that a scene lasts its own number of seconds on any machine. Main thread.
#pragma once

#include "core/clock.h"
#include "demo/scene_cycle.h"
#include "shell/frame_end.h"

struct SceneClock {
    int position;   // in the scene list, 1 to SCENE_COUNT
    double t0;      // engine_time when the scene began
    float seconds;  // how long it plays

    // Seconds since the scene began, read afresh from the clock.
    float elapsed() const { return static_cast<float>(engine_time() - t0); }
};

// How a scene's frame reaches the screen after its updates.
enum class SceneShow {
    frame,        // camera, the window's size, render_frame
    no_sync,      // camera and render_frame; the frame buffer keeps its size for the whole scene
    own,          // camera, the window's size, then the scene's own rendering function
    own_no_sync,  // camera, then the scene's own rendering function
};

// Step 1: the time origin of the scene at `position`, with its length from the scene list.
SceneClock scene_begin(int position);
// The steps after the scene's own updates, and the hook of a finished frame.
void scene_show(SceneShow show, void (*own_render)());
// The end test, made after the frame: the last frame drawn is the first one that ends past the length.
bool scene_goes_on(const SceneClock& clock);
// The scene returned: the hook of the timeline.
void scene_end(const SceneClock& clock);

// Step 3, the loop: `update(e)` places everything from the elapsed seconds e.
template <class Update>
void scene_loop(const SceneClock& clock, Update&& update, SceneShow show = SceneShow::frame,
                void (*own_render)() = nullptr) {
    do {
        frame_end();
        update(clock.elapsed());
        scene_show(show, own_render);
    } while (scene_goes_on(clock));
}
