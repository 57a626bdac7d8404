// Small sound files written in memory: WAV files laid out for the engine's fixed-offset reader and Ogg
// Vorbis files made with libvorbisenc. Test fixtures and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundfiles {

// Byte at which the engine's WAV reader takes the samples; wav_file pads its header to it.
constexpr size_t WAV_SAMPLES_AT = 144;

// A RIFF WAV with the given header fields and sample bytes after a padding chunk, so the samples
// start at byte 144. `claimed_data` is the data chunk's size field (-1: the real size).
std::string wav_file(int channels, int rate, int bits, const std::string& samples, int64_t claimed_data = -1);

// 16-bit samples as little-endian bytes, and back.
std::string pcm16(const std::vector<int16_t>& samples);
std::vector<int16_t> samples16(const std::string& bytes);

// An Ogg Vorbis file of `frames` frames of a 440 Hz tone; empty when the encoder refuses the format.
std::string ogg_file(int channels, int rate, int frames);

}  // namespace soundfiles
