// The scenes played in this process on the virtual clock, the way the capture tool plays them: start-up
// headless from the build's data, then chosen positions of the pass with the timeline's hooks watching.
#pragma once

#include "demo/scene_cycle.h"
#include "demo/virtual_clock.h"

namespace scenetest {

// Start-up from the build's data with the clock standing still; frames are rendered at width x height.
// False when the media are missing.
bool start(int fps, int width, int height);
// Plays positions first..last on the clock; the hooks' `frame_done` runs after each frame, once the
// clock has moved on past it (the time the scene's end test reads).
void play(int first, int last);
// Everything back as the demo has it.
void finish();

inline double now() {
    return virtual_clock_seconds();
}

}  // namespace scenetest
