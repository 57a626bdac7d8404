// The scenes that paint over their last frames, the frame clear off: dusk-sky cubes drawing their orbits,
// a spinning ring drawing a spirograph, and the dust that flashes in colours on the music's beat.
#include <cmath>

#include "assets/gen_box.h"
#include "assets/gen_sphere.h"
#include "assets/texture.h"
#include "core/clock.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "render/update/particles.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

// An orbit of its own for each cube: two turning angles and radii, a tilt, a speed.
struct Orbit {
    float radius, height, rate, phase, tilt, wobble;
};

}  // namespace

// The climax paints: two dozen cubes clothed in the dusk sky whirl round the eye on orbits of their own,
// each drawing its path in light; every bar the whirl turns harder.
void scene_19_sky_trails() {
    const SceneClock clock = scene_begin(19);
    obj_hide_scenery();
    constexpr int CUBES = 24;
    const TextureId sky = tex_load("egbolt1.jpg");
    SceneRandom random(19);
    Orbit orbits[CUBES];
    for (int k = 0; k < CUBES; ++k) {
        orbits[k] = Orbit{random.uniform(1.2f, 3.6f), random.uniform(-1.2f, 1.2f), random.uniform(0.6f, 1.6f),
                          random.uniform(0, 6.28f),   random.uniform(-0.6f, 0.6f), random.uniform(0.5f, 2)};
        if (k % 2) orbits[k].rate = -orbits[k].rate;
        const float size = random.uniform(0.25f, 0.6f);
        gen_box_tex(SCENE_OBJECTS_FIRST + k, size, size, size, sky);
        scene_texture_window(SCENE_OBJECTS_FIRST + k, 0, 1, DUSK_GLOW_TOP, DUSK_GLOW_BOTTOM);
    }
    camera_set(0, 0, 7, 0, 0, 0);
    camera_update();
    bool first = true;
    scene_loop(
        clock,
        [&](float e) {
            paint_trails(first, 1.6f);
            first = false;
            const float drive = 1 + 0.25f * std::floor(e / BAR_SECONDS);
            const float pulse = beat_pulse(e);
            for (int k = 0; k < CUBES; ++k) {
                const Orbit& o = orbits[k];
                const float a = o.phase + o.rate * drive * e;
                const float r = o.radius * (1 + 0.15f * std::sin(e * o.wobble));
                obj_set_position(SCENE_OBJECTS_FIRST + k, r * std::cos(a),
                                 o.height + o.tilt * r * std::sin(a), r * std::sin(a) * 0.6f);
                obj_set_rotation(SCENE_OBJECTS_FIRST + k, a * 60, a * 90, 0);
                const float c = 0.75f + 0.25f * pulse;
                obj_set_color(SCENE_OBJECTS_FIRST + k, c, c, c, 1);
            }
            camera_aim(1.5f * std::sin(e * 0.3f), 0.8f * std::sin(e * 0.2f), 7, 0, 0, 0);
        },
        SceneShow::own, paint_frame);
    paint_stop();
    scene_dispose(SCENE_OBJECTS_FIRST, SCENE_OBJECTS_FIRST + CUBES - 1);
    scene_end(clock);
}

// The second climax: a ring of twelve dusk-sky blades spins, swings and breathes in front of the eye,
// drawing a spirograph in light.
void scene_24_spirograph() {
    const SceneClock clock = scene_begin(24);
    obj_hide_scenery();
    constexpr int BLADES = 12;
    const TextureId sky = tex_load("egbolt1.jpg");
    for (int k = 0; k < BLADES; ++k) {
        gen_box_tex(SCENE_OBJECTS_FIRST + k, 0.18f, 1.1f, 0.05f, sky);
        const float u = 0.1f * static_cast<float>(k % 8);
        scene_texture_window(SCENE_OBJECTS_FIRST + k, u, u + 0.2f, DUSK_GLOW_TOP, DUSK_GLOW_BOTTOM);
    }
    camera_set(0, 0, 6.5f, 0, 0, 0);
    camera_update();
    bool first = true;
    scene_loop(
        clock,
        [&](float e) {
            paint_trails(first, 1.2f);
            first = false;
            const float spin = 140 * e, breathe = 1.6f + 0.9f * std::sin(e * 1.3f);
            const float swing = 25 * std::sin(e * 0.9f);
            const float pulse = beat_pulse(e);
            for (int k = 0; k < BLADES; ++k) {
                const float a = static_cast<float>(k) * (360.0f / BLADES) + spin;
                const float r = breathe + 0.5f * std::sin(e * 3 + static_cast<float>(k));
                const ObjectId id = SCENE_OBJECTS_FIRST + k;
                obj_set_position(id, r * std::sin(a * DEG), r * std::cos(a * DEG),
                                 0.4f * std::sin(a * DEG * 2));
                obj_set_rotation(id, swing, 0, -a);
                const float hue = static_cast<float>(k % 3);
                obj_set_color(id, 0.8f + 0.2f * pulse, 0.6f + 0.2f * hue, 0.7f + 0.15f * (2 - hue), 1);
            }
            camera_aim(0.6f * std::sin(e * 0.5f), 0.4f * std::cos(e * 0.4f), 6.5f - 0.2f * e, 0, 0, 0);
        },
        SceneShow::own, paint_frame);
    paint_stop();
    scene_dispose(SCENE_OBJECTS_FIRST, SCENE_OBJECTS_FIRST + BLADES - 1);
    scene_end(clock);
}

// Hot white and magenta on the beats, colder hues between them.
const float BEAT_COLOUR[BEAT_COLOURS][3] = {
    {1.0f, 0.95f, 0.9f}, {0.55f, 0.15f, 0.9f}, {0.2f, 0.3f, 1.0f},   {0.1f, 0.7f, 0.9f},
    {1.0f, 0.3f, 0.8f},  {1.0f, 0.55f, 0.1f},  {0.95f, 0.15f, 0.2f}, {0.4f, 0.9f, 0.3f},
};

// The beat flash: sixteen clouds of dust billow round the eye, all of them one colour for each tenth of a
// second since the music began, the bright ones on the beats; the frames paint over each other.
void scene_28_beat_flash() {
    const SceneClock clock = scene_begin(28);
    obj_hide_scenery();
    const TextureId dust = tex_load("data\\effect_dust.png");
    constexpr int CLOUDS = SCENE_DUST_LAST - SCENE_DUST_FIRST + 1;
    SceneRandom random(28);
    for (int k = 0; k < CLOUDS; ++k) {
        const float a = static_cast<float>(k) * (360.0f / CLOUDS) * DEG;
        emitter_setup_ex(SCENE_DUST_FIRST + k, 2.4f * std::sin(a), random.uniform(-1.2f, 1.2f),
                         2.4f * std::cos(a), 0.5f, 0.4f, 0.5f, PARTICLE_FLAG_FADE_IN, 1, 1, 1, 2.2f, dust,
                         0.55f, 24, 1);
    }
    camera_set(0, 0.3f, 6, 0, 0, 0);
    camera_update();
    bool first = true;
    scene_loop(
        clock,
        [&](float e) {
            paint_trails(first, 4);
            first = false;
            // Timed from the music, not from this scene: its beat stays in step however late the scene began.
            const int b = static_cast<int>((engine_time() - demo_start_time) * 10) % BEAT_COLOURS;
            for (int k = 0; k < CLOUDS; ++k)
                obj_set_color(SCENE_DUST_FIRST + k, BEAT_COLOUR[b][0], BEAT_COLOUR[b][1], BEAT_COLOUR[b][2],
                              1);
            const float a = 0.5f * e;
            camera_aim(6 * std::sin(a), 0.3f + 0.5f * std::sin(e), 6 * std::cos(a), 0, 0, 0);
        },
        SceneShow::own_no_sync, paint_frame);
    paint_stop();
    scene_dispose(SCENE_DUST_FIRST, SCENE_DUST_LAST);
    scene_end(clock);
}
