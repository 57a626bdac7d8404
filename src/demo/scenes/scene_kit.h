// What the scenes share: seeded random placements, easing, the seven figures and their shadows, the
// waving captions, and the disposal of what a scene built. Main (scene) thread, between frames.
#pragma once

#include <cstdint>

#include "core/ids.h"

// --- time -------------------------------------------------------------------------------------------
// The music's pulse: 150 beats a minute, four beats a bar. Every scene starts on a beat.
constexpr float BEAT_SECONDS = 0.4f;
constexpr float BAR_SECONDS = 1.6f;

// 0 before edge0, 1 after edge1, the smooth cubic between.
float smoothstep(float edge0, float edge1, float x);
float mix(float a, float b, float t);
// A flash on every beat: 1 on the beat, falling away within it.
float beat_pulse(float seconds);

// The camera at this eye, looking at this point, from this frame on (no smoothing: every frame the scene
// computes where it is).
void camera_aim(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z);

// --- random placements --------------------------------------------------------------------------------
// A small generator of its own, seeded by the scene: every pass and every machine places the same
// things, whatever else draws from the C library's generator meanwhile.
struct SceneRandom {
    uint32_t state;
    explicit SceneRandom(uint32_t seed) : state(seed * 2654435761u + 0x9E3779B9u) {}
    uint32_t next();
    float uniform(float lo, float hi);
};

// --- the seven animated figures -----------------------------------------------------------------------
constexpr ObjectId FIGURE_FIRST = 200;
constexpr int FIGURE_COUNT = 7;
constexpr ObjectId SHADOW_FIRST = 210;  // the flattened copy of figure k is k + 10

// Rig 1's clips that the scenes use.
enum FigureClip : unsigned {
    CLIP_WALK = 0,
    CLIP_SLOW_WALK = 1,
    CLIP_CHEER = 2,
    CLIP_POINT = 3,
    CLIP_RUN = 4,
    CLIP_QUICK_DANCE = 7,
    CLIP_SWAY = 8,
    CLIP_JUMP = 9,
    CLIP_AT_EASE = 10,
};

// Enabled, standing at (x, y, z) facing `yaw` degrees (0 faces +z), scale 1, no path, clip stopped.
void figure_stand(ObjectId id, float x, float y, float z, float yaw);
void figure_clip(ObjectId id, unsigned clip, float speed, double time, int playing);
// A walk towards (x, z) on the ground at `speed`, the clip's pace kept in step with it (`stride`: clip
// speed per unit of walking speed), turning at most `turn_rate` degrees a second; queued behind the
// current movement when `queue` is set.
constexpr float WALK_STRIDE = 2.6f;
constexpr float RUN_STRIDE = 0.45f;
void figure_walk_to(ObjectId id, float x, float z, float speed, float turn_rate, int queue,
                    float stride = WALK_STRIDE);
// Every figure disabled, its path cancelled where it stands and its colour back to white.
void figures_put_away();

// The flattened copies 210 to 216 of the enabled figures, made again this frame and laid on the plane y
// as dark translucent shapes, long and leaning away from the low evening sun.
void shadows_follow(float y);
void shadows_put_away();

// --- what a scene built -------------------------------------------------------------------------------
// Every object from first to last emptied (no geometry, no particles), so that nothing of it is drawn
// and the scenery switch of a later scene cannot bring it back.
void scene_dispose(ObjectId first, ObjectId last);
// A textured box into `part`-less object `id`, placed and turned; used to bake composites.
void scene_box(ObjectId id, float sx, float sy, float sz, TextureId texture, float x, float y, float z,
               float rx, float ry, float rz);

// --- captions -----------------------------------------------------------------------------------------
// Waving glyphs are drawn half as wide as high on the frame's 0..1 scales (square on the 2:1 window);
// their pen advances by a part of their height: wide (Japanese) glyphs fill the cell, Latin ones half.
constexpr float ADVANCE_WIDE = 0.56f;
constexpr float ADVANCE_LATIN = 0.3f;
// A waving outlined caption in slots from `first`, centred on (x, y), its glyphs `size` high (a part of
// the frame's height), waving with `phase` degrees. Returns the number of characters.
int caption_centred(int first, const char* text, float x, float y, float size, float advance, float alpha,
                    float outline_r, float outline_g, float outline_b, float phase);
// Hides the slots a caption of up to `chars` characters took.
void caption_hide(int first, int chars);
// The fade slot hidden when the overlay has it.
void fade_hide();
// Slot 1 as a full-frame rectangle of this colour and opacity.
void fade_color(float r, float g, float b, float alpha);
