// The image readers and image_load on files the tests write: BMP with and without alpha, TGA raw and
// run-length, PNG channel rules, JPEG, and damaged or oversized files that must give no image.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "asset_files.h"
#include "assets/image.h"
#include "support/temp_dir.h"

namespace {

using assettest::ScopedCwd;

struct Decoded {
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
    int channels = 0;
    bool ok = false;
};

Decoded take(uint8_t* p, int w, int h, int c) {
    Decoded d;
    if (p == nullptr) return d;
    d.ok = true;
    d.width = w;
    d.height = h;
    d.channels = c;
    d.pixels.assign(p, p + static_cast<size_t>(w) * h * c);
    free(p);
    return d;
}

using Reader = uint8_t* (*)(const uint8_t*, size_t, int*, int*, int*);

Decoded decode(Reader reader, const std::string& bytes) {
    int w = 0, h = 0, c = 0;
    uint8_t* p = reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &w, &h, &c);
    return take(p, w, h, c);
}

Decoded load(const char* name) {
    int w = 0, h = 0, c = 0;
    uint8_t* p = image_load(name, &w, &h, &c);
    return take(p, w, h, c);
}

Decoded decode_alpha_bmp(const std::string& colour, const std::string* alpha) {
    int w = 0, h = 0, c = 0;
    uint8_t* p = image_decode_bmp_alpha(reinterpret_cast<const uint8_t*>(colour.data()), colour.size(),
                                        alpha ? reinterpret_cast<const uint8_t*>(alpha->data()) : nullptr,
                                        alpha ? alpha->size() : 0, &w, &h, &c);
    return take(p, w, h, c);
}

std::vector<uint8_t> px(const Decoded& d, int x, int y) {
    auto at = d.pixels.begin() + (static_cast<size_t>(y) * d.width + x) * d.channels;
    return {at, at + d.channels};
}

using V = std::vector<uint8_t>;

void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// ---- BMP ----

TEST(BmpReader, RowsComeTopFirstAsRgb) {
    V rgb = {255, 0,  0,  0,  255, 0,  0,  0,  255, 1,   2,   3,     // top row
             10,  20, 30, 40, 50,  60, 70, 80, 90,  100, 110, 120};  // bottom row
    Decoded d = decode(image_decode_bmp, assettest::bmp_file(4, 2, rgb));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 4);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.channels, 3);
    EXPECT_EQ(d.pixels, rgb);
}

TEST(BmpReader, DamagedHeadersGiveNoImage) {
    V rgb(4 * 2 * 3, 7);
    const std::string good = assettest::bmp_file(4, 2, rgb);
    ASSERT_TRUE(decode(image_decode_bmp, good).ok);
    EXPECT_FALSE(decode(image_decode_bmp, good.substr(0, good.size() - 1)).ok);  // truncated
    EXPECT_FALSE(decode(image_decode_bmp, good.substr(0, 20)).ok);
    EXPECT_FALSE(decode(image_decode_bmp, "").ok);
    std::string s = good;
    s[0] = 'X';
    EXPECT_FALSE(decode(image_decode_bmp, s).ok);
    s = good;
    put32(s, 18, 0);  // width 0
    EXPECT_FALSE(decode(image_decode_bmp, s).ok);
    s = good;
    put32(s, 22, static_cast<uint32_t>(-2));  // top-down files are refused
    EXPECT_FALSE(decode(image_decode_bmp, s).ok);
    s = good;
    put32(s, 18, 40000);  // wider than allowed
    EXPECT_FALSE(decode(image_decode_bmp, s).ok);
    s = good;
    put32(s, 18, 30000);  // allowed width, but far more pixels than the file holds
    put32(s, 22, 30000);
    EXPECT_FALSE(decode(image_decode_bmp, s).ok);
    s = good;
    put32(s, 10, 0xFFFFFFF0u);  // pixel data past the end
    EXPECT_FALSE(decode(image_decode_bmp, s).ok);
}

TEST(BmpReader, BlackKeyedAlphaFollowsTheColourSum) {
    // Sums 6, 7, 12 and 11, 8, 9, 10, 0.
    V rgb = {1, 2, 3, 2, 2, 3, 4, 4, 4, 3, 3, 5, 2, 3, 3, 3, 3, 3, 3, 3, 4, 0, 0, 0};
    Decoded d = decode_alpha_bmp(assettest::bmp_file(8, 1, rgb), nullptr);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(px(d, 0, 0), (V{1, 2, 3, 0}));
    EXPECT_EQ(px(d, 1, 0), (V{2, 2, 3, 234}));
    EXPECT_EQ(px(d, 2, 0), (V{4, 4, 4, 255}));
    EXPECT_EQ(px(d, 3, 0)[3], 251);
    EXPECT_EQ(px(d, 4, 0)[3], 239);
    EXPECT_EQ(px(d, 5, 0)[3], 243);
    EXPECT_EQ(px(d, 6, 0)[3], 247);
    EXPECT_EQ(px(d, 7, 0)[3], 0);
}

TEST(BmpReader, AlphaMapGivesTheMeanAndRepeatsItsLastPixel) {
    V rgb = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,  // top
             1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    V map = {30,  60,  90,  0,   0,   3,   255, 255, 255, 7,  8,  9,  // top: means 60, 1, 255, 8
             100, 100, 100, 200, 200, 200, 0,   0,   0,   50, 50, 50};
    std::string alpha = assettest::bmp_file(4, 2, map);
    Decoded d = decode_alpha_bmp(assettest::bmp_file(4, 2, rgb), &alpha);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(px(d, 0, 0), (V{9, 9, 9, 60}));
    EXPECT_EQ(px(d, 1, 0)[3], 1);
    EXPECT_EQ(px(d, 2, 0)[3], 255);
    EXPECT_EQ(px(d, 3, 0)[3], 8);
    EXPECT_EQ(px(d, 0, 1), (V{1, 1, 1, 100}));
    EXPECT_EQ(px(d, 1, 1)[3], 200);

    // Cut after the file's first five pixels (the bottom row and one more): the rest repeat the fifth.
    std::string short_alpha = alpha.substr(0, 54 + 5 * 3 + 2);
    d = decode_alpha_bmp(assettest::bmp_file(4, 2, rgb), &short_alpha);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(px(d, 0, 1)[3], 100);
    EXPECT_EQ(px(d, 3, 1)[3], 50);
    EXPECT_EQ(px(d, 0, 0)[3], 60);
    EXPECT_EQ(px(d, 1, 0)[3], 60);
    EXPECT_EQ(px(d, 3, 0)[3], 60);

    std::string empty;
    d = decode_alpha_bmp(assettest::bmp_file(4, 2, rgb), &empty);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(px(d, 2, 1)[3], 0);
}

TEST(BmpReader, ImageLoadFindsTheAlphaMapCompanion) {
    vmtest::TempDir dir;
    V rgb(4 * 3, 200);
    V map = {90, 90, 90, 30, 30, 30, 0, 0, 0, 255, 255, 255};
    dir.write("DATA/tex/RGBA_leaf.bmp", assettest::bmp_file(4, 1, rgb));
    dir.write("DATA/tex/RGBA_leaf.bmp_alphamap", assettest::bmp_file(4, 1, map));
    dir.write("DATA/tex/RGBA_key.bmp", assettest::bmp_file(4, 1, V(12, 1)));
    dir.write("DATA/tex/plain.bmp", assettest::bmp_file(4, 1, rgb));
    ScopedCwd cwd(dir.path());
    Decoded d = load("RGBA_leaf.bmp");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(px(d, 0, 0), (V{200, 200, 200, 90}));
    EXPECT_EQ(px(d, 1, 0)[3], 30);
    EXPECT_EQ(px(d, 3, 0)[3], 255);
    d = load("rgba_key.bmp");  // found through the RGBA_ variant; no alpha map: black key
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(px(d, 0, 0), (V{1, 1, 1, 0}));
    d = load("plain.bmp");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 3);
}

// ---- TGA ----

TEST(TgaReader, RawRowsStayInFileOrderEvenWithOriginBits) {
    std::string body = "\x03\x02\x01\x06\x05\x04\x09\x08\x07\x0c\x0b\x0a";  // B G R per pixel
    for (int descriptor : {0x00, 0x20}) {
        Decoded d = decode(image_decode_tga, assettest::tga_header(2, 2, 2, 24, descriptor) + body);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.channels, 3);
        EXPECT_EQ(px(d, 0, 0), (V{1, 2, 3}));  // the file's first row is the array's first row
        EXPECT_EQ(px(d, 1, 1), (V{10, 11, 12}));
    }
}

TEST(TgaReader, RunLengthPackets) {
    std::string body;
    body += '\x82';  // a run of three
    body += "\x30\x20\x10";
    body += '\x01';  // two literals
    body += "\x03\x02\x01\x06\x05\x04";
    body += '\x80';  // a run of one
    body += "\x09\x08\x07";
    std::string file = assettest::tga_header(10, 3, 2, 24) + body;
    Decoded d = decode(image_decode_tga, file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (V{16, 32, 48, 16, 32, 48, 16, 32, 48, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // A run past the last pixel, and a file that ends inside a packet, give no image.
    std::string over = file;
    over[18 + 11] = '\x81';  // the last packet asks for two pixels where one is left
    EXPECT_FALSE(decode(image_decode_tga, over).ok);
    EXPECT_FALSE(decode(image_decode_tga, file.substr(0, file.size() - 1)).ok);
    EXPECT_FALSE(decode(image_decode_tga, file.substr(0, 19)).ok);
}

TEST(TgaReader, ThirtyTwoBitKeepsAlpha) {
    std::string body = "\x03\x02\x01\x80";
    Decoded d = decode(image_decode_tga, assettest::tga_header(2, 1, 1, 32) + body);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(d.pixels, (V{1, 2, 3, 128}));
    d = decode(image_decode_tga, assettest::tga_header(10, 2, 1, 32) + "\x81\x03\x02\x01\x40");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (V{1, 2, 3, 64, 1, 2, 3, 64}));
}

TEST(TgaReader, OtherHeadersAndSizesAreRefused) {
    std::string body(12, '\x10');
    EXPECT_TRUE(decode(image_decode_tga, assettest::tga_header(2, 2, 2, 24) + body).ok);
    std::string s = assettest::tga_header(2, 2, 2, 24) + body;
    s[0] = 1;  // an image id
    EXPECT_FALSE(decode(image_decode_tga, s).ok);
    EXPECT_FALSE(decode(image_decode_tga, assettest::tga_header(3, 2, 2, 24) + body).ok);  // grey
    EXPECT_FALSE(decode(image_decode_tga, assettest::tga_header(2, 2, 2, 16) + body).ok);
    EXPECT_FALSE(decode(image_decode_tga, assettest::tga_header(2, 0, 2, 24) + body).ok);
    EXPECT_FALSE(decode(image_decode_tga, assettest::tga_header(2, 2, 3, 24) + body).ok);  // short
    EXPECT_FALSE(
        decode(image_decode_tga, assettest::tga_header(10, 65535, 65535, 24) + "\xff\x01\x02\x03").ok);
    EXPECT_FALSE(
        decode(image_decode_tga, assettest::tga_header(10, 30000, 30000, 24) + "\xff\x01\x02\x03").ok);
}

// ---- PNG ----

TEST(PngReader, ChannelRules) {
    assettest::PngLayout grey;
    grey.width = 2;
    grey.colour_type = 0;
    grey.samples = {0, 255};
    EXPECT_FALSE(decode(image_decode_png, assettest::png_file(grey)).ok);

    assettest::PngLayout ga;
    ga.width = 2;
    ga.colour_type = 4;
    ga.samples = {10, 255, 20, 128};
    Decoded d = decode(image_decode_png, assettest::png_file(ga));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.pixels, (V{10, 255, 20, 128}));

    // Grey with a transparent key becomes grey and alpha.
    grey.trns = {0, 255};
    d = decode(image_decode_png, assettest::png_file(grey));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (V{0, 255, 255, 0}));

    assettest::PngLayout rgba;
    rgba.colour_type = 6;
    rgba.samples = {1, 2, 3, 4};
    d = decode(image_decode_png, assettest::png_file(rgba));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(d.pixels, (V{1, 2, 3, 4}));
}

TEST(PngReader, PalettesAndKeysAreExpanded) {
    assettest::PngLayout pal;
    pal.width = 4;
    pal.colour_type = 3;
    pal.depth = 2;
    pal.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    pal.samples = {0x1B};  // indices 0, 1, 2, 3
    Decoded d = decode(image_decode_png, assettest::png_file(pal));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 3);
    EXPECT_EQ(d.pixels, (V{255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}));
    pal.trns = {0, 128};
    d = decode(image_decode_png, assettest::png_file(pal));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(px(d, 0, 0), (V{255, 0, 0, 0}));
    EXPECT_EQ(px(d, 1, 0), (V{0, 255, 0, 128}));
    EXPECT_EQ(px(d, 3, 0), (V{9, 9, 9, 255}));

    assettest::PngLayout keyed;
    keyed.width = 2;
    keyed.samples = {1, 2, 3, 4, 5, 6};
    keyed.trns = {0, 4, 0, 5, 0, 6};
    d = decode(image_decode_png, assettest::png_file(keyed));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (V{1, 2, 3, 255, 4, 5, 6, 0}));
}

TEST(PngReader, SixteenBitSamplesKeepTheirHighByte) {
    assettest::PngLayout deep;
    deep.width = 2;
    deep.depth = 16;
    deep.interlaced = true;
    deep.samples = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0xFF, 0x00, 0x80, 0x7F, 0xFF, 0x01, 0x00};
    Decoded d = decode(image_decode_png, assettest::png_file(deep));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 3);
    EXPECT_EQ(d.pixels, (V{0x12, 0xAB, 0xFF, 0x00, 0x7F, 0x01}));
}

TEST(PngReader, TextChunksAreSkippedNotRefused) {
    assettest::PngLayout layout;
    layout.width = 1;
    layout.samples = {7, 8, 9};
    layout.text = std::string(5000, 'c');
    Decoded d = decode(image_decode_png, assettest::png_file(layout));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (V{7, 8, 9}));
}

TEST(PngReader, DamagedAndOversizedFilesGiveNoImage) {
    assettest::PngLayout layout;
    layout.width = 16;
    layout.height = 16;
    layout.samples.resize(16 * 16 * 3);
    for (size_t i = 0; i < layout.samples.size(); ++i) layout.samples[i] = static_cast<uint8_t>(i * 37);
    const std::string good = assettest::png_file(layout);
    ASSERT_TRUE(decode(image_decode_png, good).ok);
    for (size_t cut : {good.size() - 13, good.size() / 2, size_t{40}, size_t{8}}) {
        EXPECT_FALSE(decode(image_decode_png, good.substr(0, cut)).ok) << cut;
    }
    std::string corrupt = good;
    corrupt[good.size() / 2] ^= 0x55;
    EXPECT_FALSE(decode(image_decode_png, corrupt).ok);

    auto with_size = [](uint32_t w, uint32_t h) {
        assettest::PngLayout s;
        s.width = static_cast<int>(w);
        s.height = 1;
        s.samples.assign(static_cast<size_t>(w) * 3, 0);
        std::string file = assettest::png_file(s);
        (void)h;
        return file;
    };
    // Wider than allowed (libpng itself would take it).
    EXPECT_FALSE(decode(image_decode_png, with_size(40000, 1)).ok);
    EXPECT_TRUE(decode(image_decode_png, with_size(32768, 1)).ok);
}

TEST(PngReader, AHeaderClaimingMorePixelsThanTheFileCanHoldIsRefused) {
    // A 1 x 1 file whose header is patched to 8000 x 8000: within the side rule, but no deflate
    // stream that small can hold that many rows. Refused before anything is inflated.
    assettest::PngLayout layout;
    layout.samples = {1, 2, 3};
    std::string file = assettest::png_file(layout);
    auto be32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
    };
    be32(16, 8000);
    be32(20, 8000);
    // IHDR's checksum covers the type and the 13 data bytes.
    uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const unsigned char*>(file.data() + 12), 17));
    be32(29, crc);
    EXPECT_FALSE(decode(image_decode_png, file).ok);
}

// ---- JPEG ----

TEST(JpegReader, DecodesColourAndProgressiveFiles) {
    V rgb = assettest::gradient_rgb(32, 16);
    for (bool progressive : {false, true}) {
        Decoded d = decode(image_decode_jpeg, assettest::jpeg_file(32, 16, 3, rgb, progressive));
        ASSERT_TRUE(d.ok) << progressive;
        EXPECT_EQ(d.width, 32);
        EXPECT_EQ(d.height, 16);
        EXPECT_EQ(d.channels, 3);
        // Not flipped: the top-left corner is dark red-free, the bottom-right bright in red and green.
        EXPECT_NEAR(px(d, 0, 0)[0], 0, 12);
        EXPECT_NEAR(px(d, 0, 0)[1], 0, 12);
        EXPECT_NEAR(px(d, 31, 15)[0], 255, 12);
        EXPECT_NEAR(px(d, 31, 15)[1], 255, 12);
        EXPECT_NEAR(px(d, 16, 8)[2], 96, 12);
    }
}

TEST(JpegReader, GreyTruncatedAndEndlessFilesGiveNoImage) {
    V grey(16 * 16, 128);
    EXPECT_FALSE(decode(image_decode_jpeg, assettest::jpeg_file(16, 16, 1, grey)).ok);

    V rgb = assettest::gradient_rgb(64, 64);
    std::string good = assettest::jpeg_file(64, 64, 3, rgb);
    ASSERT_TRUE(decode(image_decode_jpeg, good).ok);
    EXPECT_FALSE(decode(image_decode_jpeg, good.substr(0, good.size() * 2 / 3)).ok);
    EXPECT_FALSE(decode(image_decode_jpeg, good.substr(0, 100)).ok);
    std::string progressive = assettest::jpeg_file(64, 64, 3, rgb, true);
    EXPECT_FALSE(decode(image_decode_jpeg, progressive.substr(0, progressive.size() / 2)).ok);
    std::string corrupt = good;
    corrupt[0] = 0;
    EXPECT_FALSE(decode(image_decode_jpeg, corrupt).ok);

    // 190 scans is far beyond any real progressive file.
    std::string many = assettest::jpeg_file(16, 16, 3, assettest::gradient_rgb(16, 16), false, true);
    ASSERT_FALSE(many.empty());
    EXPECT_FALSE(decode(image_decode_jpeg, many).ok);
}

TEST(JpegReader, OversizedHeadersAreRefusedBeforeDecoding) {
    std::string file = assettest::jpeg_file(8, 8, 3, assettest::gradient_rgb(8, 8));
    // The frame header (SOF0) holds height and width, big-endian, 5 bytes after its marker.
    size_t sof = file.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    auto set_size = [&](unsigned w, unsigned h) {
        std::string s = file;
        s[sof + 5] = static_cast<char>(h >> 8);
        s[sof + 6] = static_cast<char>(h & 0xFF);
        s[sof + 7] = static_cast<char>(w >> 8);
        s[sof + 8] = static_cast<char>(w & 0xFF);
        return s;
    };
    EXPECT_FALSE(decode(image_decode_jpeg, set_size(40000, 8)).ok);
    EXPECT_FALSE(decode(image_decode_jpeg, set_size(30000, 30000)).ok);  // more pixels than allowed
}

// ---- image_load ----

TEST(ImageLoad, JpegFoundThroughForeignSpellingIsDecoded) {
    vmtest::TempDir dir;
    dir.write("DATA/tex/wall.jpg", assettest::jpeg_file(16, 8, 3, assettest::gradient_rgb(16, 8)));
    dir.write("run/keep", "");
    ScopedCwd cwd(dir / "run");
    Decoded d = load("..\\DATA\\TEX\\Wall.JPG");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 16);
    EXPECT_EQ(d.channels, 3);
}

TEST(ImageLoad, AFailedDecodeFallsThroughToTheNextClasses) {
    vmtest::TempDir dir;
    std::string tga = assettest::tga_header(2, 1, 1, 24) + "\x03\x02\x01";
    dir.write("disguised.jpg", tga);
    dir.write("broken.png", "\x89PNG\r\n\x1a\nrubbish");
    dir.write("noext", tga);
    dir.write("bad.bmp", tga);
    ScopedCwd cwd(dir.path());
    Decoded d = load("disguised.jpg");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (V{1, 2, 3}));
    EXPECT_FALSE(load("broken.png").ok);
    EXPECT_TRUE(load("noext").ok);
    EXPECT_FALSE(load("bad.bmp").ok);  // BMP is the last class for .bmp names
    EXPECT_FALSE(load("absent.png").ok);
    EXPECT_FALSE(load(nullptr).ok);
}

TEST(ImageLoad, PngThroughTheSearch) {
    vmtest::TempDir dir;
    assettest::PngLayout layout;
    layout.width = 2;
    layout.colour_type = 6;
    layout.samples = {1, 2, 3, 4, 5, 6, 7, 8};
    dir.write("data/tex/ball.png", assettest::png_file(layout));
    ScopedCwd cwd(dir.path());
    Decoded d = load("Ball.png");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.channels, 4);
    EXPECT_EQ(d.pixels, (V{1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
