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

// Decodes bytes as a WAV or Ogg from memory; empty for null. The length must be whole samples of the
// buffer it came with.
std::vector<int16_t> decode(const std::string& bytes, bool ogg, size_t* length_out = nullptr) {
    size_t length = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    int16_t* out =
        ogg ? ogg_decode_memory(data, bytes.size(), &length) : wav_decode_memory(data, bytes.size(), &length);
    if (length_out != nullptr) *length_out = out != nullptr ? length : 0;
    if (out == nullptr) return {};
    std::vector<int16_t> samples(out, out + length / 2);
    free(out);
    return samples;
}

std::vector<int16_t> ramp(size_t n, int16_t start = -3000, int16_t step = 7) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(start + static_cast<int>(i % 800) * step);
    return s;
}

class SoundLimitsReset : public testing::Test {
  protected:
    void TearDown() override { sound_limits = SoundLimits{}; }
};

TEST(SoundDecode, MonoAt22050BecomesFourCopiesOfEverySample) {
    const std::vector<int16_t> mono = ramp(1000);
    const std::vector<int16_t> out = decode(wav_file(1, 22050, 16, pcm16(mono)), false);
    ASSERT_EQ(out.size(), 4000u);  // 4000 samples are too few for the fade
    for (size_t i = 0; i < mono.size(); ++i)
        for (size_t k = 0; k < 4; ++k) ASSERT_EQ(out[4 * i + k], mono[i]) << i;
}

TEST(SoundDecode, At48000ShrinksAndFadesBothEnds) {
    // 48000 stereo frames of one value: every output position is covered, so the fade is the only shape.
    const std::vector<int16_t> flat(96000, 1000);
    const std::vector<int16_t> out = decode(wav_file(2, 48000, 16, pcm16(flat)), false);
    ASSERT_EQ(out.size(), 88200u);
    for (int k = 0; k < 1024; ++k) {
        ASSERT_EQ(out[static_cast<size_t>(k)], 1000 * k / 1024) << k;
        ASSERT_EQ(out[88200 - 1024 + static_cast<size_t>(k)], 1000 * (1024 - k) / 1024) << k;
    }
    for (size_t i = 1024; i < 88200 - 1024; ++i) ASSERT_EQ(out[i], 1000) << i;
}

TEST(SoundDecode, FadeOnlyAboveFourThousandNinetySixSamples) {
    const std::vector<int16_t> flat(4098, -2000);
    // 44100 Hz stereo goes through unchanged apart from the fade.
    std::vector<int16_t> out =
        decode(wav_file(2, 44100, 16, pcm16({flat.begin(), flat.begin() + 4096})), false);
    ASSERT_EQ(out.size(), 4096u);
    EXPECT_EQ(out.front(), -2000);
    EXPECT_EQ(out.back(), -2000);
    out = decode(wav_file(2, 44100, 16, pcm16(flat)), false);
    ASSERT_EQ(out.size(), 4098u);
    EXPECT_EQ(out.front(), 0);
    EXPECT_EQ(out[512], -1000);  // -2000 x 512 / 1024, truncated toward zero
    EXPECT_EQ(out.back(), -2000 * 1 / 1024);
}

TEST(SoundDecode, EightBitMonoAt5500KeepsItsOffsetAndReaches44100) {
    const std::string bytes(3000, static_cast<char>(200));
    size_t length = 0;
    const std::vector<int16_t> out = decode(wav_file(1, 5500, 8, bytes), false, &length);
    // 3000 samples, 6000 stereo, 6000 x 11025 / 5500 samples at 11025 Hz, then four times that.
    EXPECT_EQ(length, 4 * (size_t{12000} * 11025 / 5500));
    ASSERT_GT(out.size(), 4096u);
    for (size_t i = 1024; i + 1024 < out.size(); ++i) ASSERT_EQ(out[i], 200 * 127) << i;
}

TEST(SoundDecode, RefusedFormatsAndNames) {
    const std::string samples = pcm16(ramp(2000));
    EXPECT_TRUE(decode(wav_file(1, 44100, 24, samples), false).empty());
    EXPECT_TRUE(decode(wav_file(1, 32000, 16, samples), false).empty());
    EXPECT_TRUE(decode(wav_file(1, 11025, 16, samples), false).size() > 0);

    vmtest::TempDir dir;
    const std::string wav = wav_file(1, 44100, 16, samples);
    size_t length = 0;
    const std::string good = dir.write("good.wav", wav);
    int16_t* out = sound_decode_file(good.c_str(), &length);
    ASSERT_NE(out, nullptr);
    free(out);
    // A name of five characters, an upper-case ending, an unknown ending: not looked at.
    dir.write("x.wav", wav);
    dir.write("LOUD.WAV", wav);
    dir.write("tone.mp3", wav);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(sound_decode_file("x.wav", &length), nullptr);
    EXPECT_EQ(sound_decode_file("LOUD.WAV", &length), nullptr);
    EXPECT_EQ(sound_decode_file("tone.mp3", &length), nullptr);
    EXPECT_EQ(sound_decode_file("missing.wav", &length), nullptr);
    EXPECT_EQ(sound_decode_file(nullptr, &length), nullptr);
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(SoundDecode, DamagedWavGivesWhatIsThereAndNeverReadsPast) {
    const std::vector<int16_t> mono = ramp(500);
    // A header claiming a gigabyte of data: the sound is the 500 samples the file holds.
    EXPECT_EQ(decode(wav_file(1, 22050, 16, pcm16(mono), 0x40000000), false).size(), 2000u);
    // An odd byte at the end is half a sample and dropped.
    EXPECT_EQ(decode(wav_file(1, 22050, 16, pcm16(mono) + "x"), false).size(), 2000u);
    // Every cut of the file: below 256 bytes nothing, above it the samples up to the cut.
    const std::string whole = wav_file(1, 22050, 16, pcm16(mono));
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        // An exact-size copy, so that the sanitizer sees any read past the cut.
        const std::string part = whole.substr(0, cut);
        const std::vector<int16_t> out = decode(part, false);
        if (cut < 256) {
            ASSERT_TRUE(out.empty()) << cut;
        } else {
            ASSERT_EQ(out.size(), (cut - 144) / 2 * 4) << cut;
        }
    }
}

TEST_F(SoundLimitsReset, LongFilesAreCutAtTheLengthCap) {
    sound_limits.max_seconds = 1;
    // Two seconds of 11025 Hz mono become one second at 44100 Hz.
    EXPECT_EQ(decode(wav_file(1, 11025, 16, pcm16(ramp(22050))), false).size(), 88200u);
    const std::string ogg = soundfiles::ogg_file(2, 44100, 3 * 44100);
    ASSERT_FALSE(ogg.empty());
    EXPECT_EQ(decode(ogg, true).size(), 88200u);
}

TEST(SoundDecode, OggDecodesToTheRightLengthAndRate) {
    // 22050 Hz mono: every decoded sample four times over; 44100 Hz stereo unchanged in length.
    const std::string mono = soundfiles::ogg_file(1, 22050, 9000);
    ASSERT_FALSE(mono.empty());
    std::vector<int16_t> out = decode(mono, true);
    ASSERT_EQ(out.size(), 36000u);
    EXPECT_EQ(out[4000], out[4001]);
    EXPECT_EQ(out[4000], out[4003]);
    // The tone survives: its peak is near the half amplitude it was made with.
    int peak = 0;
    for (int16_t s : out) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_GT(peak, 12000);
    EXPECT_LT(peak, 22000);

    const std::string stereo = soundfiles::ogg_file(2, 44100, 5000);
    EXPECT_EQ(decode(stereo, true).size(), 10000u);
    // A rate outside the five is refused like a WAV's.
    const std::string odd_rate = soundfiles::ogg_file(2, 32000, 5000);
    ASSERT_FALSE(odd_rate.empty());
    EXPECT_TRUE(decode(odd_rate, true).empty());

    vmtest::TempDir dir;
    const std::string path = dir.write("tone.ogg", stereo);
    size_t length = 0;
    int16_t* file = sound_decode_file(path.c_str(), &length);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(length, 20000u);
    free(file);
}

TEST(SoundDecode, TruncatedAndDamagedOggStaysInBounds) {
    const std::string whole = soundfiles::ogg_file(2, 44100, 20000);
    ASSERT_FALSE(whole.empty());
    // Cut inside the headers: nothing. Cut later: at most the whole sound.
    for (size_t cut = 0; cut < whole.size(); cut += 97) {
        const std::vector<int16_t> out = decode(whole.substr(0, cut), true);
        if (cut < 1000) {
            ASSERT_TRUE(out.empty()) << cut;
        }
        ASSERT_LE(out.size(), 40000u) << cut;
    }
    // Bytes overwritten throughout: whatever comes out is bounded.
    for (size_t at = 0; at < whole.size(); at += 61) {
        std::string damaged = whole;
        for (size_t k = at; k < at + 8 && k < damaged.size(); ++k)
            damaged[k] = static_cast<char>(damaged[k] ^ 0x5A);
        ASSERT_LE(decode(damaged, true).size(), 40000u) << at;
    }
    EXPECT_TRUE(decode(std::string(300, 'O'), true).empty());
}

}  // namespace
