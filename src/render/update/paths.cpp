// Path movement: the current target of an object, its queue of further points and the step that walks
// it there. The scene thread pushes and finishes paths between frames; path_step runs in the object
// update pass on the worker that owns the object, touching only that object.
#include "render/update/paths.h"

#include <cmath>

#include "scene/camera.h"
#include "scene/transform.h"

namespace {

// Layout of a queued point.
enum PathPointField { PP_X, PP_Y, PP_Z, PP_HEADING, PP_SPEED, PP_PARAM_A, PP_PARAM_B, PP_MODE };
// The mode is stored as a float and read back by truncation; the offset keeps 1.0 from reading as 0.
constexpr float MODE_BIAS = 0.0001f;
// Squared distance at which a target counts as reached even when one step would not reach it exactly.
constexpr double ARRIVED_SQ = 0.001;

bool id_in_table(ObjectId id) {
    return id >= 1 && id < obj_table.object_capacity;
}

void free_queue(ObjectId id) {
    std::vector<float>().swap(obj_table.path_queue[static_cast<size_t>(id)]);
    obj_table.path_queue_length[id] = 0;
}

void set_heading(ObjectId id, float heading) {
    const Vec3 r = obj_table.rotation[id];
    obj_set_rotation(id, r.x, heading, r.z);
}

float wrap_degrees(float a) {
    a = std::fmod(a, 360.0f);
    return a < 0.0f ? a + 360.0f : a;
}

// Makes the next queued point the current movement. A point without speed is a stop: the path ends
// where it is, and what was queued behind the stop is never walked. Returns false when the path ends.
bool pop_queue(ObjectId id) {
    ObjectTable& t = obj_table;
    std::vector<float>& q = t.path_queue[static_cast<size_t>(id)];
    int& len = t.path_queue_length[id];
    if (len > static_cast<int>(q.size() / PATH_POINT_FLOATS))
        len = static_cast<int>(q.size() / PATH_POINT_FLOATS);
    if (len <= 0) return false;
    const float p[PATH_POINT_FLOATS] = {q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]};
    q.erase(q.begin(), q.begin() + PATH_POINT_FLOATS);
    --len;
    if (len == 0) free_queue(id);
    if (!(p[PP_SPEED] > 0.0f)) return false;
    t.path_target[id] = Vec3{p[PP_X], p[PP_Y], p[PP_Z]};
    t.path_heading[id] = p[PP_HEADING];
    t.path_speed[id] = p[PP_SPEED];
    t.path_param_a[id] = p[PP_PARAM_A];
    t.path_param_b[id] = p[PP_PARAM_B];
    t.path_mode[id] = static_cast<int>(p[PP_MODE]);
    return true;
}

// Turns the object's heading towards want by at most param_b x dt degrees (not at all when param_b is
// not positive). Returns the heading left to turn.
float turn_towards(ObjectId id, float want, double dt) {
    const float yaw = obj_table.rotation[id].y;
    float d = angle_difference(yaw, want);
    const double limit = obj_table.path_param_b[id] > 0.0f ? obj_table.path_param_b[id] * dt : 0.0;
    if (std::fabs(d) > limit) d = static_cast<float>(d > 0 ? limit : -limit);
    if (d != 0.0f) set_heading(id, wrap_degrees(yaw + d));
    return angle_difference(obj_table.rotation[id].y, want);
}

}  // namespace

void path_push(ObjectId id, float x, float y, float z, float speed, float param_a, float param_b,
               float heading, int mode, int queue) {
    if (!id_in_table(id)) return;
    ObjectTable& t = obj_table;
    if (heading >= 360.0f) heading = 0.0f;
    if (queue && t.path_speed[id] != 0.0f) {
        int& len = t.path_queue_length[id];
        if (len >= PATH_QUEUE_LIMIT) return;
        std::vector<float>& q = t.path_queue[static_cast<size_t>(id)];
        q.resize(static_cast<size_t>(len) * PATH_POINT_FLOATS);
        const float p[PATH_POINT_FLOATS] = {x,     y,       z,       heading,
                                            speed, param_a, param_b, static_cast<float>(mode) + MODE_BIAS};
        q.insert(q.end(), p, p + PATH_POINT_FLOATS);
        ++len;
        return;
    }
    free_queue(id);
    if (!(speed > 0.0f)) {
        t.path_speed[id] = 0.0f;
        obj_set_position(id, x, y, z);
        if (heading >= 0.0f) set_heading(id, heading);
        return;
    }
    t.path_target[id] = Vec3{x, y, z};
    t.path_heading[id] = heading;
    t.path_speed[id] = speed;
    t.path_param_a[id] = param_a;
    t.path_param_b[id] = param_b;
    t.path_mode[id] = mode;
}

void path_step(double dt, ObjectId id) {
    if (!id_in_table(id)) return;
    ObjectTable& t = obj_table;
    const float speed = t.path_speed[id];
    if (speed == 0.0f) return;
    const Vec3 pos = t.position[id];
    const Vec3 target = t.path_target[id];
    const int mode = t.path_mode[id];
    const double dx = target.x - pos.x, dy = target.y - pos.y, dz = target.z - pos.z;
    const double d2 = mode == 0 ? dx * dx + dz * dz : dx * dx + dy * dy + dz * dz;
    const double step = std::fabs(speed) * dt;

    if (d2 <= step * step || d2 <= ARRIVED_SQ) {
        if (t.path_queue_length[id] > 0 && pop_queue(id)) return;
        // The last step stops within one step of the target: finish it, on the ground in mode 0, facing
        // the way the path asked for whatever the turn limit allowed on the way.
        obj_set_position(id, target.x, mode == 0 ? pos.y : target.y, target.z);
        if (t.path_heading[id] >= 0.0f) set_heading(id, t.path_heading[id]);
        t.path_speed[id] = 0.0f;
        free_queue(id);
        return;
    }

    // The walk cycle keeps pace with the walk: param a is animation speed per unit of walking speed.
    if (t.anim_type[id] != 0 && t.path_param_a[id] > 0.0f) t.anim_speed[id] = speed * t.path_param_a[id];

    const double dist = std::sqrt(d2);
    if (mode == 0) {
        float pitch, yaw, roll;
        look_at_angles(pos.x, 0.0f, pos.z, target.x, 0.0f, target.z, pitch, yaw, roll);
        const float left = turn_towards(id, yaw, dt);
        // Walking slows with the heading error and stops while facing away, so a slow turner closes
        // in on its target instead of circling it.
        const double ahead = std::cos(left * DEG_TO_RAD);
        if (ahead > 0.0) obj_move_forward(id, static_cast<float>(std::fmin(step * ahead, dist)));
        return;
    }
    if (t.path_heading[id] >= 0.0f) turn_towards(id, t.path_heading[id], dt);
    const double k = step < dist ? step / dist : 1.0;
    obj_set_position(id, static_cast<float>(pos.x + dx * k), static_cast<float>(pos.y + dy * k),
                     static_cast<float>(pos.z + dz * k));
}

void path_finish(ObjectId id) {
    if (!id_in_table(id)) return;
    ObjectTable& t = obj_table;
    if (t.path_speed[id] != 0.0f) {
        const Vec3 target = t.path_target[id];
        obj_set_position(id, target.x, target.y, target.z);
        if (t.path_heading[id] >= 0.0f) obj_set_rotation(id, 0.0f, t.path_heading[id], 0.0f);
    }
    t.path_speed[id] = 0.0f;
    free_queue(id);
}

void path_sync(ObjectId id) {
    if (!id_in_table(id)) return;
    ObjectTable& t = obj_table;
    if (t.path_speed[id] != 0.0f) t.path_target[id] = t.position[id];
}
