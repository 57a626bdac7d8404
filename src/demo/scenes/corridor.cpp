// The corridor that opens and closes the pass: the brick corridor out of the dark, the seven figures in
// it, the credits; the corridor turned into a spinning spiral of bricks as the drums come in; and at the
// end the empty corridor with the closing words.
#include <cmath>

#include "assets/gen_box.h"
#include "assets/gen_sphere.h"
#include "assets/texture.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "overlay/elements.h"
#include "render/update/particles.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

constexpr int CORRIDOR_SEGMENTS = 39;
constexpr float SEGMENT_SPACING = 0.4f;
constexpr float CORRIDOR_NEAR_Z = 6.0f;  // the first segment; the rest go away along -z
// A segment: floor, two walls and a ceiling, a little shorter than the spacing so that a dark seam
// between segments gives the corridor its rhythm.
constexpr float SEGMENT_DEPTH = 0.36f;
constexpr float HALF_WIDTH = 1.3f;
constexpr float HEIGHT = 2.4f;

float segment_z(int i) {
    return CORRIDOR_NEAR_Z - SEGMENT_SPACING * static_cast<float>(i);
}

// Each face of a box shows the whole brick picture, so the walls, floor and ceiling are stacked from
// boxes whose inner faces are about as wide as high: the bricks keep their shape.
constexpr int WALL_BLOCKS = 4;
constexpr int FLOOR_BLOCKS = 6;

void build_corridor() {
    const TextureId brick = tex_load("fal1.png");
    const int s = SCENE_SCRATCH_FIRST;
    const float block_h = HEIGHT / WALL_BLOCKS, block_w = HALF_WIDTH * 2 / FLOOR_BLOCKS;
    // One segment baked from its blocks; the others are copies of it, which is far cheaper than baking
    // each: a scene's set-up happens between two of the demo's frames.
    const ObjectId first = SCENE_OBJECTS_FIRST;
    for (int b = 0; b < WALL_BLOCKS; ++b) {
        const float y = (static_cast<float>(b) + 0.5f) * block_h - 0.05f;
        scene_box(s, 0.16f, block_h, SEGMENT_DEPTH, brick, -HALF_WIDTH, y, 0, 0, 0, 0);
        scene_box(s + 1, 0.16f, block_h, SEGMENT_DEPTH, brick, HALF_WIDTH, y, 0, 0, 0, 0);
        obj_bake(first, s);
        obj_bake(first, s + 1);
    }
    for (int b = 0; b < FLOOR_BLOCKS; ++b) {
        const float x = (static_cast<float>(b) + 0.5f) * block_w - HALF_WIDTH;
        scene_box(s, block_w, 0.12f, SEGMENT_DEPTH, brick, x, -0.11f, 0, 0, 0, 0);
        scene_box(s + 1, block_w, 0.12f, SEGMENT_DEPTH, brick, x, HEIGHT, 0, 0, 0, 0);
        obj_bake(first, s);
        obj_bake(first, s + 1);
    }
    // One part per segment: one texture, one draw.
    obj_merge_parts(first, 0, 0);
    for (int i = 0; i < CORRIDOR_SEGMENTS; ++i) {
        if (i > 0) obj_clone(first, first + i);
        obj_set_position(first + i, 0, 0, segment_z(i));
    }
    scene_dispose(s, s + 1);
}

// Light falls off along the corridor from the eye, with `glow` added where a wave of light runs along it.
void light_corridor(float eye_z, float glow_z, float glow) {
    for (int i = 0; i < CORRIDOR_SEGMENTS; ++i) {
        const float z = segment_z(i);
        float c = 1.1f - std::fabs(z - eye_z) * 0.085f;
        c += glow * std::exp(-(z - glow_z) * (z - glow_z) * 0.8f);
        c = c < 0.05f ? 0.05f : (c > 1.25f ? 1.25f : c);
        obj_set_color(SCENE_OBJECTS_FIRST + i, c, c * 0.93f, c * 0.85f, 1);
    }
}

// The seven figures in a column down the corridor's middle, the nearest first.
void column_of_figures() {
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float f = static_cast<float>(k) / (FIGURE_COUNT - 1);
        figure_stand(FIGURE_FIRST + k, -0.5f + 0.95f * f, -0.05f, -2.9f * f, 0);
        figure_clip(FIGURE_FIRST + k, CLIP_AT_EASE, 1, 0, 0);
    }
}

void credit_lines(float e, float from, float to, const char* first, const char* second, float size) {
    const float in1 = smoothstep(from, from + 0.8f, e), in2 = smoothstep(from + 0.6f, from + 1.4f, e);
    const float out = 1 - smoothstep(to - 0.6f, to, e);
    const float phase = e * 140;
    caption_centred(CAPTION_LINE_1, first, 0.5f, 0.2f, size, ADVANCE_LATIN, in1 * out, 0.55f, 0.25f, 0.1f,
                    phase);
    caption_centred(CAPTION_LINE_2, second, 0.5f, 0.2f + size * 1.25f, size * 0.8f, ADVANCE_LATIN, in2 * out,
                    0.55f, 0.25f, 0.1f, phase + 90);
}

void corridor_clean_up() {
    fade_hide();
    captions_hide();
    scene_dispose(SCENE_OBJECTS_FIRST, SCENE_OBJECTS_LAST);
    figures_put_away();
}

}  // namespace

// Out of black: a slow push down the corridor towards the column of figures; the team's name.
void scene_01_corridor_fade_in() {
    const SceneClock clock = scene_begin(1);
    obj_hide_scenery();
    column_of_figures();
    build_corridor();
    camera_set(0, 1.25f, 5.6f, 0, 0.85f, -2.5f);
    camera_update();
    bool faded = false;
    scene_loop(clock, [&](float e) {
        if (e <= 1.99f) {
            fade_color(0, 0, 0, (2 - e) / 2);
        } else if (!faded) {
            fade_hide();
            faded = true;
        }
        const float t = smoothstep(0, 10, e);
        const float eye_z = mix(5.6f, 2.3f, t);
        camera_aim(mix(0, 0.25f, t), mix(1.25f, 0.95f, t), eye_z, mix(0, 0.1f, t), 0.85f, -2.5f);
        light_corridor(eye_z, -3, 0);
        credit_lines(e, 2.4f, 9.8f, "THE VELMORINE TEAM", "presents", 0.11f);
    });
    corridor_clean_up();
    scene_end(clock);
}

// The bass comes in: over the column, the figures starting to sway one after another, a glow
// running down the corridor on every bar; the credits of the demo and the music.
void scene_02_corridor_credits() {
    const SceneClock clock = scene_begin(2);
    obj_hide_scenery();
    column_of_figures();
    build_corridor();
    camera_set(0.95f, 1.9f, 2.2f, -0.3f, 0.9f, 0.2f);
    camera_update();
    bool swaying[FIGURE_COUNT] = {};
    scene_loop(clock, [&](float e) {
        for (int k = 0; k < FIGURE_COUNT; ++k) {
            if (swaying[k] || e <= 0.3f + 0.4f * static_cast<float>(k)) continue;
            figure_clip(FIGURE_FIRST + k, CLIP_SWAY, 0.6f, 0, 1);
            swaying[k] = true;
        }
        // Over the heads along the column, sinking towards the last of them.
        const float t = smoothstep(0, 5, e);
        const float eye_z = mix(2.2f, -1.2f, t);
        camera_aim(0.95f, mix(1.9f, 1.25f, t), eye_z, -0.3f, 0.9f, eye_z - 2);
        const float bar = e / BAR_SECONDS - std::floor(e / BAR_SECONDS);
        light_corridor(eye_z, mix(CORRIDOR_NEAR_Z, segment_z(CORRIDOR_SEGMENTS - 1), bar), 0.5f);
        credit_lines(e, 0.2f, 4.9f, "demo: the Velmorine team", "music: the Velmorine team", 0.08f);
    });
    corridor_clean_up();
    scene_end(clock);
}

namespace {

constexpr int SPIRAL_BOXES = 40;
constexpr ObjectId SPIRAL_FLOOR = SCENE_OBJECTS_FIRST + SPIRAL_BOXES;
constexpr float SPIRAL_RADIUS = 1.7f;
constexpr float SPIRAL_AXIS_Y = 1.1f;
constexpr float SPIRAL_STEP_DEGREES = 36;

// Three figures walking towards the eye, in a wedge.
const float WEDGE[3][2] = {{0, 0}, {-0.55f, -0.7f}, {0.55f, -0.7f}};
constexpr float WALK_SPEED = 0.85f;
constexpr float WALK_FROM_Z = -6.0f;

}  // namespace

// The drums come in: forty bricks wound into a spiral that turns ever faster around three figures
// walking out of it towards the retreating eye; each beat flashes down the spiral.
void scene_03_spiral_corridor() {
    const SceneClock clock = scene_begin(3);
    obj_hide_scenery();
    const TextureId brick = tex_load("fal1.png");
    for (int k = 0; k < SPIRAL_BOXES; ++k) gen_box_tex(SCENE_OBJECTS_FIRST + k, 0.8f, 0.8f, 0.3f, brick);
    scene_box(SPIRAL_FLOOR, 1.6f, 0.1f, 18, brick, 0, -0.1f, -4, 0, 0, 0);
    obj_set_color(SPIRAL_FLOOR, 0.45f, 0.4f, 0.38f, 1);
    for (int k = 0; k < 3; ++k) {
        figure_stand(FIGURE_FIRST + k, WEDGE[k][0], -0.05f, WALK_FROM_Z + WEDGE[k][1], 0);
        figure_clip(FIGURE_FIRST + k, CLIP_WALK, 2.2f, 0.7 * k, 1);
    }
    camera_set(0, 1.2f, WALK_FROM_Z + 5.2f, 0, 0.8f, WALK_FROM_Z - 1);
    camera_update();
    scene_loop(clock, [&](float e) {
        const float walked = WALK_FROM_Z + WALK_SPEED * e;
        for (int k = 0; k < 3; ++k)
            obj_set_position(FIGURE_FIRST + k, WEDGE[k][0], -0.05f, walked + WEDGE[k][1]);
        const float spin = 25 * e + 5 * e * e;
        const float pulse = beat_pulse(e);
        for (int k = 0; k < SPIRAL_BOXES; ++k) {
            const ObjectId id = SCENE_OBJECTS_FIRST + k;
            const float a = static_cast<float>(k) * SPIRAL_STEP_DEGREES + spin;
            const float r = a * 0.017453292f;
            const float z = 4 - SEGMENT_SPACING * static_cast<float>(k);
            obj_set_position(id, std::sin(r) * SPIRAL_RADIUS, SPIRAL_AXIS_Y - std::cos(r) * SPIRAL_RADIUS, z);
            obj_set_rotation(id, 0, 0, -a);
            // The flash runs down the spiral from the eye within each beat.
            const float d = std::fabs(z - walked) * 0.12f;
            const float c = 0.55f + 0.6f * pulse * std::exp(-d * 2) + 0.1f * std::sin(a * 0.035f);
            obj_set_color(id, c, c * 0.9f, c * 0.8f, 1);
        }
        // Closing in as the build rises: from the whole wedge to the three faces.
        const float sway = std::sin(e * 0.8f) * 0.35f, near = smoothstep(0, 8, e);
        camera_aim(sway, mix(1.2f, 1.0f, near), walked + mix(5.2f, 2.2f, near), 0, mix(0.8f, 1.1f, near),
                   walked - 1);
    });
    corridor_clean_up();
    scene_end(clock);
}

// The end: back in the brick corridor, empty now, sparks drifting along it; the eye draws back down it
// as the closing words hold, and everything but the words fades; then the pass cleans up after itself.
void scene_31_closing_corridor() {
    const SceneClock clock = scene_begin(31);
    obj_hide_scenery();
    build_corridor();
    emitter_setup_ex(SCENE_CLOUD, 0, 0.2f, -7, 0.7f, 0.5f, 0.4f, PARTICLE_FLAG_FADE_IN, 1, 0.85f, 0.6f, 6,
                     tex_load("szikra1.png"), 0.1f, 120, 1);
    obj_table.particle_base_velocity[SCENE_CLOUD] = Vec3{0, -0.05f, 0.35f};
    camera_set(0, 1.0f, -5, 0, 1.0f, -12);
    camera_update();
    scene_loop(clock, [&](float e) {
        // Back towards the way in, never out of it.
        const float t = smoothstep(0, 7, e);
        const float eye_z = mix(-5, 4.5f, t);
        camera_aim(0, mix(1.0f, 1.15f, t), eye_z, 0, 1.0f, -12);
        light_corridor(eye_z, -8, 0.4f * (1 - t));
        // Large, in two lines over the dark of the corridor's far end, and over the fade to black.
        caption_centred(CAPTION_LINE_1, "でもすべてが", 0.5f, 0.4f, 0.17f, ADVANCE_WIDE,
                        smoothstep(0.8f, 1.8f, e), 0.12f, 0.06f, 0.03f, e * 50);
        caption_centred(CAPTION_LINE_2, "騙しだった", 0.5f, 0.62f, 0.17f, ADVANCE_WIDE,
                        smoothstep(2.0f, 3.0f, e), 0.12f, 0.06f, 0.03f, e * 50 + 90);
        fade_color(0, 0, 0, smoothstep(5.2f, 6.9f, e));
    });
    fade_hide();
    captions_hide();
    scene_dispose(SCENE_OBJECTS_FIRST, SCENE_OBJECTS_LAST);
    scene_dispose(SCENE_CLOUD, SCENE_CLOUD);
    pass_clean_up();
    scene_end(clock);
}
