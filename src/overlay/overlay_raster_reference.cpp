// The plain tile rasteriser: the fast one's set-up and occluder search, then every pixel decided on its
// own, every texture coordinate computed from its span start and every rule written out. Tests hold the
// fast tile loops to it.
#include <algorithm>
#include <vector>

#include "overlay/overlay.h"
#include "overlay/overlay_raster.h"

using namespace overlay_detail;

namespace {

struct Texel {
    uint32_t r, g, b, a;
};

Texel texel_at(const CommandSetup& s, int column, int row) {
    const uint8_t* t =
        s.tex + (static_cast<size_t>(row) * static_cast<size_t>(s.tex_width) + static_cast<size_t>(column)) *
                    static_cast<size_t>(s.tex_channels);
    return Texel{t[0], t[1], t[2], s.tex_channels == 4 ? t[3] : 255u};
}

Texel sample(const CommandSetup& s, fix32 u, fix32 v) {
    if (s.mode == SAMPLE_NEAREST)
        return texel_at(s, texel_index(u, s.tex_width), texel_index(v, s.tex_height));
    const fix32 one = fix32{1} << FIX32_SHIFT;
    const int c0 = texel_index(u, s.tex_width), c1 = texel_index(u + one, s.tex_width);
    const int r0 = texel_index(v, s.tex_height), r1 = texel_index(v + one, s.tex_height);
    const uint32_t fx = static_cast<uint32_t>((u >> WEIGHT_SHIFT) & 255),
                   fy = static_cast<uint32_t>((v >> WEIGHT_SHIFT) & 255);
    const Texel a = texel_at(s, c0, r0), b = texel_at(s, c1, r0), c = texel_at(s, c0, r1),
                d = texel_at(s, c1, r1);
    auto mix = [&](uint32_t p, uint32_t q, uint32_t r, uint32_t w) {
        return ((p * (256 - fx) + q * fx) * (256 - fy) + (r * (256 - fx) + w * fx) * fy) >> 16;
    };
    return Texel{mix(a.r, b.r, c.r, d.r), mix(a.g, b.g, c.g, d.g), mix(a.b, b.b, c.b, d.b),
                 mix(a.a, b.a, c.a, d.a)};
}

void write_pixel(uint8_t* p, Texel c) {
    if (c.a <= 2) return;
    if (c.a >= 253 || p[3] == 0) {
        p[0] = static_cast<uint8_t>(c.r);
        p[1] = static_cast<uint8_t>(c.g);
        p[2] = static_cast<uint8_t>(c.b);
        p[3] = static_cast<uint8_t>(c.a);
        return;
    }
    p[0] = static_cast<uint8_t>((p[0] * (255 - c.a) + c.r * c.a) >> 8);
    p[1] = static_cast<uint8_t>((p[1] * (255 - c.a) + c.g * c.a) >> 8);
    p[2] = static_cast<uint8_t>((p[2] * (255 - c.a) + c.b * c.a) >> 8);
    p[3] = static_cast<uint8_t>(std::min(255u, p[3] + c.a));
}

void draw_pixel(uint8_t* p, const CommandSetup& s, int x, int y, const RowFix& f, int k) {
    Texel c;
    if (!s.tex) {
        c = Texel{s.red, s.green, s.blue, 255};
    } else if (s.mode == SAMPLE_COPY) {
        c = texel_at(s, std::clamp(x - s.copy_x, 0, s.tex_width - 1),
                     std::clamp(y - s.copy_y, 0, s.tex_height - 1));
        c.a = 255;
        p[0] = static_cast<uint8_t>(c.r);
        p[1] = static_cast<uint8_t>(c.g);
        p[2] = static_cast<uint8_t>(c.b);
        p[3] = 255;
        return;
    } else {
        c = sample(s, f.u + f.du * k, f.v + f.dv * k);
        if (s.red < 254) c.r = (c.r * s.red) >> 8;
        if (s.green < 254) c.g = (c.g * s.green) >> 8;
        if (s.blue < 254) c.b = (c.b * s.blue) >> 8;
    }
    if (s.alpha < 254) c.a = (c.a * s.alpha) >> 8;
    write_pixel(p, c);
}

}  // namespace

void overlay_rasterize_slice_reference(int slice, int slices) {
    OverlayState& os = overlay_state;
    const DrawList& d = os.draw;
    if (d.capacity == 0 || os.buffer.empty()) return;
    const int width = os.buffer_width, height = os.buffer_height;
    std::vector<CommandSetup> setups(static_cast<size_t>(d.count));
    for (int i = 0; i < d.count; ++i)
        command_setup(d, static_cast<size_t>(i), width, height, setups[static_cast<size_t>(i)]);
    int n = 0;
    for (int r = 0; r < OVERLAY_TILES; ++r) {
        for (int c = 0; c < OVERLAY_TILES; ++c) {
            if (!os.dirty[r * OVERLAY_GRID + c]) continue;
            const bool mine = slices < 2 || n % slices == slice;
            ++n;
            if (!mine) continue;
            const TileBounds t = tile_bounds(r, c, width, height);
            if (t.x0 >= t.x1 || t.y0 >= t.y1) continue;
            os.tile_empty[r * OVERLAY_TILES + c] = 0;
            const TileStart start = tile_start(d, setups.data(), d.count, t);
            for (int y = t.y0; y < t.y1; ++y) {
                for (int x = t.x0; x < t.x1; ++x) {
                    uint8_t* p = &os.buffer[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                                             static_cast<size_t>(x)) *
                                            4];
                    if (start.fill) {
                        const CommandSetup& s = setups[static_cast<size_t>(start.fill_index)];
                        p[0] = s.red;
                        p[1] = s.green;
                        p[2] = s.blue;
                        p[3] = 255;
                    } else {
                        p[0] = p[1] = p[2] = p[3] = 0;
                    }
                }
            }
            for (int i = start.first; i < d.count; ++i) {
                const CommandSetup& s = setups[static_cast<size_t>(i)];
                if (!s.drawable) continue;
                for (int y = t.y0; y < t.y1; ++y) {
                    int first, end;
                    if (!command_row_span(s, y, t.x0, t.x1, first, end)) continue;
                    const RowFix f = command_row_fix(s, first, y);
                    for (int x = first; x < end; ++x) {
                        uint8_t* p = &os.buffer[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                                                 static_cast<size_t>(x)) *
                                                4];
                        draw_pixel(p, s, x, y, f, x - first);
                    }
                }
            }
        }
    }
}
