// The demo's timeline: the 31 scenes of a pass in order of play, each playing until its own time is up,
// and the endless cycle of passes, each restarting the music. Main thread.
#pragma once

constexpr int SCENE_COUNT = 31;

struct SceneEntry {
    void (*play)();  // sets up, runs its frames until `seconds` have passed on the engine clock, returns
    float seconds;
};

// In order of play; the durations add up to the length of the music.
extern const SceneEntry scene_list[SCENE_COUNT];

// Engine time at which the current pass began, right after the music was restarted; the scenes that
// keep in step with the music's beat time themselves from it.
extern float demo_start_time;

// One pass: the music from its beginning, every scene in order, then the scenery the scenes enabled put
// away again (the reserved figures and picture objects keep their state).
void scene_cycle_pass();

// Until the scenes of their own are written, each plays the park with a slow camera tour. The tour's
// camera at `pass_seconds` into a pass, and one frame of it.
void park_tour_camera(float pass_seconds);
