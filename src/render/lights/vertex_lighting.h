// Per-vertex lighting of shaded parts from the ambient colour and the lights of the light grid.
#pragma once

// Frames between periodic relighting: max(4, round(rendered_fps / 6)).
int lighting_period();
// Relights every shaded part (light_part) when lights changed, relight_all is set or the frame is a
// periodic one; the vertices of a part are shared between the workers by blocks.
void vertex_lighting_pass(int thread_index, int thread_count);
// The per-vertex lighting of one part, the vertices of share thread_index of thread_count.
void light_part(int id, int part, int thread_index, int thread_count);
