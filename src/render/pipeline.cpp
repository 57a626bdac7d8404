// The frame order. The pipeline thread runs the passes one after the other, starting and joining each
// pass's workers around it; only the frame clear (slot 31) runs beside other passes, on the planes that
// no pass before the raster pass touches, unless the raster pass clears its own rows band by band.
#include "render/pipeline.h"

#include <algorithm>

#include "core/cpu.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "render/frame_clear.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/lights/lights.h"
#include "render/lights/scene_bounds.h"
#include "render/lights/vertex_lighting.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "render/thread_rules.h"
#include "render/update/motion.h"
#include "render/update/update_lists.h"
#include "render/update/update_pass.h"
#include "scene/object.h"

PipelineState pipeline_state;

namespace {

// The lists are released now and then so that one heavy scene does not pin its memory for the run;
// the two lists are released on different frames so that no single frame rebuilds both.
constexpr int LIST_RELEASE_PERIOD = 2000;
constexpr int DIRTY_LIST_RELEASE_FRAME = 1999;
constexpr int UPDATE_LIST_RELEASE_FRAME = 1000;
// The motion pass's phases: integrate, resolve against the collision grid, settle.
constexpr int MOTION_PHASES = 3;
constexpr int MOTION_MIDDLE_PHASE = 1;

// A pass's worker: runs the share that the slice table gives its slot.
template <void (*Pass)(int thread_index, int thread_count)>
void pass_worker(int slot) {
    const WorkerSlice s = worker_slice(slot);
    Pass(s.thread_index, s.thread_count);
}

void motion_phase_pass(int thread_index, int thread_count) {
    motion_pass(pipeline_state.motion_phase, thread_index, thread_count);
}

void clear_worker(int) {
    frame_clear(pipeline_state.clear_full);
}

// Whether anything could be drawn: an enabled object with geometry and a visible or dirty part.
bool scene_has_drawable() {
    const ObjectTable& t = obj_table;
    for (ObjectId id = 0; id < t.object_capacity; ++id) {
        if (!t.enabled[id] || !t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int n = obj_part_limit(id);
        for (int p = 0; p < n; ++p)
            if (pa.visible[static_cast<size_t>(p)] || pa.dirty[static_cast<size_t>(p)]) return true;
    }
    return false;
}

// The empty-scene shortcut: with a black background and nothing to draw, the last image stays, cleared
// once if it still shows a scene.
bool keep_empty_frame() {
    const RenderConfig& rc = render_config;
    const bool black = rc.clear_color[0] == 0.0f && rc.clear_color[1] == 0.0f && rc.clear_color[2] == 0.0f;
    if (!black || scene_has_drawable()) return false;
    PipelineState& ps = pipeline_state;
    FrameBuffer& fb = frame_buffer;
    ps.scene_drawn = 0;
    if (ps.clear_pending || fb.fb_needs_clear) {
        frame_clear(fb.fb_needs_clear);
        fb.fb_needs_clear = 0;
        ps.clear_pending = 0;
    }
    ++frame_flags.frame_counter;
    return true;
}

int rendered_height() {
    const int rows = frame_buffer.fb_height;
    return render_config.half_height_mode ? rows / 2 : rows;
}

// Whether a raster pass of raster_threads shares clears the rows it draws, band by band while they are in
// the cache: not when the clear must also reach the rows outside the half-height region.
bool raster_may_clear(int raster_threads) {
    const bool region_only = !pipeline_state.clear_full || !render_config.half_height_mode;
    return region_only && raster_clears_rows(raster_threads);
}

// The clear runs beside the passes that do not touch the planes. New planes are cleared whole even
// when the scene would paint over the last frame.
void start_frame_clear(int cpus) {
    PipelineState& ps = pipeline_state;
    FrameBuffer& fb = frame_buffer;
    ps.clear_pending = 1;
    const bool clearing = render_config.frame_clear || fb.fb_needs_clear;
    ps.clear_full = fb.fb_needs_clear;
    fb.fb_needs_clear = 0;
    raster_state.clear_rows = 0;
    if (!clearing) return;
    if (raster_may_clear(raster_thread_count(cpus, rendered_height()))) {
        raster_state.clear_rows = 1;
        return;
    }
    if (cpus > 1) {
        worker_start(WORKER_SLOT_CLEAR, clear_worker);
    } else {
        clear_worker(WORKER_SLOT_CLEAR);
    }
}

void run_update_pass(int cpus) {
    const UpdateLists& l = update_lists;
    const int t = update_thread_count(cpus, l.update.count, l.particle_total);
    pipeline_state.threads.update = t;
    if (t > 0) worker_run_pass(t, pass_worker<object_update_pass>);
    object_update_finish(t);
}

// Each phase is joined before the next: a phase reads what the previous one moved.
void run_motion_pass(int cpus) {
    if (update_lists.motion.count <= 0) return;
    PipelineState& ps = pipeline_state;
    const int t = motion_thread_count(cpus, update_lists.motion.count);
    ps.threads.motion = t;
    const int phases = render_config.motion_phases;
    const bool middle_runs = t > 1 ? phases >= MOTION_PHASES : phases == MOTION_PHASES;
    for (int phase = 0; phase < MOTION_PHASES; ++phase) {
        if (phase == MOTION_MIDDLE_PHASE && !middle_runs) continue;
        ps.motion_phase = phase;
        worker_run_pass(t, pass_worker<motion_phase_pass>);
    }
}

void run_geometry_pass(int cpus) {
    const int estimate = build_dirty_list(dirty_list_split(cpus));
    const int listed = geometry_state.dirty_count;
    if (listed <= 0) return;
    const int t = std::min(transform_thread_count(cpus, estimate), listed);
    pipeline_state.threads.transform = t;
    worker_run_pass(t, pass_worker<transform_pass>);
    // After the join: the workers never write the shared flag.
    const GeometryState& g = geometry_state;
    scene_bounds_check(g.dirty_objects.data(), g.dirty_parts.data(), g.dirty_count);
}

// The extent of the light grid: measured again when anything may have moved out of it.
void run_bounds_pass(int cpus) {
    const FrameFlags& f = frame_flags;
    if (!f.relight_all && !f.collision_grid_changed && !f.bounds_pending && update_lists.motion.count <= 0)
        return;
    const int t = bounds_thread_count(cpus);
    pipeline_state.threads.bounds = t;
    worker_run_pass(t, pass_worker<scene_bounds_pass>);
    scene_bounds_finish(t);
}

// Light grid, light changes (shadow voxels), collision grid and vertex lighting.
void run_lighting_passes(int cpus) {
    const LightState& ls = light_state;
    const FrameFlags& f = frame_flags;
    PipelineState& ps = pipeline_state;
    light_grid_setup();
    light_grid_update();
    const int t = lighting_thread_count(cpus);
    const bool periodic = f.frame_counter % lighting_period() == 0;
    if ((ls.light_count > 0 && periodic) || f.relight_all) {
        ps.threads.light_change = t;
        worker_run_pass(t, pass_worker<light_change_pass>);
    }
    collision_grid_maintain();
    if (f.collision_geometry_changed || f.collision_grid_changed ||
        ((ls.light_count > 0 || geometry_state.changed_lights.count > 0) && periodic) || f.relight_all) {
        ps.threads.lighting = t;
        worker_run_pass(t, pass_worker<vertex_lighting_pass>);
        worker_run_pass(t, pass_worker<collision_grid_update>);
    }
}

void run_raster_pass(int cpus) {
    const int t = raster_thread_count(cpus, rendered_height());
    // A pass that can no longer clear its own rows (the configuration changed since) gets the clear now.
    if (raster_state.clear_rows && !raster_may_clear(t)) {
        raster_state.clear_rows = 0;
        frame_clear(pipeline_state.clear_full);
    }
    pipeline_state.threads.raster = t;
    // Vertices that several slices would each project are projected once, by the same workers, first.
    if (raster_projection_prepare(t)) worker_run_pass(t, pass_worker<raster_projection_pass>);
    worker_run_pass(t, pass_worker<raster_pass>);
    raster_projection_release();
    raster_state.clear_rows = 0;
    raster_collect_statistics();
}

// The listed parts are clean again, the changed lights settled, the per-frame flags lowered; now and
// then the lists give their memory back.
void end_of_frame() {
    GeometryState& g = geometry_state;
    ObjectTable& t = obj_table;
    for (int i = 0; i < g.dirty_count; ++i) {
        const ObjectId id = g.dirty_objects[static_cast<size_t>(i)];
        const int part = g.dirty_parts[static_cast<size_t>(i)];
        if (!obj_valid(id) || part < 0 || part >= t.part_capacity[id]) continue;
        PartArrays& pa = t.parts[static_cast<size_t>(id)];
        pa.dirty[static_cast<size_t>(part)] = 0;
        pa.collision_changed[static_cast<size_t>(part)] = 0;
        if (!t.has_geometry[id]) t.part_count[id] = 0;
    }
    lighting_end_frame(g.changed_lights.ids.data(), g.changed_lights.count);
    g.dirty_count = 0;
    g.changed_lights.count = 0;

    const int64_t phase = frame_flags.frame_counter % LIST_RELEASE_PERIOD;
    if (phase == DIRTY_LIST_RELEASE_FRAME) geometry_release_lists();
    if (phase == UPDATE_LIST_RELEASE_FRAME) update_lists_release();
    update_lists_end_frame();
    frame_flags_end_frame();
}

}  // namespace

uint8_t* render_scene() {
    PipelineState& ps = pipeline_state;
    const int cpus = cpu_count();
    ps.threads = PassThreads{};
    raster_reset_statistics();
    ps.scene_drawn = 1;
    if (keep_empty_frame()) return frame_buffer.fb_pixels;

    start_frame_clear(cpus);
    ++frame_flags.frame_counter;
    update_lists_build(cpus);
    run_update_pass(cpus);
    run_motion_pass(cpus);
    run_geometry_pass(cpus);
    run_bounds_pass(cpus);
    run_lighting_passes(cpus);
    // The raster pass draws into the planes: the clear must be done.
    worker_join(WORKER_SLOT_CLEAR);
    run_raster_pass(cpus);
    if (render_config.half_height_mode) ps.threads.doubling = half_height_double(cpus);
    end_of_frame();
    return frame_buffer.fb_pixels;
}

void pipeline_reset() {
    worker_reset();
    geometry_reset();
    lighting_reset();
    motion_reset();
    raster_reset_statistics();
    update_lists = UpdateLists{};
    frame_flags = FrameFlags{};
    pipeline_state = PipelineState{};
}
