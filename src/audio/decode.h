// Sound decoding: WAV and Ogg Vorbis files turned into the one form the players take, interleaved
// signed 16-bit stereo at 44100 Hz, by sample repetition and dropping. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// Every buffer below is malloc'd with this many zeroed bytes beyond its data; the caller frees it.
constexpr size_t SOUND_SLACK = 1024;
// The rate every player plays at.
constexpr int SOUND_RATE = 44100;
// A file is decoded up to this many seconds at its own rate and cut there: a header may claim hours,
// and a 5500 Hz 8-bit mono file grows 32 times on its way to the players. The fuzz target lowers it.
struct SoundLimits {
    int max_seconds = 600;  // 10 minutes: at most about 106 MB of 44100 Hz stereo after conversion
};
extern SoundLimits sound_limits;
// fade_ends leaves sounds of this many samples or fewer alone; the fade covers FADE_SAMPLES at each end.
constexpr size_t FADE_MIN_SAMPLES = 4096;
constexpr size_t FADE_SAMPLES = 1024;

// Chooses the decoder by the path's last three characters ("wav" or "ogg", lower case); null for a
// null path, a path of 5 characters or fewer, or any other ending. `length` receives the byte count.
int16_t* sound_decode_file(const char* path, size_t* length);
int16_t* wav_decode(const char* path, size_t* length);
int16_t* ogg_decode(const char* path, size_t* length);

// The same over bytes in memory (the file decoders load the file and call these).
int16_t* wav_decode_memory(const uint8_t* data, size_t size, size_t* length);
int16_t* ogg_decode_memory(const uint8_t* data, size_t size, size_t* length);

// 1 for the five rates a sound file may have: 5500, 11025, 22050, 44100, 48000.
int sound_rate_accepted(int rate);

// The conversion steps. Lengths are in bytes; a sample is one 16-bit value. Each returns a new buffer
// (its byte count in `out_length`) and leaves the input to its owner.
// n bytes of 8-bit data become n samples of byte x 127 (the unsigned offset is kept).
int16_t* widen_8bit(const uint8_t* data, size_t length, size_t* out_length);
// Each sample twice (left = right).
int16_t* to_stereo(const int16_t* samples, size_t length, size_t* out_length);
// 5500 Hz to 11025 Hz: sample i to floor(i x 11025 / 5500) and the two positions after it.
int16_t* stretch_5500(const int16_t* samples, size_t length, size_t* out_length);
// Each sample twice in a row.
int16_t* double_rate(const int16_t* samples, size_t length, size_t* out_length);
// 48000 Hz to 44100 Hz: sample i to floor(i x 0.91875) and the position after it.
int16_t* shrink_48000(const int16_t* samples, size_t length, size_t* out_length);
// A copy with the first and last 1024 samples ramped, when there are more than 4096 samples.
int16_t* fade_ends(const int16_t* samples, size_t length, size_t* out_length);

// Stereo samples at `rate` (one of the accepted ones) through the rate steps and the fade to 44100 Hz.
// Takes ownership of `samples` (freed); null only when `rate` is not accepted.
int16_t* sound_convert_rate(int16_t* samples, size_t length, int rate, size_t* out_length);
