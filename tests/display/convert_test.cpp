// Pixel conversion on plain buffers: byte orders, 5-6-5 packing, the scaler's sampling and clamp, and
// the fast paths against the plain references.
#include "display/convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> random_image(int width, int height, uint32_t seed) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (auto& byte : pixels) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return pixels;
}

// Source pixels that name their own position: R = column low byte, G = column high byte, B = row.
std::vector<uint8_t> position_image(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(x >> 8);
            p[2] = static_cast<uint8_t>(y);
        }
    return pixels;
}

uint16_t word16(const std::vector<uint8_t>& out, size_t pixel) {
    uint16_t v;
    std::memcpy(&v, &out[pixel * 2], 2);
    return v;
}

// The source column and row a scaled 4-byte output pixel came from (position_image, rgb_swap 0).
void source_of(const std::vector<uint8_t>& out, int out_width, int x, int y, int* column, int* row) {
    const uint8_t* p = &out[(static_cast<size_t>(y) * out_width + x) * 4];
    *column = p[0] | p[1] << 8;
    *row = p[2];
}

TEST(Convert, FourBytePixelsInBothOrders) {
    // Seven pixels: one block of four and a tail of three, so both code paths are seen.
    const std::vector<uint8_t> src = {0x11, 0x22, 0x33, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x01, 0x02,
                                      0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xA0, 0xB0, 0xC0};
    std::vector<uint8_t> out(7 * 4, 0xEE);
    convert_rows(src.data(), 7, 1, out.data(), 4, 1, 0, 1);
    const std::vector<uint8_t> swapped = {0x33, 0x22, 0x11, 0,    0x00, 0x00, 0xFF, 0,    0xFF, 0x00,
                                          0x00, 0,    0x03, 0x02, 0x01, 0,    0x06, 0x05, 0x04, 0,
                                          0x09, 0x08, 0x07, 0,    0xC0, 0xB0, 0xA0, 0};
    EXPECT_EQ(out, swapped);
    convert_rows(src.data(), 7, 1, out.data(), 4, 0, 0, 1);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(out[i * 4 + 0], src[i * 3 + 0]) << i;
        EXPECT_EQ(out[i * 4 + 1], src[i * 3 + 1]) << i;
        EXPECT_EQ(out[i * 4 + 2], src[i * 3 + 2]) << i;
    }
    // Red in the high byte of the word is what a red-mask-0xFF0000 visual wants.
    uint32_t red;
    convert_rows(src.data() + 3, 1, 1, reinterpret_cast<uint8_t*>(&red), 4, 1, 0, 1);
    EXPECT_EQ(red, 0x00FF0000u);
}

TEST(Convert, Pack565InBothOrders) {
    const std::vector<uint8_t> src = {0xF8, 0xFC, 0x08, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x07, 0x03, 0x07};
    std::vector<uint8_t> out(4 * 2);
    convert_rows(src.data(), 4, 1, out.data(), 2, 1, 0, 1);
    EXPECT_EQ(word16(out, 0), 0xF800 | 0x07E0 | 0x0001);
    EXPECT_EQ(word16(out, 1), 0xF800);  // red high
    EXPECT_EQ(word16(out, 2), 0x001F);
    EXPECT_EQ(word16(out, 3), 0x0000);  // bits below each field's width vanish
    convert_rows(src.data(), 4, 1, out.data(), 2, 0, 0, 1);
    EXPECT_EQ(word16(out, 0), 0x0800 | 0x07E0 | 0x001F);
    EXPECT_EQ(word16(out, 1), 0x001F);  // red low
    EXPECT_EQ(word16(out, 2), 0xF800);
}

TEST(Convert, FastMatchesReferenceAndKeepsToItsRows) {
    const int widths[] = {1, 2, 3, 5, 7, 13, 640, 1001};
    for (int width : widths) {
        const int height = 9;
        // Exactly the image's bytes: a read past the last pixel is a sanitizer finding.
        const std::vector<uint8_t> src = random_image(width, height, static_cast<uint32_t>(width));
        for (int bpp : {4, 2}) {
            for (int swap : {0, 1}) {
                const size_t bytes = static_cast<size_t>(width) * height * bpp;
                std::vector<uint8_t> fast(bytes, 0xAB), plain(bytes, 0xAB);
                convert_rows(src.data(), width, height, fast.data(), bpp, swap, 2, 7);
                convert_rows_reference(src.data(), width, height, plain.data(), bpp, swap, 2, 7);
                ASSERT_EQ(fast, plain) << width << " bpp " << bpp << " swap " << swap;
                const size_t row = static_cast<size_t>(width) * bpp;
                for (size_t i = 0; i < bytes; ++i) {
                    if (i < 2 * row || i >= 7 * row) {
                        ASSERT_EQ(fast[i], 0xAB) << "wrote outside rows 2..6";
                    }
                }
                convert_rows(src.data(), width, height, fast.data(), bpp, swap, 0, height);
                convert_rows_reference(src.data(), width, height, plain.data(), bpp, swap, 0, height);
                ASSERT_EQ(fast, plain) << width << " bpp " << bpp << " swap " << swap;
            }
        }
    }
}

TEST(ConvertScaled, DoublingRepeatsEverySourcePixelTwice) {
    const std::vector<uint8_t> src = position_image(512, 256);
    std::vector<uint8_t> out(1024 * 512 * 4);
    convert_scaled_rows(src.data(), 512, 256, out.data(), 1024, 512, 4, 0, 0, 1);
    int column, row;
    source_of(out, 1024, 0, 0, &column, &row);
    EXPECT_EQ(column, 0);
    source_of(out, 1024, 1, 0, &column, &row);
    EXPECT_EQ(column, 0);
    source_of(out, 1024, 2, 0, &column, &row);
    EXPECT_EQ(column, 1);
    source_of(out, 1024, 3, 1, &column, &row);
    EXPECT_EQ(column, 1);
    EXPECT_EQ(row, 0);
    for (int y = 0; y < 512; y += 3) {
        for (int x = 0; x < 1024; ++x) {
            source_of(out, 1024, x, y, &column, &row);
            ASSERT_EQ(column, x / 2) << x << "," << y;
            ASSERT_EQ(row, (y / 2) & 0xFF) << x << "," << y;
        }
    }
}

TEST(ConvertScaled, ShrinkingPicksTheRunningColumnAndTruncatedRow) {
    const std::vector<uint8_t> src = position_image(512, 256);
    std::vector<uint8_t> out(100 * 50 * 4);
    convert_scaled_rows(src.data(), 512, 256, out.data(), 100, 50, 4, 0, 0, 1);
    int column, row;
    source_of(out, 100, 0, 0, &column, &row);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(row, 0);
    source_of(out, 100, 1, 1, &column, &row);
    EXPECT_EQ(column, 5);  // 0.4 + 5.12
    EXPECT_EQ(row, 5);     // 5.12
    source_of(out, 100, 99, 49, &column, &row);
    EXPECT_EQ(column, 507);  // 0.4 + 99 x 5.12 = 507.28
    EXPECT_EQ(row, 250);     // 49 x 5.12 = 250.88
}

TEST(ConvertScaled, OffsetPastTheEndTakesTheLastPixel) {
    // A 4 x 2 image stretched to 12 columns: the last column's running position passes 4.0, which
    // lands one pixel past its row. On the bottom row that is past the image and is clamped.
    const std::vector<uint8_t> src = position_image(4, 2);  // exactly 24 bytes
    std::vector<uint8_t> out(12 * 2 * 4);
    convert_scaled_rows(src.data(), 4, 2, out.data(), 12, 2, 4, 0, 0, 1);
    int column, row;
    source_of(out, 12, 11, 1, &column, &row);
    EXPECT_EQ(column, 3);
    EXPECT_EQ(row, 1);
    source_of(out, 12, 10, 1, &column, &row);
    EXPECT_EQ(column, 3);
    // On the top row the same offset is still inside the image: the next row's first pixel.
    source_of(out, 12, 11, 0, &column, &row);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(row, 1);
}

TEST(ConvertScaled, FastMatchesReferenceOverSizes) {
    struct Case {
        int sw, sh, ow, oh;
    };
    const Case cases[] = {{512, 256, 1024, 512}, {512, 256, 100, 50},  {1280, 720, 1920, 1080},
                          {7, 5, 300, 40},       {300, 200, 299, 201}, {1, 1, 17, 33},
                          {333, 17, 1, 1},       {128, 64, 700, 3}};
    for (const Case& c : cases) {
        const std::vector<uint8_t> src = random_image(c.sw, c.sh, static_cast<uint32_t>(c.sw * 31 + c.oh));
        for (int bpp : {4, 2}) {
            for (int swap : {0, 1}) {
                const size_t bytes = static_cast<size_t>(c.ow) * c.oh * bpp;
                std::vector<uint8_t> fast(bytes, 0xCD), plain(bytes, 0xCD);
                convert_scaled_rows(src.data(), c.sw, c.sh, fast.data(), c.ow, c.oh, bpp, swap, 0, 1);
                convert_scaled_rows_reference(src.data(), c.sw, c.sh, plain.data(), c.ow, c.oh, bpp, swap, 0,
                                              1);
                ASSERT_EQ(fast, plain)
                    << c.sw << "x" << c.sh << " -> " << c.ow << "x" << c.oh << " bpp " << bpp;
            }
        }
    }
}

TEST(ConvertScaled, BandSharesCoverEveryRowOnce) {
    const int sw = 200, sh = 90, ow = 333, oh = 101;  // 101 rows: the last band is short
    const std::vector<uint8_t> src = random_image(sw, sh, 7);
    std::vector<uint8_t> whole(static_cast<size_t>(ow) * oh * 4, 0);
    convert_scaled_rows(src.data(), sw, sh, whole.data(), ow, oh, 4, 1, 0, 1);
    for (int parts = 2; parts <= 3; ++parts) {
        std::vector<uint8_t> combined(whole.size(), 0);
        for (int k = 0; k < parts; ++k) {
            std::vector<uint8_t> share(whole.size(), 0xEE);
            convert_scaled_rows(src.data(), sw, sh, share.data(), ow, oh, 4, 1, k, parts);
            for (int y = 0; y < oh; ++y) {
                const bool mine = (y / 16) % parts == k;
                const size_t row = static_cast<size_t>(y) * ow * 4;
                for (size_t i = row; i < row + static_cast<size_t>(ow) * 4; ++i) {
                    if (mine) {
                        combined[i] = share[i];
                    } else {
                        ASSERT_EQ(share[i], 0xEE) << "share " << k << " of " << parts << " wrote row " << y;
                    }
                }
            }
        }
        EXPECT_EQ(combined, whole) << parts << " shares";
    }
}

TEST(Convert, ThreadRulesFollowSizeAndProcessors) {
    EXPECT_EQ(convert_thread_count(500000, 2), 1);
    EXPECT_EQ(convert_thread_count(500001, 2), 2);
    EXPECT_EQ(convert_thread_count(2000000, 1), 1);
    EXPECT_EQ(convert_scaled_thread_count(500001, 3), 3);
    EXPECT_EQ(convert_scaled_thread_count(500001, 2), 2);
    EXPECT_EQ(convert_scaled_thread_count(500000, 8), 2);
    EXPECT_EQ(convert_scaled_thread_count(300000, 8), 1);
    EXPECT_EQ(convert_scaled_thread_count(2000000, 1), 1);
}

}  // namespace
