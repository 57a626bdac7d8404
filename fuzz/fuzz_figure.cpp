// Fuzz target for the figure builder: small pictures of any content and shape, with and without a back
// picture, for every rig; the texture painting runs over them too. Layout in figure_input.h.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "assets/figure_build.h"
#include "figure_input.h"

namespace {

// A cursor over the fuzz bytes that reads 0 past their end.
struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t next() { return at < size ? data[at++] : 0; }
};

struct Picture {
    std::vector<uint8_t> pixels;  // exactly width x height x channels, so a stray read shows up
    FigurePicture view;
    int64_t cells = 0;  // of the working copy the builder makes of it
};

Picture read_picture(Bytes& in, uint8_t& flags) {
    Picture p;
    const int w = in.next() % FIGURE_FUZZ_MAX_SIDE + 1, h = in.next() % FIGURE_FUZZ_MAX_SIDE + 1;
    flags = in.next();
    const int channels = flags & FIGURE_FUZZ_RGBA ? 4 : 3;
    p.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(channels));
    for (uint8_t& b : p.pixels) b = in.next();
    p.view = FigurePicture{p.pixels.data(), w, h, channels};
    p.cells = int64_t{w + 1} * (h + 1);
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in{data, size};
    uint8_t flags = 0, back_flags = 0;
    Picture front = read_picture(in, flags);
    const bool has_back = flags & FIGURE_FUZZ_BACK;
    Picture back;
    if (has_back) back = read_picture(in, back_flags);
    FigureMesh mesh;
    std::vector<FigureTriangle> raw;
    const unsigned rig = static_cast<unsigned>((flags >> 1) & 3) % 3;
    const bool front_beyond = flags & FIGURE_FUZZ_BOUND;
    const bool back_bounded = has_back && (back_flags & FIGURE_FUZZ_BOUND) && !front_beyond;
    figure_limits.max_picture_cells = front_beyond   ? front.cells / 16
                                      : back_bounded ? front.cells
                                                     : FIGURE_MAX_PICTURE_CELLS;
    const bool built = figure_build(front.view, has_back ? &back.view : nullptr, rig, mesh, &raw);
    if (front_beyond) {
        // Refused whole, and the painting leaves the picture as it was.
        if (built || !mesh.front_tris.empty() || !mesh.back_tris.empty()) __builtin_trap();
        const std::vector<uint8_t> before = front.pixels;
        figure_paint_border(front.pixels.data(), front.view.width, front.view.height, front.view.channels);
        if (front.pixels != before) __builtin_trap();
        return 0;
    }
    if (!built) __builtin_trap();
    // A back over the bound is left out: the figure has its front only.
    if (back_bounded && back.cells > front.cells && !mesh.back_tris.empty()) __builtin_trap();
    // Every triangle came from the candidates, and the lists hold whole triangles.
    if (mesh.front_tris.size() % 9 || mesh.back_tris.size() % 9) __builtin_trap();
    if ((mesh.front_tris.size() + mesh.back_tris.size()) / 9 > raw.size()) __builtin_trap();
    if (mesh.front_uvs.size() / 6 != mesh.front_tris.size() / 9) __builtin_trap();
    figure_paint_border(front.pixels.data(), front.view.width, front.view.height, front.view.channels);
    return 0;
}
