// Reads a standard workload back from the engine's tables into the reference renderer's vertices. Main
// thread only, at set-up: nothing here is timed.
#include "reference_scene.h"

#include <cmath>

#include "../workloads.h"
#include "assets/texture.h"
#include "display/framebuffer.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace {

// The engine's colour rules, as its triangle set-up applies them before a triangle reaches the filler:
// an object colour whose channels sum to at most this multiplies the texels ...
constexpr float COLORED_SUM_MAX = 3.97f;
// ... and so does a shade array unless its twelve channels (0..255) sum above this: nearly white shading
// leaves the texels as they are.
constexpr float WHITE_SHADE_SUM = 3020.0f;
// Triangles whose three vertex alphas (0..255) are all below this are not drawn.
constexpr float ALPHA_SKIP = 4.0f;
// Pixels with an alpha below this are blended with the frame; at or above it they are written opaque.
constexpr float BLEND_BELOW = 240.0f;

// A vertex once projected: screen position (pixels, engine convention), view depth and the divisor.
struct Projected {
    float x, y, depth, w;
};

uint8_t color_byte(float v) {
    v = v > 0.0f ? v : 0.0f;
    // Truncated as the filler's 16.16 channels are.
    return static_cast<uint8_t>(v < 255.0f ? v : 255.0f);
}

// The part's texture when the engine samples it for these triangles: present, of a shape it can address,
// with coordinates. 0 otherwise.
TextureId part_texture(TextureId tid, bool has_uvs) {
    const TextureTable& tex = texture_table;
    if (!has_uvs || tid <= 0 || tid >= tex.capacity) return 0;
    const size_t ti = static_cast<size_t>(tid);
    if (!tex.pixels[ti] || tex.width[ti] <= 0 || tex.height[ti] <= 0) return 0;
    if (tex.channels[ti] != 3 && tex.channels[ti] != 4) return 0;
    return tid;
}

// Appends one part's triangles (projected, not yet in clip space) and returns whether some pixel of them
// may blend.
bool read_part(ObjectId id, size_t pi, const ViewTransform& view, std::vector<Projected>& projected,
               std::vector<RefVertex>& out, TextureId& texture, RefScene& scene) {
    const ObjectTable& t = obj_table;
    const PartArrays& pa = t.parts[static_cast<size_t>(id)];
    const std::vector<float>& world = pa.tri_world[pi];
    int64_t count = pa.tri_count[pi];
    if (static_cast<size_t>(count) > world.size() / 9) count = static_cast<int64_t>(world.size() / 9);
    const size_t n = static_cast<size_t>(count);
    const float* uv = pa.tri_uv[pi].size() / 6 >= n ? pa.tri_uv[pi].data() : nullptr;
    const float* shade = pa.tri_shade[pi].size() / 12 >= n ? pa.tri_shade[pi].data() : nullptr;
    texture = part_texture(pa.texture[pi], uv != nullptr);
    const bool rgba_texture = texture && texture_table.channels[static_cast<size_t>(texture)] == 4;

    const Color4 oc = t.color[static_cast<size_t>(id)], pc = pa.part_color[pi];
    const float object[4] = {oc.r * pc.r * 255.0f, oc.g * pc.g * 255.0f, oc.b * pc.b * 255.0f,
                             oc.a * pc.a * 255.0f};
    const bool colored = oc.r * pc.r + oc.g * pc.g + oc.b * pc.b + oc.a * pc.a <= COLORED_SUM_MAX;
    bool blend = false;
    for (size_t i = 0; i < n; ++i) {
        Projected pr[3];
        bool finite = true, in_front = false;
        for (int k = 0; k < 3; ++k) {
            const float* v = &world[i * 9 + static_cast<size_t>(k) * 3];
            const ProjectedPoint pp = project_point(view, v[0], v[1], v[2]);
            pr[k] = Projected{pp.x, pp.y, pp.depth, std::fabs(pp.depth * view.depth_factor) + 1.0f};
            finite = finite && std::isfinite(pp.x) && std::isfinite(pp.y) && std::isfinite(pp.depth);
            in_front = in_front || pp.depth >= 0;
        }
        if (!finite || !in_front) {
            ++scene.skipped;
            continue;
        }
        float vc[3][4];
        float sum = 0;
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 4; ++c) {
                vc[k][c] =
                    shade ? shade[i * 12 + static_cast<size_t>(k) * 4 + static_cast<size_t>(c)] * object[c]
                          : object[c];
                sum += vc[k][c];
            }
        const bool modulate = colored || (shade && !(sum > WHITE_SHADE_SUM));
        if ((shade || modulate) && vc[0][3] < ALPHA_SKIP && vc[1][3] < ALPHA_SKIP && vc[2][3] < ALPHA_SKIP) {
            ++scene.skipped;
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            RefVertex rv{};
            for (int c = 0; c < 4; ++c) rv.rgba[c] = modulate ? color_byte(vc[k][c]) : 255;
            if (texture) {
                rv.uv[0] = uv[i * 6 + static_cast<size_t>(k) * 2];
                rv.uv[1] = uv[i * 6 + static_cast<size_t>(k) * 2 + 1];
            }
            blend = blend || (modulate && vc[k][3] < BLEND_BELOW + 0.5f);
            out.push_back(rv);
            projected.push_back(pr[k]);
        }
        ++scene.triangles;
    }
    return blend || rgba_texture;
}

}  // namespace

bool ref_workload_known(const std::string& name) {
    return workloads::find(name.c_str()) != nullptr;
}

bool ref_build_scene(const std::string& name, int width, int height, RefScene& scene) {
    const workloads::Workload* workload = workloads::find(name.c_str());
    if (!workload || width <= 0 || height <= 0) return false;
    workload->build(width, height);
    // As the frame dump renders it: the world triangles and the frame are then what the timed frames draw.
    for (int i = 0; i < 3; ++i) render_scene();

    scene = RefScene();
    scene.width = frame_buffer.fb_width;
    scene.height = frame_buffer.fb_height;
    for (int c = 0; c < 3; ++c) scene.clear_rgb[c] = render_config.clear_color[c];
    const ViewTransform view = view_transform_from_camera(scene.width, scene.height);

    // The engine's draw order: objects by id, parts by index.
    std::vector<Projected> projected;
    const ObjectTable& t = obj_table;
    for (ObjectId id = 0; id < t.object_capacity; ++id) {
        if (!t.has_geometry[static_cast<size_t>(id)] || !t.enabled[static_cast<size_t>(id)]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int parts = obj_part_limit(id);
        for (int part = 0; part < parts; ++part) {
            const size_t pi = static_cast<size_t>(part);
            if (pa.tri_world[pi].empty() || !pa.visible[pi] || pa.tri_count[pi] <= 0) continue;
            const int first = static_cast<int>(scene.vertices.size());
            TextureId texture = 0;
            const uint8_t blend = read_part(id, pi, view, projected, scene.vertices, texture, scene) ? 1 : 0;
            const int count = static_cast<int>(scene.vertices.size()) - first;
            if (count == 0) continue;
            RefBatch* last = scene.batches.empty() ? nullptr : &scene.batches.back();
            if (last && last->texture == texture && last->blend == blend) {
                last->count += count;
            } else {
                scene.batches.push_back(RefBatch{first, count, texture, blend});
            }
        }
    }

    // Clip space. x and y: GL samples pixel centres at half-integers, the engine's spans and rows at
    // integers, so the window position is the engine's plus half a pixel; rows run down from the top.
    // w is the engine's perspective divisor (|depth| x depth factor + 1), so the GL divide gives the same
    // screen positions. z: the view depth mapped linearly to [-1, 1) from 0 to beyond the farthest
    // vertex, times w. After the divide it is a linear function of the view depth at each vertex, which GL
    // then interpolates linearly over the screen as the engine does its depth: the same depth order per
    // pixel, and the near clip at depth 0 drops exactly the pixels the engine's depth test refuses there.
    float far = 1.0f;
    for (const Projected& p : projected) far = p.depth > far ? p.depth : far;
    far *= 1.001f;
    const float sx = 2.0f / static_cast<float>(scene.width), sy = 2.0f / static_cast<float>(scene.height);
    for (size_t i = 0; i < projected.size(); ++i) {
        const Projected& p = projected[i];
        float* clip = scene.vertices[i].clip;
        clip[0] = ((p.x + 0.5f) * sx - 1.0f) * p.w;
        clip[1] = (1.0f - (p.y + 0.5f) * sy) * p.w;
        clip[2] = (2.0f * p.depth / far - 1.0f) * p.w;
        clip[3] = p.w;
    }

    for (const RefBatch& b : scene.batches) {
        if (!b.texture) continue;
        bool known = false;
        for (const RefTexture& r : scene.textures) known = known || r.id == b.texture;
        if (known) continue;
        const size_t ti = static_cast<size_t>(b.texture);
        scene.textures.push_back(RefTexture{b.texture, texture_table.width[ti], texture_table.height[ti],
                                            texture_table.channels[ti], texture_table.pixels[ti]});
    }
    return true;
}
