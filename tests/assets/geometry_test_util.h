// Helpers for the geometry builder tests: triangle counts, bounding boxes and the closed-surface check.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "scene/object.h"

namespace geomtest {

inline int tri_count(ObjectId id, int part) {
    if (!obj_valid(id) || part < 0 || part >= obj_table.part_capacity[id]) return 0;
    return obj_table.parts[id].tri_count[part];
}

struct Box3 {
    Vec3 min, max;
};

// Bounds of a part's model-space corners.
inline Box3 extent(ObjectId id, int part) {
    Box3 b{{1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}};
    const int n = tri_count(id, part);
    const float* t = obj_table.parts[id].tri_local[part].data();
    for (int v = 0; v < n * 3; ++v) {
        b.min.x = std::min(b.min.x, t[v * 3]);
        b.min.y = std::min(b.min.y, t[v * 3 + 1]);
        b.min.z = std::min(b.min.z, t[v * 3 + 2]);
        b.max.x = std::max(b.max.x, t[v * 3]);
        b.max.y = std::max(b.max.y, t[v * 3 + 1]);
        b.max.z = std::max(b.max.z, t[v * 3 + 2]);
    }
    return b;
}

// Edges of non-degenerate triangles keyed by the exact bits of both corners, ignoring direction.
using Corner = std::array<uint32_t, 3>;
inline Corner corner_bits(const float* p) {
    Corner c;
    for (int i = 0; i < 3; ++i) {
        float v = p[i] == 0.0f ? 0.0f : p[i];  // -0 and +0 are the same place
        std::memcpy(&c[static_cast<size_t>(i)], &v, 4);
    }
    return c;
}

// Number of edges used by exactly one triangle. Zero means the surface is closed: every edge is shared
// with a neighbour that has bit-identical corners, so the rasteriser leaves no cracks along it.
inline int open_edges(const float* tris, int count) {
    std::map<std::pair<Corner, Corner>, int> edges;
    for (int t = 0; t < count; ++t) {
        const float* p = tris + t * 9;
        const Corner c[3] = {corner_bits(p), corner_bits(p + 3), corner_bits(p + 6)};
        if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;  // degenerate: no area to crack
        for (int e = 0; e < 3; ++e) {
            Corner a = c[e], b = c[(e + 1) % 3];
            if (b < a) std::swap(a, b);
            ++edges[{a, b}];
        }
    }
    int open = 0;
    for (const auto& kv : edges)
        if (kv.second == 1) ++open;
    return open;
}

}  // namespace geomtest
