// The rig table: bind skeletons of the two-legged character (rig 1) and the four-legged animal (rig 2),
// and every key pose as turns of their joints. Built into joint positions once; read by any thread.
#include "scene/rig.h"

#include <cmath>
#include <cstring>

#include "scene/object.h"
#include "scene/vec.h"

namespace {

struct ClipInfo {
    int frames;
    float rate;
    bool loops;
};

// Per rig (index 1 and 2) and clip.
const ClipInfo CLIPS[3][RIG_CLIPS] = {
    {},
    {{4, 1.0f, true},
     {4, 0.8f, true},
     {1, 1.5f, false},
     {1, 1.0f, false},
     {3, 4.0f, true},
     {0, 0, false},
     {0, 0, false},
     {2, 3.0f, true},
     {2, 0.7f, true},
     {4, 3.0f, false},
     {1, 1.0f, false},
     {3, 0.8f, true}},
    {{4, 1.0f, true},
     {4, 0.8f, true},
     {1, 1.5f, false},
     {1, 1.0f, false},
     {3, 4.0f, true},
     {0, 0, false},
     {0, 0, false},
     {2, 3.0f, true},
     {2, 0.7f, true},
     {4, 3.0f, false},
     {0, 0, false},
     {0, 0, false}},
};

const ClipInfo& clip_info(unsigned rig, unsigned clip) {
    static const ClipInfo none{0, 0, false};
    if ((rig != 1 && rig != 2) || clip >= RIG_CLIPS) return none;
    return CLIPS[rig][clip];
}

// --- bind skeletons ----------------------------------------------------------------------------------
// Both figures stand on y = 0; the two-legged one faces +z, the four-legged one +x (its models are
// built from pictures of animals seen from the side, the body lying along x). The fourth value of a joint is
// the reach of the bone that ends in it: vertices that close to the bone follow it. A row ends at its first
// joint of weight 0.
//
// Rig 1 is skinned in the x-y plane (a vertex is bound by its distance to the bone seen from the
// front), so its limbs are laid out side by side: the legs at x = +-0.11 with reaches of 0.1 do not
// overlap in the middle, the arms at x = +-0.24 stay clear of a torso of half-width 0.16, and the torso
// itself is in no row, so it never moves.
struct BindJoint {
    float x, y, z, w;
};
using BindRow = BindJoint[RIG_JOINTS];

const BindRow RIG1_BIND[RIG_ROWS] = {
    // 0 left leg: hip, knee, ankle (the shin's reach covers the foot)
    {{0.11f, 0.95f, 0, 0.1f}, {0.11f, 0.52f, 0, 0.1f}, {0.11f, 0.0f, 0, 0.09f}},
    // 1 right leg
    {{-0.11f, 0.95f, 0, 0.1f}, {-0.11f, 0.52f, 0, 0.1f}, {-0.11f, 0.0f, 0, 0.09f}},
    // 2 left arm: shoulder, elbow, wrist, finger tips
    {{0.24f, 1.42f, 0, 0.07f}, {0.25f, 1.12f, 0, 0.07f}, {0.26f, 0.84f, 0, 0.06f}, {0.26f, 0.7f, 0, 0.06f}},
    // 3 right arm
    {{-0.24f, 1.42f, 0, 0.07f},
     {-0.25f, 1.12f, 0, 0.07f},
     {-0.26f, 0.84f, 0, 0.06f},
     {-0.26f, 0.7f, 0, 0.06f}},
    // 4 neck and head
    {{0, 1.47f, 0, 0.1f}, {0, 1.75f, 0, 0.13f}},
};

// Rig 2 is skinned in 3D. The legs are fixed by the models made for it: hip, knee and foot at heights
// 0.4, 0.25 and 0, reach 0.13; front legs at x = 0.131, hind legs at x = -0.131, the near side at
// z = 0.15 and the far side at z = -0.15.
const BindRow RIG2_BIND[RIG_ROWS] = {
    // 0 front near, 1 hind near, 2 front far, 3 hind far
    {{0.131f, 0.4f, 0.15f, 0.13f}, {0.131f, 0.25f, 0.15f, 0.13f}, {0.131f, 0, 0.15f, 0.13f}},
    {{-0.131f, 0.4f, 0.15f, 0.13f}, {-0.131f, 0.25f, 0.15f, 0.13f}, {-0.131f, 0, 0.15f, 0.13f}},
    {{0.131f, 0.4f, -0.15f, 0.13f}, {0.131f, 0.25f, -0.15f, 0.13f}, {0.131f, 0, -0.15f, 0.13f}},
    {{-0.131f, 0.4f, -0.15f, 0.13f}, {-0.131f, 0.25f, -0.15f, 0.13f}, {-0.131f, 0, -0.15f, 0.13f}},
    // 4 neck base, head, muzzle
    {{0.21f, 0.45f, 0, 0.1f}, {0.31f, 0.58f, 0, 0.1f}, {0.43f, 0.54f, 0, 0.08f}},
    // 5 tail: root, middle, tip
    {{-0.22f, 0.45f, 0, 0.05f}, {-0.35f, 0.44f, 0, 0.05f}, {-0.45f, 0.38f, 0, 0.04f}},
};

// --- key poses ---------------------------------------------------------------------------------------
// A pose turns the joints of each row, the root joint staying in place. Angles in degrees:
//   swing: about the figure's sideways axis; positive carries a hanging bone forward (the way the
//          figure faces), negative carries it back;
//   raise: about the figure's forward axis; positive carries a bone outwards, away from its middle;
//   turn:  about y; positive turns towards +x.
// Each joint's turn applies to its bone and to everything below it in the row.
struct JointTurn {
    float swing, raise, turn;
};
struct RowTurns {
    JointTurn j[3];
};
struct KeyPose {
    unsigned rig, clip;
    int frame;
    RowTurns row[6];
};

// Rig 1 rows: LEG(hip swing, knee swing), ARM(shoulder swing, shoulder raise, elbow swing), HEAD(nod).
constexpr RowTurns LEG(float hip, float knee, float hip_raise = 0) {
    return RowTurns{{{hip, hip_raise, 0}, {knee, 0, 0}, {0, 0, 0}}};
}
constexpr RowTurns ARM(float swing, float raise, float elbow) {
    return RowTurns{{{swing, raise, 0}, {elbow, 0, 0}, {0, 0, 0}}};
}
constexpr RowTurns HEAD(float nod, float turn = 0) {
    return RowTurns{{{nod, 0, turn}, {0, 0, 0}, {0, 0, 0}}};
}
// Rig 2 rows: NECK(base swing, head swing), TAIL(turn, lift).
constexpr RowTurns NECK(float base, float head) {
    return RowTurns{{{base, 0, 0}, {head, 0, 0}, {0, 0, 0}}};
}
constexpr RowTurns TAIL(float turn, float lift) {
    // The tail points back: carrying it up is a backward swing.
    return RowTurns{{{-lift, 0, turn}, {-lift * 0.5f, 0, turn}, {0, 0, 0}}};
}
constexpr RowTurns STILL = RowTurns{};

// Frame 0 of every clip is the bind pose and is not listed. Clips that loop list frames 1 .. n - 1 and
// blend from their last frame back into the bind pose; clips that play once also list frame n, the pose
// they come to rest in.
//                         rows: left leg, right leg, left arm, right arm, head
const KeyPose KEY_POSES[] = {
    // Rig 1 clip 0, walk: left foot forward, passing with the right knee lifted, right foot forward.
    {1, 0, 1, {LEG(25, -8), LEG(-20, -15), ARM(-22, 4, 12), ARM(22, 4, 20), HEAD(0)}},
    {1, 0, 2, {LEG(0, -5), LEG(12, -45), ARM(0, 4, 10), ARM(0, 4, 10), HEAD(2)}},
    {1, 0, 3, {LEG(-20, -15), LEG(25, -8), ARM(22, 4, 20), ARM(-22, 4, 12), HEAD(0)}},
    // Rig 1 clip 1, slow walk: the walk with shorter steps and quiet arms.
    {1, 1, 1, {LEG(15, -5), LEG(-12, -10), ARM(-12, 3, 8), ARM(12, 3, 12), HEAD(0)}},
    {1, 1, 2, {LEG(0, -3), LEG(8, -28), ARM(0, 3, 8), ARM(0, 3, 8), HEAD(1)}},
    {1, 1, 3, {LEG(-12, -10), LEG(15, -5), ARM(12, 3, 12), ARM(-12, 3, 8), HEAD(0)}},
    // Rig 1 clip 2, cheering: both arms thrown up.
    {1, 2, 1, {LEG(0, 0), LEG(0, 0), ARM(165, 15, 10), ARM(165, 15, 10), HEAD(-15)}},
    // Rig 1 clip 3, pointing ahead with the right arm.
    {1, 3, 1, {LEG(0, 0), LEG(0, 0), ARM(0, 5, 0), ARM(88, 0, 0), HEAD(-5, 0)}},
    // Rig 1 clip 4, run: long strides, knees high, elbows bent.
    {1, 4, 1, {LEG(50, -35), LEG(-35, -80), ARM(-40, 6, 80), ARM(40, 6, 85), HEAD(5)}},
    {1, 4, 2, {LEG(-35, -80), LEG(50, -35), ARM(40, 6, 85), ARM(-40, 6, 80), HEAD(5)}},
    // Rig 1 clip 7, quick dance: arms up and out, left knee lifted.
    {1, 7, 1, {LEG(45, -70), LEG(0, -10), ARM(0, 120, 40), ARM(0, 120, 40), HEAD(10, 15)}},
    // Rig 1 clip 8, slow sway: arms spread, weight shifted onto the right leg.
    {1, 8, 1, {LEG(0, -15, 8), LEG(0, 0, -8), ARM(20, 70, 30), ARM(20, 70, 30), HEAD(0, -20)}},
    // Rig 1 clip 9, jump: crouch with arms back, take-off with arms up, knees tucked, landing.
    {1, 9, 1, {LEG(55, -95), LEG(55, -95), ARM(-45, 8, 10), ARM(-45, 8, 10), HEAD(15)}},
    {1, 9, 2, {LEG(-8, 0), LEG(-8, 0), ARM(165, 10, 0), ARM(165, 10, 0), HEAD(-15)}},
    {1, 9, 3, {LEG(95, -125), LEG(95, -125), ARM(70, 20, 30), ARM(70, 20, 30), HEAD(5)}},
    {1, 9, 4, {LEG(25, -45), LEG(25, -45), ARM(30, 15, 20), ARM(30, 15, 20), HEAD(5)}},
    // Rig 1 clip 10, standing at ease: hands away from the body, chin up.
    {1, 10, 1, {LEG(0, 0, 4), LEG(0, 0, 4), ARM(5, 14, 25), ARM(5, 14, 25), HEAD(-6)}},
    // Rig 1 clip 11, seated: thighs level, shins down, hands on the knees; then a gesture; the loop
    // ends standing up again.
    {1, 11, 1, {LEG(90, -90), LEG(90, -90), ARM(45, 4, 40), ARM(45, 4, 40), HEAD(8)}},
    {1, 11, 2, {LEG(90, -90), LEG(88, -85), ARM(45, 4, 40), ARM(70, 10, 75), HEAD(0, -15)}},

    //                     rows: front near, hind near, front far, hind far, neck, tail
    // Rig 2 clip 0, walk: diagonal pairs step together.
    {2, 0, 1, {LEG(20, -5), LEG(-18, -20), LEG(-18, -20), LEG(20, -5), NECK(4, 0), TAIL(12, 0)}},
    {2, 0, 2, {LEG(0, -30), LEG(0, 0), LEG(0, 0), LEG(0, -30), NECK(0, 0), TAIL(0, 0)}},
    {2, 0, 3, {LEG(-18, -20), LEG(20, -5), LEG(20, -5), LEG(-18, -20), NECK(4, 0), TAIL(-12, 0)}},
    // Rig 2 clip 1, slow walk.
    {2, 1, 1, {LEG(12, -3), LEG(-10, -12), LEG(-10, -12), LEG(12, -3), NECK(2, 0), TAIL(8, 0)}},
    {2, 1, 2, {LEG(0, -18), LEG(0, 0), LEG(0, 0), LEG(0, -18), NECK(0, 0), TAIL(0, 0)}},
    {2, 1, 3, {LEG(-10, -12), LEG(12, -3), LEG(12, -3), LEG(-10, -12), NECK(2, 0), TAIL(-8, 0)}},
    // Rig 2 clip 2, sitting on the haunches, head up.
    {2, 2, 1, {LEG(-10, 0), LEG(75, -120), LEG(-10, 0), LEG(75, -120), NECK(-25, 10), TAIL(0, -20)}},
    // Rig 2 clip 3, grazing: head down to the ground.
    {2, 3, 1, {LEG(5, 0), LEG(0, 0), LEG(5, 0), LEG(0, 0), NECK(-90, 18), TAIL(0, -10)}},
    // Rig 2 clip 4, gallop: stretched out, then gathered under the body.
    {2, 4, 1, {LEG(45, -10), LEG(-45, -10), LEG(40, -15), LEG(-40, -15), NECK(10, 0), TAIL(0, 20)}},
    {2, 4, 2, {LEG(-35, -70), LEG(40, -50), LEG(-30, -60), LEG(35, -45), NECK(-10, 0), TAIL(0, 10)}},
    // Rig 2 clip 7, tail wagging.
    {2, 7, 1, {LEG(0, 0), LEG(0, 0), LEG(0, 0), LEG(0, 0), NECK(-5, 10), TAIL(40, 25)}},
    // Rig 2 clip 8, head bobbing.
    {2, 8, 1, {LEG(0, -10), LEG(0, 0), LEG(0, 0), LEG(0, -10), NECK(-30, -20), TAIL(-20, 10)}},
    // Rig 2 clip 9, jump: crouch, stretch, tuck, land.
    {2, 9, 1, {LEG(25, -60), LEG(-20, -60), LEG(25, -60), LEG(-20, -60), NECK(10, 0), TAIL(0, -10)}},
    {2, 9, 2, {LEG(55, 0), LEG(-55, 0), LEG(55, 0), LEG(-55, 0), NECK(-10, 0), TAIL(0, 30)}},
    {2, 9, 3, {LEG(60, -100), LEG(-10, -90), LEG(60, -100), LEG(-10, -90), NECK(0, 0), TAIL(0, 20)}},
    {2, 9, 4, {LEG(15, -20), LEG(-10, -20), LEG(15, -20), LEG(-10, -20), NECK(5, 0), TAIL(0, 0)}},
};

// --- building the joint positions ----------------------------------------------------------------------

struct Mat3 {
    double m[3][3];
};

Mat3 mat_mul(const Mat3& a, const Mat3& b) {
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

Mat3 about_x(double a) {
    return Mat3{{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}};
}
Mat3 about_y(double a) {
    return Mat3{{{std::cos(a), 0, std::sin(a)}, {0, 1, 0}, {-std::sin(a), 0, std::cos(a)}}};
}
Mat3 about_z(double a) {
    return Mat3{{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}};
}

// The local turn of one joint of a figure facing +z (rig 1) or +x (rig 2); side is +1 for a limb on
// the figure's left (+x facing +z, +z facing +x) or in the middle, -1 otherwise.
Mat3 joint_turn(const JointTurn& t, double side, bool faces_x) {
    const double swing = t.swing * DEG_TO_RAD, raise = side * t.raise * DEG_TO_RAD;
    const Mat3 turn = about_y(t.turn * DEG_TO_RAD);  // +z goes towards +x
    // A hanging bone (0, -1, 0): swung, it goes forward; raised, it goes out to the limb's side.
    if (faces_x) return mat_mul(turn, mat_mul(about_x(-raise), about_z(swing)));
    return mat_mul(turn, mat_mul(about_z(raise), about_x(-swing)));
}

void pose_row(const BindRow& bind, const RowTurns& turns, bool faces_x, float* out) {
    const double side = (faces_x ? bind[0].z : bind[0].x) < 0 ? -1.0 : 1.0;
    Mat3 acc{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    double p[3] = {bind[0].x, bind[0].y, bind[0].z};
    for (int j = 0; j < RIG_JOINTS; ++j) {
        float* o = out + j * 4;
        if (bind[j].w <= 0) break;  // the rest of the row stays zero
        o[0] = static_cast<float>(p[0]);
        o[1] = static_cast<float>(p[1]);
        o[2] = static_cast<float>(p[2]);
        o[3] = bind[j].w;
        if (j + 1 >= RIG_JOINTS || bind[j + 1].w <= 0) break;
        if (j < 3) acc = mat_mul(acc, joint_turn(turns.j[j], side, faces_x));
        const double bone[3] = {bind[j + 1].x - bind[j].x, bind[j + 1].y - bind[j].y,
                                bind[j + 1].z - bind[j].z};
        for (int k = 0; k < 3; ++k)
            p[k] += acc.m[k][0] * bone[0] + acc.m[k][1] * bone[1] + acc.m[k][2] * bone[2];
    }
}

void build_pose(int rig, const BindRow* bind, const RowTurns* turns, float* out) {
    std::memset(out, 0, sizeof(float) * RIG_POSE_FLOATS);
    for (int r = 0; r < RIG_ROWS; ++r)
        pose_row(bind[r], r < 6 && turns ? turns[r] : STILL, rig == 2, out + r * RIG_JOINTS * 4);
}

struct RigTables {
    float bind[3][RIG_POSE_FLOATS];  // rig 0 (none) stays zero
    float frames[3][RIG_CLIPS][RIG_MAX_STORED][RIG_POSE_FLOATS];
    int stored[3][RIG_CLIPS];  // frames stored per clip
};

RigTables* build_tables() {
    static RigTables t;
    std::memset(&t, 0, sizeof t);
    const BindRow* binds[3] = {nullptr, RIG1_BIND, RIG2_BIND};
    for (int rig = 1; rig <= 2; ++rig) {
        build_pose(rig, binds[rig], nullptr, t.bind[rig]);
        for (unsigned clip = 0; clip < RIG_CLIPS; ++clip) {
            const int n = anim_clip_frames(static_cast<unsigned>(rig), clip);
            int stored = n > 0 && !anim_clip_loops(static_cast<unsigned>(rig), clip) ? n + 1 : n;
            if (stored > RIG_MAX_STORED) stored = RIG_MAX_STORED;
            t.stored[rig][clip] = stored;
            // Unlisted frames hold the bind pose.
            for (int f = 0; f < stored; ++f)
                std::memcpy(t.frames[rig][clip][f], t.bind[rig], sizeof(float) * RIG_POSE_FLOATS);
        }
    }
    for (const KeyPose& k : KEY_POSES) {
        if (k.rig < 1 || k.rig > 2 || k.clip >= RIG_CLIPS) continue;
        if (k.frame < 1 || k.frame >= t.stored[k.rig][k.clip]) continue;
        build_pose(static_cast<int>(k.rig), binds[k.rig], k.row, t.frames[k.rig][k.clip][k.frame]);
    }
    return &t;
}

const RigTables& tables() {
    static const RigTables* t = build_tables();
    return *t;
}

}  // namespace

const float* rig_bind_pose(unsigned rig) {
    return tables().bind[rig == 1 || rig == 2 ? rig : 0];
}

const float* rig_key_frame(unsigned rig, unsigned clip, int frame) {
    const RigTables& t = tables();
    if ((rig != 1 && rig != 2) || clip >= RIG_CLIPS) return t.bind[rig == 1 || rig == 2 ? rig : 0];
    const int stored = t.stored[rig][clip];
    if (stored < 1 || frame <= 0) return t.bind[rig];
    if (frame >= stored) {
        if (anim_clip_loops(rig, clip)) return t.bind[rig];
        frame = stored - 1;
    }
    return t.frames[rig][clip][frame];
}

int anim_clip_frames(unsigned rig, unsigned clip) {
    return clip_info(rig, clip).frames;
}

float anim_clip_rate(unsigned rig, unsigned clip) {
    return clip_info(rig, clip).rate;
}

bool anim_clip_loops(unsigned rig, unsigned clip) {
    return clip_info(rig, clip).loops;
}

PoseJoint pose_evaluate(unsigned rig, unsigned clip, int frame, int row, int joint) {
    if (row < 0 || row >= RIG_ROWS || joint < 0 || joint >= RIG_JOINTS) return PoseJoint{0, 0, 0, 0};
    const float* j = rig_key_frame(rig, clip, frame) + (row * RIG_JOINTS + joint) * RIG_JOINT_FLOATS;
    return PoseJoint{j[0], j[1], j[2], j[3]};
}

PoseJoint pose_evaluate_for(ObjectId id, int frame, int row, int joint) {
    const ObjectTable& t = obj_table;
    PoseJoint p = pose_evaluate(t.anim_type[id], t.anim_clip[id], frame, row, joint);
    const std::vector<float>& os = t.pose_offset_scale[static_cast<size_t>(id)];
    if (os.size() >= POSE_OFFSET_SCALE_FLOATS) {
        p.x = p.x * os[3] + os[0];
        p.y = p.y * os[4] + os[1];
        p.z = p.z * os[5] + os[2];
    }
    return p;
}
