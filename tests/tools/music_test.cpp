// The music generator end to end: the build's data/theme.ogg decoded with libvorbisfile and measured
// (format, headroom, the sections' loudness, the kick on the beat grid), and a fresh run of the
// generator compared byte for byte with the build's file.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr double kBeat = 0.4;  // seconds: 150 beats per minute

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<float> left;
    std::vector<float> right;
    int clipped = 0;  // samples the decoder delivered at or beyond full scale

    double seconds() const {
        return rate > 0 ? static_cast<double>(left.size()) / static_cast<double>(rate) : 0.0;
    }
    size_t frame(double t) const {
        return std::min(left.size(), static_cast<size_t>(std::max(0.0, t) * static_cast<double>(rate)));
    }
};

Decoded decode(const std::string& path) {
    Decoded d;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return d;
    vorbis_info* info = ov_info(&file, -1);
    d.rate = info->rate;
    d.channels = info->channels;
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long count = ov_read_float(&file, &pcm, 4096, &section);
        if (count <= 0) break;  // end of stream or a hole: either way the length test catches it
        for (long i = 0; i < count; ++i) {
            float l = pcm[0][i];
            float r = d.channels > 1 ? pcm[1][i] : l;
            d.clipped += (std::fabs(l) >= 1.0f ? 1 : 0) + (std::fabs(r) >= 1.0f ? 1 : 0);
            d.left.push_back(l);
            d.right.push_back(r);
        }
    }
    ov_clear(&file);
    return d;
}

// Decoded once per test process: every case reads the same file.
std::string built_theme_path() {
    return vmtest::build_dir() + "/data/" MUSIC_FILE;
}

const Decoded& theme() {
    static const Decoded decoded = decode(built_theme_path());
    return decoded;
}

// Loudness of both channels over [t0, t1), in dB relative to full scale.
double rms_db(const Decoded& d, double t0, double t1) {
    size_t a = d.frame(t0), b = d.frame(t1);
    double sum = 0.0;
    for (size_t i = a; i < b; ++i) sum += d.left[i] * d.left[i] + d.right[i] * d.right[i];
    double mean = b > a ? sum / (2.0 * static_cast<double>(b - a)) : 0.0;
    return 10.0 * std::log10(mean + 1e-12);
}

int run_generator(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {MUSICGEN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    vmtest::ChildProcess child(argv, {}, fs::temp_directory_path().string());
    if (!child.started()) return -1;
    return child.wait(300.0);
}

TEST(MusicGeneratorRuns, WritesTheSameBytesAsTheBuildAndFailsCleanly) {
    vmtest::TempDir dir;
    const std::string built = vmtest::read_file(built_theme_path());
    ASSERT_GT(built.size(), 500000u);
    ASSERT_EQ(run_generator({dir / "theme.ogg"}), 0);
    // A second generation, in another process and folder, gives the very same file: no clock, no
    // random serial number, no uninitialised memory reaches the stream.
    EXPECT_TRUE(vmtest::read_file(dir / "theme.ogg") == built) << "theme.ogg differs between runs";
    EXPECT_FALSE(fs::exists(dir / "theme.ogg.tmp"));

    EXPECT_EQ(run_generator({}), 2);
    EXPECT_EQ(run_generator({""}), 2);
    // The folder does not exist: the run fails without leaving anything behind.
    EXPECT_EQ(run_generator({dir / "missing/theme.ogg"}), 1);
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(Theme, IsStereo44100OfTheWholePassWithHeadroomAndSilentEnds) {
    const Decoded& d = theme();
    ASSERT_EQ(d.rate, 44100);
    ASSERT_EQ(d.channels, 2);
    // The demo's pass is 218.5 s; the music must outlast it.
    EXPECT_GE(d.seconds(), 220.0);
    EXPECT_LE(d.seconds(), 230.0);

    float peak = 0.0f;
    for (size_t i = 0; i < d.left.size(); ++i)
        peak = std::max({peak, std::fabs(d.left[i]), std::fabs(d.right[i])});
    EXPECT_EQ(d.clipped, 0);
    EXPECT_LT(peak, 0.95f);  // 0.4 dB of encoder overshoot would still not reach full scale
    EXPECT_GT(peak, 0.4f);   // and the level is not left far below it either

    // Fades in from silence and ends in silence, without a click at either end.
    EXPECT_LT(rms_db(d, 0.0, 0.3), -50.0);
    EXPECT_LT(rms_db(d, d.seconds() - 0.5, d.seconds()), -60.0);

    // Stereo, not a mono signal twice: in a drop the side signal is well above zero but below the mid.
    double mid = 0.0, side = 0.0;
    for (size_t i = d.frame(40.0); i < d.frame(50.0); ++i) {
        double m = 0.5 * (d.left[i] + d.right[i]), s = 0.5 * (d.left[i] - d.right[i]);
        mid += m * m;
        side += s * s;
    }
    EXPECT_GT(side, 0.01 * mid);
    EXPECT_LT(side, 0.5 * mid);
}

TEST(Theme, LoudnessFollowsTheSections) {
    const Decoded& d = theme();
    ASSERT_GE(d.seconds(), 220.0);
    double intro = rms_db(d, 2.0, 9.6);  // pad and muffled arpeggio, fading in
    double first_drop = rms_db(d, 33.0, 53.0);
    double breakdown = rms_db(d, 92.0, 105.0);  // no drums
    double climax = rms_db(d, 122.0, 150.0);
    double last_scene = rms_db(d, 216.0, 218.5);
    EXPECT_LT(intro, first_drop - 8.0) << intro << " " << first_drop;
    EXPECT_LT(breakdown, climax - 3.0) << breakdown << " " << climax;
    EXPECT_LT(last_scene, climax - 8.0) << last_scene << " " << climax;
    // The beat starts at the third scene (15 s, on the nearest beat): a step up in loudness there.
    EXPECT_GT(rms_db(d, 15.6, 22.0), rms_db(d, 10.0, 14.8) + 3.0);
    // The drums return after the breakdown right at the 106 s scene change.
    EXPECT_GT(rms_db(d, 106.0, 108.0), rms_db(d, 103.6, 105.6) + 2.0);

    // Bar by bar the level moves: not a flat loop.
    std::vector<double> bars;
    for (double t = 1.6; t + 1.6 <= 218.4; t += 1.6) bars.push_back(rms_db(d, t, t + 1.6));
    auto [quietest, loudest] = std::minmax_element(bars.begin(), bars.end());
    EXPECT_GT(*loudest - *quietest, 12.0);
    // And no bar is louder than a sensible master: about -8 dBFS at most.
    EXPECT_LT(*loudest, -8.0);
}

// The envelope of the band below ~120 Hz in 1 ms frames: the kick's body lives there.
std::vector<double> low_band_envelope(const Decoded& d, double t0, double t1, double& frame_seconds) {
    const size_t hop = static_cast<size_t>(d.rate / 1000);
    frame_seconds = static_cast<double>(hop) / static_cast<double>(d.rate);
    const double a = 1.0 - std::exp(-2.0 * 3.141592653589793 * 250.0 / static_cast<double>(d.rate));
    double y1 = 0.0, y2 = 0.0;
    std::vector<double> env;
    double sum = 0.0;
    size_t in_frame = 0;
    for (size_t i = d.frame(t0); i < d.frame(t1); ++i) {
        double x = 0.5 * (d.left[i] + d.right[i]);
        y1 += a * (x - y1);  // two one-pole stages: 12 dB per octave above the cutoff
        y2 += a * (y1 - y2);
        sum += y2 * y2;
        if (++in_frame == hop) {
            env.push_back(sum / static_cast<double>(hop));
            sum = 0.0;
            in_frame = 0;
        }
    }
    return env;
}

struct BeatStats {
    int beats = 0;    // beats of the 0.4 s grid in the window
    int on_time = 0;  // beats whose low-band attack starts within 6 ms of the grid
    int strong = 0;   // beats where the low band jumps fourfold across the grid line
};

BeatStats beat_stats(const Decoded& d, double t0, double t1) {
    BeatStats stats;
    double frame_seconds = 0.0;
    std::vector<double> env = low_band_envelope(d, t0, t1, frame_seconds);
    auto frame_at = [&](double t) { return std::lround((t - t0) / frame_seconds); };
    const long frames = static_cast<long>(env.size());
    // From the first beat with room for the look-back before it.
    for (double beat = std::ceil((t0 + 0.05) / kBeat) * kBeat; beat + kBeat <= t1; beat += kBeat) {
        ++stats.beats;
        // The kick's attack: the first frame to reach half the beat's low-band peak, searched from
        // a little before the beat to half a beat after it.
        long first = std::max(0L, frame_at(beat - 0.05));
        long last = std::min(frames, frame_at(beat + kBeat / 2));
        double peak = 0.0;
        for (long f = first; f < last; ++f) peak = std::max(peak, env[static_cast<size_t>(f)]);
        long onset = first;
        while (onset < last && env[static_cast<size_t>(onset)] < 0.5 * peak) ++onset;
        // One frame of slack for the envelope's own delay.
        if (std::fabs(t0 + static_cast<double>(onset) * frame_seconds - beat) <= 0.006) ++stats.on_time;
        // Averages over 20 ms smooth out the low notes' own cycles. A kick is a jump in the low band
        // from just before the beat to just after it.
        auto mean = [&](double from) {
            long a = std::max(0L, frame_at(from)), b = std::min(frames, frame_at(from + 0.02));
            double sum = 0.0;
            for (long f = a; f < b; ++f) sum += env[static_cast<size_t>(f)];
            return b > a ? sum / static_cast<double>(b - a) : 0.0;
        };
        if (mean(beat + 0.005) > 4.0 * mean(beat - 0.025)) ++stats.strong;
    }
    return stats;
}

TEST(Theme, KickOnsetsFallOnTheBeatGridWhereTheDrumsPlay) {
    const Decoded& d = theme();
    ASSERT_GE(d.seconds(), 220.0);
    // The first drop, the climax, and the scene whose dust flashes on the beat (193.5 s to 198.5 s).
    const double drums[][2] = {{33.2, 52.8}, {122.0, 150.0}, {193.6, 198.4}};
    for (const auto& w : drums) {
        BeatStats s = beat_stats(d, w[0], w[1]);
        ASSERT_GE(s.beats, 10);
        EXPECT_GE(s.on_time, s.beats * 95 / 100)
            << "from " << w[0] << " s: " << s.on_time << " of " << s.beats;
        EXPECT_GE(s.strong, s.beats * 9 / 10) << "from " << w[0] << " s: " << s.strong << " of " << s.beats;
    }
    // The same measure finds no beat where the drums rest, so it is not fooled by the pad or the
    // held bass: the breakdown and the intro before the beat comes in.
    const double rests[][2] = {{92.0, 105.2}, {10.0, 14.8}};
    for (const auto& w : rests) {
        BeatStats s = beat_stats(d, w[0], w[1]);
        EXPECT_LT(s.strong, s.beats / 4) << "from " << w[0] << " s: " << s.strong << " of " << s.beats;
    }
}

// Power of one frequency over [t0, t1) of the mid signal (Goertzel), per sample.
double tone_power(const Decoded& d, double hz, double t0, double t1) {
    const double w = 2.0 * 3.141592653589793 * hz / static_cast<double>(d.rate);
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    size_t a = d.frame(t0), b = d.frame(t1);
    for (size_t i = a; i < b; ++i) {
        double s0 = 0.5 * (d.left[i] + d.right[i]) + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double n = static_cast<double>(b - a);
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (n * n);
}

TEST(Theme, BassPlaysTheChordRootsInTuneBarByBar) {
    const Decoded& d = theme();
    ASSERT_GE(d.seconds(), 220.0);
    // Bass notes by name; the pad and the melody lie an octave and more above this range.
    struct Root {
        const char* name;
        double hz;
    };
    const Root roots[] = {{"E2", 82.41}, {"F2", 87.31}, {"G2", 98.0}, {"A2", 110.0}, {"C3", 130.81}};
    // Where the drums rest the held bass carries the harmony: the breakdown from its first beat
    // (91.2 s), and the last part of the intro (10 s), one chord per 1.6 s bar.
    struct Passage {
        double start;
        std::vector<std::string> chords;
    };
    const Passage passages[] = {
        {91.2, {"F2", "C3", "G2", "A2", "F2", "C3", "G2", "G2"}},
        {10.0, {"A2", "F2", "C3"}},
    };
    for (const Passage& p : passages) {
        for (size_t bar = 0; bar < p.chords.size(); ++bar) {
            // The middle of the bar, clear of the previous note's release and the next attack.
            double t0 = p.start + 1.6 * static_cast<double>(bar) + 0.3;
            const Root* best = &roots[0];
            for (const Root& r : roots) {
                if (tone_power(d, r.hz, t0, t0 + 1.0) > tone_power(d, best->hz, t0, t0 + 1.0)) best = &r;
            }
            EXPECT_EQ(best->name, p.chords[bar]) << "bar " << bar << " from " << p.start << " s";
        }
    }
}

}  // namespace
