// Skinning of animated parts: each vertex follows the bone segments it is bound to, from the rest pose
// to the current pose. Runs inside the transform step, one worker per part; it writes only the part's
// world triangles and its binding buffer (the part's scratch).
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "render/geometry/geometry.h"
#include "render/geometry/skinning.h"
#include "scene/camera.h"

namespace {

constexpr int POSE_ROWS = 8;
constexpr int POSE_JOINTS = 8;
// Segment j joins joints j and j + 1 of a row, so a row of 8 joints has 7 segments; a segment 7 would
// reach into the next row (or past the table for the last row).
constexpr int ROW_SEGMENTS = POSE_JOINTS - 1;
constexpr int SEGMENT_SLOTS = POSE_ROWS * POSE_JOINTS;
constexpr size_t BINDING_HEADER = 8;
constexpr size_t MASK_BYTES = 8;  // one byte per row, bit j: bound to segment j
// Vertices this close before a vertex are searched for an identical one whose result can be reused:
// neighbouring triangles of a mesh share corners.
constexpr size_t SHARE_WINDOW = 12;
constexpr float RADIUS_END = 0.0001f;  // a segment this thin ends its row

// A vertex's 8 mask bytes as one word, byte r in bits 8r..8r+7 (a plain load on the little-endian
// machines the engine runs on). With 8 joints per row, bit j of byte r is then bit r * POSE_JOINTS + j,
// the segment's slot number: one test covers all eight rows, and the loops jump from bound segment to
// bound segment instead of walking 56 slots.
static_assert(POSE_JOINTS == 8 && MASK_BYTES == 8, "one mask bit per segment slot");
static_assert(std::endian::native == std::endian::little, "mask words are read as stored");
constexpr uint64_t ROW_BITS = 0xFF;

uint64_t read_mask(const uint8_t* mask) {
    uint64_t bits;
    std::memcpy(&bits, mask, MASK_BYTES);
    return bits;
}

void write_mask(uint8_t* mask, uint64_t bits) {
    std::memcpy(mask, &bits, MASK_BYTES);
}

struct SegmentTurn {
    float s1, c1, s2, c2;
};

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

// The offsets from the rest ends turn with the segment and are laid onto the current ends; the
// position is the mean of the two. Spelt out per coordinate so the offsets stay in registers.
void deform(float r[3], const float* a, const float* b, const float* c, const float* d,
            const SegmentTurn& turn) {
    float ux = r[0] - a[0], uy = r[1] - a[1], uz = r[2] - a[2];
    float wx = r[0] - b[0], wy = r[1] - b[1], wz = r[2] - b[2];
    if (turn.s1 != 0.0f) {
        rotate_about_x(turn.c1, turn.s1, uy, uz);
        rotate_about_x(turn.c1, turn.s1, wy, wz);
    }
    if (turn.s2 != 0.0f) {
        rotate_about_y(turn.c2, turn.s2, ux, uz);
        rotate_about_y(turn.c2, turn.s2, wx, wz);
    }
    r[0] = ((c[0] + ux) + (d[0] + wx)) / 2.0f;
    r[1] = ((c[1] + uy) + (d[1] + wy)) / 2.0f;
    r[2] = ((c[2] + uz) + (d[2] + wz)) / 2.0f;
}

// The two poses as one part's vertices see them. Which segments moved is settled for all of them up
// front (six compares each, cheaper than asking per vertex); the turns, which cost two look_at_angles
// and two sines and cosines, only for the moved segments some vertex actually uses, once per part.
struct PartPose {
    const float* rest;
    const float* cur;
    uint64_t changed = 0;  // bit per segment slot: its ends differ between the poses
    uint64_t turned = 0;   // bit per segment slot: turn[] holds its turn
    SegmentTurn turn[SEGMENT_SLOTS];

    PartPose(const float* rest_pose, const float* cur_pose) : rest(rest_pose), cur(cur_pose) {
        for (int row = 0; row < POSE_ROWS; ++row) {
            for (int j = 0; j < ROW_SEGMENTS; ++j) {
                const int seg = row * POSE_JOINTS + j;
                const float* a = rest + seg * 4;
                const float* b = a + 4;
                const float* c = cur + seg * 4;
                const float* d = c + 4;
                // Compared as floats, so a -0 that became +0 has not moved.
                const bool same = a[0] == c[0] && a[1] == c[1] && a[2] == c[2] && b[0] == d[0] &&
                                  b[1] == d[1] && b[2] == d[2];
                if (!same) changed |= uint64_t{1} << seg;
            }
        }
    }

    void deform_by(float r[3], int seg) {
        const float* a = rest + seg * 4;
        const float* c = cur + seg * 4;
        const uint64_t bit = uint64_t{1} << seg;
        if (!(turned & bit)) {
            turn[seg] = segment_turn(a, a + 4, c, c + 4);
            turned |= bit;
        }
        deform(r, a, a + 4, c, c + 4, turn[seg]);
    }
};

// The deformation under a valid binding. Unchanged bound segments leave the vertex where it is, so
// only the moved ones are visited: in each row the first of them deforms the vertex and ends the row.
void deform_bound(PartPose& pose, uint64_t bound, float r[3]) {
    uint64_t pending = bound & pose.changed;
    while (pending != 0) {
        const int seg = std::countr_zero(pending);
        pose.deform_by(r, seg);
        pending &= ~(ROW_BITS << (seg & ~(POSE_JOINTS - 1)));
    }
}

// A rest segment's reach, with every term that does not depend on the vertex worked out once per part.
// Only whole sub-expressions are taken out of the tests, so each still rounds exactly as if it were
// worked out per vertex.
struct SegmentReach {
    float above_a[3], above_b[3];  // A + o, B + o: beyond both on an axis is clearly outside
    float below_a[3], below_b[3];  // A - o, B - o
    float a[3];
    float ab[3];     // B - A
    float len2_xy;   // |B - A|^2 in the x-y plane
    float len2_xyz;  // |B - A|^2
    float radius2;   // o x o, rounded to float
};

SegmentReach segment_reach(const float* a, const float* b) {
    const float o = b[3];
    SegmentReach s{};
    for (int k = 0; k < 3; ++k) {
        s.above_a[k] = a[k] + o;
        s.above_b[k] = b[k] + o;
        s.below_a[k] = a[k] - o;
        s.below_b[k] = b[k] - o;
        s.a[k] = a[k];
        s.ab[k] = b[k] - a[k];
    }
    s.len2_xy = s.ab[0] * s.ab[0] + s.ab[1] * s.ab[1];
    s.len2_xyz = s.ab[0] * s.ab[0] + s.ab[1] * s.ab[1] + s.ab[2] * s.ab[2];
    s.radius2 = o * o;
    return s;
}

// The quick rejection before the distance test: P clearly beyond both ends on some axis.
bool clearly_outside(const float* p, const SegmentReach& s, bool three_d) {
    for (int k = 0; k < (three_d ? 3 : 2); ++k) {
        if (p[k] > s.above_a[k] && p[k] > s.above_b[k]) return true;
        if (p[k] < s.below_a[k] && p[k] < s.below_b[k]) return true;
    }
    return false;
}

// Whether P lies within the segment's radius: in 3D for rig 2, in the x-y plane otherwise.
bool within_segment(const float* p, const SegmentReach& s, bool three_d) {
    const float* a = s.a;
    const float* ab = s.ab;
    if (three_d) {
        const float ap[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
        const float cx = ap[1] * ab[2] - ap[2] * ab[1];
        const float cy = ap[2] * ab[0] - ap[0] * ab[2];
        const float cz = ap[0] * ab[1] - ap[1] * ab[0];
        // A segment of zero length is a point: measure to the point.
        const float d2 = s.len2_xyz > 0.0f ? (cx * cx + cy * cy + cz * cz) / s.len2_xyz
                                           : ap[0] * ap[0] + ap[1] * ap[1] + ap[2] * ap[2];
        return s.radius2 > d2;
    }
    float t = s.len2_xy > 0.0f ? ((p[0] - a[0]) * ab[0] + (p[1] - a[1]) * ab[1]) / s.len2_xy : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    const float ex = a[0] + t * ab[0] - p[0], ey = a[1] + t * ab[1] - p[1];
    return s.radius2 > ex * ex + ey * ey;
}

// What a new binding needs of the rest pose: each row's segments up to the first thin one (which ends
// the row) and their reach. Built only on the frames that bind.
struct RestReach {
    int row_segments[POSE_ROWS];
    SegmentReach reach[SEGMENT_SLOTS];

    explicit RestReach(const float* rest) {
        for (int row = 0; row < POSE_ROWS; ++row) {
            int j = 0;
            for (; j < ROW_SEGMENTS; ++j) {
                const float* a = rest + (row * POSE_JOINTS + j) * 4;
                if (a[4 + 3] <= RADIUS_END) break;
                reach[row * POSE_JOINTS + j] = segment_reach(a, a + 4);
            }
            row_segments[row] = j;
        }
    }
};

// Binds P (as read from tri_local) to the segments it lies within while deforming the running position
// r: an unchanged segment only records the bond and the row goes on; the first moved one within reach
// deforms r and ends the row. Returns the vertex's mask bits.
uint64_t bind_and_deform(PartPose& pose, const RestReach& rest, const float* p, bool three_d, float r[3]) {
    uint64_t bound = 0;
    for (int row = 0; row < POSE_ROWS; ++row) {
        for (int j = 0; j < rest.row_segments[row]; ++j) {
            const int seg = row * POSE_JOINTS + j;
            const SegmentReach& s = rest.reach[seg];
            if (clearly_outside(p, s, three_d) || !within_segment(p, s, three_d)) continue;
            const uint64_t bit = uint64_t{1} << seg;
            bound |= bit;
            if (pose.changed & bit) {
                pose.deform_by(r, seg);
                break;
            }
        }
    }
    return bound;
}

// The oldest of the SHARE_WINDOW vertices before v whose three input floats are bit-identical to v's,
// or v itself when there is none. Oldest first, not nearest first: matching vertices need not have
// the same result (one may have been worked out in full, another copied), so which one is copied is
// part of the result.
size_t oldest_twin(const float* src, size_t v) {
    // Bit patterns, not float values: -0 and +0 differ, and a NaN matches itself. x and y are compared
    // as one word, which rejects most candidates with a single test.
    uint64_t want_xy;
    uint32_t want_z;
    std::memcpy(&want_xy, src + v * 3, sizeof want_xy);
    std::memcpy(&want_z, src + v * 3 + 2, sizeof want_z);
    const float* candidate = src + (v - SHARE_WINDOW) * 3;
    // Unrolled, each candidate costs a load and a compare; as a loop the counting costs as much again.
#pragma GCC unroll SHARE_WINDOW
    for (size_t i = 0; i < SHARE_WINDOW; ++i, candidate += 3) {
        uint64_t xy;
        std::memcpy(&xy, candidate, sizeof xy);
        if (xy != want_xy) continue;
        uint32_t z;
        std::memcpy(&z, candidate + 2, sizeof z);
        if (z == want_z) return v - SHARE_WINDOW + i;
    }
    return v;
}

}  // namespace

bool skin_part(ObjectId id, int part, const ObjectTransform& tr, bool fold, Vec3& lo, Vec3& hi,
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
    if (!valid) {
        binding[0] = static_cast<uint8_t>(anim_type);
        binding[1] = static_cast<uint8_t>(anim_clip);
    }
    const bool three_d = anim_type == 2;

    PartPose pose(rest.data(), cur.data());
    // Only a binding frame measures reach; the others just follow their masks.
    std::optional<RestReach> reach;
    if (!valid) reach.emplace(rest.data());

    // Local copies: the stores into the world floats could otherwise alias the transform and the box,
    // and the compiler would reload them for every vertex.
    const ObjectTransform xf = tr;
    Vec3 box_lo = lo, box_hi = hi;
    bool box_started = started;
    float* dst = world.data();
    uint8_t* masks = binding.data() + BINDING_HEADER;
    for (size_t v = 0; v < vertices; ++v) {
        const float* in = src + v * 3;
        uint8_t* mask = masks + v * MASK_BYTES;
        const uint64_t bound = valid ? read_mask(mask) : 0;
        // A vertex bound to something is always worked out, as are the first few (nothing before them to
        // share); the rest first look for an identical vertex just before them.
        if (v >= SHARE_WINDOW && bound == 0) {
            const size_t twin = oldest_twin(src, v);
            if (twin != v) {
                std::memcpy(dst + v * 3, dst + twin * 3, 3 * sizeof(float));
                if (!valid) write_mask(mask, 0);
                continue;
            }
        }

        float r[3] = {in[0], in[1], in[2]};
        if (valid) {
            deform_bound(pose, bound, r);
        } else {
            write_mask(mask, bind_and_deform(pose, *reach, in, three_d, r));
        }
        object_transform_apply(xf, r[0], r[1], r[2]);
        dst[v * 3] = r[0];
        dst[v * 3 + 1] = r[1];
        dst[v * 3 + 2] = r[2];
        if (!fold) continue;
        const Vec3 q{r[0], r[1], r[2]};
        if (!box_started) {
            box_lo = box_hi = q;
            box_started = true;
            continue;
        }
        box_lo.x = q.x < box_lo.x ? q.x : box_lo.x;
        box_lo.y = q.y < box_lo.y ? q.y : box_lo.y;
        box_lo.z = q.z < box_lo.z ? q.z : box_lo.z;
        box_hi.x = q.x > box_hi.x ? q.x : box_hi.x;
        box_hi.y = q.y > box_hi.y ? q.y : box_hi.y;
        box_hi.z = q.z > box_hi.z ? q.z : box_hi.z;
    }
    lo = box_lo;
    hi = box_hi;
    started = box_started;
    return true;
}
