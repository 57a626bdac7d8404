// The scenes played in this process on a virtual engine clock that advances exactly 1/fps a frame, the
// way the capture tool plays them: start-up headless from the build's data, then chosen positions of the
// pass with the timeline's hooks watching.
#pragma once

#include <cstdint>

#include "core/clock.h"
#include "demo/scene_cycle.h"

namespace scenetest {

struct VirtualClock {
    int fps = 60;
    int64_t frame = 0;  // frames since the pass began; the clock stands at 0 until then
};
extern VirtualClock virtual_clock;

// Start-up from the build's data with the clock standing still; frames are rendered at width x height.
// False when the media are missing.
bool start(int fps, int width, int height);
// Plays positions first..last on the clock; the hooks' `frame_done` runs after each frame, once the
// clock has moved on past it (the time the scene's end test reads).
void play(int first, int last);
// Everything back as the demo has it.
void finish();

// Seconds the clock shows now.
double now();

}  // namespace scenetest
