// The scene-bounds pass: the extent of the light grid, the bounds of the world boxes of every visible
// part of enabled objects with geometry. Run by the pipeline thread and its workers, each on its own
// share; the shares are combined after the join.
#pragma once

// The bounds over the share thread_index of thread_count; scene_bounds_finish combines the shares.
void scene_bounds_pass(int thread_index, int thread_count);
void scene_bounds_finish(int thread_count);
// Raises the frame's bounds_pending flag when a listed part that the bounds pass would count now reaches
// beyond the bounds. The pipeline thread calls it after the transform pass has joined.
void scene_bounds_check(const int* objects, const int* parts, int count);
