// The object table: every drawable thing is a slot addressed by ObjectId, its attributes held as one
// column per field and its parts (triangle soups) as per-part columns per object. Written by the scene
// thread between frames; read (and per-part data written, one worker per part) by the frame passes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ids.h"
#include "scene/vec.h"

// ObjectId indexes obj_table. Callers choose ids themselves; slots are created on first use and never
// removed. Id 0 is a valid slot that the renderer draws, but the per-frame lists start at id 1, so it is
// never simulated or re-transformed.

constexpr int TRI_WORLD_FLOATS = 9;     // three vertices x, y, z
constexpr int TRI_UV_FLOATS = 6;        // u, v per vertex
constexpr int TRI_SHADE_FLOATS = 12;    // red, green, blue, alpha per vertex
constexpr int POSE_CACHE_FLOATS = 256;  // 8 key frames x 8 joints x x, y, z, w
constexpr int POSE_OFFSET_SCALE_FLOATS = 6;
constexpr int PATH_POINT_FLOATS = 8;
constexpr int PARTICLE_FLOATS = 10;
// A particle record of an emitter. Set-up writes position, the tint and a staggered age; the update
// pass writes the velocity on every re-emission.
enum ParticleField {
    PARTICLE_X = 0,  // position x, y, z; a position beyond +-200000 on x is not drawn
    PARTICLE_Y = 1,
    PARTICLE_Z = 2,
    PARTICLE_RED = 3,  // colour red, green, blue, 0..1
    PARTICLE_GREEN = 4,
    PARTICLE_BLUE = 5,
    PARTICLE_AGE = 6,  // seconds since emission
    PARTICLE_VX = 7,   // velocity x, y, z, world units per second; 0 until the first emission
    PARTICLE_VY = 8,
    PARTICLE_VZ = 9,
};
// Position of a particle that has not been emitted yet, on all three axes (bits 0xD51184E7).
constexpr float PARTICLE_UNEMITTED = -1e13f;

// Bounds beyond which the table refuses to grow (the operation is then ignored): ids and part indices
// come from scenes and model files, and a wild one must not exhaust memory or overflow a size.
constexpr int OBJECT_CAPACITY_LIMIT = 1 << 19;
constexpr int PART_CAPACITY_LIMIT = 1 << 20;
constexpr int TRI_COUNT_LIMIT = 1 << 24;  // 16.7 M triangles: 805 MB of shade data, still 32-bit sized

// Bytes of a part's scratch buffer for n triangles: an 8-byte header, 8 mask bytes per vertex, slack.
inline size_t scratch_bytes(int n) {
    return static_cast<size_t>(n) * 24 + 16;
}

// Per-part columns of one object, each of part_capacity elements. An empty float or byte vector stands
// for an absent array; a present triangle array holds exactly tri_capacity triangles.
struct PartArrays {
    std::vector<std::vector<float>> tri_world;  // 9 floats/triangle, world space; new: none
    std::vector<std::vector<float>> tri_local;  // 9 floats/triangle, as the owner gave them; new: none
    std::vector<std::vector<float>> tri_uv;     // 6 floats/triangle or none; new: none
    std::vector<std::vector<float>> tri_shade;  // 12 floats/triangle (rgba per vertex) or none; new: none
    std::vector<int> tri_count;                 // triangles in use; new: 0
    std::vector<int> tri_capacity;              // triangles allocated in the arrays above; new: 0
    std::vector<TextureId> texture;             // new: 0 (untextured)
    std::vector<uint8_t> visible;               // drawn; new: 1
    std::vector<uint8_t> dirty;                 // 0 clean, 1 rebuild world triangles, 2 moved only; new: 0
    std::vector<uint8_t> compact_pending;       // triangle list to be compacted before use; new: 0
    std::vector<Color4> part_color;             // multiplied with the object's color; new: 1, 1, 1, 1
    std::vector<int8_t> collision_mode;         // 0..2, offset by +10/-20 while the passes hand it on; new: 0
    std::vector<uint8_t> collision_changed;     // mode changed since the last transform; new: 0
    std::vector<uint8_t> collision_param_a;     // new: 0
    std::vector<uint8_t> collision_param_b;     // new: 0
    std::vector<uint8_t> shade_state;           // keeps per-vertex shading (4 just created, 2 kept); new: 0
    std::vector<uint8_t> shade_age;             // 1 and 2 advance once per frame; new: 0
    std::vector<uint8_t> has_shade;             // the part keeps tri_shade; new: 0
    std::vector<std::vector<uint8_t>>
        scratch;                              // scratch_bytes(tri_capacity), byte 0 == 255: stale; new: none
    std::vector<Vec3> box_min, box_max;       // box that follows position (moved by obj_set_position); new: 0
    std::vector<Vec3i> box_min_i, box_max_i;  // min truncated, max truncated + 1; new: 0
    std::vector<Vec3> world_min, world_max;   // world box from the transform pass; new: 0
    std::vector<Vec3i> world_min_i, world_max_i;            // new: 0
    std::vector<Vec3> prev_world_min, prev_world_max;       // world box before the last transform; new: 0
    std::vector<Vec3i> prev_world_min_i, prev_world_max_i;  // new: 0
};

// Called to compact a part whose compact_pending is set (installed by the object update pass, which owns
// the compaction rule); it clears the flag and must not grow the table.
using PartCompactFn = void (*)(ObjectId id, int part);

struct ObjectTable {
    int object_capacity = 0;               // slots in every column below
    PartCompactFn part_compact = nullptr;  // none installed: pending compactions stay pending

    std::vector<std::string> name;        // model name without extension; new: empty
    std::vector<uint8_t> enabled;         // drawn and simulated; new: 1
    std::vector<uint8_t> has_geometry;    // some part received triangles; back to 0 only by obj_reset; new: 0
    std::vector<int> part_count;          // highest filled part + 1; new: 0
    std::vector<int> part_capacity;       // parts in every column of parts[id]; new: 0
    std::vector<Vec3> position;           // world units; new: 0, 0, 0
    std::vector<Vec3> rotation;           // degrees about X, Y, Z; new: 0, 0, 0
    std::vector<Vec3> scale;              // per axis; new: 1, 1, 1
    std::vector<Color4> color;            // colour multiplier of the whole object; new: 1, 1, 1, 1
    std::vector<uint8_t> span_limit;      // longest scanline span in pixels, 0 none; new: 0
    std::vector<unsigned> anim_type;      // rig type 0 none, 1 or 2; new: 0
    std::vector<unsigned> anim_clip;      // clip 0..11 of the rig; new: 0
    std::vector<double> anim_time;        // position in key frames; new: 0
    std::vector<float> anim_speed;        // playback factor, negative plays backwards; new: 1
    std::vector<uint8_t> anim_playing;    // new: 0
    std::vector<uint8_t> anim_half_rate;  // advances every other frame; new: 0
    std::vector<std::vector<float>>
        pose_offset_scale;                            // offset xyz, scale xyz, or none (identity); new: none
    std::vector<std::vector<float>> pose_cache_a;     // POSE_CACHE_FLOATS (rest pose) or none; new: none
    std::vector<std::vector<float>> pose_cache_b;     // POSE_CACHE_FLOATS or none; new: none
    std::vector<std::vector<float>> pose_cache_c;     // POSE_CACHE_FLOATS (current pose) or none; new: none
    std::vector<uint8_t> collides;                    // takes part in collision; new: 0
    std::vector<uint8_t> moving;                      // velocity integrated by the motion pass; new: 0
    std::vector<Vec3d> velocity;                      // world units per second; new: 0, 0, 0
    std::vector<int> support_object;                  // object last rested on, 0 none; new: 0
    std::vector<int> support_part;                    // part of support_object touched, -1 none; new: -1
    std::vector<int> path_mode;                       // new: 0
    std::vector<std::vector<float>> path_queue;       // PATH_POINT_FLOATS per queued point; new: none
    std::vector<int> path_queue_length;               // queued points; new: 0
    std::vector<float> path_speed;                    // 0: no path movement; new: 0
    std::vector<Vec3> path_target;                    // new: 0
    std::vector<float> path_heading;                  // degrees, negative keeps the heading; new: 0
    std::vector<float> path_param_a;                  // new: 0
    std::vector<float> path_param_b;                  // new: 0
    std::vector<int> terrain_cols;                    // cells across x; new: 0
    std::vector<int> terrain_rows;                    // cells along z; new: 0
    std::vector<std::vector<float>> terrain_heights;  // (cols+1) x (rows+1) row-major or none; new: none
    std::vector<std::vector<float>> terrain_colors;   // rgba per corner or none; new: none
    std::vector<float> terrain_spacing;               // cell edge in object units; new: 0
    std::vector<float> terrain_inv_spacing;           // new: 0
    std::vector<float> terrain_u_step;                // new: 0
    std::vector<float> terrain_v_step;                // new: 0
    std::vector<TextureId> terrain_texture;           // new: 0
    std::vector<int> particle_count;                  // 0: not an emitter; new: 0
    std::vector<std::vector<float>> particles;        // PARTICLE_FLOATS per particle or none; new: none
    std::vector<float> particle_life;                 // seconds; new: 0
    std::vector<Vec3> particle_spread;                // largest random speed per axis; new: 0
    std::vector<Vec3> particle_base_velocity;         // new: 0
    std::vector<float> particle_size;                 // half-size of a billboard; new: 0
    std::vector<int> particle_flags;                  // bits 0-2 growth, 7 fade in, 8 upright; new: 0
    std::vector<float> particle_floor;                // 0: none; new: 0
    std::vector<uint8_t> particle_parked;             // respawn far away; new: 0
    std::vector<uint8_t> particle_no_wind;            // new: 0
    std::vector<PartArrays> parts;                    // per-part columns; new: none (part_capacity 0)
};

extern ObjectTable obj_table;

// True when id names an existing slot (no growth).
inline bool obj_valid(ObjectId id) {
    return id >= 0 && id < obj_table.object_capacity;
}

// The mode a caller gave, from a stored collision_mode: the transform pass parks it at +10 and the list
// builder at -20 (net -10) to hand new geometry on, which is no change of mode.
inline int collision_mode_plain(int stored) {
    if (stored >= 10) return stored - 10;
    if (stored < 0) return stored + 10;
    return stored;
}

// The parts of a valid object that a pass may visit: its part count, never more than the parts its
// columns hold (a count set ahead of the columns must not lead a pass past them).
inline int obj_part_limit(ObjectId id) {
    const int count = obj_table.part_count[id], capacity = obj_table.part_capacity[id];
    return count < capacity ? count : capacity;
}

// Grows the table so that id exists and the object's parts so that part exists. Returns false, leaving
// the table as it was, for negative values or ones beyond the growth limits.
bool obj_ensure(ObjectId id, int part);
// The growth rules: the capacity that obj_ensure gives for an id beyond the table, and the part
// capacity for a part index beyond an object's current part capacity cap.
int64_t obj_grown_capacity(int64_t id);
int64_t obj_grown_part_capacity(int64_t part, int64_t cap);
// Writes every new-slot value of the slot (its parts become none).
void obj_slot_init(ObjectId id);
// Empties the whole table (capacity 0), for tests that need a fresh start.
void obj_table_reset_all();

// Fills a part: tris (count x 9 floats, null: zeros), optional uvs (count x 6) and shade (count x 12).
void obj_set_part_triangles(ObjectId id, int part, const float* tris, const float* uvs, const float* shade,
                            TextureId texture, int count);
// Returns 1 when the part already holds exactly this geometry (the caller may skip rewriting it) and 0
// when it must be rewritten.
int obj_part_changed(ObjectId id, int part, const float* tris, const float* uvs, const float* shade,
                     TextureId texture, int count);
void obj_clear_part(ObjectId id, int part);
// Appends source to target (source below 1: every part but the target), clearing what was appended.
void obj_merge_parts(ObjectId id, int target, int source);
// Flat copy of src into dst: axis 0 keeps x and z (y becomes 0), axis 1 keeps y and z (x becomes 0);
// with keep_every > 0 large parts keep one triangle of every keep_every + 1.
void obj_copy_flattened(ObjectId dst, ObjectId src, int keep_every, int axis);
void obj_clone(ObjectId src, ObjectId dst);
// Appends every non-empty part of `source` to `target` as new parts, with the source's transform
// applied, so the copy looks like the placed source. Returns the source's part count.
int obj_bake(ObjectId target, ObjectId source);
void obj_reset(ObjectId id);
void obj_set_part_collision(ObjectId id, int part, int mode, int param_a, int param_b, int param_c);
bool obj_has_parts(ObjectId id);
void obj_set_part_shading(ObjectId id, int part, int state, int age, int keep_shade);
void obj_set_pose_offset_scale(ObjectId id, float ox, float oy, float oz, float sx, float sy, float sz);
void obj_set_name(ObjectId id, const char* text);
void obj_set_color(ObjectId id, float r, float g, float b, float a);
void obj_set_part_color(ObjectId id, int part, float r, float g, float b, float a);
void obj_set_terrain_height(ObjectId id, int col, int row, float height);
double obj_velocity_x(ObjectId id);
double obj_velocity_y(ObjectId id);
double obj_velocity_z(ObjectId id);
void obj_set_velocity(ObjectId id, double x, double y, double z);

// Sets part 0's texture; ids below 1 and negative textures are ignored.
void obj_set_part0_texture(ObjectId id, TextureId texture);

// State of the free-id search: where the next search starts, and the calls since it last went back
// to 1.
struct FreeIdSearch {
    int start = 1;  // first id the next search looks at
    int calls = 0;  // calls since the last reset; the 513th resets the start to 1
};
extern FreeIdSearch free_id_search;

// An id (>= 1) whose slot has no name and no geometry, searched from free_id_search.start upwards and
// growing the table at its end; consecutive calls hand out increasing ids, and every 513th call starts
// again from 1 so that slots freed by obj_reset are found again. 0 when the table cannot grow.
ObjectId obj_free_id();
