// The renderer's standard workloads, built into the object table at a given frame size (see
// workloads_bench.cpp for what each measures). Shared by the benchmarks and the frame dump that checks a
// change leaves the rendered images alone.
#pragma once

namespace workloads {

// 200 opaque textured quads covering the frame, back to front or front to back.
void build_quads(int width, int height, bool back_to_front);
// 200,000 untextured per-vertex-coloured triangles of about 4 px^2 at random depths.
void build_small(int width, int height);
// About 94,000 triangles like the demo's outdoor world.
void build_park(int width, int height);

// The workloads by name, in the order every table lists them: "fill", "fill-f2b", "small", "park".
struct Workload {
    const char* name;
    void (*build)(int width, int height);
};
constexpr int WORKLOAD_COUNT = 4;
extern const Workload all[WORKLOAD_COUNT];
// The one of that name, or null.
const Workload* find(const char* name);

}  // namespace workloads
