// The media generator: writes every data file the demo reads into the data folder given on the
// command line (the build's data/ beside the executable). Single-threaded, deterministic.
#include <cstdio>
#include <string>

#include "media_catalog.h"

namespace {

// Without chroma subsampling (which stb applies at 90 and below): the stars and the thin coloured
// horizon bands keep their colour.
constexpr int kJpegQuality = 92;

std::string parent_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Draws one file and writes it under `root`; false (with the reason on standard error) on failure.
bool write_media(const MediaFile& file, const std::string& root) {
    std::string path = root + "/" + file.path;
    if (!media_make_dirs(parent_of(path))) {
        std::fprintf(stderr, "mediagen: cannot create the folder of %s\n", path.c_str());
        return false;
    }
    MediaImage image = file.make(file.variant);
    bool ok = file.format == MediaFormat::png ? media_write_png(image, path)
                                              : media_write_jpg(image, path, kJpegQuality);
    if (!ok) std::fprintf(stderr, "mediagen: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: mediagen DATA_FOLDER\n");
        return 2;
    }
    std::string root = argv[1];
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    for (MediaList (*group)() :
         {media_start_files, media_people_files, media_scenery_files, media_nature_files}) {
        const MediaList list = group();
        for (size_t i = 0; i < list.count; ++i) {
            if (!write_media(list.files[i], root)) return 1;
        }
    }
    return 0;
}
