// The scene list and the pass: every scene follows the same skeleton (time origin, set-up, a loop of
// frames timed by the engine clock, clean-up), so a pass lasts as long as the music on any machine.
#include "demo/scene_cycle.h"

#include <cmath>

#include "audio/channels.h"
#include "core/clock.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scenes.h"
#include "scene/camera.h"
#include "scene/transform.h"

float demo_start_time = 0;

namespace {

// The second half of the pass, until its scenes are written: the park from a camera that circles the
// square once a pass, swinging in and out and up and down.
template <int Position>
void tour_scene() {
    const SceneClock clock = scene_begin(Position);
    obj_show_scenery();
    scene_loop(clock, [](float) { park_tour_camera(static_cast<float>(engine_time()) - demo_start_time); });
    scene_end(clock);
}

}  // namespace

const SceneEntry scene_list[SCENE_COUNT] = {
    {scene_01_corridor_fade_in, 10},
    {scene_02_corridor_credits, 5},
    {scene_03_spiral_corridor, 8},
    {scene_04_into_the_park, 2},
    {scene_05_walk_across, 7},
    {scene_06_the_drop, 6},
    {scene_07_row_wakes, 8},
    {scene_08_since_childhood, 8},
    {scene_09_light_painting, 8},
    {scene_10_ring_dance, 8},
    {scene_11_dream_is, 7},
    {scene_12_three_shots, 7},
    {scene_13_circle_shadows, 7},
    {scene_14_floating_crates, 7},
    {scene_15_evening_sway, 8},
    {tour_scene<16>, 7},
    {tour_scene<17>, 8},
    {tour_scene<18>, 8},
    {tour_scene<19>, 7.5f},
    {tour_scene<20>, 8},
    {tour_scene<21>, 8},
    {tour_scene<22>, 8},
    {tour_scene<23>, 6},
    {tour_scene<24>, 8},
    {tour_scene<25>, 6},
    {tour_scene<26>, 8},
    {tour_scene<27>, 5},
    {tour_scene<28>, 5},
    {tour_scene<29>, 7},
    {tour_scene<30>, 6},
    {tour_scene<31>, 7},
};

void park_tour_camera(float pass_seconds) {
    // One turn in 218.5 s, the length of a pass.
    const float turn = pass_seconds * (2 * 3.14159265f / 218.5f);
    // Inside the ring of trees, which begins 20 m out from the middle of the square.
    const float radius = 11 + 3 * std::sin(turn * 3);
    const float height = 1.6f + 1.2f * std::sin(turn * 5 + 1);
    camera_target(std::sin(turn) * radius, height, 2 + std::cos(turn) * radius, 0, -0.4f, 3, -1, 0.9f);
}

void scene_cycle_pass() {
    SceneHooks& h = scene_hooks;
    // The theme was decoded once, beside start-up's loading: a pass boundary costs only a player's fork.
    if (h.music) music_start();
    demo_start_time = static_cast<float>(engine_time());
    for (int position = h.first; position <= h.last && position <= SCENE_COUNT && !h.stop; ++position)
        scene_list[position - 1].play();
    obj_hide_scenery();
}
