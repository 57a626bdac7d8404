// The scenes' shared pieces.
#include "demo/scenes/scene_kit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "assets/gen_box.h"
#include "core/frame_stats.h"
#include "demo/outdoor_world.h"
#include "demo/scenes/scenes.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "overlay/text.h"
#include "render/frame_clear.h"
#include "render/frame_flags.h"
#include "render/render_config.h"
#include "render/update/particles.h"
#include "render/update/paths.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"
#include "shell/frame.h"

float smoothstep(float edge0, float edge1, float x) {
    float t = (x - edge0) / (edge1 - edge0);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}

float mix(float a, float b, float t) {
    return a + (b - a) * t;
}

float beat_pulse(float seconds) {
    const float in_beat = seconds / BEAT_SECONDS - std::floor(seconds / BEAT_SECONDS);
    return std::exp(-in_beat * 6.0f);
}

void camera_aim(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z) {
    camera_target(eye_x, eye_y, eye_z, look_x, look_y, look_z, -1, 0.9f);
}

uint32_t SceneRandom::next() {
    // xorshift32: fixed width, the same on every platform.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

float SceneRandom::uniform(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(next() >> 8) * (1.0f / 16777216.0f);
}

void figure_stand(ObjectId id, float x, float y, float z, float yaw) {
    path_push(id, x, y, z, 0, 0, 0, yaw, 0, 0);
    obj_set_enabled(id, 1);
    obj_set_position(id, x, y, z);
    obj_set_rotation(id, 0, yaw, 0);
    obj_set_scale(id, 1, 1, 1);
    obj_table.anim_playing[id] = 0;
}

void figure_clip(ObjectId id, unsigned clip, float speed, double time, int playing) {
    ObjectTable& t = obj_table;
    t.anim_clip[id] = clip;
    t.anim_speed[id] = speed;
    obj_set_anim_time(id, time);
    t.anim_playing[id] = static_cast<uint8_t>(playing);
}

void figure_walk_to(ObjectId id, float x, float z, float speed, float turn_rate, int queue, float stride) {
    const Vec3 at = obj_table.position[id];
    path_push(id, x, at.y, z, speed, stride, turn_rate, -1, 0, queue);
}

void figures_put_away() {
    for (ObjectId id = FIGURE_FIRST; id < FIGURE_FIRST + FIGURE_COUNT; ++id) {
        if (!obj_valid(id)) continue;
        const Vec3 at = obj_table.position[id];
        path_push(id, at.x, at.y, at.z, 0, 0, 0, -1, 0, 0);
        obj_table.anim_playing[id] = 0;
        obj_set_color(id, 1, 1, 1, 1);
        obj_set_enabled(id, 0);
    }
}

namespace {

// The evening sun stands low behind the square: a point h above the ground falls this far along x and
// z on it.
constexpr float SUN_LEAN_X = 0.55f, SUN_LEAN_Z = 0.85f;
constexpr float ABOVE_GROUND = 0.012f;

// Leans the flattened copy `shadow` of `figure` away from the sun and lays it just above the plane y (the
// depth test must not let the ground win): each vertex goes where the figure's own vertex throws its
// shadow. The copy is in the triangles the next geometry pass reads (the owner's when a transform is
// pending, else the world's), triangle for triangle as the figure's world triangles.
void lean_flat_copy(ObjectId shadow, ObjectId figure, float y) {
    PartArrays& sp = obj_table.parts[static_cast<size_t>(shadow)];
    const PartArrays& fp = obj_table.parts[static_cast<size_t>(figure)];
    const int parts = std::min(obj_part_limit(shadow), obj_part_limit(figure));
    for (int j = 0; j < parts; ++j) {
        const size_t p = static_cast<size_t>(j);
        const bool pending = sp.dirty[p] && !sp.tri_local[p].empty();
        std::vector<float>& tris = pending ? sp.tri_local[p] : sp.tri_world[p];
        const std::vector<float>& from = fp.tri_world[p];
        const size_t floats =
            std::min({tris.size(), from.size(), static_cast<size_t>(sp.tri_count[p]) * TRI_WORLD_FLOATS});
        Vec3 lo{0, y, 0}, hi{0, y + ABOVE_GROUND * 2, 0};
        for (size_t v = 0; v + 2 < floats; v += 3) {
            const float h = from[v + 1] - y;
            const float x = from[v] + h * SUN_LEAN_X, z = from[v + 2] + h * SUN_LEAN_Z;
            tris[v] = x;
            tris[v + 1] = y + ABOVE_GROUND;
            tris[v + 2] = z;
            if (v == 0) lo.x = hi.x = x, lo.z = hi.z = z;
            lo.x = std::min(lo.x, x), hi.x = std::max(hi.x, x);
            lo.z = std::min(lo.z, z), hi.z = std::max(hi.z, z);
        }
        if (pending) continue;  // the geometry pass measures the box itself
        // The copy took the figure's box, which the leaning has left behind.
        sp.world_min[p] = sp.box_min[p] = lo;
        sp.world_max[p] = sp.box_max[p] = hi;
        sp.world_min_i[p] = sp.box_min_i[p] =
            Vec3i{trunc_to_int(lo.x), trunc_to_int(lo.y), trunc_to_int(lo.z)};
        sp.world_max_i[p] = sp.box_max_i[p] =
            Vec3i{trunc_to_int_above(hi.x), trunc_to_int_above(hi.y), trunc_to_int_above(hi.z)};
    }
}

}  // namespace

void shadows_follow(float y) {
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const ObjectId figure = FIGURE_FIRST + k, shadow = SHADOW_FIRST + k;
        if (!obj_valid(figure) || !obj_table.enabled[figure]) {
            if (obj_valid(shadow)) obj_set_enabled(shadow, 0);
            continue;
        }
        // Enabled first: enabling marks the parts for a transform, which the copy must then feed.
        obj_set_enabled(shadow, 1);
        obj_copy_flattened(shadow, figure, 0, 0);
        lean_flat_copy(shadow, figure, y);
        obj_set_color(shadow, 0, 0, 0.05f, 0.5f);
    }
}

void shadows_put_away() {
    for (ObjectId id = SHADOW_FIRST; id < SHADOW_FIRST + FIGURE_COUNT; ++id)
        if (obj_valid(id)) obj_set_enabled(id, 0);
}

void scene_dispose(ObjectId first, ObjectId last) {
    for (ObjectId id = first; id <= last && id < obj_table.object_capacity; ++id) {
        if (!obj_table.has_geometry[id] && obj_table.particle_count[id] == 0) continue;
        obj_reset(id);
        // Placed as a new slot is: the next scene to build here, or the same scene next pass, starts
        // from the same object whatever was done with it before.
        obj_set_position(id, 0, 0, 0);
        obj_set_rotation(id, 0, 0, 0);
        obj_set_scale(id, 1, 1, 1);
        obj_set_color(id, 1, 1, 1, 1);
        obj_table.particle_base_velocity[id] = Vec3{0, 0, 0};
    }
}

void scene_box(ObjectId id, float sx, float sy, float sz, TextureId texture, float x, float y, float z,
               float rx, float ry, float rz) {
    gen_box_tex(id, sx, sy, sz, texture);
    obj_set_position(id, x, y, z);
    obj_set_rotation(id, rx, ry, rz);
}

void scene_texture_window(ObjectId id, float u0, float u1, float v0, float v1) {
    if (!obj_valid(id) || obj_table.part_capacity[id] < 1) return;
    std::vector<float>& uv = obj_table.parts[static_cast<size_t>(id)].tri_uv[0];
    for (size_t i = 0; i + 1 < uv.size(); i += 2) {
        uv[i] = u0 + (u1 - u0) * uv[i];
        uv[i + 1] = v0 + (v1 - v0) * uv[i + 1];
    }
}

namespace {

int utf8_length(const char* text) {
    int n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if ((*p & 0xC0) != 0x80) ++n;
    return n;
}

}  // namespace

int caption_centred(int first, const char* text, float x, float y, float size, float advance, float alpha,
                    float outline_r, float outline_g, float outline_b, float phase) {
    const int n = utf8_length(text);
    // The last glyph is half a cell wide on this scale, whatever the advance.
    const float width = size * (advance * static_cast<float>(n - 1) + 0.5f);
    // The caption operation takes the outline's colour as red, blue, green.
    return caption_wave(first, text, x - width * 0.5f, y - size * 0.5f, outline_r, outline_b, outline_g,
                        alpha, size, advance, phase);
}

void caption_hide(int first, int chars) {
    for (int slot = first; slot < first + chars * 10; ++slot) overlay_hide_ex(slot, 1, 1);
}

void captions_hide() {
    caption_hide(CAPTION_LINE_1, CAPTION_MAX_CHARS);
    caption_hide(CAPTION_LINE_2, CAPTION_MAX_CHARS);
}

float shown(float e, float from, float to, float edge) {
    return smoothstep(from, from + edge, e) * (1 - smoothstep(to - edge, to, e));
}

void caption_words(float e, const CaptionWord& first, const CaptionWord& second, float y, float size,
                   float wave_rate) {
    constexpr float EDGE = 0.6f;
    int line = CAPTION_LINE_1;
    for (const CaptionWord* w : {&first, &second}) {
        caption_centred(line, w->text, 0.5f, y, size, ADVANCE_WIDE, shown(e, w->from, w->to, EDGE),
                        w->outline[0], w->outline[1], w->outline[2], e * wave_rate);
        line = CAPTION_LINE_2;
    }
}

void fade_hide() {
    if (overlay_table.slots.count > 1) overlay_hide_ex(1, 1, 1);
}

void fade_color(float r, float g, float b, float alpha) {
    overlay_set_fade(alpha);
    overlay_set_color(1, r, g, b, alpha);
}

void paint_frame() {
    half_height_fold();
    frame_clear_depth();
    frame_render_scene();
    frame_merge_overlay();
    frame_show();
}

void paint_trails(bool first_frame, float fade_per_second) {
    render_config.frame_clear = first_frame ? 1 : 0;
    fade_color(0, 0, 0,
               1 - std::exp(-static_cast<float>(frame_stats.frame_seconds_uncapped) * fade_per_second));
}

void paint_stop() {
    render_config.frame_clear = 1;
    fade_hide();
}

void glow_on(float threshold, float width, int strength) {
    OverlayEffects& fx = overlay_state.effects;
    fx.glow_threshold = threshold;
    fx.glow_width = width;
    fx.glow_strength = strength;
}

void glow_off() {
    OverlayEffects& fx = overlay_state.effects;
    const OverlayEffects start;
    fx.glow_threshold = start.glow_threshold;
    fx.glow_width = start.glow_width;
    fx.glow_strength = start.glow_strength;
}

namespace {

// The leaves as the first pass found them: every pass starts with the same ones in the air.
struct LeavesAtStart {
    bool kept = false;
    std::vector<float> records[PARK_LEAF_EMITTERS];
} leaves_at_start;

// The seed of every pass: the C library's generator serves the particles' respawns.
constexpr unsigned PASS_SEED = 1;

}  // namespace

void pass_begin() {
    std::srand(PASS_SEED);
    // The frame counter times what the renderer does only every other or every n-th frame (the slow
    // clips' skinning, the relighting, the release of its lists): counted from 0 each pass, that work
    // falls on the same frames of every pass.
    frame_flags.frame_counter = 0;
    LeavesAtStart& l = leaves_at_start;
    for (int k = 0; k < PARK_LEAF_EMITTERS; ++k) {
        const ObjectId id = PARK_FIRST_LEAF_EMITTER + k;
        if (!obj_valid(id)) continue;
        std::vector<float>& now = obj_table.particles[static_cast<size_t>(id)];
        if (!l.kept) {
            l.records[k] = now;
        } else if (l.records[k].size() == now.size()) {
            now = l.records[k];
        }
    }
    l.kept = true;
}

void pass_clean_up() {
    for (ObjectId id = FIGURE_FIRST; id <= FIGURE_FIRST + 9; ++id) obj_set_enabled(id, 0);
    for (ObjectId id = FIGURE_FIRST; id < FIGURE_FIRST + FIGURE_COUNT; ++id) {
        if (!obj_valid(id)) continue;
        obj_set_color(id, 1, 1, 1, 1);
        const Vec3 at = obj_table.position[id];
        path_push(id, at.x, at.y, at.z, 0, 0, 0, -1, 0, 0);
    }
    scene_dispose(SHADOW_FIRST, SCENE_OBJECTS_LAST);
    scene_dispose(SCENE_DUST_FIRST, SCENE_DUST_LAST);
    render_config.frame_clear = 1;
    glow_off();
    particle_set_wind(0, 0, 0);
    particle_set_attractor(0, 0, 0, 0, 0);
    particle_set_repeller(0, 0, 0, 0, 0);
    overlay_hide_from(1, 1);
}
