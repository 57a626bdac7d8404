// The plain skinning: every rule of skin_part followed literally, vertex by vertex and row by row, with
// nothing hoisted or cached beyond what the rules themselves keep. Tests hold the fast version to it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/geometry/geometry.h"
#include "render/geometry/skinning.h"
#include "scene/camera.h"

namespace {

constexpr int POSE_ROWS = 8;
constexpr int POSE_JOINTS = 8;
// Segment j joins joints j and j + 1 of a row, so a row of 8 joints has 7 segments; a segment 7 would
// reach into the next row (or past the table for the last row).
constexpr int ROW_SEGMENTS = POSE_JOINTS - 1;
constexpr size_t BINDING_HEADER = 8;
constexpr size_t MASK_BYTES = 8;  // one byte per row, bit j: bound to segment j
// Vertices this close before a vertex are searched for an identical one whose result can be reused:
// neighbouring triangles of a mesh share corners.
constexpr size_t SHARE_WINDOW = 12;
constexpr float RADIUS_END = 0.0001f;  // a segment this thin ends its row

enum SegmentState : uint8_t { SEG_UNKNOWN = 0, SEG_UNCHANGED = 1, SEG_CHANGED = 2 };

struct SegmentTurn {
    float s1, c1, s2, c2;
};

inline const float* joint(const std::vector<float>& pose, int row, int j) {
    return pose.data() + static_cast<size_t>(row * POSE_JOINTS + j) * 4;
}

// The turn that carries the rest segment's direction into the current one, as two angles taken with
// x and y exchanged (the rigs' bones run along y).
SegmentTurn segment_turn(const float* a, const float* b, const float* c, const float* d) {
    float rest_pitch, rest_yaw, roll, cur_pitch, cur_yaw;
    look_at_angles(a[1], a[0], a[2], b[1], b[0], b[2], rest_pitch, rest_yaw, roll);
    look_at_angles(c[1], c[0], c[2], d[1], d[0], d[2], cur_pitch, cur_yaw, roll);
    const float a1 = rest_yaw + 360.0f - cur_yaw;
    const float a2 = 360.0f + 0.0f - cur_pitch;
    const float r1 = static_cast<float>(a1 * DEG_TO_RAD);
    const float r2 = static_cast<float>(a2 * DEG_TO_RAD);
    return SegmentTurn{std::sin(r1), std::cos(r1), std::sin(r2), std::cos(r2)};
}

void deform(float r[3], const float* a, const float* b, const float* c, const float* d,
            const SegmentTurn& turn) {
    float u[3] = {r[0] - a[0], r[1] - a[1], r[2] - a[2]};
    float w[3] = {r[0] - b[0], r[1] - b[1], r[2] - b[2]};
    if (turn.s1 != 0.0f) {
        rotate_about_x(turn.c1, turn.s1, u[1], u[2]);
        rotate_about_x(turn.c1, turn.s1, w[1], w[2]);
    }
    if (turn.s2 != 0.0f) {
        rotate_about_y(turn.c2, turn.s2, u[0], u[2]);
        rotate_about_y(turn.c2, turn.s2, w[0], w[2]);
    }
    for (int k = 0; k < 3; ++k) r[k] = ((c[k] + u[k]) + (d[k] + w[k])) / 2.0f;
}

// Whether P lies within radius o of the segment A..B: in 3D for rig 2, in the x-y plane otherwise.
bool within_segment(const float* p, const float* a, const float* b, float o, bool three_d) {
    if (three_d) {
        const float ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float ap[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
        const float cx = ap[1] * ab[2] - ap[2] * ab[1];
        const float cy = ap[2] * ab[0] - ap[0] * ab[2];
        const float cz = ap[0] * ab[1] - ap[1] * ab[0];
        const float len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
        // A segment of zero length is a point: measure to the point.
        const float d2 = len2 > 0.0f ? (cx * cx + cy * cy + cz * cz) / len2
                                     : ap[0] * ap[0] + ap[1] * ap[1] + ap[2] * ap[2];
        return o * o > d2;
    }
    const float dx = b[0] - a[0], dy = b[1] - a[1];
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0.0f ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len2 : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    const float ex = a[0] + t * dx - p[0], ey = a[1] + t * dy - p[1];
    const float o2 = o * o;
    return o2 > ex * ex + ey * ey;
}

// The quick rejection before the distance test: P clearly beyond both ends on some axis.
bool clearly_outside(const float* p, const float* a, const float* b, float o, bool three_d) {
    for (int k = 0; k < (three_d ? 3 : 2); ++k) {
        if (p[k] > a[k] + o && p[k] > b[k] + o) return true;
        if (p[k] < a[k] - o && p[k] < b[k] - o) return true;
    }
    return false;
}

}  // namespace

bool skin_part_reference(ObjectId id, int part, const ObjectTransform& tr, bool fold, Vec3& lo, Vec3& hi,
                         bool& started) {
    ObjectTable& t = obj_table;
    const std::vector<float>& rest = t.pose_cache_a[static_cast<size_t>(id)];
    const std::vector<float>& cur = t.pose_cache_c[static_cast<size_t>(id)];
    if (rest.size() < POSE_CACHE_FLOATS || cur.size() < POSE_CACHE_FLOATS) return false;

    PartArrays& pa = t.parts[static_cast<size_t>(id)];
    const size_t p = static_cast<size_t>(part);
    std::vector<float>& world = pa.tri_world[p];
    size_t count = pa.tri_count[p] > 0 ? static_cast<size_t>(pa.tri_count[p]) : 0;
    count = std::min(count, world.size() / TRI_WORLD_FLOATS);
    std::vector<float> own_copy;
    const float* src;
    if (!pa.tri_local[p].empty()) {
        count = std::min(count, pa.tri_local[p].size() / TRI_WORLD_FLOATS);
        src = pa.tri_local[p].data();
    } else {
        // The vertex sharing compares inputs, which an in-place transform would already have overwritten.
        own_copy.assign(world.begin(), world.begin() + static_cast<std::ptrdiff_t>(count * TRI_WORLD_FLOATS));
        src = own_copy.data();
    }
    const size_t vertices = count * 3;

    std::vector<uint8_t>& binding = pa.scratch[p];
    const size_t needed = BINDING_HEADER + vertices * MASK_BYTES;
    if (binding.size() < needed) {
        const int tris = std::max(pa.tri_capacity[p], static_cast<int>(count));
        binding.assign(scratch_bytes(tris), 0);
        binding[0] = 255;
    }
    const unsigned anim_type = t.anim_type[static_cast<size_t>(id)];
    const unsigned anim_clip = t.anim_clip[static_cast<size_t>(id)];
    const bool valid = binding[0] != 255 && binding[0] == static_cast<uint8_t>(anim_type) &&
                       binding[1] == static_cast<uint8_t>(anim_clip);
    const bool computing = !valid;
    if (computing) {
        binding[0] = static_cast<uint8_t>(anim_type);
        binding[1] = static_cast<uint8_t>(anim_clip);
    }
    const bool three_d = anim_type == 2;

    uint8_t state[POSE_ROWS * POSE_JOINTS] = {};
    uint8_t turn_ready[POSE_ROWS * POSE_JOINTS] = {};
    SegmentTurn turn[POSE_ROWS * POSE_JOINTS];

    float* dst = world.data();
    for (size_t v = 0; v < vertices; ++v) {
        const float* in = src + v * 3;
        uint8_t* mask = binding.data() + BINDING_HEADER + v * MASK_BYTES;
        bool full = v < SHARE_WINDOW;
        if (!full && valid) {
            for (size_t r = 0; r < MASK_BYTES; ++r) full = full || mask[r] != 0;
        }
        if (!full) {
            bool shared = false;
            for (size_t k = v - SHARE_WINDOW; k < v; ++k) {
                if (std::memcmp(src + k * 3, in, 3 * sizeof(float)) != 0) continue;
                std::memcpy(dst + v * 3, dst + k * 3, 3 * sizeof(float));
                if (computing) std::memset(mask, 0, MASK_BYTES);
                shared = true;
                break;
            }
            if (shared) continue;
        }

        float r[3] = {in[0], in[1], in[2]};
        if (computing) std::memset(mask, 0, MASK_BYTES);
        for (int row = 0; row < POSE_ROWS; ++row) {
            for (int j = 0; j < ROW_SEGMENTS; ++j) {
                const uint8_t bit = static_cast<uint8_t>(1u << j);
                if (valid && !(mask[row] & bit)) continue;
                const float* a = joint(rest, row, j);
                const float* b = joint(rest, row, j + 1);
                bool within = false;
                if (computing) {
                    const float o = b[3];
                    if (o <= RADIUS_END) break;
                    if (clearly_outside(in, a, b, o, three_d)) continue;
                    within = within_segment(in, a, b, o, three_d);
                }
                const int seg = row * POSE_JOINTS + j;
                const float* c = joint(cur, row, j);
                const float* d = joint(cur, row, j + 1);
                if (state[seg] == SEG_UNKNOWN) {
                    const bool same = a[0] == c[0] && a[1] == c[1] && a[2] == c[2] && b[0] == d[0] &&
                                      b[1] == d[1] && b[2] == d[2];
                    state[seg] = same ? SEG_UNCHANGED : SEG_CHANGED;
                }
                if (state[seg] == SEG_UNCHANGED) {
                    if (computing && within) mask[row] |= bit;
                    continue;
                }
                if (!valid && !within) continue;
                if (!turn_ready[seg]) {
                    turn[seg] = segment_turn(a, b, c, d);
                    turn_ready[seg] = 1;
                }
                deform(r, a, b, c, d, turn[seg]);
                if (computing) mask[row] |= bit;
                break;
            }
        }
        object_transform_apply(tr, r[0], r[1], r[2]);
        dst[v * 3] = r[0];
        dst[v * 3 + 1] = r[1];
        dst[v * 3 + 2] = r[2];
        if (!fold) continue;
        const Vec3 q{r[0], r[1], r[2]};
        if (!started) {
            lo = hi = q;
            started = true;
            continue;
        }
        lo.x = q.x < lo.x ? q.x : lo.x;
        lo.y = q.y < lo.y ? q.y : lo.y;
        lo.z = q.z < lo.z ? q.z : lo.z;
        hi.x = q.x > hi.x ? q.x : hi.x;
        hi.y = q.y > hi.y ? q.y : hi.y;
        hi.z = q.z > hi.z ? q.z : hi.z;
    }
    return true;
}
