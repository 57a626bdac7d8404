// Operations that move triangles between parts and objects: merging parts, flat shadow copies,
// clones and baking. Scene thread only, between frames.
#include <algorithm>
#include <cstring>

#include "scene/object.h"
#include "scene/transform.h"

namespace {

// Copies triangle i of src into slot k of dst, keeping the two coordinates named by keep_a, keep_b.
void copy_kept_coords(float* dst, int k, const float* src, int i, int keep_a, int keep_b) {
    float* d = dst + static_cast<size_t>(k) * TRI_WORLD_FLOATS;
    const float* s = src + static_cast<size_t>(i) * TRI_WORLD_FLOATS;
    for (int v = 0; v < 3; ++v) {
        d[v * 3 + keep_a] = s[v * 3 + keep_a];
        d[v * 3 + keep_b] = s[v * 3 + keep_b];
    }
}

// Appends n floats from src to dst at offset, or fill values when the part has no such array.
void append_or_fill(std::vector<float>& dst, size_t offset, const std::vector<float>& src, size_t n,
                    float fill) {
    if (!src.empty()) {
        std::memcpy(dst.data() + offset, src.data(), n * sizeof(float));
    } else {
        std::fill_n(dst.begin() + static_cast<std::ptrdiff_t>(offset), n, fill);
    }
}

}  // namespace

void obj_merge_parts(ObjectId id, int target, int source) {
    if (!obj_valid(id) || target < 0) return;
    ObjectTable& t = obj_table;
    const int pc = t.part_count[id];
    // Merging a part into itself would append it and then clear it: the triangles would be lost. A
    // source below 1 means "every other part", which never includes the target.
    if (target >= pc || source >= pc || (source >= 1 && source == target)) return;
    PartArrays& pa = t.parts[id];

    std::vector<int> merged;
    if (source < 1) {
        for (int p = 0; p < pc; ++p)
            if (p != target) merged.push_back(p);
    } else {
        merged.push_back(source);
    }
    int64_t total = pa.tri_count[target];
    bool any_uv = !pa.tri_uv[target].empty();
    bool any_shade = !pa.tri_shade[target].empty();
    for (int p : merged) {
        total += pa.tri_count[p];
        any_uv = any_uv || !pa.tri_uv[p].empty();
        any_shade = any_shade || !pa.tri_shade[p].empty();
    }
    if (total > TRI_COUNT_LIMIT) return;

    const size_t n = static_cast<size_t>(total);
    const size_t own = static_cast<size_t>(pa.tri_count[target]);
    pa.tri_world[target].resize(n * TRI_WORLD_FLOATS);
    pa.tri_local[target].resize(n * TRI_WORLD_FLOATS);
    // Triangles that come without texture coordinates get (0, 0); without shading, the neutral 1.0
    // (the same value the shading list builder creates).
    if (any_uv) {
        if (pa.tri_uv[target].empty()) pa.tri_uv[target].assign(own * TRI_UV_FLOATS, 0.0f);
        pa.tri_uv[target].resize(n * TRI_UV_FLOATS, 0.0f);
    }
    if (any_shade) {
        if (pa.tri_shade[target].empty()) pa.tri_shade[target].assign(own * TRI_SHADE_FLOATS, 1.0f);
        pa.tri_shade[target].resize(n * TRI_SHADE_FLOATS, 1.0f);
    }
    size_t at = own;
    for (int p : merged) {
        const size_t c = static_cast<size_t>(pa.tri_count[p]);
        if (c > 0) {
            std::memcpy(pa.tri_world[target].data() + at * TRI_WORLD_FLOATS, pa.tri_world[p].data(),
                        c * TRI_WORLD_FLOATS * sizeof(float));
            const std::vector<float>& local = pa.tri_local[p].empty() ? pa.tri_world[p] : pa.tri_local[p];
            std::memcpy(pa.tri_local[target].data() + at * TRI_WORLD_FLOATS, local.data(),
                        c * TRI_WORLD_FLOATS * sizeof(float));
            if (any_uv)
                append_or_fill(pa.tri_uv[target], at * TRI_UV_FLOATS, pa.tri_uv[p], c * TRI_UV_FLOATS, 0.0f);
            if (any_shade)
                append_or_fill(pa.tri_shade[target], at * TRI_SHADE_FLOATS, pa.tri_shade[p],
                               c * TRI_SHADE_FLOATS, 1.0f);
        }
        at += c;
        pa.tri_count[target] = static_cast<int>(at);
        obj_clear_part(id, p);
    }
    pa.tri_capacity[target] = static_cast<int>(total);
    // The world box must grow to cover the appended triangles, and a skinning binding made for the
    // old vertices no longer fits.
    pa.dirty[target] = 1;
    if (!pa.scratch[target].empty()) {
        pa.scratch[target].resize(scratch_bytes(static_cast<int>(total)));
        pa.scratch[target][0] = 255;
    }
}

void obj_copy_flattened(ObjectId dst, ObjectId src, int keep_every, int axis) {
    // A copy onto itself would read the triangles it is overwriting.
    if (dst < 0 || src < 0 || dst == src) return;
    if (!obj_ensure(dst, 0)) return;
    ObjectTable& t = obj_table;
    const int src_parts = obj_valid(src) ? t.part_count[src] : 0;
    if (src_parts > 0 && !obj_ensure(dst, src_parts - 1)) return;
    // Axis 0 flattens y (keeps x and z), axis 1 flattens x (keeps y and z).
    const int keep_a = axis == 0 ? 0 : 1;
    const int flat = axis == 0 ? 1 : 0;

    for (int j = 0; j < src_parts; ++j) {
        const PartArrays& sp = t.parts[src];
        PartArrays& dp = t.parts[dst];
        const int count = sp.tri_count[j];
        if (count <= 0 || sp.tri_world[j].empty()) {
            obj_clear_part(dst, j);
            continue;
        }
        const float* s = sp.tri_world[j].data();
        if (dp.tri_capacity[j] == count && !dp.tri_world[j].empty()) {
            // Same size as last time: update in place, into tri_local when a transform is pending anyway.
            float* d = dp.dirty[j] ? dp.tri_local[j].data() : dp.tri_world[j].data();
            // Thinning pays off only for parts of more than 14 triangles.
            const int step = (keep_every > 0 && count * TRI_WORLD_FLOATS > 127) ? keep_every + 1 : 1;
            int copied = 0;
            for (int i = 0; i < count; i += step) copy_kept_coords(d, copied++, s, i, keep_a, 2);
            dp.tri_count[j] = copied;
        } else {
            obj_set_part_triangles(dst, j, s, nullptr, nullptr, 0, count);
            float* local = dp.tri_local[j].data();
            for (size_t v = 0; v < static_cast<size_t>(count) * 3; ++v) local[v * 3 + flat] = 0.0f;
        }
        dp.world_min[j] = sp.world_min[j];
        dp.world_max[j] = sp.world_max[j];
        dp.world_min_i[j] = sp.world_min_i[j];
        dp.world_max_i[j] = sp.world_max_i[j];
    }
    const int dst_parts = t.part_count[dst];
    for (int j = src_parts; j < dst_parts; ++j) obj_clear_part(dst, j);
    t.position[dst] = Vec3{0, 0, 0};
}

void obj_clone(ObjectId src, ObjectId dst) {
    if (src < 1 || dst < 1 || src == dst) return;
    if (!obj_ensure(src, 0) || !obj_ensure(dst, 0)) return;
    ObjectTable& t = obj_table;
    obj_reset(dst);
    if (!t.has_geometry[src]) return;
    const int pc = t.part_count[src];
    if (pc > 0 && !obj_ensure(dst, pc - 1)) return;

    for (int i = 0; i < pc; ++i) {
        PartArrays& sp = t.parts[src];
        if (!sp.tri_world[i].empty()) {
            if (sp.compact_pending[i] && t.part_compact) t.part_compact(src, i);
            const int count = sp.tri_count[i];
            if (count > 0) {
                const float* tris = sp.tri_local[i].empty() ? sp.tri_world[i].data() : sp.tri_local[i].data();
                const float* uvs = sp.tri_uv[i].empty() ? nullptr : sp.tri_uv[i].data();
                const float* shade = sp.tri_shade[i].empty() ? nullptr : sp.tri_shade[i].data();
                obj_set_part_triangles(dst, i, tris, uvs, shade, sp.texture[i], count);
            }
        }
        PartArrays& dp = t.parts[dst];
        const int count = sp.tri_count[i];
        if (count > 0 && dp.tri_count[i] == count) {
            // The clone is sized to what is in use, not to the source's spare capacity.
            const size_t n = static_cast<size_t>(count);
            dp.tri_world[i].resize(n * TRI_WORLD_FLOATS);
            dp.tri_local[i].resize(n * TRI_WORLD_FLOATS);
            if (!dp.tri_uv[i].empty()) dp.tri_uv[i].resize(n * TRI_UV_FLOATS);
            if (!dp.tri_shade[i].empty()) dp.tri_shade[i].resize(n * TRI_SHADE_FLOATS);
            dp.tri_capacity[i] = count;
        }
        const bool mark = sp.visible[i] || dp.visible[i] || t.enabled[src] || t.enabled[dst];
        dp.visible[i] = sp.visible[i];
        dp.shade_state[i] = sp.shade_state[i];
        // A clone starts from the plain mode, not one parked for handing on.
        dp.collision_mode[i] = static_cast<int8_t>(collision_mode_plain(sp.collision_mode[i]));
        dp.collision_param_a[i] = sp.collision_param_a[i];
        dp.collision_param_b[i] = sp.collision_param_b[i];
        dp.part_color[i] = sp.part_color[i];
        dp.shade_age[i] = sp.shade_age[i];
        dp.has_shade[i] = sp.has_shade[i];
        if (mark) dp.dirty[i] = 1;
        if (!sp.scratch[i].empty()) {
            // Header plus the binding masks of the vertices in use.
            const size_t want = static_cast<size_t>(std::max(count, 0)) * 24 + 8;
            std::vector<uint8_t> copy(scratch_bytes(std::max(count, 0)), 0);
            std::memcpy(copy.data(), sp.scratch[i].data(), std::min(want, sp.scratch[i].size()));
            dp.scratch[i] = std::move(copy);
        } else {
            std::vector<uint8_t>().swap(dp.scratch[i]);
        }
    }

    t.collides[dst] = t.collides[src];
    t.enabled[dst] = t.enabled[src];
    t.color[dst] = t.color[src];
    t.moving[dst] = t.moving[src];
    t.position[dst] = t.position[src];
    t.rotation[dst] = t.rotation[src];
    t.scale[dst] = t.scale[src];
    t.anim_type[dst] = t.anim_type[src];
    t.anim_clip[dst] = t.anim_clip[src];
    t.anim_speed[dst] = t.anim_speed[src];
    t.anim_time[dst] = t.anim_time[src];
    t.anim_half_rate[dst] = t.anim_half_rate[src];
    t.span_limit[dst] = t.span_limit[src];
    // A source without a rest pose has nothing to copy; the clone must not keep a stale one of its own.
    t.pose_cache_a[dst] = t.pose_cache_a[src];
}

int obj_bake(ObjectId target, ObjectId source) {
    if (!obj_valid(source) || !obj_table.has_geometry[static_cast<size_t>(source)]) return 0;
    const int source_parts = obj_table.part_count[static_cast<size_t>(source)];
    if (target < 1) return source_parts;
    const ObjectTransform xf = object_transform_of(source);
    int next = obj_valid(target) && obj_table.has_geometry[static_cast<size_t>(target)]
                   ? obj_table.part_count[static_cast<size_t>(target)]
                   : 0;
    for (int p = 0; p < source_parts; ++p) {
        // Copied out first: writing the target may grow the table (or, for a target baked into
        // itself, this very object's part columns), which moves the source's arrays.
        const PartArrays& pa = obj_table.parts[static_cast<size_t>(source)];
        const int count = pa.tri_count[static_cast<size_t>(p)];
        if (count < 1) continue;
        const size_t n = static_cast<size_t>(count);
        const std::vector<float>& src = pa.tri_local[static_cast<size_t>(p)].empty()
                                            ? pa.tri_world[static_cast<size_t>(p)]
                                            : pa.tri_local[static_cast<size_t>(p)];
        std::vector<float> tris(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(n * TRI_WORLD_FLOATS));
        std::vector<float> uvs, shade;
        const std::vector<float>& su = pa.tri_uv[static_cast<size_t>(p)];
        const std::vector<float>& ss = pa.tri_shade[static_cast<size_t>(p)];
        if (!su.empty()) uvs.assign(su.begin(), su.begin() + static_cast<std::ptrdiff_t>(n * TRI_UV_FLOATS));
        if (!ss.empty())
            shade.assign(ss.begin(), ss.begin() + static_cast<std::ptrdiff_t>(n * TRI_SHADE_FLOATS));
        const TextureId texture = pa.texture[static_cast<size_t>(p)];
        object_transform_triangles(xf, tris.data(), tris.data(), count);
        obj_set_part_triangles(target, next, tris.data(), uvs.empty() ? nullptr : uvs.data(),
                               shade.empty() ? nullptr : shade.data(), texture, count);
        ++next;
    }
    return source_parts;
}
