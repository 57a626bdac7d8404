// The 2D overlay laid over the 3D image: its draw list, the overlay buffer and the merge into the
// frame. Built on one thread (the main thread or the pipeline's overlay worker) while the 3D scene
// renders; merged by the pipeline thread and its workers, each on its own rows.
#pragma once

#include <cstdint>
#include <vector>

struct OverlayState {
    std::vector<uint8_t> buffer;  // R, G, B, coverage per pixel, buffer_width x buffer_height; empty: none
    int buffer_width = 0;
    int buffer_height = 0;
    int overlay_content = 0;  // the last built frame had a visible slot
    int slot_count = 0;       // overlay slots in use; none until elements can be placed
};

extern OverlayState overlay_state;

// Turns the visible slots into this frame's draw list; returns whether any slot was visible.
int overlay_build();
// Brings the overlay buffer up to date from the draw list.
void overlay_rasterize();
// Whether a screen-space post effect or the trail asks for a merge even without visible slots.
int overlay_effects_on();
// Number of row slices the merge of a width x height frame is split into on cpu_count processors.
int overlay_merge_slice_count(int cpu_count, int width, int height);
// Merges rows of slice `slice` of `slices` of the overlay buffer into the 24-bit frame. The sizes must
// agree; a mismatch is fatal (the program prints its message and ends).
void overlay_merge(uint8_t* frame, int frame_width, int frame_height, const uint8_t* buffer, int buffer_width,
                   int buffer_height, int slice, int slices);

void overlay_reset();
