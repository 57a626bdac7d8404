// The frame pipeline. The pipeline thread runs the passes in a fixed order, starting and joining each
// pass's workers around it; only the frame clear (slot 31) and the overlay preparation (slot 32) run
// beside other passes, on data no pass touches meanwhile.
#include "render/pipeline.h"

#include <algorithm>
#include <cstring>

#include "display/framebuffer.h"
#include "display/present.h"
#include "display/window.h"
#include "overlay/overlay.h"
#include "render/frame_statistics.h"
#include "render/geometry.h"
#include "render/lighting.h"
#include "render/raster.h"
#include "render/render_config.h"
#include "render/update.h"
#include "render/workers.h"
#include "scene/object.h"

PipelineState pipeline_state;

namespace {

// Below this many table slots one scan of the update and motion lists costs less than a helper.
constexpr int LIST_SPLIT_MIN_SLOTS = 10000;
// Below this many pixels the bottom half of the row doubling is not worth a thread.
constexpr int64_t DOUBLING_SPLIT_MIN_PIXELS = 500001;
// The lists are released now and then so that one heavy scene does not pin its memory for the run;
// the two lists are released on different frames so that no single frame rebuilds both.
constexpr int LIST_RELEASE_PERIOD = 2000;
constexpr int DIRTY_LIST_RELEASE_FRAME = 1999;
constexpr int UPDATE_LIST_RELEASE_FRAME = 1000;
// The clear colour's 0..1 channels become bytes through this factor: 1.0 must give 255 after
// truncation despite float rounding.
constexpr float CLEAR_BYTE_SCALE = 255.01f;
constexpr int DEPTH_CLEAR_BYTE = 127;

int apply_cap(int t) {
    const int cap = render_config.thread_cap;
    if (cap > 0 && t > cap) t = cap;
    return t < 1 ? 1 : t;
}

// --- the per-frame lists of the update and motion passes -------------------------------------------

void id_append(std::vector<int>& list, int& count, int& capacity, int id) {
    if (count >= capacity || list.empty()) {
        capacity = count * 2 + 2048;
        list.resize(static_cast<size_t>(capacity) + 1);
    }
    list[static_cast<size_t>(count)] = id;
    ++count;
}

struct IdLists {
    std::vector<int>* update;
    int* update_count;
    int* update_capacity;
    std::vector<int>* motion;
    int* motion_count;
    int* motion_capacity;
    int64_t* particles;
};

void scan_update_lists(ObjectId first, ObjectId end, const IdLists& out) {
    const ObjectTable& t = obj_table;
    for (ObjectId id = first; id < end; ++id) {
        bool moves = t.collides[id] != 0;
        if (!moves) {
            const PartArrays& pa = t.parts[static_cast<size_t>(id)];
            const int n = std::min(t.part_count[id], t.part_capacity[id]);
            for (int p = 0; p < n && !moves; ++p) moves = pa.compact_pending[static_cast<size_t>(p)] != 0;
        }
        if (moves) id_append(*out.motion, *out.motion_count, *out.motion_capacity, id);
        const bool emitter = t.particle_count[id] > 0;
        if (emitter) *out.particles += t.particle_count[id];
        if (emitter || t.anim_type[id] != 0 || t.path_speed[id] != 0.0f)
            id_append(*out.update, *out.update_count, *out.update_capacity, id);
    }
}

void scan_upper_half(int) {
    PipelineState& ps = pipeline_state;
    const IdLists out{&ps.partial_update,   &ps.partial_update_count, &ps.partial_update_capacity,
                      &ps.partial_motion,   &ps.partial_motion_count, &ps.partial_motion_capacity,
                      &ps.partial_particles};
    scan_update_lists(obj_table.object_capacity / 2, obj_table.object_capacity, out);
}

void append_ids(std::vector<int>& list, int& count, int& capacity, const std::vector<int>& src, int n) {
    for (int i = 0; i < n; ++i) id_append(list, count, capacity, src[static_cast<size_t>(i)]);
}

void build_update_lists(int cpus) {
    PipelineState& ps = pipeline_state;
    ps.update_count = ps.motion_count = 0;
    ps.particle_total = 0;
    ps.partial_update_count = ps.partial_motion_count = 0;
    ps.partial_particles = 0;
    const IdLists out{&ps.update_list,  &ps.update_count,    &ps.update_capacity, &ps.motion_list,
                      &ps.motion_count, &ps.motion_capacity, &ps.particle_total};
    const int cap = obj_table.object_capacity;
    if (cap < LIST_SPLIT_MIN_SLOTS || cpus < 2) {
        scan_update_lists(1, cap, out);
        return;
    }
    worker_start(1, scan_upper_half);
    scan_update_lists(1, cap / 2, out);
    worker_join(1);
    append_ids(ps.update_list, ps.update_count, ps.update_capacity, ps.partial_update,
               ps.partial_update_count);
    append_ids(ps.motion_list, ps.motion_count, ps.motion_capacity, ps.partial_motion,
               ps.partial_motion_count);
    ps.particle_total += ps.partial_particles;
}

void release_update_lists() {
    PipelineState& ps = pipeline_state;
    std::vector<int>().swap(ps.update_list);
    std::vector<int>().swap(ps.motion_list);
    std::vector<int>().swap(ps.partial_update);
    std::vector<int>().swap(ps.partial_motion);
    ps.update_capacity = ps.motion_capacity = 0;
    ps.partial_update_capacity = ps.partial_motion_capacity = 0;
}

// --- pass workers: each reads its share from the slice table -----------------------------------------

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

void overlay_prepare(int) {
    pipeline_state.overlay_visible = overlay_build();
    if (pipeline_state.overlay_visible) overlay_rasterize();
}

void merge_worker(int slot) {
    const WorkerSlice s = worker_slice(slot);
    const FrameBuffer& fb = frame_buffer;
    const OverlayState& os = overlay_state;
    overlay_merge(fb.fb_pixels, fb.fb_width, fb.fb_height, os.buffer.data(), os.buffer_width,
                  os.buffer_height, s.thread_index, s.thread_count);
}

// --- the frame clear and the row doubling ------------------------------------------------------------

void fill_rows(int first, int rows) {
    const FrameBuffer& fb = frame_buffer;
    if (!fb.fb_pixels || !fb.fb_depth || rows <= 0) return;
    const size_t width = static_cast<size_t>(fb.fb_width);
    const size_t pixels = width * static_cast<size_t>(rows);
    std::memset(fb.fb_depth + static_cast<size_t>(first) * width, DEPTH_CLEAR_BYTE,
                pixels * sizeof(uint32_t));
    uint8_t* color = fb.fb_pixels + static_cast<size_t>(first) * width * 3;
    uint8_t rgb[3];
    for (int k = 0; k < 3; ++k) {
        float c = render_config.clear_color[k] * CLEAR_BYTE_SCALE;
        // Colours beyond 0..1 saturate rather than wrap (a float outside the byte range has no byte).
        c = c > 0.0f ? (c < 255.0f ? c : 255.0f) : 0.0f;
        rgb[k] = static_cast<uint8_t>(c);
    }
    if (rgb[0] == rgb[1] && rgb[1] == rgb[2]) {
        std::memset(color, rgb[0], pixels * 3);
        return;
    }
    for (size_t i = 0; i < pixels; ++i, color += 3) {
        color[0] = rgb[0];
        color[1] = rgb[1];
        color[2] = rgb[2];
    }
}

void double_rows(int first, int end, int step) {
    const FrameBuffer& fb = frame_buffer;
    const int h = fb.fb_height;
    const size_t row_bytes = static_cast<size_t>(fb.fb_width) * 3;
    // The rendered rows: h/2 of them from h/4 (an odd height leaves the last output row one row short).
    const int top = h / 4, last = h / 4 + h / 2 - 1;
    for (int r = first; r != end; r += step) {
        int src = top + r / 2;
        if (src > last) src = last;
        if (src == r) continue;
        std::memcpy(fb.fb_pixels + static_cast<size_t>(r) * row_bytes,
                    fb.fb_pixels + static_cast<size_t>(src) * row_bytes, row_bytes);
    }
}

// Top half from the top and bottom half from the bottom: each copy reads a row that its own half has
// not overwritten yet, so the frame doubles in place.
void double_top(int) {
    double_rows(0, frame_buffer.fb_height / 2, 1);
}

void double_bottom(int) {
    double_rows(frame_buffer.fb_height - 1, frame_buffer.fb_height / 2 - 1, -1);
}

// --- the empty-scene test and the end of the frame ---------------------------------------------------

bool scene_has_drawable() {
    const ObjectTable& t = obj_table;
    for (ObjectId id = 0; id < t.object_capacity; ++id) {
        if (!t.enabled[id] || !t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int n = std::min(t.part_count[id], t.part_capacity[id]);
        for (int p = 0; p < n; ++p)
            if (pa.visible[static_cast<size_t>(p)] || pa.dirty[static_cast<size_t>(p)]) return true;
    }
    return false;
}

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
    lighting_end_frame(g.changed_lights.data(), g.changed_light_count);
    g.dirty_count = 0;
    g.changed_light_count = 0;

    PipelineState& ps = pipeline_state;
    const int64_t phase = ps.frame_counter % LIST_RELEASE_PERIOD;
    if (phase == DIRTY_LIST_RELEASE_FRAME) geometry_release_lists();
    if (phase == UPDATE_LIST_RELEASE_FRAME) release_update_lists();

    ps.motion_count = 0;
    ps.update_count = 0;
    g.relight_all = 0;
    g.collision_geometry_changed = 0;
    light_state.collision_grid_changed = 0;
    light_state.bounds_pending = 0;
}

}  // namespace

int update_thread_count(int cpu_count, int list_count, int64_t particle_total) {
    if (list_count < 1) return 0;
    if (list_count < 2) return 1;
    int t = apply_cap(std::min(cpu_count, 4));
    if (t < 2 || (particle_total < 1500 && list_count < 1500)) return 1;
    if (t != 2 && list_count < 6000 && particle_total < 4000) t = 2;
    return t;
}

int motion_thread_count(int cpu_count, int list_count) {
    if (list_count > 64 && cpu_count >= 2) return apply_cap(std::min(cpu_count, 4));
    return 1;
}

int transform_thread_count(int cpu_count, int estimate) {
    const int mode = render_config.transform_thread_mode;
    int t = cpu_count < 1 ? 1 : cpu_count;
    if (mode == 0) {
        t = std::min(t, 4);
    } else if (cpu_count >= 3) {
        t = mode == 2 ? t * 2 : mode == 3 ? t * 3 : t + 2;
        t = std::min(t, 16);
    }
    t = apply_cap(t);
    // Small amounts of work finish before more threads would have started.
    if (estimate < 40000) t = std::min(t, 8);
    if (estimate < 30000) t = std::min(t, 6);
    if (estimate < 20000) t = std::min(t, 4);
    if (estimate < 10000) t = std::min(t, estimate >= 7000 ? 2 : 1);
    return t;
}

int raster_thread_count(int cpu_count, int rendered_height) {
    if (cpu_count <= 1) return 1;
    const RenderConfig& rc = render_config;
    int cpus = cpu_count;
    if (cpus == 3 && rc.raster_thread_boost && (rc.thread_cap == 0 || rc.thread_cap >= 4)) cpus = 4;
    int t = cpus;
    if (rc.raster_thread_boost && cpus >= 4) {
        if (rc.raster_split_mode == 2) {
            t = cpus * 2;
        } else if (rc.raster_split_mode == 1) {
            t = cpus * 4;
        } else if (rc.raster_split_mode == 0) {
            if (rendered_height > 500) ++t;
            if (rendered_height > 1500 && cpus > 8) ++t;
        }
    }
    t = std::min(t, 16);
    return apply_cap(t);
}

void frame_clear(int full) {
    const FrameBuffer& fb = frame_buffer;
    if (full || !render_config.half_height_mode) {
        fill_rows(0, fb.fb_height);
    } else {
        fill_rows(fb.fb_height / 4, fb.fb_height / 2);
    }
}

void half_height_double(int cpu_count) {
    const FrameBuffer& fb = frame_buffer;
    if (!fb.fb_pixels || fb.fb_width <= 0 || fb.fb_height < 2) return;
    const int64_t pixels = static_cast<int64_t>(fb.fb_width) * fb.fb_height;
    if (cpu_count >= 2 && pixels >= DOUBLING_SPLIT_MIN_PIXELS) {
        worker_start(2, double_bottom);
        double_top(0);
        worker_join(2);
        pipeline_state.threads.doubling = 2;
    } else {
        double_top(0);
        double_bottom(0);
        pipeline_state.threads.doubling = 1;
    }
}

uint8_t* render_scene() {
    PipelineState& ps = pipeline_state;
    GeometryState& g = geometry_state;
    const RenderConfig& rc = render_config;
    FrameBuffer& fb = frame_buffer;
    const int cpus = display_cpu_count();
    ps.threads = PassThreads{};

    // 1-2. Statistics, and the frame that has nothing to show.
    raster_reset_statistics();
    ps.scene_drawn = 1;
    const bool black = rc.clear_color[0] == 0.0f && rc.clear_color[1] == 0.0f && rc.clear_color[2] == 0.0f;
    if (black && !scene_has_drawable()) {
        ps.scene_drawn = 0;
        if (ps.clear_pending || fb.fb_needs_clear) {
            frame_clear(fb.fb_needs_clear);
            fb.fb_needs_clear = 0;
            ps.clear_pending = 0;
        }
        ++ps.frame_counter;
        return fb.fb_pixels;
    }

    // 3. The clear runs beside the passes that do not touch the planes. New planes are cleared whole
    // even when the scene would paint over the last frame.
    ps.clear_pending = 1;
    const bool clearing = rc.frame_clear || fb.fb_needs_clear;
    ps.clear_full = fb.fb_needs_clear;
    fb.fb_needs_clear = 0;
    if (clearing) {
        if (cpus > 1) {
            worker_start(WORKER_SLOT_CLEAR, clear_worker);
        } else {
            clear_worker(WORKER_SLOT_CLEAR);
        }
    }

    // 4-5.
    ++ps.frame_counter;
    build_update_lists(cpus);

    // 6. Object update pass.
    ps.threads.update = update_thread_count(cpus, ps.update_count, ps.particle_total);
    if (ps.threads.update > 0) worker_run_pass(ps.threads.update, pass_worker<object_update_pass>);
    object_update_finish(ps.threads.update);

    // 7. Motion and collision, each phase joined before the next.
    if (ps.motion_count > 0) {
        const int t = motion_thread_count(cpus, ps.motion_count);
        ps.threads.motion = t;
        for (int phase = 0; phase < 3; ++phase) {
            const bool middle_runs = t > 1 ? rc.motion_phases >= 3 : rc.motion_phases == 3;
            if (phase == 1 && !middle_runs) continue;
            ps.motion_phase = phase;
            worker_run_pass(t, pass_worker<motion_phase_pass>);
        }
    }

    // 8. Geometry.
    const int estimate = build_dirty_list(cpus >= 3 ? 4 : 0);
    if (g.dirty_count > 0) {
        ps.threads.transform = std::min(transform_thread_count(cpus, estimate), g.dirty_count);
        worker_run_pass(ps.threads.transform, pass_worker<transform_pass>);
        // After the join: the workers never write the shared flag.
        scene_bounds_check(g.dirty_objects.data(), g.dirty_parts.data(), g.dirty_count);
    }

    // 9. Scene bounds, the extent of the light grid.
    const LightState& ls = light_state;
    if (g.relight_all || ls.collision_grid_changed || ls.bounds_pending || ps.motion_count > 0) {
        ps.threads.bounds = cpus >= 3 ? std::min(cpus, WORKER_PASS_MAX) : 1;
        worker_run_pass(ps.threads.bounds, pass_worker<scene_bounds_pass>);
        scene_bounds_finish(ps.threads.bounds);
    }

    // 10-12. Light grid, light changes, collision grid and vertex lighting.
    light_grid_setup();
    light_grid_update();
    const int small_pass = apply_cap(std::min(cpus, 4));
    const bool periodic = ps.frame_counter % lighting_period() == 0;
    if ((ls.light_count > 0 && periodic) || g.relight_all) {
        ps.threads.light_change = small_pass;
        worker_run_pass(small_pass, pass_worker<light_change_pass>);
    }
    collision_grid_maintain();
    if (g.collision_geometry_changed || ls.collision_grid_changed ||
        ((ls.light_count > 0 || g.changed_light_count > 0) && periodic) || g.relight_all) {
        ps.threads.lighting = small_pass;
        worker_run_pass(small_pass, pass_worker<vertex_lighting_pass>);
        worker_run_pass(small_pass, pass_worker<collision_grid_update>);
    }

    // 13. Rasterisation, once the clear is done.
    worker_join(WORKER_SLOT_CLEAR);
    const int rendered_height = rc.half_height_mode ? fb.fb_height / 2 : fb.fb_height;
    ps.threads.raster = raster_thread_count(cpus, rendered_height);
    worker_run_pass(ps.threads.raster, pass_worker<raster_pass>);
    raster_collect_statistics();

    // 14-15.
    if (rc.half_height_mode) half_height_double(cpus);
    end_of_frame();
    return fb.fb_pixels;
}

RenderedFrame render_frame() {
    PipelineState& ps = pipeline_state;
    const int cpus = display_cpu_count();
    if (cpus >= 2) {
        worker_start(WORKER_SLOT_OVERLAY, overlay_prepare);
        render_scene();
        worker_join(WORKER_SLOT_OVERLAY);
    } else {
        overlay_prepare(WORKER_SLOT_OVERLAY);
        render_scene();
    }

    FrameBuffer& fb = frame_buffer;
    ps.threads.merge = 0;
    if ((ps.overlay_visible || overlay_effects_on()) && fb.fb_pixels) {
        ps.threads.merge = overlay_merge_slice_count(cpus, fb.fb_width, fb.fb_height);
        worker_run_pass(ps.threads.merge, merge_worker);
    }
    frame_statistics_update();

    if (!ps.headless && fb.fb_pixels) {
        if (cpus > 1) {
            present_async(fb.fb_pixels, fb.fb_width, fb.fb_height);
        } else {
            present_sized(fb.fb_pixels, fb.fb_width, fb.fb_height);
        }
    }
    return RenderedFrame{fb.fb_pixels, fb.fb_width, fb.fb_height};
}

void render_set_headless(int flag) {
    pipeline_state.headless = flag != 0;
}

void pipeline_reset() {
    worker_reset();
    geometry_reset();
    lighting_reset();
    overlay_reset();
    raster_reset_statistics();
    const int headless = pipeline_state.headless;
    pipeline_state = PipelineState{};
    pipeline_state.headless = headless;
}
