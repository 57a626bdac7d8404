// The demo's timeline: the 31 scenes of a pass in order of play, each playing until its own time is up,
// and the endless cycle of passes, each restarting the music. Main thread.
#pragma once

constexpr int SCENE_COUNT = 31;

struct SceneEntry {
    void (*play)();  // sets up, runs its frames until `seconds` have passed on the engine clock, returns
    float seconds;
    const char* name;  // for reports: the scene's function name without its number, words spaced
};

// In order of play; the durations add up to the length of the music.
extern const SceneEntry scene_list[SCENE_COUNT];

// Engine time at which the current pass began, right after the music was restarted; the scenes that
// keep in step with the music's beat time themselves from it.
extern float demo_start_time;

// Seams of the timeline for the tests and the capture tool; the demo itself leaves them as they are.
struct SceneHooks {
    int first = 1;  // the positions a pass plays, first to last
    int last = SCENE_COUNT;
    int music = 1;  // 0: a pass leaves the music alone (capture plays silent)
    int stop = 0;   // set by a hook: the running scene ends after this frame, and so does the pass
    void (*scene_started)(int position) = nullptr;  // a scene took its time origin, before its set-up
    void (*scene_ended)(int position) = nullptr;    // a scene returned, after its clean-up
    void (*frame_done)() = nullptr;                 // a scene's frame was rendered (and shown)
};

extern SceneHooks scene_hooks;

// One pass: the music from its beginning, every scene in order, then the scenery the scenes enabled put
// away again (the reserved figures and picture objects keep their state).
void scene_cycle_pass();
