// The object update pass (animation, paths, particles): the entry points the frame pipeline calls over
// the update list, each worker on its own share.
#pragma once

// Advances the objects of the update list whose list position modulo thread_count is
// thread_index, and that worker's blocks of every emitter's particles.
void object_update_pass(int thread_index, int thread_count);
// After the update workers are joined (pipeline thread): the emitters' own movement and the boxes of
// their particle quads, gathered from the thread_count shares.
void object_update_finish(int thread_count);
