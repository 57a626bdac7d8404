// Writes the seeds of fuzz_figure into the folder given: the person the tests draw at a few sizes, with
// and without a back picture, and the awkward shapes (a single pixel, thin strips, a transparent and an
// opaque picture). Run by the fuzz build after fuzz_figure is linked.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "figure_input.h"
#include "support/image_files.h"

namespace {

std::string header(int w, int h, uint8_t flags) {
    return {static_cast<char>(w - 1), static_cast<char>(h - 1), static_cast<char>(flags)};
}

std::string person(int w, int h) {
    const std::vector<uint8_t> px = imagefiles::person_rgba(w, h);
    return std::string(px.begin(), px.end());
}

bool save(const std::string& folder, const char* name, const std::string& bytes) {
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_figure_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return 1;
    const uint8_t rgba = FIGURE_FUZZ_RGBA, biped = 1 << 1, animal = 2 << 1;
    const bool ok = save(folder, "person", header(25, 50, rgba | biped) + person(25, 50)) &&
                    save(folder, "person_back",
                         header(32, 64, rgba | biped | FIGURE_FUZZ_BACK) + person(32, 64) +
                             header(32, 64, rgba) + person(32, 64)) &&
                    save(folder, "animal", header(64, 32, rgba | animal) + person(64, 32)) &&
                    save(folder, "pixel", header(1, 1, rgba) + std::string("\x10\x20\x30\xff", 4)) &&
                    save(folder, "strip", header(1, 64, biped) + std::string(64 * 3, '\x80')) &&
                    save(folder, "transparent", header(8, 8, rgba) + std::string(8 * 8 * 4, '\0')) &&
                    save(folder, "opaque", header(16, 16, biped) + std::string(16 * 16 * 3, '\x7f'));
    return ok ? 0 : 1;
}
