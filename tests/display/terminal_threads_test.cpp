// The terminal downscale split over threads against the same call in synchronous mode, and against a
// plain per-cell reference. Run under the thread sanitizer too.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/cpu.h"
#include "core/threads.h"
#include "display/terminal.h"

namespace {

std::vector<uint8_t> noise(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> pixels(bytes);
    for (auto& byte : pixels) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return pixels;
}

// The obvious version: every target cell looks up its source pixel on its own.
std::vector<uint8_t> reference(const std::vector<uint8_t>& src, int sw, int sh, int tw, int th, int bpp) {
    std::vector<uint8_t> out(static_cast<size_t>(tw) * th * bpp);
    for (int i = 0; i < th; ++i)
        for (int j = 0; j < tw; ++j) {
            const int64_t row = static_cast<int64_t>(static_cast<long double>(sh) / th * i);
            const int64_t col = static_cast<int64_t>(static_cast<long double>(sw) / tw * j);
            for (int c = 0; c < bpp; ++c)
                out[(static_cast<size_t>(i) * tw + j) * bpp + c] = src[(row * sw + col) * bpp + c];
        }
    return out;
}

struct Case {
    int sw, sh, tw, th, cpus;
};

TEST(TerminalThreads, ThreadedDownscaleEqualsSynchronous) {
    // Sources on each side of the part-count limits, odd row counts, targets taller than parts.
    const Case cases[] = {{200, 100, 80, 24, 4},   {400, 300, 80, 24, 8},    {600, 400, 133, 61, 8},
                          {1024, 512, 200, 60, 8}, {1024, 512, 200, 120, 3}, {513, 257, 97, 31, 2}};
    for (const Case& c : cases)
        for (int bpp : {3, 4}) {
            const std::vector<uint8_t> src = noise(static_cast<size_t>(c.sw) * c.sh * bpp, 7u + c.sw);
            const size_t target_bytes = static_cast<size_t>(c.tw) * c.th * bpp;
            std::vector<uint8_t> threaded(target_bytes, 0), single(target_bytes, 0);
            cpu_count_set(c.cpus);
            const int64_t created = threads_state.threads_created.load();
            image_downscale(src.data(), c.sw, c.sh, c.tw, c.th, threaded.data(), bpp);
            // Sources of 16384 pixels or more on several processors really are split.
            EXPECT_GT(threads_state.threads_created.load(), created) << c.sw << "x" << c.sh;
            threads_set_synchronous(1);
            image_downscale(src.data(), c.sw, c.sh, c.tw, c.th, single.data(), bpp);
            threads_set_synchronous(0);
            EXPECT_EQ(threaded, single) << c.sw << "x" << c.sh << " bpp " << bpp;
            EXPECT_EQ(threaded, reference(src, c.sw, c.sh, c.tw, c.th, bpp)) << c.sw << "x" << c.sh;
        }
    cpu_count_set(0);
}

TEST(TerminalThreads, SmallSourcesAndOneProcessorStayOnTheCaller) {
    const std::vector<uint8_t> small = noise(120 * 100 * 3, 3);  // 12000 pixels, below the threshold
    std::vector<uint8_t> out(40 * 20 * 3);
    cpu_count_set(8);
    int64_t created = threads_state.threads_created.load();
    image_downscale(small.data(), 120, 100, 40, 20, out.data());
    EXPECT_EQ(threads_state.threads_created.load(), created);
    EXPECT_EQ(out, reference(small, 120, 100, 40, 20, 3));

    const std::vector<uint8_t> big = noise(512 * 256 * 3, 4);
    std::vector<uint8_t> cells(80 * 24 * 3);
    cpu_count_set(1);
    created = threads_state.threads_created.load();
    image_downscale(big.data(), 512, 256, 80, 24, cells.data());
    EXPECT_EQ(threads_state.threads_created.load(), created);
    EXPECT_EQ(cells, reference(big, 512, 256, 80, 24, 3));
    cpu_count_set(0);
}

}  // namespace
