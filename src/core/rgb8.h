// Eight RGB pixels (24 bytes) as one AVX2 vector of eight 32-bit lanes r | g << 8 | b << 16, loaded and
// stored without touching a byte past them. For the span and merge loops that work eight pixels at a
// time where the processor has AVX2: the build's baseline is SSE2, so only functions marked RGB8_TARGET
// use it, and they run only after rgb8::supported() said yes.
#pragma once

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__)) && \
    (defined(__x86_64__) || defined(__i386__))
#define HAVE_RGB8 1

#include <immintrin.h>

#include <cstdint>

#define RGB8_TARGET __attribute__((target("avx2")))

namespace rgb8 {

// Whether this processor runs AVX2.
inline bool supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

// The 24 bytes of eight RGB pixels at p, four to each 128-bit half, as lanes of r | g << 8 | b << 16.
RGB8_TARGET inline __m256i load24(const uint8_t* p) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i last = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
    const __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(first), last, 1);
    // 32-bit words 0-2 to the low half, 3-5 to the high half.
    const __m256i halves = _mm256_permutevar8x32_epi32(both, _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5));
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    return _mm256_shuffle_epi8(halves, spread);
}

// Lanes of r | g << 8 | b << 16 (the top bytes ignored) back to 24 packed bytes at p.
RGB8_TARGET inline void store24(uint8_t* p, __m256i pixels) {
    const __m256i gather = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                            0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, gather),
                                                       _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(packed, 1));
}

}  // namespace rgb8

#endif
