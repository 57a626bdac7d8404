// The scene list and the pass: every scene follows the same skeleton (time origin, set-up, a loop of
// frames timed by the engine clock, clean-up), so a pass lasts as long as the music on any machine.
#include "demo/scene_cycle.h"

#include "audio/channels.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "scene/transform.h"

float demo_start_time = 0;

const SceneEntry scene_list[SCENE_COUNT] = {
    {scene_01_corridor_fade_in, 10}, {scene_02_corridor_credits, 5},  {scene_03_spiral_corridor, 8},
    {scene_04_into_the_park, 2},     {scene_05_walk_across, 7},       {scene_06_the_drop, 6},
    {scene_07_row_wakes, 8},         {scene_08_since_childhood, 8},   {scene_09_light_painting, 8},
    {scene_10_ring_dance, 8},        {scene_11_dream_is, 7},          {scene_12_three_shots, 7},
    {scene_13_circle_shadows, 7},    {scene_14_floating_crates, 7},   {scene_15_evening_sway, 8},
    {scene_16_sunset_lanterns, 7},   {scene_17_figure_eight, 8},      {scene_18_climax_orbit, 8},
    {scene_19_sky_trails, 7.5f},     {scene_20_sky_tornado, 8},       {scene_21_fireworks, 8},
    {scene_22_title_first_half, 8},  {scene_23_title_second_half, 6}, {scene_24_spirograph, 8},
    {scene_25_spotlights, 6},        {scene_26_lighthouse, 8},        {scene_27_stop_motion, 5},
    {scene_28_beat_flash, 5},        {scene_29_walking_away, 7},      {scene_30_gathering, 6},
    {scene_31_closing_corridor, 7},
};

void scene_cycle_pass() {
    SceneHooks& h = scene_hooks;
    pass_begin();
    // The theme was decoded once, beside start-up's loading: a pass boundary costs only a player's fork.
    if (h.music) music_start();
    demo_start_time = static_cast<float>(engine_time());
    for (int position = h.first; position <= h.last && position <= SCENE_COUNT && !h.stop; ++position)
        scene_list[position - 1].play();
    obj_hide_scenery();
}
