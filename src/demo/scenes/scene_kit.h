// What the scenes share: seeded random placements, easing, the seven figures and their shadows, the
// waving captions, and the disposal of what a scene built. Main (scene) thread, between frames.
#pragma once

#include <cstdint>

#include "core/ids.h"
#include "scene/vec.h"

// Degrees to radians, in the single precision the scenes compute their placements in.
constexpr float DEG = static_cast<float>(DEG_TO_RAD);

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

// The k-th of the seven, 0 to 6.
inline ObjectId figure_id(int k) {
    return FIGURE_FIRST + k;
}
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
// Every object from first to last emptied (no geometry, no particles) and put back at the origin,
// unturned, unscaled and white, so that nothing of it is drawn, the scenery switch of a later scene cannot
// bring it back, and whatever builds there next starts from a new slot's state.
void scene_dispose(ObjectId first, ObjectId last);
// A textured box into `part`-less object `id`, placed and turned; used to bake composites.
void scene_box(ObjectId id, float sx, float sy, float sz, TextureId texture, float x, float y, float z,
               float rx, float ry, float rz);

// --- painting over the last frames ---------------------------------------------------------------------
// The frame of a scene that paints over its last frames (its frame clear off): the colours stay, every
// frame's depths start afresh, so what moves is always whole in front of its own trails. In half-height
// mode the last frame's rows are first gathered back from their doubled copies, or every frame would
// stretch the trails again until they ran off the top and bottom of the picture.
void paint_frame();
// The frame clear off from the frame after this one (the first frame wipes what the scene before left),
// and a veil of black over each frame so that the trails die away at `fade_per_second` whatever the
// frame rate. Call once per frame.
void paint_trails(bool first_frame, float fade_per_second);
// The frame clear on again and the veil away: the end of a painting scene.
void paint_stop();

// --- the climax's glow --------------------------------------------------------------------------------
// Bright pixels bleed light into their neighbours (the merge's glow), above `threshold` (0..1).
void glow_on(float threshold, float width, int strength);
void glow_off();

// --- the pass -------------------------------------------------------------------------------------------
// The state a pass starts from, the same every time: the C library's generator reseeded, the frame
// counter at 0 and the park's falling leaves put back where the first pass found them.
void pass_begin();
// The end of the last scene: the figures and the places scenes build in emptied, the effect switches
// back to their start, every overlay slot from 1 hidden; the next pass starts exactly as the first did.
void pass_clean_up();

// Every triangle of part 0 shows only a window of its picture: u from u0 to u1, v from v0 to v1 (v runs
// down the picture). A box then wears one band of a sky instead of all of it on each face.
void scene_texture_window(ObjectId id, float u0, float u1, float v0, float v1);
// The glowing band of the dusk picture, just above its horizon.
constexpr float DUSK_GLOW_TOP = 0.32f, DUSK_GLOW_BOTTOM = 0.52f;

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
// Both caption lines hidden.
void captions_hide();
// Opacity of a caption shown from `from` to `to` seconds, easing in and out over `edge` seconds.
float shown(float e, float from, float to, float edge);
// One word of a pair the scene shows one after the other, centred on the same place.
struct CaptionWord {
    const char* text;
    float from, to;    // seconds of the scene it is shown
    float outline[3];  // red, green, blue
};
// The pair at `e` seconds: `first` on the first caption line, `second` on the second, each easing in and
// out over 0.6 s, centred at (0.5, y), glyphs `size` high, waving at `wave_rate` degrees a second.
void caption_words(float e, const CaptionWord& first, const CaptionWord& second, float y, float size,
                   float wave_rate);
// The fade slot hidden when the overlay has it.
void fade_hide();
// Slot 1 as a full-frame rectangle of this colour and opacity.
void fade_color(float r, float g, float b, float alpha);
