// One whole frame: the overlay's preparation beside the 3D passes, the overlay merge, the frame
// statistics and presentation. The top of the engine, where the overlay, the renderer and the display
// meet; main thread, once per scene iteration.
#pragma once

#include <cstdint>

struct RenderedFrame {
    uint8_t* pixels;  // the frame buffer's colour plane
    int width;
    int height;
};

struct FrameState {
    int overlay_visible = 0;  // the overlay preparation found a visible slot
    int merge_threads = 0;    // slices of the last overlay merge; 0 when none ran
    int headless = 0;         // render_frame leaves presentation out (tests, benchmarks)
};

extern FrameState frame_state;

RenderedFrame render_frame();
// render_frame's steps, in its order, for a scene that draws its frames itself: the 3D scene with the
// overlay prepared beside it; the overlay merged over it; the statistics and the present.
void frame_render_scene();
void frame_merge_overlay();
RenderedFrame frame_show();
// render_frame without presentation: frames stay in the FrameBuffer.
void render_set_headless(int flag);
// The pipeline, the overlay and this state back to their start (tests).
void frame_reset();
