// The frame clear and the half-height mode's row doubling. The clear runs on worker slot 31 beside the
// first passes (or on the pipeline thread, or band by band in the raster pass); the doubling on the
// pipeline thread and at most one worker.
#pragma once

// Fills the frame with the clear colour and the far depth: rows of the middle half in half-height mode,
// all rows when full is set.
void frame_clear(int full);
// The same fill for the rows [first, first + rows) of the rendered rows (counted from their top): for
// the raster pass, which clears each band of rows just before it draws into it.
void frame_clear_region_rows(int first, int rows);
// Only the far depth, over the rows frame_clear would fill: scenes that paint over their last frames
// keep its colours and still test each new frame's depths afresh.
void frame_clear_depth();
// Undoes the last doubling: the middle half of the rows takes back the rendered rows that the doubling
// spread over the whole frame, for scenes that paint over their last frame. Nothing outside half-height
// mode.
void half_height_fold();
// Spreads the middle half of the rows over the whole frame, each rendered row shown twice; the bottom
// half on worker 2 when there are several processors and the frame is large. Returns the threads used.
int half_height_double(int cpu_count);
