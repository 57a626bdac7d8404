// Figures from pictures: the texture and object table side of the builder (figure_voxels.cpp builds
// the mesh from the pixels). Main thread, while loading.
#include "assets/figure.h"

#include <string>

#include "assets/figure_build.h"
#include "assets/figure_rig.h"
#include "assets/locator.h"
#include "assets/texture.h"
#include "scene/object.h"

namespace {

FigureShape last_shape;

// The back picture's name carries "_backside" before the first of these found in the base name: the
// same extension the key rule cuts, so the back's key is the front's with "_backside" added.
constexpr const char* BACK_EXTENSIONS[] = {".jpg", ".JPG", ".jpeg", ".JPEG", ".png",
                                           ".PNG", ".bmp", ".BMP",  ".tga",  ".TGA"};

// "" for a name without an image extension: it has no back picture (its "back" would be the front's
// own slot, flipped and painted twice). Only the base name is looked at: a folder such as "pics.jpg.d"
// must not take the mark, or the back's key would be the front's and its load would reload (and then
// release) the front's own slot.
std::string back_name(const std::string& name) {
    std::string base = name;
    path_basename(base);
    const size_t start = name.size() - base.size();
    for (const char* ext : BACK_EXTENSIONS) {
        const size_t at = base.find(ext);
        if (at != std::string::npos)
            return name.substr(0, start + at) + "_backside" + name.substr(start + at);
    }
    return {};
}

// The slot of picture `name` with the file's own pixels. A figure build paints its texture, so a slot
// that an earlier build (or anyone) holds is filled from the file again, in place, so that its id
// stays valid for whoever uses it; a borrowed buffer belongs to its owner and is used as it is.
TextureId load_picture(const char* name) {
    const TextureId slot = tex_find(name);
    if (slot == 0 || texture_table.ownership[slot] == TEX_BORROWED) return tex_load(name);
    const TextureId fresh = tex_free_slot();
    if (fresh == 0) return slot;
    tex_load_slot(fresh, name);
    TextureTable& t = texture_table;
    if (tex_has_pixels(fresh)) {
        tex_set_pixels(slot, 1, t.pixels[fresh], t.width[fresh], t.height[fresh], t.channels[fresh],
                       TEX_COPIED);
    } else {
        tex_free_pixels(slot);
    }
    tex_release(fresh);
    return slot;
}

FigurePicture picture_of(TextureId slot) {
    const TextureTable& t = texture_table;
    return FigurePicture{t.pixels[slot], t.width[slot], t.height[slot], t.channels[slot]};
}

void paint(TextureId slot) {
    const TextureTable& t = texture_table;
    figure_paint_border(t.pixels[slot], t.width[slot], t.height[slot], t.channels[slot]);
}

void store_part(ObjectId id, int part, const std::vector<float>& tris, const std::vector<float>& uvs,
                TextureId texture) {
    const int count = static_cast<int>(tris.size() / TRI_WORLD_FLOATS);
    obj_set_part_triangles(id, part, tris.data(), uvs.data(), nullptr, texture, count);
}

}  // namespace

const FigureShape& figure_last_shape() {
    return last_shape;
}

int figure_load(ObjectId id, const char* name) {
    if (id > 0 && obj_valid(id)) obj_reset(id);
    if (name == nullptr) return 0;
    const std::string text = name;
    unsigned rig = 1;
    if (text.find("animal_") != std::string::npos) rig = 2;
    if (text.find("raw_") != std::string::npos) rig = 0;

    const TextureId front = load_picture(name);
    if (!tex_has_pixels(front)) {
        tex_release(front);
        return 0;
    }
    TextureId back = 0;
    const std::string back_text = back_name(text);
    // A back picture under the front's own key would be the front's slot: no back then.
    if (!back_text.empty() && tex_key(back_text.c_str()) != tex_key(name)) {
        back = load_picture(back_text.c_str());
        if (!tex_has_pixels(back)) {
            tex_release(back);
            back = 0;
        }
    }

    const FigurePicture front_picture = picture_of(front);
    const FigurePicture back_picture = back ? picture_of(back) : FigurePicture{};
    FigureMesh mesh;
    if (!figure_build(front_picture, back ? &back_picture : nullptr, rig, mesh)) return 0;
    paint(front);
    if (back) paint(back);
    last_shape = mesh.shape;
    if (id < 1) return 1;
    store_part(id, 0, mesh.front_tris, mesh.front_uvs, front);
    if (back) store_part(id, 1, mesh.back_tris, mesh.back_uvs, back);
    figure_rig(id, mesh.shape);
    return 1;
}
