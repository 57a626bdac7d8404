// The park at the climaxes, driven by the beat: the figure eight with its shadows, the orbit round the
// dancing seven, fireworks over the square, and sweeping stage lights.
#include <cmath>

#include "assets/gen_box.h"
#include "assets/gen_sphere.h"
#include "assets/texture.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "render/update/particles.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

void climax_clean_up() {
    fade_hide();
    glow_off();
    shadows_put_away();
    figures_put_away();
}

}  // namespace

// The second build: the seven run a figure eight across the square one after another, their long
// shadows racing beside them; the eye swings from side to side above the front.
void scene_17_figure_eight() {
    const SceneClock clock = scene_begin(17);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), 0, 0, 0, 0);
        figure_clip(figure_id(k), CLIP_RUN, 1.1f, 0.4 * k, 1);
    }
    camera_set(0, 3, 8, 0, 0, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        for (int k = 0; k < FIGURE_COUNT; ++k) {
            // Once round the eight in about 6.4 s, about 2.5 m a second.
            const float p = 0.98f * e + static_cast<float>(k) * (6.2832f / FIGURE_COUNT);
            const float x = 3.6f * std::sin(p), z = 1.6f * std::sin(2 * p);
            const float dx = 3.6f * std::cos(p), dz = 3.2f * std::cos(2 * p);
            obj_set_position(figure_id(k), x, 0, z);
            obj_set_rotation(figure_id(k), 0, std::atan2(dx, dz) / DEG, 0);
        }
        shadows_follow(0);
        const float swing = std::sin(e * 0.7f);
        camera_aim(4 * swing, 1.9f + 0.5f * std::cos(e * 0.9f), 6.2f - 1.2f * std::fabs(swing), 0, 0.2f, 0);
    });
    climax_clean_up();
    scene_end(clock);
}

// The climax: the seven dance in a tight wedge at the front of the square while the eye whirls round
// them low and close; a white flash on every bar.
void scene_18_climax_orbit() {
    const SceneClock clock = scene_begin(18);
    obj_show_scenery();
    static const float WEDGE[FIGURE_COUNT][2] = {{0, 1.8f},    {-0.8f, 1.0f},  {0.8f, 1.0f}, {-1.6f, 0.2f},
                                                 {1.6f, 0.2f}, {-2.4f, -0.6f}, {2.4f, -0.6f}};
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), WEDGE[k][0], 0, WEDGE[k][1], 0);
        figure_clip(figure_id(k), CLIP_QUICK_DANCE, 1.5f, 0.2 * k, 1);
    }
    camera_set(0, 0.6f, 6, 0, 0.9f, 0.6f);
    camera_update();
    scene_loop(clock, [&](float e) {
        const float bar = e - BAR_SECONDS * std::floor(e / BAR_SECONDS);
        fade_color(1, 1, 1, 0.45f * std::exp(-bar * 10));
        // Round the front half and back, fast, close and low, inside the ring of lamp posts.
        const float a = 1.35f * std::sin(e * 0.8f);
        const float r = 3.8f - 0.5f * std::sin(e * 1.6f);
        camera_aim(r * std::sin(a), 0.5f + 0.3f * std::sin(e * 2.1f), 0.6f + r * std::cos(a), 0, 0.95f, 0.6f);
    });
    climax_clean_up();
    scene_end(clock);
}

namespace {

constexpr int ROCKETS = 6;
constexpr ObjectId ROCKET_FIRST = SCENE_OBJECTS_FIRST;

}  // namespace

// Fireworks: on every bar six bursts of sparks open at new places high over the square, where the seven
// leap with their arms up; the eye looks up at them from behind the audience.
void scene_21_fireworks() {
    const SceneClock clock = scene_begin(21);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), (static_cast<float>(k) - 3) * 1.1f, 0,
                     0.9f + 0.3f * static_cast<float>(k % 2), 0);
        figure_clip(figure_id(k), CLIP_CHEER, 1, 0.1 * k, 1);
    }
    const TextureId spark = tex_load("szikra1.png");
    SceneRandom random(21);
    camera_set(-1.5f, 0.6f, 13, 0, 2.4f, 0);
    camera_update();
    int bursts = -1;
    scene_loop(clock, [&](float e) {
        const int bar = static_cast<int>(e / BAR_SECONDS);
        if (bar > bursts) {
            // New places each bar; a burst is a fresh emitter, its sparks all starting at its heart.
            for (int k = 0; k < ROCKETS; ++k) {
                const ObjectId id = ROCKET_FIRST + k;
                scene_dispose(id, id);
                emitter_setup_ex(id, random.uniform(-6, 6), random.uniform(4, 7), random.uniform(-4, 1), 3,
                                 2.2f, 3, PARTICLE_FLAG_FADE_IN, random.uniform(0.7f, 1),
                                 random.uniform(0.5f, 1), random.uniform(0.3f, 1), 1.5f, spark, 0.32f, 80, 1);
                obj_table.particle_base_velocity[id] = Vec3{0, -1.1f, 0};
            }
            bursts = bar;
        }
        const float drift = smoothstep(0, 8, e);
        // From behind the audience, over their heads.
        camera_aim(mix(-1.5f, 1.5f, drift), 0.6f + 0.3f * drift, 13 - drift, 0, 2.4f, 0);
    });
    scene_dispose(ROCKET_FIRST, ROCKET_FIRST + ROCKETS - 1);
    climax_clean_up();
    scene_end(clock);
}

namespace {

constexpr int SPOTS = 6;
constexpr ObjectId SPOT_FIRST = SCENE_OBJECTS_FIRST;

}  // namespace

// Stage lights: six cones of light hung high over the square sweep across the dancing seven, their
// colours changing on every beat; the eye circles on a slow curve.
void scene_25_spotlights() {
    const SceneClock clock = scene_begin(25);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float a = (static_cast<float>(k) - 3) * 22;
        figure_stand(figure_id(k), 2.6f * std::sin(a * DEG), 0, 2.6f * std::cos(a * DEG) - 1.4f, a * 0.5f);
        figure_clip(figure_id(k), k % 2 ? CLIP_QUICK_DANCE : CLIP_JUMP, 1.3f, 0.3 * k, 1);
    }
    const TextureId light = tex_load("feny1.png");
    // Cones 6 m long hung from 6 m up, narrow at the lamp: the light reaches the square.
    for (int k = 0; k < SPOTS; ++k) gen_tapered_box(SPOT_FIRST + k, 0.25f, 6, 0.25f, 2.2f, 6, 2.2f, light);
    camera_set(0, 1.5f, 9, 0, 1.5f, 0);
    camera_update();
    int jumps = 0;
    scene_loop(clock, [&](float e) {
        const int beat = static_cast<int>(e / BEAT_SECONDS);
        for (int k = 0; k < SPOTS; ++k) {
            const ObjectId id = SPOT_FIRST + k;
            const float x = (static_cast<float>(k) - 2.5f) * 1.8f;
            const float sweep = 28 * std::sin(e * 1.7f + static_cast<float>(k) * 1.1f);
            obj_set_position(id, x, 3, -0.5f);
            obj_set_rotation(id, 10 * std::cos(e * 1.3f + static_cast<float>(k)), 0, sweep);
            const float* c = BEAT_COLOUR[(beat + k) % BEAT_COLOURS];
            obj_set_color(id, c[0], c[1], c[2], 0.35f);
        }
        // The jumpers leap again every other beat.
        if (beat / 2 > jumps) {
            for (int k = 0; k < FIGURE_COUNT; k += 2) figure_clip(figure_id(k), CLIP_JUMP, 1.3f, 0, 1);
            jumps = beat / 2;
        }
        const float a = 0.9f * std::sin(e * 0.6f);
        camera_aim(8.5f * std::sin(a), 1.6f + 1.2f * std::cos(e * 0.8f), 8.5f * std::cos(a), 0, 1.2f, 0);
    });
    scene_dispose(SPOT_FIRST, SPOT_FIRST + SPOTS - 1);
    climax_clean_up();
    scene_end(clock);
}
