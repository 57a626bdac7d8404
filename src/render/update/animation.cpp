// The clip table, the animation time step and the pose tables of animated objects. Each object is
// handled by the one update worker that owns it; the rig table is shared and read-only.
#include "render/update/animation.h"

#include <algorithm>
#include <cmath>

#include "render/frame_flags.h"
#include "scene/rig.h"

namespace {

// Ends of a clip that plays once sit this far inside it, so the integer part stays on the last frame.
constexpr double CLIP_END_INSET = 0.0001;
// Time changes below this are rounding, not movement: re-skinning for them would be wasted.
constexpr double TIME_EPSILON = 0.000001;
// Below this fraction the pose is frame 0 itself: a blend would only add rounding.
constexpr double BLEND_EPSILON = 0.00005;

// Rig 1's slow clips are re-skinned on every other frame only; the id spreads the figures over the
// even and odd frames so that the work halves on every frame rather than on alternate ones.
bool half_rate_skips(ObjectId id) {
    const ObjectTable& t = obj_table;
    const unsigned clip = t.anim_clip[id];
    if (t.anim_type[id] != 1 || !t.anim_half_rate[id] || (clip != 1 && clip != 8 && clip != 11)) return false;
    const int64_t k = static_cast<int64_t>(id) + id / 16 + frame_flags.frame_counter;
    return (k & 1) != 0;
}

// A figure's own bones are not the rig's: moving their joints by what the clip moves the rig's joints
// keeps a bone's length only for small turns. Thrown up over the head, an arm a third shorter than the
// rig's came out half as long again, and the skinning stretched its picture along. So each bone of the
// moved row keeps the direction the movement gives it, and its own length, from its already placed
// parent joint on. A row the clip leaves where it was is left exactly as it is.
void keep_bone_lengths(const float* rest, float* cur) {
    bool moved = cur[0] != rest[0] || cur[1] != rest[1] || cur[2] != rest[2];
    float parent[3] = {cur[0], cur[1], cur[2]};  // the parent joint as moved, before its correction
    for (int j = 1; j < RIG_JOINTS; ++j) {
        const float* r = rest + j * RIG_JOINT_FLOATS;
        float* c = cur + j * RIG_JOINT_FLOATS;
        if (r[3] <= 0.0f) break;
        const float here[3] = {c[0], c[1], c[2]};
        moved = moved || here[0] != r[0] || here[1] != r[1] || here[2] != r[2];
        if (moved) {
            const float* p = c - RIG_JOINT_FLOATS;  // the parent, already placed
            const float* rp = r - RIG_JOINT_FLOATS;
            const float bx = r[0] - rp[0], by = r[1] - rp[1], bz = r[2] - rp[2];
            const float length = std::sqrt(bx * bx + by * by + bz * bz);
            float dx = here[0] - parent[0], dy = here[1] - parent[1], dz = here[2] - parent[2];
            const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
            // A bone the blend folds onto its parent has no direction left: it keeps its rest one.
            if (!(d > 1e-6f)) dx = bx, dy = by, dz = bz;
            const float k = d > 1e-6f ? length / d : 1.0f;
            c[0] = p[0] + dx * k;
            c[1] = p[1] + dy * k;
            c[2] = p[2] + dz * k;
        }
        parent[0] = here[0], parent[1] = here[1], parent[2] = here[2];
    }
}

void mark_parts_for_skinning(ObjectId id) {
    PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    const int n = obj_part_limit(id);
    for (int p = 0; p < n; ++p)
        if (pa.tri_count[static_cast<size_t>(p)] > 0) pa.dirty[static_cast<size_t>(p)] = 1;
}

}  // namespace

void anim_step(ObjectId id, double dt) {
    if (!obj_valid(id)) return;
    ObjectTable& t = obj_table;
    const unsigned rig = t.anim_type[id], clip = t.anim_clip[id];
    const int n = anim_clip_frames(rig, clip);
    if (n == 0 || !t.has_geometry[id]) return;
    const double step = static_cast<double>(anim_clip_rate(rig, clip)) * t.anim_speed[id];
    double time = t.anim_time[id];
    const double old = time;
    if (t.anim_playing[id] && step != 0.0) time += step * dt;
    const bool loops = anim_clip_loops(rig, clip);
    if (time > n) time = loops ? 0.0 : n - CLIP_END_INSET;
    if (time < 0.0) time = loops ? n - CLIP_END_INSET : 0.0;
    // A time that is not a number (a wild value set by a scene) starts the clip over.
    if (std::isnan(time)) time = 0.0;
    t.anim_time[id] = time;
    if (std::fabs(time - old) > TIME_EPSILON && !half_rate_skips(id)) mark_parts_for_skinning(id);
}

void anim_prepare_poses(ObjectId id) {
    ObjectTable& t = obj_table;
    const size_t i = static_cast<size_t>(id);
    if (t.pose_cache_a[i].size() >= POSE_CACHE_FLOATS && t.pose_cache_b[i].size() >= POSE_CACHE_FLOATS &&
        t.pose_cache_c[i].size() >= POSE_CACHE_FLOATS)
        return;
    std::vector<float> pose(POSE_CACHE_FLOATS);
    for (int r = 0; r < RIG_ROWS; ++r) {
        for (int j = 0; j < RIG_JOINTS; ++j) {
            const PoseJoint p = pose_evaluate_for(id, 0, r, j);
            float* o = pose.data() + (r * RIG_JOINTS + j) * RIG_JOINT_FLOATS;
            o[0] = p.x;
            o[1] = p.y;
            o[2] = p.z;
            o[3] = p.w;
        }
    }
    // A clone brings its source's rest pose along: keep it, the binding of its parts was made for it.
    if (t.pose_cache_a[i].size() < POSE_CACHE_FLOATS) t.pose_cache_a[i] = pose;
    if (t.pose_cache_b[i].size() < POSE_CACHE_FLOATS) t.pose_cache_b[i] = pose;
    if (t.pose_cache_c[i].size() < POSE_CACHE_FLOATS) t.pose_cache_c[i] = pose;
}

void anim_update_pose(ObjectId id) {
    ObjectTable& t = obj_table;
    const size_t i = static_cast<size_t>(id);
    std::vector<float>& rest = t.pose_cache_a[i];
    std::vector<float>& cur = t.pose_cache_c[i];
    if (rest.size() < POSE_CACHE_FLOATS || cur.size() < POSE_CACHE_FLOATS) return;
    const int n = anim_clip_frames(t.anim_type[id], t.anim_clip[id]);
    double time = t.anim_time[id];
    // Scenes may set any time: keep the key frame index in range before truncating it.
    if (!(time >= 0.0)) time = 0.0;
    if (time > 1e6) time = 1e6;
    int k = static_cast<int>(time);
    double f = time - k;
    if (k == 0) {
        if (!(f > BLEND_EPSILON && n > 0)) f = 0.0;
    } else if (k >= n) {
        k = n > 0 ? n - 1 : 0;
        f = 0.0;
    }
    const float ff = static_cast<float>(f);
    for (int r = 0; r < RIG_ROWS; ++r) {
        for (int j = 0; j < RIG_JOINTS; ++j) {
            const size_t o = static_cast<size_t>(r * RIG_JOINTS + j) * RIG_JOINT_FLOATS;
            if (rest[o + 3] <= 0.0f) break;
            const PoseJoint p0 = pose_evaluate_for(id, k, r, j);
            const PoseJoint p1 = pose_evaluate_for(id, k + 1, r, j);
            // A rest pose of the object's own (a figure's joints fitted to its picture) takes the
            // clip's movement along: each joint moves from its rest position by what the clip moves
            // the rig's joint. Where the clip is at the rig's rest the movement is exactly 0, so the
            // pose is the rest pose to the bit and the skinning leaves the figure alone.
            const PoseJoint rig_rest = pose_evaluate_for(id, 0, r, j);
            cur[o] = rest[o] + ((p0.x * (1.0f - ff) + p1.x * ff) - rig_rest.x);
            cur[o + 1] = rest[o + 1] + ((p0.y * (1.0f - ff) + p1.y * ff) - rig_rest.y);
            cur[o + 2] = rest[o + 2] + ((p0.z * (1.0f - ff) + p1.z * ff) - rig_rest.z);
            cur[o + 3] = p0.w;
        }
        keep_bone_lengths(rest.data() + static_cast<size_t>(r * RIG_JOINTS) * RIG_JOINT_FLOATS,
                          cur.data() + static_cast<size_t>(r * RIG_JOINTS) * RIG_JOINT_FLOATS);
    }
}
