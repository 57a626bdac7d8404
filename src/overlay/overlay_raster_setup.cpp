// Per-command set-up of the tile rasteriser, shared by the fast loops and the plain reference so that
// the two differ only in how they walk and write pixels. Read-only on the draw list and textures; tile
// workers call it concurrently.
#include <algorithm>
#include <cmath>

#include "assets/texture.h"
#include "overlay/elements.h"
#include "overlay/overlay_raster.h"

namespace overlay_detail {

namespace {

// Corners beyond this many pixels are pulled in: spans stay computable and nothing drawn changes.
constexpr double COORD_LIMIT = 1e7;
// Texture coordinates are limited to 2^20 texels and steps to 2^12 texels per pixel, so that stepping
// along any row (up to 2^17 pixels) stays inside 64 bits.
constexpr double COORD_FIX_LIMIT = 4503599627370496.0;  // 2^52
constexpr double STEP_FIX_LIMIT = 17592186044416.0;     // 2^44
// Every start is moved this far (2^-20 texel) towards larger coordinates: a step rounded down loses at
// most half a unit per pixel, and a coordinate that lands exactly on a texel must stay on it.
constexpr double ROUNDING_BIAS = 4096.0;
// A point lies inside a triangle up to this much outside in barycentric units.
constexpr double INSIDE_SLACK = 0.00002;
// A quad that draws at least three pixels per texel in both directions samples the nearest texel.
constexpr double MAGNIFIED_TEXELS_PER_PIXEL = 0.33;
// A rectangle is copied texel for texel when its size matches its texture within one pixel and it is
// large enough for the copy to pay.
constexpr double COPY_MIN_WIDTH = 22, COPY_MIN_HEIGHT = 34;

// Scales a normalised coordinate to pixels; false for NaN.
bool to_pixels(float v, double scale, double& out) {
    const double p = static_cast<double>(v) * scale;
    if (std::isnan(p)) return false;
    out = std::clamp(p, -COORD_LIMIT, COORD_LIMIT);
    return true;
}

fix32 to_fix(double texels, double limit, double bias) {
    const double f = std::floor(texels * FIX32_ONE + 0.5) + bias;
    if (std::isnan(f)) return 0;
    return static_cast<fix32>(std::clamp(f, -limit, limit));
}

// The leftmost and rightmost crossing of the row line y = yc with the quad's edges; a horizontal edge
// never crosses, and an edge's lower end is outside, so shapes that share an edge share no row.
bool quad_row_range(const double* px, const double* py, double yc, double& lo, double& hi) {
    bool found = false;
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) & 3;
        const double ya = py[k], yb = py[n];
        if (ya == yb) continue;
        if (!((ya <= yc && yc < yb) || (yb <= yc && yc < ya))) continue;
        const double x = px[k] + (yc - ya) * (px[n] - px[k]) / (yb - ya);
        if (!found) {
            lo = hi = x;
            found = true;
        } else {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    }
    return found;
}

bool inside_triangle(double ax, double ay, double bx, double by, double cx, double cy, double x, double y) {
    const double v0x = cx - ax, v0y = cy - ay, v1x = bx - ax, v1y = by - ay, v2x = x - ax, v2y = y - ay;
    const double d00 = v0x * v0x + v0y * v0y, d01 = v0x * v1x + v0y * v1y, d11 = v1x * v1x + v1y * v1y;
    const double d20 = v2x * v0x + v2y * v0y, d21 = v2x * v1x + v2y * v1y;
    const double denom = d00 * d11 - d01 * d01;
    if (!(denom != 0)) return false;
    const double u = (d11 * d20 - d01 * d21) / denom, v = (d00 * d21 - d01 * d20) / denom;
    return u >= -INSIDE_SLACK && v >= -INSIDE_SLACK && u + v <= 1 + INSIDE_SLACK;
}

bool inside_quad(const double* px, const double* py, double x, double y) {
    return inside_triangle(px[0], py[0], px[1], py[1], px[2], py[2], x, y) ||
           inside_triangle(px[0], py[0], px[2], py[2], px[3], py[3], x, y);
}

}  // namespace

void command_setup(const DrawList& d, size_t i, int width, int height, CommandSetup& s,
                   const CommandSetup* same) {
    s = CommandSetup{};
    const int texture = d.texture[i];
    if (texture == DRAW_PLACEHOLDER) return;
    s.red = d.red[i];
    s.green = d.green[i];
    s.blue = d.blue[i];
    s.alpha = d.alpha[i];
    if (texture != 0) {
        // A texture that is not there (bad id, failed load) draws nothing rather than a solid block.
        if (texture < 1 || texture >= texture_table.capacity) return;
        const size_t t = static_cast<size_t>(texture);
        const int tw = texture_table.width[t], th = texture_table.height[t], ch = texture_table.channels[t];
        if (!texture_table.pixels[t] || tw <= 0 || th <= 0 || (ch != 3 && ch != 4)) return;
        s.tex = texture_table.pixels[t];
        s.tex_width = tw;
        s.tex_height = th;
        s.tex_channels = ch;
    }
    const double W = width, H = height;
    const float xs[4] = {d.x0[i], d.quad[i] ? d.x1[i] : d.x0[i], d.quad[i] ? d.x2[i] : d.x1[i],
                         d.quad[i] ? d.x3[i] : d.x1[i]};
    const float ys[4] = {d.y0[i], d.y1[i], d.quad[i] ? d.y2[i] : d.y1[i], d.quad[i] ? d.y3[i] : d.y0[i]};
    for (int k = 0; k < 4; ++k)
        if (!to_pixels(xs[k], W, s.px[k]) || !to_pixels(ys[k], H, s.py[k])) return;
    const float* clip = &d.clip[i * OVERLAY_CLIP_FLOATS];
    if (clip[0] >= -1.0f) {
        s.clipped = 1;
        for (int k = 0; k < 4; ++k)
            if (!to_pixels(clip[2 * k], W, s.cx[k]) || !to_pixels(clip[2 * k + 1], H, s.cy[k])) return;
    }
    // The image's u runs along the top edge (first to fourth corner), v down the left edge (first to
    // second): a pixel's offset from the first corner, solved in those two directions.
    const double e1x = s.px[3] - s.px[0], e1y = s.py[3] - s.py[0];
    const double e2x = s.px[1] - s.px[0], e2y = s.py[1] - s.py[0];
    const double det = e1x * e2y - e1y * e2x;
    if (!(std::fabs(det) > 1e-9)) return;
    double x_lo = std::min({s.px[0], s.px[1], s.px[2], s.px[3]}),
           x_hi = std::max({s.px[0], s.px[1], s.px[2], s.px[3]});
    double y_lo = std::min({s.py[0], s.py[1], s.py[2], s.py[3]}),
           y_hi = std::max({s.py[0], s.py[1], s.py[2], s.py[3]});
    if (s.clipped) {
        x_lo = std::max(x_lo, std::min({s.cx[0], s.cx[1], s.cx[2], s.cx[3]}));
        x_hi = std::min(x_hi, std::max({s.cx[0], s.cx[1], s.cx[2], s.cx[3]}));
        y_lo = std::max(y_lo, std::min({s.cy[0], s.cy[1], s.cy[2], s.cy[3]}));
        y_hi = std::min(y_hi, std::max({s.cy[0], s.cy[1], s.cy[2], s.cy[3]}));
    }
    s.box_x0 = static_cast<int>(std::floor(x_lo)) - 1;
    s.box_x1 = static_cast<int>(std::ceil(x_hi)) + 1;
    s.box_y0 = static_cast<int>(std::floor(y_lo)) - 1;
    s.box_y1 = static_cast<int>(std::ceil(y_hi)) + 1;
    s.occluder = s.alpha == 255 && (!s.tex || s.tex_channels == 3);
    s.solid_rect = !s.tex && !d.quad[i] && !s.clipped;
    s.upright = !d.quad[i];
    s.drawable = 1;
    if (!s.tex) return;

    // The window's ends fall on the first and the last pixel of each edge (with the inset, on the first
    // and the last texel), so an image drawn at its own size maps texel to pixel.
    const double len_u = std::hypot(e1x, e1y), len_v = std::hypot(e2x, e2y);
    const double su = len_u / std::max(len_u - 1.0, 1.0), sv = len_v / std::max(len_v - 1.0, 1.0);
    const double win_u = (static_cast<double>(d.u_max[i]) - d.u_min[i]) * s.tex_width;
    const double win_v = (static_cast<double>(d.v_max[i]) - d.v_min[i]) * s.tex_height;
    s.u_x = su * win_u * e2y / det;
    s.u_y = -su * win_u * e2x / det;
    s.u_c = static_cast<double>(d.u_min[i]) * s.tex_width - s.u_x * s.px[0] - s.u_y * s.py[0];
    s.v_x = -sv * win_v * e1y / det;
    s.v_y = sv * win_v * e1x / det;
    s.v_c = static_cast<double>(d.v_min[i]) * s.tex_height - s.v_x * s.px[0] - s.v_y * s.py[0];

    if (s.tex_width > FILTER_MAX_TEXELS || s.tex_height > FILTER_MAX_TEXELS) {
        s.mode = SAMPLE_NEAREST;
    } else if (d.quad[i] && std::fabs(win_u) <= MAGNIFIED_TEXELS_PER_PIXEL * len_u &&
               std::fabs(win_v) <= MAGNIFIED_TEXELS_PER_PIXEL * len_v) {
        s.mode = SAMPLE_NEAREST;
    } else {
        s.mode = SAMPLE_BILINEAR;
    }
    if (s.mode == SAMPLE_BILINEAR && s.tex_channels == 4 && same != nullptr && same->ink_known &&
        same->tex == s.tex && same->tex_width == s.tex_width && same->tex_height == s.tex_height) {
        std::copy(same->ink_first, same->ink_first + s.tex_height, s.ink_first);
        std::copy(same->ink_last, same->ink_last + s.tex_height, s.ink_last);
        s.ink_known = 1;
        s.rgb_uniform = same->rgb_uniform;
    } else if (s.mode == SAMPLE_BILINEAR && s.tex_channels == 4) {
        bool uniform = true;
        for (int y = 0; y < s.tex_height; ++y) {
            const uint8_t* row = s.tex + static_cast<size_t>(y) * static_cast<size_t>(s.tex_width) * 4;
            int first = s.tex_width, last = -1;
            for (int x = 0; x < s.tex_width; ++x) {
                const uint8_t* t = row + static_cast<size_t>(x) * 4;
                uniform = uniform && t[0] == s.tex[0] && t[1] == s.tex[1] && t[2] == s.tex[2];
                if (t[3] == 0) continue;
                if (first > x) first = x;
                last = x;
            }
            s.ink_first[y] = static_cast<uint8_t>(first);
            s.ink_last[y] = static_cast<uint8_t>(last < 0 ? 0 : last);
            if (last < 0) s.ink_first[y] = static_cast<uint8_t>(s.tex_width);
        }
        s.ink_known = 1;
        s.rgb_uniform = uniform;
    }
    const bool plain = s.alpha == 255 && s.red >= BYTE_FULL && s.green >= BYTE_FULL && s.blue >= BYTE_FULL;
    const bool full_window = d.u_min[i] == 0 && d.v_min[i] == 0 && d.u_max[i] > 0 && d.v_max[i] > 0;
    if (!d.quad[i] && !s.clipped && plain && full_window && s.tex_channels == 3 && e1x >= COPY_MIN_WIDTH &&
        e2y >= COPY_MIN_HEIGHT && std::fabs(e1x - s.tex_width) <= 1 && std::fabs(e2y - s.tex_height) <= 1) {
        s.mode = SAMPLE_COPY;
        s.copy_x = static_cast<int>(std::ceil(s.px[0] - 0.5));
        s.copy_y = static_cast<int>(std::ceil(s.py[0] - 0.5));
    }
}

bool command_row_span(const CommandSetup& s, int y, int lo, int hi, int& first, int& end) {
    const double yc = y + 0.5;
    double a, b;
    if (!quad_row_range(s.px, s.py, yc, a, b)) return false;
    if (s.clipped) {
        double c, e;
        if (!quad_row_range(s.cx, s.cy, yc, c, e)) return false;
        a = std::max(a, c);
        b = std::min(b, e);
    }
    // Pixels whose centre lies in [a, b).
    const double f = std::max(std::ceil(a - 0.5), static_cast<double>(lo));
    const double n = std::min(std::ceil(b - 0.5), static_cast<double>(hi));
    if (!(f < n)) return false;
    first = static_cast<int>(f);
    end = static_cast<int>(n);
    return true;
}

RowFix command_row_fix(const CommandSetup& s, int x, int y) {
    const double fx = x, fy = y;
    return RowFix{to_fix(s.u_c + s.u_x * fx + s.u_y * fy, COORD_FIX_LIMIT, ROUNDING_BIAS),
                  to_fix(s.u_x, STEP_FIX_LIMIT, 0),
                  to_fix(s.v_c + s.v_x * fx + s.v_y * fy, COORD_FIX_LIMIT, ROUNDING_BIAS),
                  to_fix(s.v_x, STEP_FIX_LIMIT, 0)};
}

fix32 command_row_v(const CommandSetup& s, int y) {
    // With v_x zero (either sign) the column's term adds a zero, which leaves the sum as it is or, where
    // the sum is itself zero, gives a zero of the other sign; either converts to the same fixed value.
    return to_fix(s.v_c + s.v_y * static_cast<double>(y), COORD_FIX_LIMIT, ROUNDING_BIAS);
}

bool command_groupable(const CommandSetup& s) {
    // The comparisons with zero are false for NaN: such a command keeps the general path.
    return s.drawable && s.upright && !s.clipped && s.tex && s.mode == SAMPLE_BILINEAR &&
           s.tex_channels == 4 && s.ink_known && s.rgb_uniform && s.v_x == 0 && s.u_y == 0 &&
           to_fix(s.u_x, STEP_FIX_LIMIT, 0) > 0;
}

namespace {

// Whether command s hides every pixel of the tile whose corner pixel centres are xs, ys.
bool covers_tile(const CommandSetup& s, const double* xs, const double* ys) {
    bool covers = s.drawable && s.occluder;
    for (int c = 0; covers && c < 4; ++c) {
        covers =
            inside_quad(s.px, s.py, xs[c], ys[c]) && (!s.clipped || inside_quad(s.cx, s.cy, xs[c], ys[c]));
    }
    return covers;
}

}  // namespace

TileStart tile_start_listed(const CommandSetup* setups, const int* drawable, int listed,
                            const TileBounds& t) {
    const double xs[4] = {t.x0 + 0.5, t.x1 - 0.5, t.x0 + 0.5, t.x1 - 0.5};
    const double ys[4] = {t.y0 + 0.5, t.y0 + 0.5, t.y1 - 0.5, t.y1 - 0.5};
    for (int k = listed - 1; k >= 0; --k) {
        const int i = drawable[k];
        const CommandSetup& s = setups[i];
        if (!covers_tile(s, xs, ys)) continue;
        if (s.solid_rect) return TileStart{i + 1, 1, i};
        return TileStart{i, 0, -1};
    }
    return TileStart{0, 0, -1};
}

TileStart tile_start(const DrawList& d, const CommandSetup* setups, int count, const TileBounds& t) {
    // The tile's corner pixels, by their centres: a shape that covers them covers every pixel between.
    const double xs[4] = {t.x0 + 0.5, t.x1 - 0.5, t.x0 + 0.5, t.x1 - 0.5};
    const double ys[4] = {t.y0 + 0.5, t.y0 + 0.5, t.y1 - 0.5, t.y1 - 0.5};
    // Runs of text padding are skipped eight at a time.
    constexpr int PLACEHOLDER_RUN = 8;
    for (int i = count - 1; i >= 0;) {
        const size_t k = static_cast<size_t>(i);
        if (d.texture[k] == DRAW_PLACEHOLDER) {
            bool run = i >= PLACEHOLDER_RUN - 1;
            for (int j = 1; run && j < PLACEHOLDER_RUN; ++j)
                run = d.texture[k - static_cast<size_t>(j)] == DRAW_PLACEHOLDER;
            i -= run ? PLACEHOLDER_RUN : 1;
            continue;
        }
        const CommandSetup& s = setups[k];
        if (covers_tile(s, xs, ys)) {
            if (s.solid_rect) return TileStart{i + 1, 1, i};
            return TileStart{i, 0, -1};
        }
        --i;
    }
    return TileStart{0, 0, -1};
}

}  // namespace overlay_detail
