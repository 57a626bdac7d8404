// The tile rasteriser: brings the overlay buffer up to date by redrawing only the dirty tiles, spread over
// tile workers (slots 34 on) that write disjoint tiles. overlay_rasterize runs on the thread that built the
// draw list; the per-command span loops are compiled for exactly what a command needs.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "core/cpu.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "overlay/overlay.h"
#include "overlay/overlay_raster.h"

using namespace overlay_detail;

namespace {

// Set up once per rasterize by its thread before any tile worker starts; the workers only read it.
struct RasterScratch {
    std::vector<CommandSetup> setup;  // one per command of the frame; placeholders: drawable only
    std::vector<int> drawable;        // indices of the commands that draw, in order
    // Per entry of `drawable`: how many entries from it on are drawn together by draw_group (up to the
    // end of its group); 1: drawn alone.
    std::vector<uint8_t> group_run;
    int drawn[OVERLAY_TILE_THREADS_MAX] = {};  // tiles drawn per slice
};
RasterScratch raster_scratch;

// The pixels [0, n) of one span in a solid colour.
void solid_span(uint8_t* p, int n, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (a <= ALPHA_NOTHING) return;
    if (a >= ALPHA_REPLACE) {
        for (; n > 0; --n, p += 4) {
            p[0] = static_cast<uint8_t>(r);
            p[1] = static_cast<uint8_t>(g);
            p[2] = static_cast<uint8_t>(b);
            p[3] = static_cast<uint8_t>(a);
        }
        return;
    }
    for (; n > 0; --n, p += 4) put_pixel(p, r, g, b, a);
}

// One textured span: the texture coordinates step by a constant per pixel; every feature test is
// resolved at compile time.
template <bool Bilinear, bool Alpha4, bool Tint, bool Fade>
void texture_span(uint8_t* p, int n, RowFix f, const CommandSetup& s) {
    constexpr size_t step = Alpha4 ? 4 : 3;
    const uint8_t* tex = s.tex;
    const int tw = s.tex_width, th = s.tex_height;
    const size_t row_bytes = static_cast<size_t>(tw) * step;
    const uint32_t mr = multiplier(s.red), mg = multiplier(s.green), mb = multiplier(s.blue);
    const uint32_t ma = multiplier(s.alpha);
    fix32 u = f.u, v = f.v;
    for (; n > 0; --n, p += 4, u += f.du, v += f.dv) {
        uint32_t r, g, b, a = 255;
        if constexpr (Bilinear) {
            const uint8_t* t0 = tex + static_cast<size_t>(texel_index(v, th)) * row_bytes;
            const uint8_t* t1 =
                tex + static_cast<size_t>(texel_index(v + (fix32{1} << FIX32_SHIFT), th)) * row_bytes;
            const size_t c0 = static_cast<size_t>(texel_index(u, tw)) * step;
            const size_t c1 = static_cast<size_t>(texel_index(u + (fix32{1} << FIX32_SHIFT), tw)) * step;
            const uint32_t fx = static_cast<uint32_t>((u >> WEIGHT_SHIFT) & 255),
                           fy = static_cast<uint32_t>((v >> WEIGHT_SHIFT) & 255);
            const uint32_t gx = 256 - fx, gy = 256 - fy;
            r = ((t0[c0] * gx + t0[c1] * fx) * gy + (t1[c0] * gx + t1[c1] * fx) * fy) >> 16;
            g = ((t0[c0 + 1] * gx + t0[c1 + 1] * fx) * gy + (t1[c0 + 1] * gx + t1[c1 + 1] * fx) * fy) >> 16;
            b = ((t0[c0 + 2] * gx + t0[c1 + 2] * fx) * gy + (t1[c0 + 2] * gx + t1[c1 + 2] * fx) * fy) >> 16;
            if constexpr (Alpha4)
                a = ((t0[c0 + 3] * gx + t0[c1 + 3] * fx) * gy + (t1[c0 + 3] * gx + t1[c1 + 3] * fx) * fy) >>
                    16;
        } else {
            const uint8_t* t = tex + static_cast<size_t>(texel_index(v, th)) * row_bytes +
                               static_cast<size_t>(texel_index(u, tw)) * step;
            r = t[0];
            g = t[1];
            b = t[2];
            if constexpr (Alpha4) a = t[3];
        }
        if constexpr (Tint) {
            r = (r * mr) >> 8;
            g = (g * mg) >> 8;
            b = (b * mb) >> 8;
        }
        if constexpr (Fade) a = (a * ma) >> 8;
        put_pixel(p, r, g, b, a);
    }
}

// A texel's bytes as one word, for telling texels apart, and the bytes of the colour in such a word.
template <size_t Step>
inline uint32_t texel_word(const uint8_t* t) {
    uint32_t w = 0;
    std::memcpy(&w, t, Step);
    return w;
}
constexpr uint32_t RGB_BYTES = std::bit_cast<uint32_t>(std::array<uint8_t, 4>{255, 255, 255, 0});

// A filtered span along a row of the image (v fixed, u growing: an upright rectangle, as glyphs are)
// taken a cell at a time: a cell is the run of pixels between two texel columns, where the same four
// texels are mixed and only the horizontal weight changes. The sums are the plain span's, regrouped
// (exact in integers): each column's vertical mix once per cell, then one horizontal mix per pixel.
// A cell whose four texels are equal is that texel throughout, and one that draws nothing (the empty
// parts of a glyph, most of its area) is stepped over at once.
template <bool Alpha4, bool Tint, bool Fade>
void texture_row_span(uint8_t* p, int n, RowFix f, const CommandSetup& s) {
    constexpr size_t step = Alpha4 ? 4 : 3;
    constexpr fix32 one = fix32{1} << FIX32_SHIFT;
    const int tw = s.tex_width;
    const size_t row_bytes = static_cast<size_t>(tw) * step;
    const uint8_t* t0 = s.tex + static_cast<size_t>(texel_index(f.v, s.tex_height)) * row_bytes;
    const uint8_t* t1 = s.tex + static_cast<size_t>(texel_index(f.v + one, s.tex_height)) * row_bytes;
    const uint32_t fy = static_cast<uint32_t>((f.v >> WEIGHT_SHIFT) & 255), gy = 256 - fy;
    const uint32_t mr = multiplier(s.red), mg = multiplier(s.green), mb = multiplier(s.blue);
    const uint32_t ma = multiplier(s.alpha);
    fix32 u = f.u;
    const double per_du = 1.0 / static_cast<double>(f.du);
    // Columns that may have ink in either texel row (as texel indices): cells outside draw nothing.
    int ink_first = 0, ink_last = tw - 1;
    if (Alpha4 && s.ink_known) {
        const int r0 = texel_index(f.v, s.tex_height), r1 = texel_index(f.v + one, s.tex_height);
        ink_first = std::min(s.ink_first[r0], s.ink_first[r1]);
        ink_last = std::max(s.ink_first[r0] <= s.ink_last[r0] ? s.ink_last[r0] : -1,
                            s.ink_first[r1] <= s.ink_last[r1] ? s.ink_last[r1] : -1);
        if (ink_last < 0) return;
    }
    while (n > 0) {
        // Past the last inked column nothing more draws (u only grows); before the first, the cells up to
        // the one whose right texel is that column are stepped over at once.
        if (texel_index(u, tw) > ink_last) return;
        if (texel_index(u + one, tw) < ink_first) {
            const fix32 to = static_cast<fix32>(ink_first - 1) * one;
            const fix32 skip = steps_until(u, f.du, to, per_du);
            if (skip >= n) return;
            const int k = static_cast<int>(skip);
            p += static_cast<size_t>(k) * 4;
            u += f.du * k;
            n -= k;
            continue;
        }
        // Pixels left in this cell: those before u reaches the next texel column.
        const fix32 next = ((u >> FIX32_SHIFT) + 1) * one;
        const fix32 in_cell = steps_until(u, f.du, next, per_du);
        const int run = in_cell < n ? static_cast<int>(in_cell) : n;
        const uint8_t* a0 = t0 + static_cast<size_t>(texel_index(u, tw)) * step;
        const uint8_t* a1 = t0 + static_cast<size_t>(texel_index(u + one, tw)) * step;
        const uint8_t* b0 = t1 + (a0 - t0);
        const uint8_t* b1 = t1 + (a1 - t0);
        const uint32_t w = texel_word<step>(a0);
        const uint32_t differ =
            (w ^ texel_word<step>(a1)) | (w ^ texel_word<step>(b0)) | (w ^ texel_word<step>(b1));
        if (differ == 0) {
            uint32_t r = a0[0], g = a0[1], b = a0[2], a = Alpha4 ? a0[3] : 255u;
            if constexpr (Tint) {
                r = (r * mr) >> 8;
                g = (g * mg) >> 8;
                b = (b * mb) >> 8;
            }
            if constexpr (Fade) a = (a * ma) >> 8;
            if (a > ALPHA_NOTHING) {
                uint8_t* q = p;
                for (int k = 0; k < run; ++k, q += 4) put_pixel(q, r, g, b, a);
            }
            u += f.du * run;
        } else if (Alpha4 && (differ & RGB_BYTES) == 0) {
            // Only the alpha differs (a glyph's edge: white ink, tinted once): one mix per pixel.
            uint32_t r = a0[0], g = a0[1], b = a0[2];
            if constexpr (Tint) {
                r = (r * mr) >> 8;
                g = (g * mg) >> 8;
                b = (b * mb) >> 8;
            }
            const uint32_t left = a0[3] * gy + b0[3] * fy, right = a1[3] * gy + b1[3] * fy;
            uint8_t* q = p;
            for (int k = 0; k < run; ++k, q += 4, u += f.du) {
                const uint32_t fx = static_cast<uint32_t>((u >> WEIGHT_SHIFT) & 255);
                uint32_t a = (left * (256 - fx) + right * fx) >> 16;
                if constexpr (Fade) a = (a * ma) >> 8;
                put_pixel(q, r, g, b, a);
            }
        } else {
            uint32_t left[4], right[4];
            for (size_t k = 0; k < step; ++k) {
                left[k] = a0[k] * gy + b0[k] * fy;
                right[k] = a1[k] * gy + b1[k] * fy;
            }
            uint8_t* q = p;
            for (int k = 0; k < run; ++k, q += 4, u += f.du) {
                const uint32_t fx = static_cast<uint32_t>((u >> WEIGHT_SHIFT) & 255), gx = 256 - fx;
                uint32_t r = (left[0] * gx + right[0] * fx) >> 16;
                uint32_t g = (left[1] * gx + right[1] * fx) >> 16;
                uint32_t b = (left[2] * gx + right[2] * fx) >> 16;
                uint32_t a = 255;
                if constexpr (Alpha4) a = (left[3] * gx + right[3] * fx) >> 16;
                if constexpr (Tint) {
                    r = (r * mr) >> 8;
                    g = (g * mg) >> 8;
                    b = (b * mb) >> 8;
                }
                if constexpr (Fade) a = (a * ma) >> 8;
                put_pixel(q, r, g, b, a);
            }
        }
        p += static_cast<size_t>(run) * 4;
        n -= run;
    }
}

using TextureSpan = void (*)(uint8_t*, int, RowFix, const CommandSetup&);

TextureSpan pick_row_span(bool alpha4, bool tint, bool fade) {
    const int k = (alpha4 ? 4 : 0) | (tint ? 2 : 0) | (fade ? 1 : 0);
    static constexpr TextureSpan spans[8] = {
        texture_row_span<false, false, false>, texture_row_span<false, false, true>,
        texture_row_span<false, true, false>,  texture_row_span<false, true, true>,
        texture_row_span<true, false, false>,  texture_row_span<true, false, true>,
        texture_row_span<true, true, false>,   texture_row_span<true, true, true>};
    return spans[k];
}

template <bool Bilinear>
TextureSpan pick_span(bool alpha4, bool tint, bool fade) {
    const int k = (alpha4 ? 4 : 0) | (tint ? 2 : 0) | (fade ? 1 : 0);
    static constexpr TextureSpan spans[8] = {
        texture_span<Bilinear, false, false, false>, texture_span<Bilinear, false, false, true>,
        texture_span<Bilinear, false, true, false>,  texture_span<Bilinear, false, true, true>,
        texture_span<Bilinear, true, false, false>,  texture_span<Bilinear, true, false, true>,
        texture_span<Bilinear, true, true, false>,   texture_span<Bilinear, true, true, true>};
    return spans[k];
}

// The covered pixels of the tile's rows. An upright rectangle without a clip has vertical sides, so
// every row it covers has the same span: the general search runs once (it gives that span on any row).
struct RowSpans {
    const CommandSetup& s;
    int lo, hi;     // the tile's columns
    int known = 0;  // upright: 0 not searched yet, 1 the span below, -1 no pixel
    int first = 0, end = 0;

    bool get(int y, int& f, int& e) {
        if (!s.upright || s.clipped) return command_row_span(s, y, lo, hi, f, e);
        const double yc = y + 0.5;
        if (!(s.py[0] <= yc && yc < s.py[1])) return false;
        if (known == 0) known = command_row_span(s, y, lo, hi, first, end) ? 1 : -1;
        f = first;
        e = end;
        return known > 0;
    }
};

// The command's pixels inside the tile (whose bounds the caller has limited to the command's box).
void draw_command(uint8_t* buffer, int width, const CommandSetup& s, const TileBounds& t) {
    const size_t w = static_cast<size_t>(width);
    RowSpans spans{s, t.x0, t.x1};
    if (!s.tex) {
        const uint32_t a = (255u * multiplier(s.alpha)) >> 8;
        for (int y = t.y0; y < t.y1; ++y) {
            int first, end;
            if (!spans.get(y, first, end)) continue;
            solid_span(buffer + (static_cast<size_t>(y) * w + static_cast<size_t>(first)) * 4, end - first,
                       s.red, s.green, s.blue, a);
        }
        return;
    }
    if (s.mode == SAMPLE_COPY) {
        for (int y = t.y0; y < t.y1; ++y) {
            int first, end;
            if (!spans.get(y, first, end)) continue;
            const int ty = std::clamp(y - s.copy_y, 0, s.tex_height - 1);
            const uint8_t* row = s.tex + static_cast<size_t>(ty) * static_cast<size_t>(s.tex_width) * 3;
            uint8_t* p = buffer + (static_cast<size_t>(y) * w + static_cast<size_t>(first)) * 4;
            for (int x = first; x < end; ++x, p += 4) {
                const uint8_t* c =
                    row + static_cast<size_t>(std::clamp(x - s.copy_x, 0, s.tex_width - 1)) * 3;
                p[0] = c[0];
                p[1] = c[1];
                p[2] = c[2];
                p[3] = 255;
            }
        }
        return;
    }
    const bool alpha4 = s.tex_channels == 4;
    const bool tint = s.red < BYTE_FULL || s.green < BYTE_FULL || s.blue < BYTE_FULL;
    const bool fade = s.alpha < BYTE_FULL;
    const TextureSpan span = s.mode == SAMPLE_BILINEAR ? pick_span<true>(alpha4, tint, fade)
                                                       : pick_span<false>(alpha4, tint, fade);
    const TextureSpan row_span = s.mode == SAMPLE_BILINEAR ? pick_row_span(alpha4, tint, fade) : span;
    for (int y = t.y0; y < t.y1; ++y) {
        int first, end;
        if (!spans.get(y, first, end)) continue;
        const RowFix f = command_row_fix(s, first, y);
        (f.dv == 0 && f.du > 0 ? row_span : span)(
            buffer + (static_cast<size_t>(y) * w + static_cast<size_t>(first)) * 4, end - first, f, s);
    }
}

void draw_tile(int row, int column) {
    OverlayState& os = overlay_state;
    const int width = os.buffer_width;
    const TileBounds t = tile_bounds(row, column, width, os.buffer_height);
    if (t.x0 >= t.x1 || t.y0 >= t.y1) return;
    const CommandSetup* setups = raster_scratch.setup.data();
    // Text pads its glyphs with many placeholders: the tile walks only the commands that draw.
    const int* drawable = raster_scratch.drawable.data();
    const int listed = static_cast<int>(raster_scratch.drawable.size());
    const TileStart start = tile_start_listed(setups, drawable, listed, t);
    uint8_t* buffer = os.buffer.data();
    const size_t w = static_cast<size_t>(width);
    const size_t row_bytes = static_cast<size_t>(t.x1 - t.x0) * 4;
    for (int y = t.y0; y < t.y1; ++y) {
        uint8_t* p = buffer + (static_cast<size_t>(y) * w + static_cast<size_t>(t.x0)) * 4;
        if (start.fill) {
            const CommandSetup& s = setups[start.fill_index];
            solid_span(p, t.x1 - t.x0, s.red, s.green, s.blue, 255);
        } else {
            std::memset(p, 0, row_bytes);
        }
    }
    const int* from = std::lower_bound(drawable, drawable + listed, start.first);
    const uint8_t* group_run = raster_scratch.group_run.data();
    auto touches = [&t](const CommandSetup& s) {
        return !(s.box_x1 <= t.x0 || s.box_x0 >= t.x1 || s.box_y1 <= t.y0 || s.box_y0 >= t.y1);
    };
    bool drawn = start.fill != 0;
    for (const int* k = from; k < drawable + listed;) {
        const int run = group_run[k - drawable];
        if (run > 1) {
            const CommandSetup* members[GROUP_MAX];
            int n = 0, y0 = t.y1, y1 = t.y0;
            for (int j = 0; j < run; ++j) {
                const CommandSetup& s = setups[k[j]];
                if (!touches(s)) continue;
                members[n++] = &s;
                y0 = std::min(y0, s.box_y0);
                y1 = std::max(y1, s.box_y1);
            }
            if (n > 0) {
                const TileBounds rows{t.x0, std::max(t.y0, y0), t.x1, std::min(t.y1, y1)};
                if (!draw_group(buffer, width, members, n, rows)) {
                    for (int j = 0; j < n; ++j) {
                        const CommandSetup& s = *members[j];
                        draw_command(
                            buffer, width, s,
                            TileBounds{t.x0, std::max(t.y0, s.box_y0), t.x1, std::min(t.y1, s.box_y1)});
                    }
                }
                drawn = true;
            }
            k += run;
            continue;
        }
        const CommandSetup& s = setups[*k];
        ++k;
        if (!touches(s)) continue;
        const TileBounds rows{t.x0, std::max(t.y0, s.box_y0), t.x1, std::min(t.y1, s.box_y1)};
        draw_command(buffer, width, s, rows);
        drawn = true;
    }
    os.tile_empty[row * OVERLAY_TILES + column] = drawn ? 0 : 1;
}

// Runs of groupable commands on the same glyph texture, up to GROUP_MAX: an outlined character's copies
// and ink (text padding between them draws nothing, so they follow each other in the drawable list).
void group_commands() {
    const std::vector<int>& drawable = raster_scratch.drawable;
    const std::vector<CommandSetup>& setups = raster_scratch.setup;
    std::vector<uint8_t>& run = raster_scratch.group_run;
    run.assign(drawable.size(), 1);
    for (size_t k = 0; k < drawable.size();) {
        const CommandSetup& head = setups[static_cast<size_t>(drawable[k])];
        size_t end = k + 1;
        if (command_groupable(head)) {
            while (end < drawable.size() && end - k < GROUP_MAX) {
                const CommandSetup& s = setups[static_cast<size_t>(drawable[end])];
                if (s.tex != head.tex || !command_groupable(s)) break;
                ++end;
            }
        }
        for (size_t j = k; j < end; ++j) run[j] = static_cast<uint8_t>(end - j);
        k = end;
    }
}

void tile_worker(int slot) {
    overlay_rasterize_slice(slot - WORKER_SLOT_OVERLAY_TILES, overlay_state.tile_slices);
}

int tile_thread_count() {
    const int cpus = cpu_count();
    int threads = std::min(cpus, 8);
    const int mode = overlay_state.effects.thread_mode;
    if ((mode == 1 || mode == 2) && cpus > 2) threads = mode == 1 ? cpus + 2 : cpus * 2;
    return std::min(threads, OVERLAY_TILE_THREADS_MAX);
}

}  // namespace

void overlay_buffer_ensure(int width, int height) {
    OverlayState& os = overlay_state;
    if (width <= 0 || height <= 0) return;
    if (os.buffer_width == width && os.buffer_height == height && !os.buffer.empty()) return;
    // Room for (W + 2) x (H + 2) pixels: readers of a row's last pixel may look one pixel past it.
    const uint64_t pixels = (static_cast<uint64_t>(width) + 2) * (static_cast<uint64_t>(height) + 2);
    if (pixels > std::numeric_limits<size_t>::max() / 4) return;
    os.buffer.assign(static_cast<size_t>(pixels) * 4, 0);
    os.buffer_width = width;
    os.buffer_height = height;
    std::memset(os.tile_empty, 0, sizeof os.tile_empty);
    dirty_mark_all();
}

void overlay_buffer_clear() {
    std::fill(overlay_state.buffer.begin(), overlay_state.buffer.end(), uint8_t{0});
    std::memset(overlay_state.tile_empty, 0, sizeof overlay_state.tile_empty);
    dirty_mark_all();
}

void overlay_rasterize_slice(int slice, int slices) {
    OverlayState& os = overlay_state;
    if (os.draw.capacity == 0 || os.buffer.empty()) return;
    int n = 0, drawn = 0;
    for (int r = 0; r < OVERLAY_TILES; ++r) {
        for (int c = 0; c < OVERLAY_TILES; ++c) {
            if (!os.dirty[r * OVERLAY_GRID + c]) continue;
            const bool mine = slices < 2 || n % slices == slice;
            ++n;
            if (!mine) continue;
            draw_tile(r, c);
            ++drawn;
        }
    }
    if (slice >= 0 && slice < OVERLAY_TILE_THREADS_MAX) raster_scratch.drawn[slice] = drawn;
}

void overlay_rasterize() {
    OverlayState& os = overlay_state;
    DrawList& d = os.draw;
    overlay_buffer_ensure(frame_buffer.fb_width, frame_buffer.fb_height);
    // Commands of the last frame beyond this frame's count disappeared: their tiles are redrawn without
    // them, and their slots forget them so a later frame reaching that index counts as a change.
    for (int i = d.count; i < d.previous_count && i < d.capacity; ++i) {
        const size_t k = static_cast<size_t>(i);
        if (d.texture[k] != DRAW_PLACEHOLDER) draw_list_mark_stored(d, k);
        draw_list_clear_slot(d, k);
    }
    d.previous_count = d.count;

    os.tiles_drawn = 0;
    os.tile_threads = 0;
    int dirty = 0;
    for (int r = 0; r < OVERLAY_TILES; ++r)
        for (int c = 0; c < OVERLAY_TILES; ++c) dirty += os.dirty[r * OVERLAY_GRID + c];
    // A frame whose commands all stand where they stood draws no tile and needs no set-up.
    if (!os.buffer.empty() && dirty > 0) {
        raster_scratch.setup.resize(static_cast<size_t>(d.count));
        raster_scratch.drawable.clear();
        for (int i = 0; i < d.count; ++i) {
            CommandSetup& s = raster_scratch.setup[static_cast<size_t>(i)];
            if (d.texture[static_cast<size_t>(i)] == DRAW_PLACEHOLDER) {
                s.drawable = 0;
                continue;
            }
            const CommandSetup* before =
                raster_scratch.drawable.empty()
                    ? nullptr
                    : &raster_scratch.setup[static_cast<size_t>(raster_scratch.drawable.back())];
            command_setup(d, static_cast<size_t>(i), os.buffer_width, os.buffer_height, s, before);
            if (s.drawable) raster_scratch.drawable.push_back(i);
        }
        group_commands();
        int threads = tile_thread_count();
        for (int& n : raster_scratch.drawn) n = 0;
        if (threads < 2 || dirty < 2) {
            if (dirty > 0) {
                overlay_rasterize_slice(0, 0);
                os.tile_threads = 1;
            }
        } else {
            threads = std::min(threads, dirty);
            os.tile_slices = threads;
            for (int k = 1; k < threads; ++k) worker_start(k + WORKER_SLOT_OVERLAY_TILES, tile_worker);
            overlay_rasterize_slice(0, threads);
            for (int k = 1; k < threads; ++k) worker_join(k + WORKER_SLOT_OVERLAY_TILES);
            os.tile_threads = threads;
        }
        for (const int n : raster_scratch.drawn) os.tiles_drawn += n;
    }
    std::memset(os.dirty, 0, sizeof os.dirty);
    d.count = 0;
}
