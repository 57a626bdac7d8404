// Sound decoding: WAV and Ogg files written by the tests through the rate steps, the fade, the length
// cap, and damaged or refused files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/decode.h"
#include "support/sound_files.h"
#include "support/temp_dir.h"

namespace {

using soundfiles::pcm16;
using soundfiles::wav_file;

// Bytes decoded as a WAV or an Ogg from memory; empty for null.
std::vector<int16_t> decode(const std::string& bytes, bool ogg) {
    size_t length = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    int16_t* out =
        ogg ? ogg_decode_memory(data, bytes.size(), &length) : wav_decode_memory(data, bytes.size(), &length);
    if (out == nullptr) return {};
    std::vector<int16_t> samples(out, out + length / 2);
    free(out);
    return samples;
}

std::vector<int16_t> ramp(size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(-3000 + static_cast<int>(i % 800) * 7);
    return s;
}

TEST(SoundDecode, RateStepsAndFade) {
    // 22050 Hz mono: every sample four times; 4000 samples are too few for the fade.
    const std::vector<int16_t> mono = ramp(1000);
    std::vector<int16_t> out = decode(wav_file(1, 22050, 16, pcm16(mono)), false);
    ASSERT_EQ(out.size(), 4000u);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], mono[i / 4]) << i;

    // 48000 Hz of one value: every position is covered, so the fade is the only shape left.
    out = decode(wav_file(2, 48000, 16, pcm16(std::vector<int16_t>(96000, -1000))), false);
    ASSERT_EQ(out.size(), 88200u);
    for (int k = 0; k < 1024; ++k) {
        ASSERT_EQ(out[static_cast<size_t>(k)], -1000 * k / 1024) << k;  // truncated toward zero
        ASSERT_EQ(out[88200 - 1024 + static_cast<size_t>(k)], -1000 * (1024 - k) / 1024) << k;
    }
    for (size_t i = 1024; i < 88200 - 1024; ++i) ASSERT_EQ(out[i], -1000) << i;

    // 4096 samples at 44100 Hz stay as they are; 8-bit 5500 Hz keeps the unsigned offset (200 x 127).
    const std::vector<int16_t> edge = ramp(4096);
    EXPECT_EQ(decode(wav_file(2, 44100, 16, pcm16(edge)), false), edge);
    out = decode(wav_file(1, 5500, 8, std::string(3000, static_cast<char>(200))), false);
    ASSERT_EQ(out.size(), 2 * (size_t{12000} * 11025 / 5500));
    for (size_t i = 1024; i + 1024 < out.size(); ++i) ASSERT_EQ(out[i], 200 * 127) << i;
}

TEST(SoundDecode, RefusedFormatsAndNames) {
    const std::string samples = pcm16(ramp(2000));
    EXPECT_TRUE(decode(wav_file(1, 44100, 24, samples), false).empty());
    EXPECT_TRUE(decode(wav_file(1, 32000, 16, samples), false).empty());
    EXPECT_TRUE(decode(soundfiles::ogg_file(2, 32000, 5000), true).empty());

    vmtest::TempDir dir;
    const std::string wav = wav_file(1, 44100, 16, samples);
    for (const char* name : {"good.wav", "x.wav", "LOUD.WAV", "tone.mp3"}) dir.write(name, wav);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    size_t length = 0;
    int16_t* good = sound_decode_file("good.wav", &length);
    EXPECT_EQ(length, 8000u);
    free(good);
    // Five characters, an upper-case ending and other endings are not looked at.
    for (const char* name : {"x.wav", "LOUD.WAV", "tone.mp3", "missing.wav"})
        EXPECT_EQ(sound_decode_file(name, &length), nullptr) << name;
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(SoundDecode, DamagedWavGivesWhatIsThere) {
    const std::vector<int16_t> mono = ramp(500);
    // A header claiming a gigabyte: the sound is the 500 samples there. A last odd byte is dropped.
    EXPECT_EQ(decode(wav_file(1, 22050, 16, pcm16(mono), 0x40000000), false).size(), 2000u);
    EXPECT_EQ(decode(wav_file(1, 22050, 16, pcm16(mono) + "x"), false).size(), 2000u);
    // Every cut (an exact-size copy, so the sanitizer sees a read past it): nothing below 256 bytes.
    const std::string whole = wav_file(1, 22050, 16, pcm16(mono));
    for (size_t cut = 0; cut < whole.size(); cut += 7)
        ASSERT_EQ(decode(whole.substr(0, cut), false).size(), cut < 256 ? 0 : (cut - 144) / 2 * 4) << cut;
}

TEST(SoundDecode, OggLengthRateAndDamage) {
    // 22050 Hz mono doubles twice; the tone's peak survives near the half amplitude it was made with.
    std::vector<int16_t> out = decode(soundfiles::ogg_file(1, 22050, 9000), true);
    ASSERT_EQ(out.size(), 36000u);
    EXPECT_EQ(out[4000], out[4003]);
    int peak = 0;
    for (int16_t s : out) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 12000);
    EXPECT_LT(peak, 22000);

    const std::string whole = soundfiles::ogg_file(2, 44100, 20000);
    ASSERT_EQ(decode(whole, true).size(), 40000u);
    // Cut inside the headers: nothing; anywhere else: at most the whole sound. The same for bytes
    // overwritten throughout.
    for (size_t cut = 0; cut < whole.size(); cut += 97) {
        const size_t n = decode(whole.substr(0, cut), true).size();
        ASSERT_TRUE(cut < 1000 ? n == 0 : n <= 40000u) << cut;
    }
    for (size_t at = 0; at < whole.size(); at += 61) {
        std::string damaged = whole;
        for (size_t k = at; k < at + 8 && k < damaged.size(); ++k)
            damaged[k] = static_cast<char>(damaged[k] ^ 0x5A);
        ASSERT_LE(decode(damaged, true).size(), 40000u) << at;
    }
}

TEST(SoundDecode, LongFilesAreCutAtTheLengthCap) {
    sound_limits.max_seconds = 1;
    // Two seconds of 11025 Hz mono, three of 44100 Hz stereo Ogg: one second at 44100 Hz each.
    EXPECT_EQ(decode(wav_file(1, 11025, 16, pcm16(ramp(22050))), false).size(), 88200u);
    EXPECT_EQ(decode(soundfiles::ogg_file(2, 44100, 3 * 44100), true).size(), 88200u);
    sound_limits = SoundLimits{};
}

}  // namespace
