// The font generator: builds the 16 x 16 Unicode glyph table the overlay draws UTF-16 text from, out of
// the .hex bitmap fonts of Debian's unifont package, at build time.
//
// Usage: fontgen OUTPUT PLAIN.hex [PREFERRED.hex]
//
// The table holds 65536 glyphs of 32 bytes, glyph n for code unit n: 16 rows top to bottom, 2 bytes a
// row (byte 2r columns 0-7, byte 2r + 1 columns 8-15), bit k of a byte = column k mod 8, so the least
// significant bit is the leftmost pixel. A .hex line is "CODE:BITS", BITS 32 hex digits for an 8-pixel
// wide glyph (one byte a row) or 64 for a 16-pixel one (two), the most significant bit leftmost. Glyphs
// of the preferred file (the Japanese variant, as the captions are Japanese) win over the plain ones;
// narrow glyphs fill the left half of the cell. Codes beyond 16 bits and malformed lines are skipped:
// the files are read as untrusted text.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int GLYPH_COUNT = 65536;
constexpr int GLYPH_BYTES = 32;
// The longest line worth parsing: a 6-digit code, a colon, 64 digits and a line end. Anything longer is
// not a glyph line and is skipped whole.
constexpr size_t LINE_MAX = 80;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint8_t reverse_bits(uint8_t b) {
    uint8_t r = 0;
    for (int k = 0; k < 8; ++k) {
        if (b & (1u << k)) r = static_cast<uint8_t>(r | (0x80u >> k));
    }
    return r;
}

// One "CODE:BITS" line into its glyph in table layout; false for anything else.
bool parse_line(const std::string& line, uint32_t* code, uint8_t glyph[GLYPH_BYTES]) {
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 6) return false;
    uint32_t value = 0;
    for (size_t i = 0; i < colon; ++i) {
        int h = hex_value(line[i]);
        if (h < 0) return false;
        value = value * 16 + static_cast<uint32_t>(h);
    }
    size_t digits = line.size() - colon - 1;
    if (digits != 32 && digits != 64) return false;
    const size_t bytes = digits / 2;
    uint8_t raw[32];
    for (size_t i = 0; i < bytes; ++i) {
        int hi = hex_value(line[colon + 1 + 2 * i]);
        int lo = hex_value(line[colon + 2 + 2 * i]);
        if (hi < 0 || lo < 0) return false;
        raw[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    for (int r = 0; r < 16; ++r) {
        if (bytes == 16) {
            glyph[2 * r] = reverse_bits(raw[r]);
            glyph[2 * r + 1] = 0;
        } else {
            glyph[2 * r] = reverse_bits(raw[2 * r]);
            glyph[2 * r + 1] = reverse_bits(raw[2 * r + 1]);
        }
    }
    *code = value;
    return true;
}

// Reads every glyph line of `path` into the table (later lines of the same file lose to earlier ones, and
// `seen` keeps what an earlier, preferred file set). False when the file cannot be read.
bool read_hex(const char* path, std::vector<uint8_t>& table, std::vector<uint8_t>& seen) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::vector<uint8_t> mine(GLYPH_COUNT, 0);
    std::string line;
    bool too_long = false;
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF || c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            uint32_t code = 0;
            uint8_t glyph[GLYPH_BYTES];
            if (!too_long && parse_line(line, &code, glyph) && code < GLYPH_COUNT && !seen[code] &&
                !mine[code]) {
                for (int i = 0; i < GLYPH_BYTES; ++i)
                    table[code * GLYPH_BYTES + static_cast<size_t>(i)] = glyph[i];
                mine[code] = 1;
            }
            line.clear();
            too_long = false;
            if (c == EOF) break;
            continue;
        }
        if (line.size() >= LINE_MAX) {
            too_long = true;
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    for (size_t i = 0; i < mine.size(); ++i) seen[i] = static_cast<uint8_t>(seen[i] | mine[i]);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: fontgen OUTPUT PLAIN.hex [PREFERRED.hex]\n");
        return 2;
    }
    std::vector<uint8_t> table(static_cast<size_t>(GLYPH_COUNT) * GLYPH_BYTES, 0);
    std::vector<uint8_t> seen(GLYPH_COUNT, 0);
    if (argc == 4 && !read_hex(argv[3], table, seen)) {
        std::fprintf(stderr, "fontgen: cannot read %s\n", argv[3]);
        return 1;
    }
    if (!read_hex(argv[2], table, seen)) {
        std::fprintf(stderr, "fontgen: cannot read %s\n", argv[2]);
        return 1;
    }
    // Written beside the target and renamed over it, so an interrupted build never leaves a short table.
    const std::string temp = std::string(argv[1]) + ".part";
    FILE* out = std::fopen(temp.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "fontgen: cannot write %s\n", temp.c_str());
        return 1;
    }
    const bool written = std::fwrite(table.data(), 1, table.size(), out) == table.size();
    if (std::fclose(out) != 0 || !written || std::rename(temp.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "fontgen: cannot write %s\n", argv[1]);
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
