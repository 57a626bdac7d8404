// Writes a few caption texts into the folder given, as the seeds of fuzz_text: plain ASCII, Latin-1
// bytes, UTF-8 of every length, broken and cut sequences, and UTF-16 text. Run by the fuzz build after
// fuzz_text is linked.
#include <string>

#include "seed_file.h"

int main(int argc, char** argv) {
    const char* seeds = seed_folder(argc, argv, "make_text_seeds");
    if (seeds == nullptr) return 2;
    const std::string folder = seeds;
    const auto save = [&](const char* name, const std::string& bytes) {
        return seed_save(folder, name, bytes);
    };
    const bool ok = save("ascii.txt", "Loading, please wait...") &&
                    save("latin1.txt", "Gr\xFC\xDF Gott \xA9 2026") &&
                    save("utf8.txt", "A\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC") &&
                    save("broken.txt", "\xA9x\xC3(\xE2\x82q\xF0\x9F\x98!\xF8\xFF\xC0\x80") &&
                    save("cut.txt", "tail \xF0\x9F") && save("utf16.txt", std::string("H\0i\0\xE9\0\0\0", 8));
    return ok ? 0 : 1;
}
