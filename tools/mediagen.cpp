// The media generator: writes every data file the demo reads into the data folder given on the
// command line (the build's data/ beside the executable). Single-threaded, deterministic.
#include <cstdio>
#include <string>

#include "media_image.h"
#include "media_textures.h"

namespace {

enum class MediaFormat { png, jpg };

struct MediaFile {
    const char* path;  // relative to the data folder, where the asset locator looks for the name
    MediaImage (*make)();
    MediaFormat format;
};

// The order is the start-up preload order. The build lists the same files as its outputs.
constexpr MediaFile kFiles[] = {
    {"tex/egbolt2.jpg", media_sky_day, MediaFormat::jpg},  {"tex/fal1.png", media_wall, MediaFormat::png},
    {"tex/gomb.png", media_ball, MediaFormat::png},        {"tex/szikra1.png", media_spark, MediaFormat::png},
    {"tex/egbolt3.jpg", media_sky_dusk, MediaFormat::jpg},
};

// Without chroma subsampling (which stb applies at 90 and below): the stars and the thin coloured
// horizon bands keep their colour.
constexpr int kJpegQuality = 92;

std::string parent_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: mediagen DATA_FOLDER\n");
        return 2;
    }
    std::string root = argv[1];
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    for (const MediaFile& file : kFiles) {
        std::string path = root + "/" + file.path;
        if (!media_make_dirs(parent_of(path))) {
            std::fprintf(stderr, "mediagen: cannot create the folder of %s\n", path.c_str());
            return 1;
        }
        MediaImage image = file.make();
        bool ok = file.format == MediaFormat::png ? media_write_png(image, path)
                                                  : media_write_jpg(image, path, kJpegQuality);
        if (!ok) {
            std::fprintf(stderr, "mediagen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
