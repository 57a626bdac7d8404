// The filler's depth scans at every width the processor runs (the hidden start of a span, and the depths
// at most a bound), against plain counts. Every row ends where its memory does, so a scan that reads a
// depth past its span faults.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <vector>

#include "render/raster/fill_span16.h"

namespace {

#if defined(FILL_SPAN8)

using fill_detail::depths_at_most8;
using fill_detail::hidden_run8;

// n depths ending at a page that cannot be read.
class GuardedRow {
  public:
    explicit GuardedRow(int n) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_ = (static_cast<size_t>(n) * 4 / page_ + 2) * page_;
        void* m = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(m, MAP_FAILED);
        base_ = static_cast<uint8_t*>(m);
        mprotect(base_ + size_ - page_, page_, PROT_NONE);
        row_ = reinterpret_cast<uint32_t*>(base_ + size_ - page_) - n;
    }
    ~GuardedRow() { munmap(base_, size_); }
    GuardedRow(const GuardedRow&) = delete;
    GuardedRow& operator=(const GuardedRow&) = delete;
    uint32_t* row() const { return row_; }

  private:
    size_t page_ = 0, size_ = 0;
    uint8_t* base_ = nullptr;
    uint32_t* row_ = nullptr;
};

int plain_hidden(const uint32_t* zp, uint32_t d, uint32_t dd, int n) {
    int k = 0;
    for (; k < n && !(d < zp[k]); ++k) d += dd;
    return k;
}

int plain_at_most(const uint32_t* zp, int n, uint32_t bound) {
    int k = 0;
    while (k < n && zp[k] <= bound) ++k;
    return k;
}

// Spans of every length up to 160 whose hidden start has every length up to the whole span, with depths
// that step up, down and across 2^32.
TEST(DepthScans, CountWhatThePlainLoopsCountAndReadNoFurther) {
    std::mt19937 rng(20261210);
#if defined(FILL_SPAN16)
    const bool have16 = fill_detail::span16_supported();
#endif
    if (!fill_detail::span8_supported()) GTEST_SKIP() << "no AVX2 on this processor";
    for (int n = 1; n <= 160; ++n) {
        GuardedRow guarded(n);
        uint32_t* zp = guarded.row();
        for (int trial = 0; trial < 12; ++trial) {
            const int hidden = static_cast<int>(rng() % static_cast<uint32_t>(n + 1));
            const uint32_t d = rng();
            const uint32_t dd = trial % 3 == 0 ? 0 : trial % 3 == 1 ? rng() % 4096 : rng();
            // Hidden pixels: depths at most the span's (ties hide); then one visible, then any.
            uint32_t at = d;
            for (int k = 0; k < n; ++k, at += dd) {
                const uint32_t r = rng() % 1000;
                if (k < hidden) {
                    zp[k] = r % 4 == 0 || r > at ? at : at - r;
                } else if (k == hidden) {
                    zp[k] = at == UINT32_MAX ? at : r < UINT32_MAX - at ? at + 1 + r : UINT32_MAX;
                } else {
                    zp[k] = rng();
                }
            }
            const int expect = plain_hidden(zp, d, dd, n);
            SCOPED_TRACE(testing::Message() << "n " << n << ", d " << d << ", dd " << dd);
            EXPECT_EQ(hidden_run8(zp, d, dd, n), expect);
#if defined(FILL_SPAN16)
            if (have16) {
                EXPECT_EQ(fill_detail::hidden_run16(zp, d, dd, n), expect);
            }
#endif
            // The same depths against one bound: the first `hidden` are at most it, the next is not.
            const uint32_t bound = rng() | 1u;
            for (int k = 0; k < n; ++k) {
                const uint32_t r = rng();
                zp[k] = k < hidden ? r % bound : k == hidden ? bound + (r % (UINT32_MAX - bound) + 1) : r;
            }
            const int at_most = plain_at_most(zp, n, bound);
            EXPECT_EQ(depths_at_most8(zp, n, bound), at_most);
#if defined(FILL_SPAN16)
            if (have16) {
                EXPECT_EQ(fill_detail::depths_at_most16(zp, n, bound), at_most);
            }
#endif
        }
    }
}

#endif

}  // namespace
