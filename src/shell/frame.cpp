// render_frame: the overlay is prepared on worker slot 32 while the pipeline thread renders the scene,
// both on data the other does not touch; the merge and the present follow on the pipeline thread.
#include "shell/frame.h"

#include "core/cpu.h"
#include "core/frame_stats.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "display/present.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"
#include "render/pipeline.h"
#include "shell/probe.h"

FrameState frame_state;

namespace {

void overlay_prepare(int) {
    frame_state.overlay_visible = overlay_frame_prepare();
}

void merge_worker(int slot) {
    const WorkerSlice s = worker_slice(slot);
    const FrameBuffer& fb = frame_buffer;
    const OverlayState& os = overlay_state;
    overlay_merge(fb.fb_pixels, fb.fb_width, fb.fb_height, os.buffer.data(), os.buffer_width,
                  os.buffer_height, s.thread_index, s.thread_count);
}

}  // namespace

void frame_render_scene() {
    if (cpu_count() >= 2) {
        // New glyphs take texture slots, which may grow the texture table: done here, before the
        // rasteriser's workers read the table, rather than in the build pass beside them.
        text_prepare_glyphs();
        worker_start(WORKER_SLOT_OVERLAY, overlay_prepare);
        render_scene();
        worker_join(WORKER_SLOT_OVERLAY);
    } else {
        overlay_prepare(WORKER_SLOT_OVERLAY);
        render_scene();
    }
}

void frame_merge_overlay() {
    FrameState& fs = frame_state;
    FrameBuffer& fb = frame_buffer;
    fs.merge_threads = 0;
    if ((fs.overlay_visible || overlay_effects_on()) && fb.fb_pixels) {
        overlay_merge_prepare(fb.fb_width, fb.fb_height);
        overlay_state.opteron_six_core = probe_results.opteron_six_core;
        fs.merge_threads = overlay_merge_slice_count(cpu_count(), fb.fb_width, fb.fb_height);
        worker_run_pass(fs.merge_threads, merge_worker);
        overlay_merge_finish();
        // The frame now holds the overlay: an empty scene that keeps the last image must clear it first,
        // or a moving or fading element leaves its earlier frames behind.
        pipeline_state.clear_pending = 1;
    }
}

RenderedFrame frame_show() {
    frame_statistics_update();
    FrameBuffer& fb = frame_buffer;
    if (!frame_state.headless && fb.fb_pixels) {
        if (cpu_count() > 1) {
            present_async(fb.fb_pixels, fb.fb_width, fb.fb_height);
        } else {
            present_sized(fb.fb_pixels, fb.fb_width, fb.fb_height);
        }
    }
    return RenderedFrame{fb.fb_pixels, fb.fb_width, fb.fb_height};
}

RenderedFrame render_frame() {
    frame_render_scene();
    frame_merge_overlay();
    return frame_show();
}

void render_set_headless(int flag) {
    frame_state.headless = flag != 0;
}

void frame_reset() {
    pipeline_reset();
    overlay_reset();
    const int headless = frame_state.headless;
    frame_state = FrameState{};
    frame_state.headless = headless;
}
