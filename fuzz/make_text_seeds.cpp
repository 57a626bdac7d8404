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
    // Characters written in more bytes than they need (a slash in two, three and four bytes, the zero in
    // two and three), and a 5- and 6-byte form.
    const std::string overlong =
        "/\xC0\xAF \xE0\x80\xAF \xF0\x80\x80\xAF \xC0\x80 \xE0\x80\x80 \xF8\x88\x80\x80\x80 "
        "\xFC\x84\x80\x80\x80\x80 \xC1\xBF end";
    // Surrogate halves, the last two characters of the planes and past the last plane, lone continuation
    // bytes and a lead byte just before the end.
    const std::string beyond =
        "\xED\xA0\x80\xED\xBF\xBF \xEF\xBF\xBE\xEF\xBF\xBF \xF4\x8F\xBF\xBF \xF4\x90\x80\x80 "
        "\xF7\xBF\xBF\xBF \x80\xBF\x80 \xFE\xFF \xE2";
    // A caption far longer than a line, its characters of every length.
    std::string caption;
    while (caption.size() < 3000) caption += "Stars \xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\x86 over the square, ";
    const bool ok =
        save("ascii.txt", "Loading, please wait...") && save("latin1.txt", "Gr\xFC\xDF Gott \xA9 2026") &&
        save("utf8.txt", "A\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC") &&
        save("broken.txt", "\xA9x\xC3(\xE2\x82q\xF0\x9F\x98!\xF8\xFF\xC0\x80") &&
        save("cut.txt", "tail \xF0\x9F") && save("utf16.txt", std::string("H\0i\0\xE9\0\0\0", 8)) &&
        save("overlong.txt", overlong) && save("beyond.txt", beyond) && save("long.txt", caption);
    return ok ? 0 : 1;
}
