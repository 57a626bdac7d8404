// A picture of the park as the demo builds it, for looking at the world without running the demo:
//   park_view OUT.png [scene7 SECONDS | above | EYE_X EYE_Y EYE_Z LOOK_X LOOK_Y LOOK_Z] [WIDTH HEIGHT]
// "scene7" is the camera of the scene where the figures start walking one by one, SECONDS into it;
// "above" looks down on the square from high over the chairs. Renders headless into the frame buffer
// and writes it with libpng. Lives beside the demo, whose data folder it reads.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "assets/model.h"
#include "demo/outdoor_world.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"
#include "shell/frame.h"
#include "shell/probe.h"

namespace {

// The seven animated figures in a row in front of the square, as in the scene where they start walking.
void place_figures() {
    const char* files[] = {"a1.png", "mah1.png", "mah2.png", "mah3.png", "mah4.png", "mah5.png", "mah1.png"};
    const float x[] = {0, 1, 2, 3, -1, -2, -3};
    for (int i = 0; i < 7; ++i) {
        model_load(200 + i, files[i]);
        obj_set_position(200 + i, x[i], 0, 2);
        obj_table.anim_clip[200 + i] = 2;
        obj_set_anim_time(200 + i, 3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: park_view OUT.png [scene7 SECONDS | above | EYE LOOK] [WIDTH HEIGHT]\n");
        return 2;
    }
    const std::string out =
        argv[1][0] == '/' ? argv[1] : std::string(getenv("PWD") ? getenv("PWD") : ".") + "/" + argv[1];
    int arg = 2;
    float eye[3] = {0, 1.5f, 16}, look[3] = {0, -0.4f, 4};
    if (arg < argc && std::strcmp(argv[arg], "scene7") == 0 && arg + 1 < argc) {
        const float e = std::strtof(argv[arg + 1], nullptr);
        eye[0] = e * 1.5f - 6, eye[1] = e * 0.05f - 0.5f, eye[2] = 7.7f;
        look[0] = look[1] = look[2] = 0;
        arg += 2;
    } else if (arg < argc && std::strcmp(argv[arg], "above") == 0) {
        eye[0] = 0, eye[1] = 24, eye[2] = 30;
        look[0] = 0, look[1] = -1, look[2] = 2;
        arg += 1;
    } else if (arg + 5 < argc) {
        for (int i = 0; i < 3; ++i) eye[i] = std::strtof(argv[arg + i], nullptr);
        for (int i = 0; i < 3; ++i) look[i] = std::strtof(argv[arg + 3 + i], nullptr);
        arg += 6;
    }
    int width = 1280, height = 640;
    if (arg + 1 < argc) {
        width = std::atoi(argv[arg]);
        height = std::atoi(argv[arg + 1]);
    }

    system_probe();
    render_set_headless(1);
    set_resolution(width, height);
    half_height(0);
    outdoor_world(0);
    loading_progress(100);
    obj_show_scenery();
    place_figures();
    camera_set(eye[0], eye[1], eye[2], look[0], look[1], look[2]);
    camera_update();
    // Twice: the first frame lists and transforms every part; the animation settles on the second.
    render_frame();
    const RenderedFrame frame = render_frame();

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(frame.width);
    image.height = static_cast<png_uint_32>(frame.height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, out.c_str(), 0, frame.pixels, frame.width * 3, nullptr)) {
        std::fprintf(stderr, "park_view: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
