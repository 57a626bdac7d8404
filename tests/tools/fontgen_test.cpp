// The font generator on hand-made .hex files: the bit layout of narrow and wide glyphs, the preferred
// file winning, and malformed lines skipped without harm.
#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

int run_fontgen(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {FONTGEN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    vmtest::ChildProcess child(argv, {}, ".");
    return child.wait(60);
}

// Row r of glyph `code` as 16 characters, '#' for ink, leftmost column first.
std::string row(const std::string& table, int code, int r) {
    std::string s;
    for (int c = 0; c < 16; ++c) {
        const auto byte = static_cast<unsigned char>(table[static_cast<size_t>(code * 32 + 2 * r + c / 8)]);
        s += (byte >> (c % 8)) & 1 ? '#' : '.';
    }
    return s;
}

TEST(Fontgen, ReadsNarrowAndWideGlyphsPrefersTheSecondFileAndSkipsBadLines) {
    vmtest::TempDir dir;
    const std::string narrow_c0 = "C0" + std::string(30, '0');           // row 0: columns 0 and 1
    const std::string wide_8001 = "8001" + std::string(60, '0');         // row 0: columns 0 and 15
    const std::string plain = "0041:" + narrow_c0 + "\r\n" +             // CRLF line end
                              "0042:" + narrow_c0 + "\n" +               // replaced by the preferred file
                              "4E00:" + wide_8001 + "\n" +               // a wide glyph
                              "10041:" + wide_8001 + "\n" +              // beyond 16 bits
                              "0043:" + narrow_c0.substr(1) + "\n" +     // one digit short
                              "0044:" + std::string(31, '0') + "G\n" +   // not hex
                              "0045" + narrow_c0 + "\n" +                // no colon
                              "0046:" + std::string(5000, 'F') + "\n" +  // far too long
                              "0047:" + narrow_c0;                       // no final line end
    const std::string preferred = "0042:" + wide_8001 + "\n";
    ASSERT_EQ(run_fontgen({dir / "font.bin", dir.write("plain.hex", plain), dir.write("jp.hex", preferred)}),
              0);
    const std::string table = vmtest::read_file(dir / "font.bin");
    ASSERT_EQ(table.size(), 65536u * 32);
    EXPECT_EQ(row(table, 0x41, 0), "##..............");
    EXPECT_EQ(row(table, 0x42, 0), "#..............#");
    EXPECT_EQ(row(table, 0x4E00, 0), "#..............#");
    EXPECT_EQ(row(table, 0x47, 0), "##..............");
    for (int code : {0x43, 0x44, 0x45, 0x46})
        for (int r = 0; r < 16; ++r) EXPECT_EQ(row(table, code, r), std::string(16, '.')) << code;

    EXPECT_NE(run_fontgen({dir / "out.bin", dir / "missing.hex"}), 0);
    EXPECT_TRUE(vmtest::read_file(dir / "out.bin").empty());
}

}  // namespace
