// The figure builder proper: pictures sampled into the middle slices of a voxel cube, the silhouette
// analysis, thickening into a body, hollowing, meshing and the finishing transform. Pure functions over
// the caller's pixels; main thread, while loading.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "assets/figure_build.h"

namespace {

constexpr int N = FIGURE_GRID;
constexpr int MID = N / 2;  // the front picture's slice; the back picture's is MID + 1
constexpr int PAD = N + 2;  // one empty cell on every side, so the mesher's blocks may reach past the cube
constexpr double DEG = 0.017453292519943295;

// A cell of a slice counts as part of the silhouette above this alpha.
constexpr int SOLID_ALPHA = 2;
// A sample this transparent is taken again at the cell's centre, and that sample is used when it is
// more opaque than SAMPLE_RETRY_USE: thin strokes between sample points are not lost.
constexpr int SAMPLE_RETRY_BELOW = 63;
constexpr int SAMPLE_RETRY_USE = 64;

// Thickening. The test distance is the slice distance scaled by the slice depth over the cell width
// of the finished mesh (FIGURE_DEPTH against the picture's aspect), so that a stroke comes out about
// as deep as it is wide whatever the picture's shape; the scale is bounded for extreme pictures.
constexpr float DEPTH_SCALE_MIN = 0.5f;
constexpr float DEPTH_SCALE_MAX = 2.0f;
// Beyond the taper threshold (a fraction of the cube) the test distance grows faster still, so the
// torso comes out flatter than it is wide, as bodies are. Arms and legs are left out of the taper, and
// are tested only across (the ground or the arm's slant is always "below" them, which would flatten
// them); each limb is thickened from its own cells only, so it never grows into the torso.
constexpr float TAPER_PERSON = 0.07f;
constexpr float TAPER_ANIMAL = 0.1f;
constexpr float TAPER_SLOPE = 0.75f;
// Cells this close (in cells) to the line from elbow to hand belong to the arm.
constexpr float ARM_REACH = 1.6f;
// The thigh line lies this far above the foot line: below it, every cell is tested only across, so
// the feet stand on a full sole.
constexpr float THIGH_LINE = 0.1f;

size_t cell_index(int x, int y, int z) {
    return (static_cast<size_t>(z + 1) * PAD + static_cast<size_t>(y + 1)) * PAD + static_cast<size_t>(x + 1);
}

bool in_grid(int x, int y) {
    return x >= 0 && x < N && y >= 0 && y < N;
}

// A picture as the builder samples it: RGBA, bottom row first, one transparent column and row beyond
// the picture so that the bilinear sample's right and upper neighbours always exist. Allocated with
// calloc: a picture too large for the memory left is refused, not thrown about.
struct WorkingCopy {
    uint8_t* rgba = nullptr;
    int width = 0;
    int height = 0;
    WorkingCopy() = default;
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;
    ~WorkingCopy() { std::free(rgba); }
};

bool picture_ok(const FigurePicture& p) {
    if (p.pixels == nullptr || p.width <= 0 || p.height <= 0) return false;
    if (p.channels != 3 && p.channels != 4) return false;
    const int64_t cells = (int64_t{p.width} + 1) * (int64_t{p.height} + 1);
    // The second test matters on a 32-bit machine with a raised bound: the copy's bytes must fit size_t.
    return cells <= figure_limits.max_picture_cells && static_cast<uint64_t>(cells) <= SIZE_MAX / 4;
}

// False when the copy cannot be allocated; the picture passed picture_ok, so the sizes fit size_t on a
// 32-bit machine too (calloc checks the product of its two arguments).
bool make_working_copy(const FigurePicture& p, WorkingCopy& out) {
    std::free(out.rgba);
    out.rgba = nullptr;
    const size_t w = static_cast<size_t>(p.width), h = static_cast<size_t>(p.height);
    const size_t stride = w + 1, channels = static_cast<size_t>(p.channels);
    out.rgba = static_cast<uint8_t*>(std::calloc(stride * (h + 1), 4));
    if (out.rgba == nullptr) return false;
    out.width = p.width;
    out.height = p.height;
    for (size_t row = 0; row < h; ++row) {
        const uint8_t* src = p.pixels + row * w * channels;
        uint8_t* dst = out.rgba + (h - 1 - row) * stride * 4;
        for (size_t x = 0; x < w; ++x, src += channels, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = channels == 4 ? src[3] : 255;
        }
    }
    return true;
}

struct Rgba {
    uint8_t c[4] = {};
};

// Bilinear sample at picture position (fx, fy), clamped into the picture.
Rgba sample(const WorkingCopy& pic, double fx, double fy) {
    fx = std::clamp(fx, 0.0, static_cast<double>(pic.width - 1));
    fy = std::clamp(fy, 0.0, static_cast<double>(pic.height - 1));
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = fx - ix, ty = fy - iy;
    const size_t stride = static_cast<size_t>(pic.width) + 1;
    const uint8_t* p00 = pic.rgba + (static_cast<size_t>(iy) * stride + static_cast<size_t>(ix)) * 4;
    const uint8_t* p01 = p00 + stride * 4;
    Rgba out;
    for (int k = 0; k < 4; ++k) {
        const double bottom = p00[k] * (1 - tx) + p00[k + 4] * tx;
        const double top = p01[k] * (1 - tx) + p01[k + 4] * tx;
        out.c[k] = static_cast<uint8_t>(bottom * (1 - ty) + top * ty);
    }
    return out;
}

// A picture sampled into an N x N slice of RGBA cells, row 0 at the bottom.
std::vector<uint8_t> sample_slice(const WorkingCopy& pic) {
    std::vector<uint8_t> slice(static_cast<size_t>(N) * N * 4);
    const double w = pic.width, h = pic.height;
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            Rgba s = sample(pic, w * x / N, h * y / N);
            if (s.c[3] <= SAMPLE_RETRY_BELOW) {
                const Rgba centre = sample(pic, w * (x + 0.5) / N, h * (y + 0.5) / N);
                if (centre.c[3] > SAMPLE_RETRY_USE) s = centre;
            }
            std::copy(s.c, s.c + 4, &slice[(static_cast<size_t>(y) * N + static_cast<size_t>(x)) * 4]);
        }
    }
    return slice;
}

// The silhouette of one slice: 1 where a cell is solid.
struct Silhouette {
    std::vector<uint8_t> solid;
    explicit Silhouette(const std::vector<uint8_t>& slice) : solid(static_cast<size_t>(N) * N) {
        for (size_t i = 0; i < solid.size(); ++i) solid[i] = slice[i * 4 + 3] > SOLID_ALPHA;
    }
    bool at(int x, int y) const {
        return in_grid(x, y) && solid[static_cast<size_t>(y) * N + static_cast<size_t>(x)];
    }
    // Whether the solid run of row y reaches `off` cells from x in direction dir without a break.
    bool reaches(int x, int y, int dir, int off) const {
        for (int k = 0; k <= off; ++k) {
            if (!at(x + dir * k, y)) return false;
        }
        return true;
    }
    // The run of solid cells in row y containing column x holds the centre column.
    bool run_holds_centre(int x, int y) const {
        if (!at(x, y)) return false;
        const int step = x <= MID ? 1 : -1;
        for (int i = x; i != MID + step; i += step) {
            if (!at(i, y)) return false;
        }
        return true;
    }
};

// Everything the analysis finds, in cells, plus the per-cell masks that steer the thickening.
struct Analysis {
    int top = N - 2;
    float head_x = 0;  // the middle of the highest row's solid cells
    int bottom = 0;
    int belly = 0;
    float shoulder_x = MID, shoulder_y = 0;
    int leg_finds = 0;
    float leg_x[2] = {};
    int leg_top = -1;  // highest row of the legs, -1 without legs
    bool hand_found[2] = {};
    int hand_x[2] = {}, hand_y[2] = {};
    int elbow_x[2] = {}, elbow_y[2] = {};
    float taper = TAPER_PERSON;
    bool limb_adjust = true;
    std::vector<uint8_t> limb;  // N x N: an arm or leg cell
    std::vector<uint8_t> head;  // N x N: a head cell
    int thigh_row = 0;          // with limb_adjust, cells below this row are not tested from below
};

// In row y, an empty cell near the centre column with solid cells on both sides: the gap between the
// legs. Writes the nearest solid cells left and right of it.
bool find_gap(const Silhouette& s, int y, int& left, int& right) {
    for (int k : {0, -1, 1, -2, 2}) {
        const int x = MID + k;
        if (s.at(x, y)) continue;
        left = x - 1;
        while (left >= 0 && !s.at(left, y)) --left;
        right = x + 1;
        while (right < N && !s.at(right, y)) ++right;
        if (left >= 0 && right < N) return true;
    }
    return false;
}

// Casts the rays of one side (-1 left, +1 right) from the shoulder point: every whole degree from
// straight down to nearly straight up, each from half the cube's width inwards to 3 cells, taking the
// first solid cell. Of those, the one reaching farthest sideways is the hand (the first on a tie).
bool find_hand(const Silhouette& s, float sx, float sy, int side, int& hx, int& hy) {
    int best_reach = 0;
    for (int angle = -90; angle < 90; ++angle) {
        const double dx = std::cos(angle * DEG) * side, dy = std::sin(angle * DEG);
        for (int r = N / 2; r >= 3; --r) {
            const int x = static_cast<int>(std::floor(sx + dx * r + 0.5));
            const int y = static_cast<int>(std::floor(sy + dy * r + 0.5));
            if (!s.at(x, y)) continue;
            const int reach = (x - MID) * side;
            if (reach > best_reach) best_reach = reach, hx = x, hy = y;
            break;
        }
    }
    return best_reach > 0;
}

// Halfway between shoulder and hand, moved to the nearest solid cell up to two cells diagonally,
// looking away from the body first: the midpoint tends to fall into the gap beside the torso.
void find_elbow(const Silhouette& s, const Analysis& a, int side, int& ex, int& ey) {
    const int outward = side ? 1 : -1;
    const int mx = static_cast<int>(std::floor((a.shoulder_x + a.hand_x[side]) * 0.5f + 0.5f));
    const int my = static_cast<int>(std::floor((a.shoulder_y + a.hand_y[side]) * 0.5f + 0.5f));
    ex = mx;
    ey = my;
    for (int step = 0; step <= 2; ++step) {
        for (int dy : {1, -1}) {
            for (int dx : {outward, -outward}) {
                if (s.at(mx + dx * step, my + dy * step)) {
                    ex = mx + dx * step;
                    ey = my + dy * step;
                    return;
                }
            }
        }
    }
}

float segment_distance(float px, float py, float ax, float ay, float bx, float by) {
    const float vx = bx - ax, vy = by - ay;
    const float len2 = vx * vx + vy * vy;
    float t = len2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / len2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float qx = ax + vx * t - px, qy = ay + vy * t - py;
    return std::sqrt(qx * qx + qy * qy);
}

Analysis analyse(const Silhouette& s, unsigned rig, bool has_back) {
    Analysis a;
    a.limb.assign(static_cast<size_t>(N) * N, 0);
    a.head.assign(static_cast<size_t>(N) * N, 0);
    for (int y = N - 1; y >= 0; --y) {
        if (s.at(MID, y)) {
            a.top = y;
            break;
        }
    }
    for (int y = N - 1; y >= 0; --y) {
        int count = 0, sum = 0;
        for (int x = 0; x < N; ++x) {
            if (!s.at(x, y)) continue;
            a.bottom = y;
            ++count;
            sum += x;
        }
        if (count > 0 && a.head_x == 0) a.head_x = static_cast<float>(sum) / static_cast<float>(count);
    }
    a.thigh_row = static_cast<int>(std::floor(a.bottom - 0.5f + THIGH_LINE * N));
    if (rig == 2) {
        a.taper = TAPER_ANIMAL;
        a.limb_adjust = false;
        // The belly is the underside between the legs; 0 when the body reaches the ground there.
        if (!s.at(MID, a.bottom)) {
            for (int y = a.bottom + 1; y < N; ++y) {
                if (s.at(MID, y)) {
                    a.belly = y;
                    break;
                }
            }
        }
    } else {
        a.belly = (a.bottom + a.top) / 2 - 1;
    }

    // Legs: up to three gaps from three rows above the feet; the rows up to the highest gap below the
    // belly are legs for the thickening.
    for (int y = a.bottom + 3; y < a.top; ++y) {
        int left = 0, right = 0;
        if (!find_gap(s, y, left, right)) continue;
        if (a.leg_finds < 3) {
            const float l = static_cast<float>(left), r = static_cast<float>(right);
            a.leg_x[0] = a.leg_finds ? (a.leg_x[0] + l) * 0.5f : l;
            a.leg_x[1] = a.leg_finds ? (a.leg_x[1] + r) * 0.5f : r;
            ++a.leg_finds;
        }
        if (y <= a.belly) a.leg_top = y;
    }

    a.shoulder_y = (a.bottom + 0.84f * static_cast<float>(a.top - a.bottom)) *
                   (0.94f + 0.06f * static_cast<float>(a.bottom) / N);
    for (int side = 0; side < 2; ++side) {
        a.hand_found[side] =
            find_hand(s, a.shoulder_x, a.shoulder_y, side ? 1 : -1, a.hand_x[side], a.hand_y[side]);
        if (a.hand_found[side]) find_elbow(s, a, side, a.elbow_x[side], a.elbow_y[side]);
    }
    if (!a.limb_adjust) return a;

    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) {
            if (!s.at(x, y)) continue;
            const size_t i = static_cast<size_t>(y) * N + static_cast<size_t>(x);
            if (a.leg_top >= 0 && y <= a.leg_top) a.limb[i] = 1;
            for (int side = 0; side < 2; ++side) {
                if (!a.hand_found[side] || s.run_holds_centre(x, y)) continue;
                const float d =
                    segment_distance(static_cast<float>(x), static_cast<float>(y),
                                     static_cast<float>(a.elbow_x[side]), static_cast<float>(a.elbow_y[side]),
                                     static_cast<float>(a.hand_x[side]), static_cast<float>(a.hand_y[side]));
                if (d <= ARM_REACH) a.limb[i] = 1;
            }
        }
    }
    // The head sits on a narrow neck: tested from below it would stay a flat disc, so its cells are
    // tested only across, like the limbs. Only without a back picture: the mask follows the front's
    // silhouette, and the back half is then thickened from the back's, which need not line up.
    if (!has_back) {
        for (int y = static_cast<int>(std::ceil(a.shoulder_y)) + 2; y <= a.top; ++y) {
            for (int x = 0; x < N; ++x) {
                if (s.run_holds_centre(x, y)) a.head[static_cast<size_t>(y) * N + static_cast<size_t>(x)] = 1;
            }
        }
    }
    return a;
}

// The voxel cube: 1 for a solid cell, padded by one empty cell on every side.
using Grid = std::vector<uint8_t>;

// Fills the slices on one side of the source slice `base` (step -1 towards the front, +1 towards the
// back). A cell becomes solid when its source cell is, the cell towards the source is, and the
// silhouette reaches far enough to its left, right and below; the slice right in front of the middle
// one allows one of six tests to fail, so that two-cell-wide strokes get depth too. Limbs and the head
// are tested only across, and only along their own run of cells: the gap to the next leg or to the
// torso ends their reach.
void thicken_side(Grid& grid, const Silhouette& s, const Analysis& a, int base, int step, float scale) {
    const float taper_cells = a.taper * N;
    for (int d = 1;; ++d) {
        const int z = base + step * d;
        if (z < 0 || z >= N) break;
        const bool lenient = z == MID - 1;
        for (int y = 0; y < N; ++y) {
            for (int x = 0; x < N; ++x) {
                if (!s.at(x, y) || !grid[cell_index(x, y, z - step)]) continue;
                const size_t i = static_cast<size_t>(y) * N + static_cast<size_t>(x);
                const bool own_run = a.limb[i] || a.head[i];
                float e = static_cast<float>(d) * scale;
                if (!own_run && e > taper_cells) e += (e - taper_cells) * TAPER_SLOPE;
                const int o = std::max(1, static_cast<int>(e + 0.5f));
                const bool skip_below = own_run || (a.limb_adjust && y < a.thigh_row);
                int passed = 0, tests = 0;
                for (int off : {o, lenient ? o / 2 : -1}) {
                    if (off < 0) continue;
                    tests += 3;
                    if (own_run) {
                        passed += s.reaches(x, y, -1, off) + s.reaches(x, y, 1, off);
                    } else {
                        passed += s.at(x - off, y) + s.at(x + off, y);
                    }
                    passed += skip_below || s.at(x, y - off);
                }
                if (passed >= tests - (lenient ? 1 : 0)) grid[cell_index(x, y, z)] = 1;
            }
        }
    }
}

// Keeps the cells on the body's surface: those with an empty neighbour along an axis (the first and
// last cell of every run in x, y and z), and those whose only empty neighbour lies across one of the
// mesher's diagonals, which sit in concave creases and are corners of the surface there.
Grid hollow(const Grid& full) {
    Grid shell(full.size(), 0);
    static constexpr int NEIGHBOURS[][3] = {{1, 0, 0},  {-1, 0, 0},  {0, 1, 0},   {0, -1, 0},  {0, 0, 1},
                                            {0, 0, -1}, {1, 1, 0},   {-1, -1, 0}, {1, 0, 1},   {-1, 0, -1},
                                            {0, 1, 1},  {0, -1, -1}, {1, 1, 1},   {-1, -1, -1}};
    for (int z = 0; z < N; ++z) {
        for (int y = 0; y < N; ++y) {
            for (int x = 0; x < N; ++x) {
                if (!full[cell_index(x, y, z)]) continue;
                for (const auto& n : NEIGHBOURS) {
                    if (!full[cell_index(x + n[0], y + n[1], z + n[2])]) {
                        shell[cell_index(x, y, z)] = 1;
                        break;
                    }
                }
            }
        }
    }
    return shell;
}

// The mesher. The cube between the centres of 2 x 2 x 2 neighbouring cells is cut into six
// tetrahedra around its main diagonal (the same cut in every block, so neighbouring blocks agree on
// their shared faces). A tetrahedron with exactly three solid corners has the surface between them:
// the triangle of those corners. Over all blocks this is the closed boundary of the solid cells'
// tetrahedra, plus the one-cell-thin sheets (seen from both sides, so met twice). The corners are
// listed by increasing x + y + z, which is the same order from either side of a face.
void mesh(const Grid& full, const Grid& shell, std::vector<FigureTriangle>& out) {
    static constexpr int PATHS[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (int bz = -1; bz < N; ++bz) {
        for (int by = -1; by < N; ++by) {
            for (int bx = -1; bx < N; ++bx) {
                int corner[8];
                int solid = 0, on_shell = 0;
                for (int c = 0; c < 8; ++c) {
                    const size_t i = cell_index(bx + (c & 1), by + (c >> 1 & 1), bz + (c >> 2 & 1));
                    corner[c] = static_cast<int>(i);
                    solid |= full[i] << c;
                    on_shell |= shell[i];
                }
                if (solid == 0 || solid == 255 || !on_shell) continue;
                for (const auto& path : PATHS) {
                    const int v[4] = {0, 1 << path[0], (1 << path[0]) | (1 << path[1]), 7};
                    int count = 0, tri[3];
                    for (int k : v) {
                        if (solid >> k & 1) {
                            if (count < 3) tri[count] = corner[k];
                            ++count;
                        }
                    }
                    if (count == 3) out.push_back({tri[0], tri[1], tri[2]});
                }
            }
        }
    }
}

void cell_of(int32_t index, int& x, int& y, int& z) {
    x = index % PAD - 1;
    y = index / PAD % PAD - 1;
    z = index / (PAD * PAD) - 1;
}

}  // namespace

FigureLimits figure_limits;

std::vector<FigureTriangle> figure_unique_triangles(const std::vector<FigureTriangle>& tris) {
    std::vector<FigureTriangle> kept;
    std::unordered_set<uint64_t> seen;
    seen.reserve(tris.size() * 2);
    for (const FigureTriangle& t : tris) {
        // The rotation starting at the smallest corner stands for all three.
        int first = 0;
        if (t[1] < t[first]) first = 1;
        if (t[2] < t[first]) first = 2;
        uint64_t key = 0;
        for (int k = 0; k < 3; ++k) key = key << 21 | (static_cast<uint64_t>(t[(first + k) % 3]) & 0x1FFFFF);
        if (seen.insert(key).second) kept.push_back(t);
    }
    return kept;
}

std::vector<FigureTriangle> figure_unique_triangles_reference(const std::vector<FigureTriangle>& tris) {
    std::vector<FigureTriangle> kept;
    for (const FigureTriangle& t : tris) {
        bool found = false;
        for (const FigureTriangle& k : kept) {
            for (int r = 0; r < 3 && !found; ++r) {
                found = k[0] == t[r] && k[1] == t[(r + 1) % 3] && k[2] == t[(r + 2) % 3];
            }
            if (found) break;
        }
        if (!found) kept.push_back(t);
    }
    return kept;
}

void figure_paint_border(uint8_t* pixels, int width, int height, int channels) {
    if (pixels == nullptr || width <= 0 || height <= 0 || channels != 4) return;
    const int64_t area = int64_t{width} * height;
    if (area > figure_limits.max_picture_cells || static_cast<uint64_t>(area) > SIZE_MAX) return;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    auto alpha = [&](size_t x, size_t y) { return pixels[(y * w + x) * 4 + 3]; };
    // Marked first and painted after, so a painted pixel does not spread the border further.
    uint8_t* paint = static_cast<uint8_t*>(std::calloc(w * h, 1));
    if (paint == nullptr) return;
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            if (alpha(x, y) > 249) continue;
            const size_t x0 = x >= 2 ? x - 2 : 0, y0 = y >= 2 ? y - 2 : 0;
            const size_t x1 = std::min(x + 2, w - 1), y1 = std::min(y + 2, h - 1);
            bool near = false;
            for (size_t j = y0; j <= y1 && !near; ++j) {
                for (size_t i = x0; i <= x1 && !near; ++i) near = alpha(i, j) > 249;
            }
            paint[y * w + x] = near;
        }
    }
    for (size_t i = 0; i < w * h; ++i) {
        if (!paint[i]) continue;
        uint8_t* p = pixels + i * 4;
        p[0] = p[1] = p[2] = 0;
        p[3] = 255;
    }
    std::free(paint);
}

bool figure_build(const FigurePicture& front, const FigurePicture* back, unsigned rig, FigureMesh& out,
                  std::vector<FigureTriangle>* candidates) {
    out = FigureMesh{};
    if (candidates != nullptr) candidates->clear();
    if (!picture_ok(front)) return false;
    bool has_back = back != nullptr && picture_ok(*back);

    std::vector<uint8_t> front_slice, back_slice;
    {
        WorkingCopy copy;
        if (!make_working_copy(front, copy)) return false;
        front_slice = sample_slice(copy);
        if (has_back && make_working_copy(*back, copy)) {
            back_slice = sample_slice(copy);
        } else {
            has_back = false;
        }
    }

    const Silhouette front_s(front_slice);
    const Analysis a = analyse(front_s, rig, has_back);

    Grid grid(static_cast<size_t>(PAD) * PAD * PAD, 0);
    for (int y = 0; y < N; ++y) {
        for (int x = 0; x < N; ++x) grid[cell_index(x, y, MID)] = front_s.at(x, y);
    }
    const float aspect = static_cast<float>(front.width) / static_cast<float>(front.height);
    const float scale = std::clamp(FIGURE_DEPTH / aspect, DEPTH_SCALE_MIN, DEPTH_SCALE_MAX);
    thicken_side(grid, front_s, a, MID, -1, scale);
    if (has_back) {
        const Silhouette back_s(back_slice);
        for (int y = 0; y < N; ++y) {
            for (int x = 0; x < N; ++x) grid[cell_index(x, y, MID + 1)] = back_s.at(x, y);
        }
        thicken_side(grid, back_s, a, MID + 1, 1, scale);
    } else {
        thicken_side(grid, front_s, a, MID, 1, scale);
    }
    // An animal's near and far legs stand apart: the middle rows up to just above the belly go.
    if (rig == 2 && a.belly > 0) {
        for (int y = 0; y <= std::min(a.belly + 1, N - 1); ++y) {
            for (int x = 0; x < N; ++x) {
                grid[cell_index(x, y, MID)] = 0;
                if (has_back) grid[cell_index(x, y, MID + 1)] = 0;
            }
        }
    }

    const Grid shell = hollow(grid);
    std::vector<FigureTriangle> raw;
    mesh(grid, shell, raw);
    const std::vector<FigureTriangle> tris = figure_unique_triangles(raw);
    if (candidates != nullptr) *candidates = std::move(raw);

    // Finishing: centred across, the picture's aspect restored, the depth scaled, the feet at 0.
    int min_x = N, max_x = -1, min_y = N;
    for (const FigureTriangle& t : tris) {
        for (int32_t c : t) {
            int x, y, z;
            cell_of(c, x, y, z);
            min_x = std::min(min_x, x);
            max_x = std::max(max_x, x);
            min_y = std::min(min_y, y);
        }
    }
    const float inv = 1.0f / N;
    const float centre = max_x >= 0 ? static_cast<float>(min_x + max_x) * 0.5f * inv : 0.5f;
    const float y_shift = max_x >= 0 ? static_cast<float>(min_y) * inv : 0.0f;
    for (const FigureTriangle& t : tris) {
        int zsum = 0;
        for (int32_t c : t) {
            int x, y, z;
            cell_of(c, x, y, z);
            zsum += z;
        }
        const bool to_back = has_back && zsum > 3 * MID;
        std::vector<float>& pos = to_back ? out.back_tris : out.front_tris;
        std::vector<float>& uv = to_back ? out.back_uvs : out.front_uvs;
        for (int32_t c : t) {
            int x, y, z;
            cell_of(c, x, y, z);
            const float u = static_cast<float>(x) * inv, v = static_cast<float>(y) * inv;
            pos.push_back((u - centre) * aspect);
            pos.push_back(v - y_shift);
            pos.push_back((-static_cast<float>(z) * inv + 0.5f) * FIGURE_DEPTH);
            uv.push_back(u);
            uv.push_back(1.0f - v);
        }
    }

    FigureShape& f = out.shape;
    f.rig = rig;
    f.top = static_cast<float>(a.top) * inv;
    f.bottom = static_cast<float>(a.bottom) * inv;
    f.belly = static_cast<float>(a.belly) * inv;
    f.head_x = a.head_x * inv;
    f.shoulder_x = a.shoulder_x * inv;
    f.shoulder_y = a.shoulder_y * inv;
    if (a.leg_finds > 0) {
        f.leg_x[0] = a.leg_x[0] * inv;
        f.leg_x[1] = a.leg_x[1] * inv;
    }
    for (int side = 0; side < 2; ++side) {
        if (!a.hand_found[side]) continue;
        f.hand_x[side] = static_cast<float>(a.hand_x[side]) * inv;
        // A raised hand is taken half a cell higher: the ray met the arm's lower edge.
        const float raise = static_cast<float>(a.hand_y[side]) > a.shoulder_y ? 0.5f : 0.0f;
        f.hand_y[side] = (static_cast<float>(a.hand_y[side]) + raise) * inv;
        f.elbow_x[side] = static_cast<float>(a.elbow_x[side]) * inv;
        f.elbow_y[side] = static_cast<float>(a.elbow_y[side]) * inv;
    }
    f.centre = centre;
    f.aspect = aspect;
    f.y_shift = y_shift;
    return true;
}
