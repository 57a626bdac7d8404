// Writes the seeds of fuzz_figure into the folder given: the person the tests draw at a few sizes, with
// and without a back picture, and the awkward shapes (a single pixel, thin strips, a transparent and an
// opaque picture), and a front and a back far too large for the bound on working copies. Run by the fuzz
// build after fuzz_figure is linked.
#include <string>
#include <vector>

#include "figure_input.h"
#include "seed_file.h"
#include "support/image_files.h"

namespace {

std::string header(int w, int h, uint8_t flags) {
    return {static_cast<char>(w - 1), static_cast<char>(h - 1), static_cast<char>(flags)};
}

std::string person(int w, int h) {
    const std::vector<uint8_t> px = imagefiles::person_rgba(w, h);
    return std::string(px.begin(), px.end());
}

}  // namespace

int main(int argc, char** argv) {
    const char* seeds = seed_folder(argc, argv, "make_figure_seeds");
    if (seeds == nullptr) return 2;
    const std::string folder = seeds;
    const auto save = [&](const char* name, const std::string& bytes) {
        return seed_save(folder, name, bytes);
    };
    const uint8_t rgba = FIGURE_FUZZ_RGBA, biped = 1 << 1, animal = 2 << 1;
    const bool ok = save("person", header(25, 50, rgba | biped) + person(25, 50)) &&
                    save("person_back", header(32, 64, rgba | biped | FIGURE_FUZZ_BACK) + person(32, 64) +
                                            header(32, 64, rgba) + person(32, 64)) &&
                    save("animal", header(64, 32, rgba | animal) + person(64, 32)) &&
                    save("pixel", header(1, 1, rgba) + std::string("\x10\x20\x30\xff", 4)) &&
                    save("strip", header(1, 64, biped) + std::string(64 * 3, '\x80')) &&
                    save("transparent", header(8, 8, rgba) + std::string(8 * 8 * 4, '\0')) &&
                    save("opaque", header(16, 16, biped) + std::string(16 * 16 * 3, '\x7f')) &&
                    save("beyond", header(64, 64, rgba | biped | FIGURE_FUZZ_BOUND) + person(64, 64)) &&
                    save("back_beyond", header(16, 32, rgba | biped | FIGURE_FUZZ_BACK) + person(16, 32) +
                                            header(64, 64, rgba | FIGURE_FUZZ_BOUND) + person(64, 64));
    return ok ? 0 : 1;
}
