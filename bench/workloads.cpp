// Scene builders of the renderer's standard workloads.
#include "workloads.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "assets/texture.h"
#include "display/framebuffer.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace workloads {

namespace {

// A camera without perspective that maps world (x, -y, z) to the pixel (x, y) at depth z, so the
// workloads can be laid out in pixels and cover exactly the frame.
void pixel_camera(int width, int height) {
    camera_eye_put(0, 0, 0);
    camera_angles_put(0, 0, 0);
    projection_put(static_cast<float>(width), static_cast<float>(height), 0);
    view_center_put(-0.5f, -0.5f);
}

void reset_scene(int width, int height) {
    obj_table_reset_all();
    pipeline_reset();
    set_resolution(width, height);
    half_height(0);
    pixel_camera(width, height);
}

// A texture of random texels; with 4 channels, the alpha is 0 outside a disc so that blended
// quads have real transparent areas.
TextureId noise_texture(const char* name, int size, int channels = 3) {
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * channels);
    std::mt19937 rng(1);
    for (auto& b : pixels) b = static_cast<uint8_t>(rng());
    if (channels == 4) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const int dx = 2 * x - size, dy = 2 * y - size;
                uint8_t& a = pixels[(static_cast<size_t>(y) * size + x) * 4 + 3];
                a = dx * dx + dy * dy < size * size ? static_cast<uint8_t>(160 + a % 96) : 0;
            }
    }
    TextureId t = tex_load(name);  // no such file: a named slot without pixels
    tex_set_pixels(t, 1, pixels.data(), size, size, channels, TEX_COPIED);
    return t;
}

}  // namespace

void build_quads(int width, int height, bool back_to_front) {
    reset_scene(width, height);
    TextureId tex = noise_texture("bench_noise_256", 256);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    for (int i = 0; i < 200; ++i) {
        const float z = back_to_front ? 300.0f - static_cast<float>(i) : 100.0f + static_cast<float>(i);
        const float tris[18] = {0, 0, z, w, 0, z, 0, -h, z, w, 0, z, w, -h, z, 0, -h, z};
        const float uvs[12] = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
        obj_set_part_triangles(i + 1, 0, tris, uvs, nullptr, tex, 2);
    }
}

void build_small(int width, int height) {
    reset_scene(width, height);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> ux(0, static_cast<float>(width) - 3);
    std::uniform_real_distribution<float> uy(0, static_cast<float>(height) - 3);
    std::uniform_real_distribution<float> uz(1, 1000), uc(0.1f, 1);
    constexpr int PARTS = 200, PER_PART = 1000;
    std::vector<float> tris, shade;
    for (int part = 0; part < PARTS; ++part) {
        tris.clear();
        shade.clear();
        for (int i = 0; i < PER_PART; ++i) {
            const float x = ux(rng), y = uy(rng), z = uz(rng);
            // A right triangle with legs of 2.83 px: 4 px^2.
            const float t[9] = {x, -y, z, x + 2.83f, -y, z, x, -(y + 2.83f), z};
            tris.insert(tris.end(), t, t + 9);
            for (int k = 0; k < 3; ++k) {
                const float c[4] = {uc(rng), uc(rng), uc(rng), 1};
                shade.insert(shade.end(), c, c + 4);
            }
        }
        obj_set_part_triangles(1, part, tris.data(), nullptr, shade.data(), 0, PER_PART);
    }
}

namespace {

// Triangles of a grid of quads, appended with their texture coordinates; corner(i, j) gives the point
// of grid line i (of columns + 1) and j (of rows + 1).
template <typename Corner>
void push_grid(std::vector<float>& tris, std::vector<float>& uvs, int columns, int rows, Corner corner) {
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const int q[6][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j}, {i + 1, j + 1}, {i, j + 1}};
            for (const auto& c : q) {
                float p[3];
                corner(c[0], c[1], p);
                tris.insert(tris.end(), p, p + 3);
                uvs.push_back(static_cast<float>(c[0]) / columns);
                uvs.push_back(static_cast<float>(c[1]) / rows);
            }
        }
}

}  // namespace

void build_park(int width, int height) {
    reset_scene(width, height);
    camera_eye_put(0, 1.7f, 0);
    camera_angles_put(0, 0, 0);
    projection_put(0.5f, 0.25f, 2.0f);
    view_center_put(0, 0);
    std::vector<float> tris, uvs, shade;

    // Terrain: 128 x 128 cells of one metre ahead of the eye, gently rolling, coloured per vertex.
    auto ground = [](int i, int j, float* p) {
        const float x = static_cast<float>(i) - 64, z = static_cast<float>(j) + 2;
        p[0] = x, p[1] = 0.4f * std::sin(x * 0.21f) * std::cos(z * 0.17f), p[2] = z;
    };
    push_grid(tris, uvs, 128, 128, ground);
    for (size_t v = 0; v < tris.size() / 3; ++v) {
        const float light = 0.75f + 0.25f * std::sin(tris[v * 3] * 0.05f + tris[v * 3 + 2] * 0.03f);
        const float c[4] = {light, light, light * 0.9f, 1};
        shade.insert(shade.end(), c, c + 4);
    }
    obj_set_part_triangles(1, 0, tris.data(), uvs.data(), shade.data(), noise_texture("park_ground", 256),
                           static_cast<int>(tris.size() / 9));

    // Sky: a 16-segment sphere around the eye (16 x 16 quads: 512 triangles).
    tris.clear(), uvs.clear();
    push_grid(tris, uvs, 16, 16, [](int i, int j, float* p) {
        const float lon = static_cast<float>(i) * 6.2831853f / 16,
                    lat = static_cast<float>(j) * 3.1415927f / 16;
        p[0] = 400 * std::sin(lat) * std::cos(lon), p[1] = -400 * std::cos(lat),
        p[2] = 400 * std::sin(lat) * std::sin(lon);
    });
    obj_set_part_triangles(2, 0, tris.data(), uvs.data(), nullptr, noise_texture("park_sky", 256), 512);

    // Trees: 300 upright blended quads, 2 m by 3 m, spread over the whole terrain (about half in view).
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> unit(0, 1);
    TextureId leaves = noise_texture("park_tree", 128, 4);
    tris.clear(), uvs.clear();
    for (int k = 0; k < 300; ++k) {
        const float z = 8 + 120 * unit(rng), x = (unit(rng) - 0.5f) * 128;
        push_grid(tris, uvs, 1, 1, [x, z](int i, int j, float* p) {
            p[0] = x + (static_cast<float>(i) - 0.5f) * 2, p[1] = 3 - 3 * static_cast<float>(j), p[2] = z;
        });
    }
    obj_set_part_triangles(3, 0, tris.data(), uvs.data(), nullptr, leaves, 600);

    // Figures: 20 of 3,000 triangles (50 rings of 30 quads), 10 to 45 m away.
    TextureId skin = noise_texture("park_figure", 64, 4);
    for (int f = 0; f < 20; ++f) {
        const float z = 10 + 35 * static_cast<float>(f) / 19, x = (unit(rng) - 0.5f) * z * 0.6f;
        tris.clear(), uvs.clear();
        push_grid(tris, uvs, 30, 50, [x, z](int i, int j, float* p) {
            const float a = static_cast<float>(i) * 6.2831853f / 30, r = 0.3f + 0.1f * std::sin(j * 0.3f);
            p[0] = x + r * std::cos(a), p[1] = 1.8f - 0.036f * static_cast<float>(j),
            p[2] = z + r * std::sin(a);
        });
        obj_set_part_triangles(10 + f, 0, tris.data(), uvs.data(), nullptr, skin, 3000);
    }
}

const Workload all[WORKLOAD_COUNT] = {
    {"fill", [](int w, int h) { build_quads(w, h, true); }},
    {"fill-f2b", [](int w, int h) { build_quads(w, h, false); }},
    {"small", build_small},
    {"park", build_park},
};

const Workload* find(const char* name) {
    for (const Workload& w : all)
        if (std::strcmp(name, w.name) == 0) return &w;
    return nullptr;
}

}  // namespace workloads
