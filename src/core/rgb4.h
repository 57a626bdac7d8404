// Four RGB pixels (twelve bytes) as one SSE2 vector: loaded and stored without touching a byte past them,
// and spread to or gathered from four 32-bit lanes of r | g << 8 | b << 16. Shared by the span and merge
// loops that work four pixels at a time.
#pragma once

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace rgb4 {

// The twelve bytes at p in the low twelve bytes of a vector, and back.
inline __m128i load12(const uint8_t* p) {
    uint32_t tail;
    std::memcpy(&tail, p + 8, 4);
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                              _mm_cvtsi32_si128(static_cast<int32_t>(tail)));
}
inline void store12(uint8_t* p, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
    std::memcpy(p + 8, &tail, 4);
}

// Even lanes' low three bytes, as a mask.
inline __m128i even_low24() {
    return _mm_setr_epi32(0xFFFFFF, 0, 0xFFFFFF, 0);
}

// Twelve packed bytes -> four lanes of r | g << 8 | b << 16.
inline __m128i unpack(__m128i bytes) {
    const __m128i halves = _mm_unpacklo_epi64(bytes, _mm_srli_si128(bytes, 6));  // pixels 0 1 | 2 3
    const __m128i low = even_low24();
    return _mm_or_si128(_mm_and_si128(halves, low),
                        _mm_slli_epi64(_mm_and_si128(_mm_srli_epi64(halves, 24), low), 32));
}

// Four lanes below 2^24 -> twelve packed bytes (the top four zero).
inline __m128i pack(__m128i w) {
    const __m128i low = even_low24();
    const __m128i halves = _mm_or_si128(_mm_and_si128(w, low), _mm_srli_epi64(_mm_andnot_si128(low, w), 8));
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

}  // namespace rgb4

#endif
