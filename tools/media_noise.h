// Deterministic randomness for the media generator: a fixed-seed generator and tileable gradient noise.
// Single-threaded; the same seed gives the same numbers on every machine and optimisation level.
#pragma once

#include <cstdint>

// A 64-bit counter stepped by an odd constant and scrambled on output, so each seed gives an
// independent stream and no library state (rand, time) ever leaks into the media.
struct MediaRng {
    uint64_t state;  // advanced by every draw
};

MediaRng rng_seed(uint64_t seed);
uint32_t rng_next(MediaRng& rng);
// Uniform in [0, 1), 24 bits so the value is exact in a float.
float rng_unit(MediaRng& rng);

// A stateless hash of a lattice point and a salt: per-pixel and per-block variation without a stream.
uint32_t hash_point(int32_t x, int32_t y, uint32_t salt);
// The same hash as a float in [0, 1).
float hash_unit(int32_t x, int32_t y, uint32_t salt);

// Gradient noise over a shuffled lattice of 256 x 256 points.
struct NoiseTable {
    uint8_t perm[256];  // lattice shuffle drawn from the seed
};

NoiseTable noise_make(uint64_t seed);
// Roughly in [-1, 1]. The lattice repeats every period_x / period_y cells, so images built on it
// tile; give powers of two so that every octave of noise_fbm repeats too (256 where tiling is moot).
float noise_gradient(const NoiseTable& table, float x, float y, int period_x, int period_y);
// Octaves of noise_gradient, each at twice the frequency and gain times the amplitude of the one
// before, normalised back to roughly [-1, 1].
float noise_fbm(const NoiseTable& table, float x, float y, int octaves, float gain, int period_x,
                int period_y);
