// The object update pass (animation, paths, particles) and the motion and collision pass: entry points
// that the frame pipeline calls over its update and motion lists, each worker on its own share.
#pragma once

// Advances the objects of the pipeline's update list whose list position modulo thread_count is
// thread_index, and that worker's blocks of every emitter's particles.
void object_update_pass(int thread_index, int thread_count);
// After the update workers are joined (pipeline thread): the emitters' own movement and the boxes of
// their particle quads, gathered from the thread_count shares.
void object_update_finish(int thread_count);
// One phase (0, 1 or 2) of the motion and collision pass over the pipeline's motion list; the share of
// a worker is the objects whose id modulo thread_count is thread_index.
void motion_pass(int phase, int thread_index, int thread_count);
