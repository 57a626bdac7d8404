// The part driver of the rasteriser. Workers read the object table, the texture table, the camera and
// the configuration, write only their share of the frame and their own statistics line.
#include "render/raster/raster.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "assets/texture.h"
#include "core/check.h"
#include "core/slices.h"
#include "display/framebuffer.h"
#include "render/frame_clear.h"
#include "render/raster/fill.h"
#include "render/raster/fill_setup.h"
#include "render/raster/part_view.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"

RasterState raster_state;

int64_t raster_frame_triangles(int64_t limit) {
    const ObjectTable& t = obj_table;
    int64_t total = 0;
    for (ObjectId id = 0; id < t.object_capacity && total <= limit; ++id) {
        if (!t.has_geometry[id] || !t.enabled[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int part_count = obj_part_limit(id);
        for (int part = 0; part < part_count; ++part) {
            const size_t pi = static_cast<size_t>(part);
            if (!pa.tri_world[pi].empty() && pa.visible[pi] && pa.tri_count[pi] > 0)
                total += pa.tri_count[pi];
        }
    }
    return total;
}

namespace {

// Parts smaller than this are cheaper to draw than to test.
constexpr int CULL_MIN_TRIANGLES = 65;
// Frames of at most this many triangles are walked once per band.
constexpr int64_t WALK_BANDS_MAX_TRIANGLES = 4096;
// Slices whose colour and depth take at most this many bytes are drawn without deferring.
constexpr int64_t DEFER_MIN_SLICE_BYTES = 4 * FILL_BAND_BYTES;

enum SplitMode { SPLIT_SLICES = 0, SPLIT_PARTS = 1, SPLIT_INTERLEAVE = 2 };

// Triangles of a part that the pass draws: 0 for a hidden or empty part, and never more than its world
// array holds.
int part_triangles(const PartArrays& pa, size_t pi) {
    const std::vector<float>& world = pa.tri_world[pi];
    if (world.empty() || !pa.visible[pi]) return 0;
    const int count = pa.tri_count[pi];
    if (count <= 0) return 0;
    const size_t held = world.size() / 9;
    return static_cast<size_t>(count) > held ? static_cast<int>(held) : count;
}

int split_mode(int thread_count) {
    const int mode = render_config.raster_split_mode;
    if (thread_count == 1 || (mode != SPLIT_PARTS && mode != SPLIT_INTERLEAVE)) return SPLIT_SLICES;
    return mode;
}

// The region, planes and camera of the frame; false when there is nothing to draw into.
bool frame_params(FillParams& p) {
    const FrameBuffer& fb = frame_buffer;
    if (!fb.fb_pixels || !fb.fb_depth || fb.fb_width <= 0 || fb.fb_height <= 0) return false;
    // Half height renders into the middle half of the rows.
    const bool half = render_config.half_height_mode != 0;
    const int first_row = half ? fb.fb_height / 4 : 0;
    p.height = half ? fb.fb_height / 2 : fb.fb_height;
    // The filler writes p.height rows from first_row on: they must lie inside the planes.
    ENGINE_CHECK(first_row + p.height <= fb.fb_height);
    const size_t first_pixel = static_cast<size_t>(first_row) * static_cast<size_t>(fb.fb_width);
    p.color = fb.fb_pixels + first_pixel * 3;
    p.depth = fb.fb_depth + first_pixel;
    p.width = fb.fb_width;
    if (p.height <= 0) return false;

    const CameraState& cam = camera_state;
    p.eye_x = cam.camera_eye.x;
    p.neg_eye_y = -cam.camera_eye.y;
    p.eye_z = cam.camera_eye.z;
    p.pitch = cam.camera_angles.x;
    p.neg_yaw = -cam.camera_angles.y;
    p.roll = cam.camera_angles.z;
    p.extent_x = cam.projection[0];
    p.extent_y = cam.projection[1];
    p.depth_factor = cam.projection[2];
    p.view_center_x = cam.view_center[0];
    p.view_center_y = cam.view_center[1];
    return true;
}

// Whether the view test passes the part's box for a slice; parts too small for the test always pass.
bool part_drawn(const PartArrays& pa, size_t pi, int triangles, const FillParams& p, int slice_index,
                int slice_count) {
    const CameraState& cam = camera_state;
    return triangles < CULL_MIN_TRIANGLES ||
           part_in_view(cam.camera_eye, cam.camera_angles, pa.world_min[pi], pa.world_max[pi], cam.projection,
                        p.width, p.height, cam.view_center, slice_index, slice_count);
}

// How a slice is drawn: at once, or band by band (see the end of raster_pass).
enum SliceDraw { DRAW_WHOLE, DRAW_WALK_BANDS, DRAW_DEFER };

SliceDraw slice_draw(const FillParams& p, int slice_index, int slice_count, bool plain, int mode) {
    const RowRange slice = slice_rows(p.height, slice_index, slice_count);
    if (plain || mode != SPLIT_SLICES || slice.end - slice.first <= fill_band_rows(p.width))
        return DRAW_WHOLE;
    if (raster_frame_triangles(WALK_BANDS_MAX_TRIANGLES) <= WALK_BANDS_MAX_TRIANGLES) return DRAW_WALK_BANDS;
    // The whole slice stays in the cache: keeping the triangles would only cost.
    if (static_cast<int64_t>(slice.end - slice.first) * p.width * 7 <= DEFER_MIN_SLICE_BYTES)
        return DRAW_WHOLE;
    return DRAW_DEFER;
}

// One part of the shared projection: its triangles' vertices from triangle `first` of the buffer on,
// and the slices whose view test it passes (bit s for slice s).
struct ProjectedPart {
    ObjectId id;
    int part;
    int64_t first;
    int count;
    uint64_t slices;
};

// Triangle indices; the storage only grows, so that after the first frames nothing is allocated.
struct BandList {
    std::vector<uint32_t> data;
    size_t size = 0;
    void push(uint32_t i) {
        if (size == data.size()) data.resize(std::max<size_t>(256, data.size() * 2));
        data[size++] = i;
    }
};

// The frame's shared projection, written by raster_projection_prepare and the projection pass, read by
// the raster pass's slices. When some slice is drawn band by band, every triangle is also listed for
// the bands of rows it reaches: the slices' bands (a slice drawn at once is one band), numbered from the
// top of the region. Each projection share lists its own run, so a band's triangles are the lists of
// shares 0, 1, ... one after the other, in increasing order.
struct SharedProjection {
    int ready = 0;
    int thread_count = 0;
    FillParams view;                   // the region and camera it was made for
    std::vector<ProjectedPart> parts;  // in the order the raster pass walks them
    std::vector<float> xyz;            // 9 floats per triangle: x, y and depth of each vertex
    int64_t triangles = 0;
    std::vector<RowRange> bands;   // rows of each band, top to bottom
    std::vector<int> slice_band;   // per slice: its first band (one more entry: the band count)
    std::vector<int> band_of_row;  // per row of the region
    std::vector<BandList> lists;   // per share and band: the triangles (buffer indices)
    // The statistics of slice thread_count / 2's walk: triangles of the parts it draws and culls.
    int drawn = 0, culled = 0;
    // The next band to draw. The raster shares take bands in turn from the top rather than each its own
    // slice: a frame whose sky is cheap and whose ground is dear then keeps both threads busy to the end.
    // Each band is drawn whole by one share, as its own slice would have drawn it, so the image is the
    // same whoever draws it.
    mutable std::atomic<int> next_band{0};
};

SharedProjection shared_projection;

bool same_view(const FillParams& a, const FillParams& b) {
    return a.width == b.width && a.height == b.height && a.eye_x == b.eye_x && a.neg_eye_y == b.neg_eye_y &&
           a.eye_z == b.eye_z && a.pitch == b.pitch && a.neg_yaw == b.neg_yaw && a.roll == b.roll &&
           a.extent_x == b.extent_x && a.extent_y == b.extent_y && a.depth_factor == b.depth_factor &&
           a.view_center_x == b.view_center_x && a.view_center_y == b.view_center_y;
}

}  // namespace

bool raster_projection_prepare(int thread_count) {
    SharedProjection& sp = shared_projection;
    sp.ready = 0;
    sp.parts.clear();
    sp.triangles = 0;
    sp.drawn = sp.culled = 0;
    // Only slices draw one part on several threads.
    if (raster_state.plain || thread_count < 2 || thread_count > RASTER_MAX_THREADS ||
        split_mode(thread_count) != SPLIT_SLICES)
        return false;
    FillParams p;
    if (!frame_params(p)) return false;
    const ObjectTable& t = obj_table;
    for (ObjectId id = 0; id < t.object_capacity; ++id) {
        if (!t.has_geometry[id] || !t.enabled[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int part_count = obj_part_limit(id);
        for (int part = 0; part < part_count; ++part) {
            const size_t pi = static_cast<size_t>(part);
            const int n = part_triangles(pa, pi);
            if (n == 0) continue;
            uint64_t slices = 0;
            for (int s = 0; s < thread_count; ++s)
                if (part_drawn(pa, pi, n, p, s, thread_count)) slices |= uint64_t{1} << s;
            if ((slices >> (thread_count / 2) & 1) != 0) {
                sp.drawn += pa.tri_count[pi];
            } else {
                sp.culled += pa.tri_count[pi];
            }
            if (slices == 0) continue;
            sp.parts.push_back(ProjectedPart{id, part, sp.triangles, n, slices});
            sp.triangles += n;
        }
    }
    if (sp.triangles == 0 || sp.triangles > UINT32_MAX) return false;
    sp.xyz.resize(static_cast<size_t>(sp.triangles) * 9);
    sp.bands.clear();
    sp.slice_band.clear();
    sp.view = p;
    sp.thread_count = thread_count;
    sp.ready = 1;
    // Slices drawn at once read and reject the others' triangles more cheaply than the triangles are
    // listed: then there are no lists.
    bool banded = false;
    for (int s = 0; s < thread_count; ++s)
        banded = banded || slice_draw(p, s, thread_count, false, SPLIT_SLICES) != DRAW_WHOLE;
    if (!banded) return true;
    sp.band_of_row.resize(static_cast<size_t>(p.height));
    const int band_rows = fill_band_rows(p.width);
    for (int s = 0; s < thread_count; ++s) {
        sp.slice_band.push_back(static_cast<int>(sp.bands.size()));
        const RowRange slice = slice_rows(p.height, s, thread_count);
        const int step = slice_draw(p, s, thread_count, false, SPLIT_SLICES) == DRAW_WHOLE
                             ? slice.end - slice.first
                             : band_rows;
        for (int top = slice.first; top < slice.end; top += step) {
            const int bottom = std::min(top + step, slice.end);
            for (int r = top; r < bottom; ++r)
                sp.band_of_row[static_cast<size_t>(r)] = static_cast<int>(sp.bands.size());
            sp.bands.push_back(RowRange{top, bottom});
        }
    }
    sp.slice_band.push_back(static_cast<int>(sp.bands.size()));
    sp.next_band.store(0, std::memory_order_relaxed);
    const size_t lists = static_cast<size_t>(thread_count) * sp.bands.size();
    if (sp.lists.size() < lists) sp.lists.resize(lists);
    for (BandList& list : sp.lists) list.size = 0;
    return true;
}

void raster_projection_pass(int thread_index, int thread_count) {
    SharedProjection& sp = shared_projection;
    if (!sp.ready || thread_count < 1 || thread_index < 0 || thread_index >= thread_count) return;
    // An equal run of the listed triangles per share, whatever parts they belong to.
    const int64_t first = sp.triangles * thread_index / thread_count;
    const int64_t end = sp.triangles * (thread_index + 1) / thread_count;
    if (first >= end) return;
    auto part = std::upper_bound(sp.parts.begin(), sp.parts.end(), first,
                                 [](int64_t i, const ProjectedPart& pp) { return i < pp.first; });
    FillParams q = sp.view;
    for (--part; part != sp.parts.end() && part->first < end; ++part) {
        q.tris =
            obj_table.parts[static_cast<size_t>(part->id)].tri_world[static_cast<size_t>(part->part)].data();
        const int64_t from = std::max(first, part->first) - part->first;
        const int64_t to = std::min(end, part->first + part->count) - part->first;
        fill_project_triangles(q, from, to, sp.xyz.data() + static_cast<size_t>(part->first + from) * 9);
    }
    // The run's triangles into the lists of the bands they reach: the rows a triangle draws lie between
    // its top and bottom vertex rounded as the filler rounds them (round_row, written for values the
    // test before has put inside the region), and a vertex that failed to project rejects it.
    if (sp.bands.empty()) return;
    BandList* lists = sp.lists.data() + static_cast<size_t>(thread_index) * sp.bands.size();
    for (size_t b = 0; b < sp.bands.size(); ++b) lists[b].size = 0;
    const float* xyz = sp.xyz.data();
    const int* band_of_row = sp.band_of_row.data();
    const int height = sp.view.height;
    const float height_f = static_cast<float>(height);
    for (int64_t i = first; i < end; ++i) {
        const float* v = xyz + i * 9;
        const float y0 = v[1], y1 = v[4], y2 = v[7];
        if (y0 != y0 || y1 != y1 || y2 != y2) continue;
        float lo = y1 < y0 ? y1 : y0, hi = y1 > y0 ? y1 : y0;
        lo = y2 < lo ? y2 : lo;
        hi = y2 > hi ? y2 : hi;
        if (!(hi >= 0.0f) || !(lo < height_f)) continue;
        const float top_f = lo + 0.5f, bottom_f = hi + 0.5f;
        const int top = top_f < 0.0f ? 0 : static_cast<int>(top_f);
        const int bottom = bottom_f >= height_f ? height : static_cast<int>(bottom_f);
        if (top >= bottom) continue;
        const int last = band_of_row[bottom - 1];
        for (int b = band_of_row[top]; b <= last; ++b) lists[b].push(static_cast<uint32_t>(i));
    }
}

void raster_projection_release() {
    shared_projection.ready = 0;
}

bool raster_clears_rows(int thread_count) {
    return !raster_state.plain && thread_count >= 1 && split_mode(thread_count) == SPLIT_SLICES;
}

void raster_pass(int thread_index, int thread_count) {
    if (thread_count < 1 || thread_index < 0 || thread_index >= thread_count) return;
    FillParams p;
    if (!frame_params(p)) return;

    const int mode = split_mode(thread_count);
    const bool plain = raster_state.plain != 0;
    const bool clears = raster_state.clear_rows != 0 && raster_clears_rows(thread_count);
    auto clear = [&](int top, int bottom) {
        if (clears) frame_clear_region_rows(top, bottom - top);
    };
    bool keeps_statistics;
    if (mode == SPLIT_SLICES) {
        keeps_statistics = thread_index == thread_count / 2;
        p.slice_index = thread_index;
        p.slice_count = thread_count;
    } else if (mode == SPLIT_PARTS) {
        keeps_statistics = true;
        p.slice_index = 0;
        p.slice_count = 1;
        p.shared_target = 1;
    } else {
        keeps_statistics = thread_index == 0;
        p.slice_count = -thread_count;
        p.shared_target = 1;
    }

    const SharedProjection& sp = shared_projection;
    const bool shared = !plain && mode == SPLIT_SLICES && sp.ready && sp.thread_count == thread_count &&
                        same_view(sp.view, p);
    const ObjectTable& t = obj_table;
    const TextureTable& tex = texture_table;
    int drawn = 0, culled = 0;
    // The part's texture, colour and arrays into p, and its triangles drawn (those of p.tri_list when
    // it is set, else all).
    auto draw_part = [&](ObjectId id, const PartArrays& pa, size_t pi, int count_tris) {
        const TextureId tid = pa.texture[pi];
        p.tex_pixels = nullptr;
        p.tex_width = p.tex_height = 0;
        p.tex_channels = 3;
        if (tid > 0 && tid < tex.capacity && tex.pixels[static_cast<size_t>(tid)]) {
            const size_t ti = static_cast<size_t>(tid);
            p.tex_pixels = tex.pixels[ti];
            p.tex_width = tex.width[ti];
            p.tex_height = tex.height[ti];
            p.tex_channels = tex.channels[ti];
        }
        const Color4 oc = t.color[static_cast<size_t>(id)];
        const Color4 pc = pa.part_color[pi];
        p.red = oc.r * pc.r;
        p.green = oc.g * pc.g;
        p.blue = oc.b * pc.b;
        p.alpha = oc.a * pc.a;
        p.tri_count = count_tris;
        p.tris = pa.tri_world[pi].data();
        const std::vector<float>& uv = pa.tri_uv[pi];
        const std::vector<float>& shade = pa.tri_shade[pi];
        p.uvs = uv.size() / 6 >= static_cast<size_t>(count_tris) ? uv.data() : nullptr;
        p.shade = shade.size() / 12 >= static_cast<size_t>(count_tris) ? shade.data() : nullptr;
        p.span_limit = t.span_limit[static_cast<size_t>(id)];
        p.no_depth_write = t.particle_count[static_cast<size_t>(id)] > 0;
        if (plain) {
            fill_part_triangles_reference(p);
        } else {
            fill_part_triangles(p);
        }
    };
    // Draws every part into the rows [band_top, band_bottom) of the share (all of it when equal),
    // projecting each itself; the statistics are kept by the walk that counts.
    auto walk = [&](int band_top, int band_bottom, bool count) {
        p.band_top = band_top;
        p.band_bottom = band_bottom;
        p.projected = nullptr;
        p.tri_list = nullptr;
        p.tri_list_count = 0;
        size_t next_projected = 0;
        for (ObjectId id = 0; id < t.object_capacity; ++id) {
            if (!t.has_geometry[id] || !t.enabled[id]) continue;
            const PartArrays& pa = t.parts[static_cast<size_t>(id)];
            const int part_count = obj_part_limit(id);
            for (int part = 0; part < part_count; ++part) {
                if (mode == SPLIT_PARTS && (id + part) % thread_count != thread_index) continue;
                const size_t pi = static_cast<size_t>(part);
                const int count_tris = part_triangles(pa, pi);
                if (count_tris == 0) continue;
                // The shared projection lists its parts in this walk's order.
                p.projected = nullptr;
                if (shared && next_projected < sp.parts.size()) {
                    const ProjectedPart& pp = sp.parts[next_projected];
                    if (pp.id == id && pp.part == part) {
                        if (pp.count == count_tris)
                            p.projected = sp.xyz.data() + static_cast<size_t>(pp.first) * 9;
                        ++next_projected;
                    }
                }
                if (!part_drawn(pa, pi, count_tris, p, p.slice_index, p.slice_count)) {
                    if (keeps_statistics && count) culled += pa.tri_count[pi];
                    continue;
                }
                if (keeps_statistics && count) drawn += pa.tri_count[pi];
                if (mode == SPLIT_INTERLEAVE) p.slice_index = (id + thread_index) % thread_count;
                draw_part(id, pa, pi, count_tris);
            }
        }
    };
    // Draws the triangles the shared projection listed for the band, part by part in the walk's order:
    // only the parts that reach the band are visited, and their view tests are the projection's.
    thread_local std::vector<uint32_t> band_list, part_list;
    auto walk_listed = [&](int band_top, int band_bottom) {
        p.band_top = band_top;
        p.band_bottom = band_bottom;
        const uint64_t slice_bit = uint64_t{1} << p.slice_index;
        auto next = sp.parts.cbegin();
        for (auto it = band_list.cbegin(); it != band_list.cend();) {
            // The part holding triangle *it: the last one starting at or before it.
            next = std::upper_bound(next, sp.parts.cend(), *it,
                                    [](uint32_t i, const ProjectedPart& pp) { return i < pp.first; });
            const ProjectedPart& pp = *(next - 1);
            const uint32_t from = static_cast<uint32_t>(pp.first);
            const auto stop =
                std::lower_bound(it, band_list.cend(), static_cast<uint32_t>(pp.first + pp.count));
            if ((pp.slices & slice_bit) != 0) {
                part_list.clear();
                for (; it != stop; ++it) part_list.push_back(*it - from);
                p.projected = sp.xyz.data() + static_cast<size_t>(pp.first) * 9;
                p.tri_list = part_list.data();
                p.tri_list_count = static_cast<int64_t>(part_list.size());
                const size_t pi = static_cast<size_t>(pp.part);
                draw_part(pp.id, t.parts[static_cast<size_t>(pp.id)], pi, pp.count);
            }
            it = stop;
        }
    };

    // In the slices split the thread's rows are drawn band by band: layers that each cover the slice,
    // or triangles spread all over it, then meet a band in the cache instead of fetching the target
    // from memory layer by layer or triangle by triangle. A frame of few triangles is simply walked
    // once per band (each walk projects them again); otherwise the filler keeps the set-up triangles
    // and replays them per band (see fill_defer_begin). With the shared projection's lists the bands are
    // the ones it listed the triangles for, and each band's walk reads only its own triangles: no slice
    // reads or rejects the others' triangles, and none is kept.
    const RowRange slice = slice_rows(p.height, p.slice_index, p.slice_count);
    const int slice_top = slice.first, slice_bottom = slice.end;
    const int band_rows = fill_band_rows(p.width);
    const SliceDraw how = slice_draw(p, p.slice_index, p.slice_count, plain, mode);
    if (shared && !sp.bands.empty() && static_cast<int>(sp.slice_band.size()) == thread_count + 1) {
        const size_t bands = sp.bands.size();
        // The statistics are those of slice thread_count / 2's walk, kept by whoever draws its first band.
        const int counting_band = sp.slice_band[static_cast<size_t>(thread_count / 2)];
        bool counted = false;
        for (;;) {
            const int b = sp.next_band.fetch_add(1, std::memory_order_relaxed);
            if (b >= static_cast<int>(bands)) break;
            // The band's own slice: its part tests and row limits are the ones that slice would use.
            const auto after = std::upper_bound(sp.slice_band.begin(), sp.slice_band.end() - 1, b);
            p.slice_index = static_cast<int>(after - sp.slice_band.begin()) - 1;
            band_list.clear();
            for (int w = 0; w < thread_count; ++w) {
                const BandList& l = sp.lists[static_cast<size_t>(w) * bands + static_cast<size_t>(b)];
                band_list.insert(band_list.end(), l.data.begin(),
                                 l.data.begin() + static_cast<ptrdiff_t>(l.size));
            }
            const RowRange rows = sp.bands[static_cast<size_t>(b)];
            if (b == counting_band) {
                counted = true;
                drawn = sp.drawn;
                culled = sp.culled;
            }
            clear(rows.first, rows.end);
            walk_listed(rows.first, rows.end);
        }
        keeps_statistics = counted;
    } else if (how == DRAW_WHOLE) {
        clear(slice_top, slice_bottom);
        walk(0, 0, true);
    } else if (how == DRAW_WALK_BANDS) {
        for (int top = slice_top; top < slice_bottom; top += band_rows) {
            const int bottom = std::min(top + band_rows, slice_bottom);
            clear(top, bottom);
            walk(top, bottom, top == slice_top);
        }
    } else {
        clear(slice_top, slice_bottom);
        fill_defer_begin(slice_top, slice_bottom, band_rows);
        walk(0, 0, true);
        fill_defer_end();
    }
    if (keeps_statistics && thread_index < RASTER_MAX_THREADS) {
        raster_state.share[thread_index].drawn += drawn;
        raster_state.share[thread_index].culled += culled;
    }
}

void raster_collect_statistics() {
    for (RasterState::Share& s : raster_state.share) {
        raster_state.polys_drawn += s.drawn;
        raster_state.polys_culled += s.culled;
        s.drawn = s.culled = 0;
    }
}

void raster_reset_statistics() {
    raster_state.polys_drawn = 0;
    raster_state.polys_culled = 0;
    for (RasterState::Share& s : raster_state.share) s.drawn = s.culled = 0;
}
