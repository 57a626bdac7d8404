// The rig of a figure built from a picture: the rig is scaled to the figure's height, and the joints of
// the limbs are moved onto the legs, elbows and hands that the silhouette analysis found. The result is
// the object's rest pose (pose_cache_a); the animation pass carries every clip's movement over to it.
// Main thread, while loading.
#include "assets/figure_rig.h"

#include <cmath>
#include <vector>

#include "scene/object.h"
#include "scene/rig.h"

namespace {

// Legs closer than this (in picture widths) are pushed apart: a leg bone binds the vertices within its
// reach, and two bones nearer than that would pull each other's legs along.
constexpr float LEG_MIN_GAP = 0.1f;
constexpr float LEG_PUSH_STEP = 0.001f;
// The analysis finds the inner edges of the legs; the bone runs this far further out (1.5 cells of
// the 25-cell grid), near the middle of a leg of the usual width.
constexpr float LEG_EDGE_TO_BONE = 1.5f / 25.0f;
// Height of rig 1 from the soles to the top of the head (the head joint at 1.75 plus its reach).
constexpr float RIG1_HEIGHT = 1.85f;
// Rig 2 stands on legs of this length (hip at 0.4), its front and hind legs at x = +-0.131 and its
// near and far legs at z = +-0.15.
constexpr float RIG2_LEG_LENGTH = 0.4f;
// Rows moved this far along z bind no vertex of a figure (which is less than 1 deep) and move none.
constexpr float OUT_OF_REACH = 100.0f;
// An animal's head joint sits this far below the top of the picture's highest part.
constexpr float HEAD_BELOW_TOP = 0.05f;
// A shin's reach over half the gap between the legs' bones: a little past the middle, so that a cell
// on the middle itself binds (to the left leg, whose row comes first).
constexpr float SHIN_MIDDLE_REACH = 1.05f;
// The wrist, from the elbow towards the hand the rays found (the far end of the arm).
constexpr float WRIST_TOWARDS_HAND = 0.7f;

enum Rig1Row { LEFT_LEG = 0, RIGHT_LEG = 1, LEFT_ARM = 2, RIGHT_ARM = 3 };
enum Rig2Row { FRONT_NEAR = 0, HIND_NEAR = 1, FRONT_FAR = 2, HIND_FAR = 3, NECK = 4, TAIL = 5 };

struct Point {
    float x, y;
};

float mesh_x(const FigureShape& s, float x) {
    return (x - s.centre) * s.aspect;
}
float mesh_y(const FigureShape& s, float y) {
    return y - s.y_shift;
}

// The legs' x positions, pushed apart to the smallest gap when both were found. 0 stays "not found".
void spread_legs(float leg[2]) {
    if (leg[0] == 0 || leg[1] == 0) return;
    float& left = leg[0] < leg[1] ? leg[0] : leg[1];
    float& right = leg[0] < leg[1] ? leg[1] : leg[0];
    // Bounded: each step widens the gap by a full step.
    for (int i = 0; i < 200 && right - left < LEG_MIN_GAP; ++i) {
        left -= LEG_PUSH_STEP * 0.5f;
        right += LEG_PUSH_STEP * 0.5f;
    }
}

float* joint(std::vector<float>& pose, int row, int j) {
    return pose.data() + (row * RIG_JOINTS + j) * RIG_JOINT_FLOATS;
}

// Moves every joint of a row by the same amount: the row's bones keep their directions, so the clip
// turns them exactly as it turns the rig's.
void shift_row(std::vector<float>& pose, int row, float dx, float dy, float dz) {
    for (int j = 0; j < RIG_JOINTS; ++j) {
        float* p = joint(pose, row, j);
        if (p[3] <= 0) break;
        p[0] += dx;
        p[1] += dy;
        p[2] += dz;
    }
}

// The rest pose of the object's own; the animation pass carries every clip's movement over to it.
void store_rest_pose(ObjectId id, const std::vector<float>& pose) {
    ObjectTable& t = obj_table;
    t.pose_cache_a[static_cast<size_t>(id)] = pose;
    t.pose_cache_b[static_cast<size_t>(id)] = pose;
    t.pose_cache_c[static_cast<size_t>(id)] = pose;
}

void place_joint(std::vector<float>& pose, int row, int j, Point at) {
    float* p = joint(pose, row, j);
    if (p[3] <= 0) return;
    p[0] = at.x;
    p[1] = at.y;
}

// The arm on one side: shoulder, elbow, wrist and finger tips along the arm the picture shows. The
// upper arm hangs from shoulder height straight down to the elbow: the elbow of an arm held away from
// the body lies outside the torso, and so does a bone above it, which keeps the chest still.
void fit_arm(std::vector<float>& pose, int row, float shoulder_y, Point elbow, Point hand) {
    const Point shoulder{elbow.x, shoulder_y};
    const Point wrist{elbow.x + (hand.x - elbow.x) * WRIST_TOWARDS_HAND,
                      elbow.y + (hand.y - elbow.y) * WRIST_TOWARDS_HAND};
    place_joint(pose, row, 0, shoulder);
    place_joint(pose, row, 1, elbow);
    place_joint(pose, row, 2, wrist);
    place_joint(pose, row, 3, hand);
}

std::vector<float> rig_rest_pose(ObjectId id) {
    std::vector<float> pose(POSE_CACHE_FLOATS);
    for (int r = 0; r < RIG_ROWS; ++r) {
        for (int j = 0; j < RIG_JOINTS; ++j) {
            const PoseJoint p = pose_evaluate_for(id, 0, r, j);
            float* o = joint(pose, r, j);
            o[0] = p.x;
            o[1] = p.y;
            o[2] = p.z;
            o[3] = p.w;
        }
    }
    return pose;
}

void fit_person(ObjectId id, const FigureShape& s, const float leg[2]) {
    const float foot = mesh_y(s, s.bottom);
    const float height = mesh_y(s, s.top) - foot;
    const float scale = height > 0 ? height / RIG1_HEIGHT : 1.0f;
    obj_set_pose_offset_scale(id, 0, foot, 0, scale, scale, scale);
    std::vector<float> pose = rig_rest_pose(id);

    // Row 0 is the figure's own left leg, on the +x side: the picture's right.
    if (leg[0] != 0 && leg[1] != 0) {
        const float right_bone = mesh_x(s, std::fmax(leg[0], leg[1]) + LEG_EDGE_TO_BONE);
        const float left_bone = mesh_x(s, std::fmin(leg[0], leg[1]) - LEG_EDGE_TO_BONE);
        shift_row(pose, LEFT_LEG, right_bone - joint(pose, LEFT_LEG, 0)[0], 0, 0);
        shift_row(pose, RIGHT_LEG, left_bone - joint(pose, RIGHT_LEG, 0)[0], 0, 0);
    }
    const Point shoulder_point{mesh_x(s, s.shoulder_x), mesh_y(s, s.shoulder_y)};
    for (int side = 0; side < 2; ++side) {
        if (s.hand_x[side] == 0 || s.shoulder_y == 0) continue;
        const Point hand{mesh_x(s, s.hand_x[side]), mesh_y(s, s.hand_y[side])};
        // Without an elbow the arm is taken as straight.
        const Point elbow =
            s.elbow_x[side] != 0
                ? Point{mesh_x(s, s.elbow_x[side]), mesh_y(s, s.elbow_y[side])}
                : Point{(shoulder_point.x + hand.x) * 0.5f, (shoulder_point.y + hand.y) * 0.5f};
        fit_arm(pose, side == 1 ? LEFT_ARM : RIGHT_ARM, shoulder_point.y, elbow, hand);
    }
    // The reaches shrink with the figure: a rig's bone binds the vertices within its reach, and at the
    // rig's own size a limb's reach would take in a good part of a small figure's torso.
    for (int r = 0; r < RIG_ROWS; ++r)
        for (int j = 0; j < RIG_JOINTS; ++j) joint(pose, r, j)[3] *= scale;
    // The shins reach at least to the middle between them: the cells bridging the feet at the soles
    // bind to neither leg otherwise, stay where they stood when the legs fold, and draw slivers from
    // the shoes down to the ground.
    const float half_gap = std::fabs(joint(pose, LEFT_LEG, 0)[0] - joint(pose, RIGHT_LEG, 0)[0]) * 0.5f;
    for (int row : {LEFT_LEG, RIGHT_LEG}) {
        float* shin = joint(pose, row, 2);
        if (shin[3] > 0) shin[3] = std::fmax(shin[3], half_gap * SHIN_MIDDLE_REACH);
    }
    store_rest_pose(id, pose);
}

// An animal seen from the side, its body along x. The rig (which faces +x) is scaled so that its legs
// reach from the belly to the ground, the same on every axis so that a swing keeps its angle; an
// animal whose head (the highest part of the picture) is on the left faces -x, and the rig is
// mirrored. Its front and hind legs are moved onto the legs the analysis found. A figure thickened
// from one silhouette has its near and far legs a few hundredths apart, closer than any reach that
// still takes in a whole leg: the near rows move down the middle and carry both legs of their pair,
// the far rows and the tail (whose place the picture does not tell) are moved out of reach, and the
// head row is moved onto the head.
void fit_animal(ObjectId id, const FigureShape& s, const float leg[2]) {
    const float foot = mesh_y(s, s.bottom);
    const float belly = s.belly > s.bottom ? mesh_y(s, s.belly) : mesh_y(s, (s.top + s.bottom) * 0.5f);
    const float scale = belly > foot ? (belly - foot) / RIG2_LEG_LENGTH : 1.0f;
    const float facing = s.head_x != 0 && s.head_x < s.centre ? -1.0f : 1.0f;
    obj_set_pose_offset_scale(id, 0, foot, 0, facing * scale, scale, scale);
    std::vector<float> pose = rig_rest_pose(id);
    for (int row : {FRONT_NEAR, HIND_NEAR}) shift_row(pose, row, 0, 0, -joint(pose, row, 0)[2]);
    if (leg[0] != 0 && leg[1] != 0) {
        // The front leg is the one on the head's side.
        const float right = mesh_x(s, std::fmax(leg[0], leg[1]) + LEG_EDGE_TO_BONE);
        const float left = mesh_x(s, std::fmin(leg[0], leg[1]) - LEG_EDGE_TO_BONE);
        const float front = facing > 0 ? right : left, hind = facing > 0 ? left : right;
        shift_row(pose, FRONT_NEAR, front - joint(pose, FRONT_NEAR, 0)[0], 0, 0);
        shift_row(pose, HIND_NEAR, hind - joint(pose, HIND_NEAR, 0)[0], 0, 0);
    }
    for (int row : {FRONT_FAR, HIND_FAR, TAIL}) shift_row(pose, row, 0, 0, OUT_OF_REACH);
    if (s.head_x != 0) {
        const float* head = joint(pose, NECK, 1);
        shift_row(pose, NECK, mesh_x(s, s.head_x) - head[0], mesh_y(s, s.top) - HEAD_BELOW_TOP - head[1], 0);
    }
    store_rest_pose(id, pose);
}

}  // namespace

void figure_rig(ObjectId id, const FigureShape& shape) {
    if (id < 1 || !obj_valid(id)) return;
    ObjectTable& t = obj_table;
    const unsigned rig = shape.rig == 1 || shape.rig == 2 ? shape.rig : 0;
    t.anim_type[id] = rig;
    t.anim_clip[id] = 0;
    float leg[2] = {shape.leg_x[0], shape.leg_x[1]};
    spread_legs(leg);
    if (rig == 1) fit_person(id, shape, leg);
    if (rig == 2) fit_animal(id, shape, leg);
}
