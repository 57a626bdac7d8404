// Sound synthesis for the music generator. Envelopes and filter coefficients are updated once per
// block of kBlock frames and the oscillators run per frame, which keeps a whole song to seconds.
#include "music_synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;
// Envelopes and cutoffs change slowly next to the waveforms: 32 frames (0.7 ms) per update is far
// below what the ear resolves and saves an exp and a tan per frame.
constexpr size_t kBlock = 32;
constexpr int kSineSize = 4096;

struct SineTable {
    float value[kSineSize + 1];  // one period plus the first value again, for interpolation
    SineTable() {
        for (int i = 0; i <= kSineSize; ++i)
            value[i] = static_cast<float>(std::sin(6.283185307179586 * i / kSineSize));
    }
};

const SineTable& sine_table() {
    static const SineTable table;
    return table;
}

// sin(2 pi phase) for a phase in [0, 1).
inline float sine_of(const SineTable& table, float phase) {
    float x = phase * kSineSize;
    int i = static_cast<int>(x);
    float f = x - static_cast<float>(i);
    return table.value[i] + (table.value[i + 1] - table.value[i]) * f;
}

inline float wrap(float phase) {
    return phase - std::floor(phase);
}

// The polynomial correction that takes the aliasing step out of a naive saw near its wrap.
inline float poly_blep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

inline float saw(float phase, float dt) {
    return 2.0f * phase - 1.0f - poly_blep(phase, dt);
}

// Topology-preserving state-variable filter: stable under per-block cutoff changes.
struct Svf {
    float ic1 = 0.0f;
    float ic2 = 0.0f;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, k = 1.0f;

    void set(float hz, float q) {
        hz = std::clamp(hz, 20.0f, 0.45f * static_cast<float>(kMusicRate));
        float g = std::tan(kPi * hz / static_cast<float>(kMusicRate));
        k = 1.0f / q;
        a1 = 1.0f / (1.0f + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    // Returns the low-pass output; band and high are left in the out-parameters.
    float run(float x, float& band, float& high) {
        float v3 = x - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        band = v1;
        high = x - k * v1 - v2;
        return v2;
    }
};

// xorshift32: noise that is the same on every machine and run for a given seed.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed * 2654435761u + 0x9e3779b9u) {
        if (state == 0) state = 1;
    }
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
};

// Writes one frame of a voice into its bus and sends.
inline void emit(const SynthTarget& t, size_t n, float l, float r) {
    t.bus->left[n] += l;
    t.bus->right[n] += r;
    float mono = 0.5f * (l + r);
    if (t.delay_send) (*t.delay_send)[n] += mono * t.delay_amount;
    if (t.reverb_send) (*t.reverb_send)[n] += mono * t.reverb_amount;
}

// Number of frames from `begin` the voice may write, at most `wanted`.
size_t clip_frames(const SynthTarget& t, size_t begin, size_t wanted) {
    size_t total = t.bus->left.size();
    return begin >= total ? 0 : std::min(wanted, total - begin);
}

void pan_gains(float pan, float& lg, float& rg) {
    lg = std::sqrt(0.5f * (1.0f - pan));
    rg = std::sqrt(0.5f * (1.0f + pan));
}

}  // namespace

StereoBuffer synth_make_buffer(size_t frames) {
    StereoBuffer b;
    b.left.assign(frames, 0.0f);
    b.right.assign(frames, 0.0f);
    return b;
}

size_t synth_frame_of(double seconds) {
    return seconds <= 0.0 ? 0 : static_cast<size_t>(seconds * kMusicRate + 0.5);
}

float synth_midi_hz(int midi) {
    return 440.0f * std::exp2(static_cast<float>(midi - 69) / 12.0f);
}

void synth_note(const SynthTarget& target, const SynthPatch& patch, const SynthNote& note) {
    const SineTable& table = sine_table();
    const float rate = static_cast<float>(kMusicRate);
    size_t begin = synth_frame_of(note.start);
    size_t held = synth_frame_of(note.length);
    // The release runs until the voice is 60 dB down (e^-6.9).
    size_t frames = clip_frames(target, begin, held + synth_frame_of(patch.release * 6.9));
    if (frames == 0) return;

    const int count = std::clamp(patch.oscillators, 1, 4);
    const float hz = synth_midi_hz(note.midi);
    float phase[2][4];
    float ratio[2][4];
    Noise start_phases(static_cast<uint32_t>(note.midi) * 7919u + static_cast<uint32_t>(begin));
    for (int side = 0; side < 2; ++side) {
        for (int i = 0; i < count; ++i) {
            float x =
                count == 1 ? 0.0f : -1.0f + 2.0f * static_cast<float>(i) / static_cast<float>(count - 1);
            // The right stack mirrors the left one at a slightly narrower spread, so the two sides
            // beat against each other at different rates: that is the width.
            float cents = patch.detune_cents * (side == 0 ? x : -0.7f * x);
            ratio[side][i] = std::exp2(cents / 1200.0f);
            phase[side][i] = 0.5f + 0.5f * start_phases.next();
        }
    }
    float sub_phase = 0.0f;
    Svf filter[2];
    float lg, rg;
    pan_gains(note.pan, lg, rg);
    const float amp = patch.gain * note.velocity / std::sqrt(static_cast<float>(count));
    const float attack = std::max(patch.attack, 0.002f);
    const float hold_seconds = static_cast<float>(held) / rate;

    auto envelope = [&](float t) {
        float level;
        float tt = std::min(t, hold_seconds);
        if (tt < attack) {
            level = tt / attack;
        } else {
            level = patch.sustain + (1.0f - patch.sustain) * std::exp(-(tt - attack) / patch.decay);
        }
        if (t > hold_seconds) level *= std::exp(-(t - hold_seconds) / patch.release);
        return level;
    };

    float env_now = envelope(0.0f);
    for (size_t block = 0; block < frames; block += kBlock) {
        size_t end = std::min(frames, block + kBlock);
        float t = static_cast<float>(block) / rate;
        float t_end = static_cast<float>(end) / rate;
        float env_end = envelope(t_end);
        float env_step = (env_end - env_now) / static_cast<float>(end - block);
        float cutoff =
            (patch.cutoff + patch.cutoff_env * std::exp(-t / patch.cutoff_decay)) * note.brightness;
        filter[0].set(cutoff, patch.resonance);
        filter[1].set(cutoff, patch.resonance);
        // Vibrato fades in after a quarter second, as a singer's would.
        float vib_depth = patch.vibrato_cents * std::clamp((t - 0.25f) / 0.3f, 0.0f, 1.0f);
        float bend = std::exp2(vib_depth * std::sin(kTwoPi * 5.5f * t) / 1200.0f);
        float step = hz * bend / rate;
        float env = env_now;
        for (size_t k = block; k < end; ++k) {
            float side_out[2];
            for (int side = 0; side < 2; ++side) {
                float sum = 0.0f;
                for (int i = 0; i < count; ++i) {
                    float dt = step * ratio[side][i];
                    float p = phase[side][i];
                    float s = saw(p, dt);
                    if (patch.square_mix > 0.0f) {
                        float sq = s - saw(wrap(p + 0.5f), dt);
                        s += (sq - s) * patch.square_mix;
                    }
                    sum += s;
                    p += dt;
                    phase[side][i] = p >= 1.0f ? p - 1.0f : p;
                }
                float band, high;
                side_out[side] = filter[side].run(sum, band, high);
            }
            float sub = 0.0f;
            if (patch.sub_level > 0.0f) {
                sub = patch.sub_level * sine_of(table, sub_phase);
                sub_phase += 0.5f * step;
                if (sub_phase >= 1.0f) sub_phase -= 1.0f;
            }
            float a = amp * env;
            emit(target, begin + k, (side_out[0] + sub) * a * lg, (side_out[1] + sub) * a * rg);
            env += env_step;
        }
        env_now = env_end;
    }
}

void synth_kick(const SynthTarget& target, double start, float gain) {
    const SineTable& table = sine_table();
    const float rate = static_cast<float>(kMusicRate);
    size_t begin = synth_frame_of(start);
    size_t frames = clip_frames(target, begin, synth_frame_of(0.42));
    Noise click(17);
    float phase = 0.0f;
    // A short pitch drop from the attack down to the body, and a soft clip to round off the peak.
    const float drive = 1.6f;
    const float norm = 1.0f / std::tanh(drive);
    for (size_t k = 0; k < frames; ++k) {
        float t = static_cast<float>(k) / rate;
        float hz = 47.0f + 150.0f * std::exp(-t / 0.025f);
        float body = sine_of(table, phase) * std::exp(-t / 0.16f) * std::min(1.0f, t / 0.001f + 0.3f);
        // A gentle fade over the last 40 ms so the tail ends without a step.
        float tail = std::min(1.0f, (static_cast<float>(frames - k)) / (0.04f * rate));
        float x = (std::tanh(drive * body) * norm + 0.25f * click.next() * std::exp(-t / 0.002f)) * tail;
        phase = wrap(phase + hz / rate);
        emit(target, begin + k, x * gain, x * gain);
    }
}

void synth_clap(const SynthTarget& target, double start, float gain, uint32_t seed) {
    const SineTable& table = sine_table();
    const float rate = static_cast<float>(kMusicRate);
    size_t begin = synth_frame_of(start);
    size_t frames = clip_frames(target, begin, synth_frame_of(0.45));
    Noise noise_l(seed), noise_r(seed + 101u);
    Svf band_l, band_r;
    band_l.set(1400.0f, 1.1f);
    band_r.set(1600.0f, 1.1f);
    float phase = 0.0f;
    for (size_t k = 0; k < frames; ++k) {
        float t = static_cast<float>(k) / rate;
        // Three hand claps 11 ms apart, then the room's tail.
        float env = 0.0f;
        for (int i = 0; i < 3; ++i) {
            float ti = t - 0.011f * static_cast<float>(i);
            if (ti >= 0.0f) env = std::max(env, std::exp(-ti / 0.006f));
        }
        if (t > 0.022f) env = std::max(env, 0.7f * std::exp(-(t - 0.022f) / 0.1f));
        float b, h;
        band_l.run(noise_l.next(), b, h);
        float l = b;
        band_r.run(noise_r.next(), b, h);
        float r = b;
        float body = 0.5f * sine_of(table, phase) * std::exp(-t / 0.045f);
        phase = wrap(phase + 190.0f / rate);
        emit(target, begin + k, (l * 2.2f * env + body) * gain, (r * 2.2f * env + body) * gain);
    }
}

void synth_hat(const SynthTarget& target, double start, float gain, bool open, uint32_t seed) {
    const float rate = static_cast<float>(kMusicRate);
    size_t begin = synth_frame_of(start);
    float decay = open ? 0.16f : 0.028f;
    size_t frames = clip_frames(target, begin, synth_frame_of(decay * 6.0f));
    Noise noise(seed);
    Svf hp;
    hp.set(open ? 7000.0f : 8000.0f, 0.8f);
    float lg, rg;
    pan_gains(0.3f, lg, rg);
    for (size_t k = 0; k < frames; ++k) {
        float t = static_cast<float>(k) / rate;
        float b, h;
        hp.run(noise.next(), b, h);
        float x = h * std::exp(-t / decay) * std::min(1.0f, t / 0.0005f) * gain;
        emit(target, begin + k, x * lg, x * rg);
    }
}

void synth_crash(const SynthTarget& target, double start, float gain, uint32_t seed) {
    const float rate = static_cast<float>(kMusicRate);
    size_t begin = synth_frame_of(start);
    size_t frames = clip_frames(target, begin, synth_frame_of(3.0));
    Noise noise_l(seed), noise_r(seed + 7u);
    Svf hp_l, hp_r;
    hp_l.set(4500.0f, 0.7f);
    hp_r.set(4800.0f, 0.7f);
    for (size_t k = 0; k < frames; ++k) {
        float t = static_cast<float>(k) / rate;
        float env = std::exp(-t / 0.7f) * std::min(1.0f, t / 0.001f) * gain;
        float b, l, r;
        hp_l.run(noise_l.next(), b, l);
        hp_r.run(noise_r.next(), b, r);
        emit(target, begin + k, l * env, r * env);
    }
}

void synth_riser(const SynthTarget& target, double start, double length, float gain, uint32_t seed) {
    const float rate = static_cast<float>(kMusicRate);
    size_t begin = synth_frame_of(start);
    size_t frames = clip_frames(target, begin, synth_frame_of(length));
    Noise noise_l(seed), noise_r(seed + 3u);
    Svf bp_l, bp_r;
    const float seconds = static_cast<float>(length);
    for (size_t block = 0; block < frames; block += kBlock) {
        size_t end = std::min(frames, block + kBlock);
        float u = static_cast<float>(block) / rate / seconds;
        float centre = 300.0f * std::exp2(4.3f * u);  // about four octaves up to ~6 kHz
        bp_l.set(centre, 2.5f);
        bp_r.set(centre * 1.06f, 2.5f);
        float level = u * u * gain;
        for (size_t k = block; k < end; ++k) {
            float l, r, h;
            bp_l.run(noise_l.next(), l, h);
            bp_r.run(noise_r.next(), r, h);
            emit(target, begin + k, l * level, r * level);
        }
    }
}

void synth_delay(const std::vector<float>& send, StereoBuffer& out, double seconds, float feedback) {
    size_t length = std::max<size_t>(1, synth_frame_of(seconds));
    std::vector<float> line_l(length, 0.0f), line_r(length, 0.0f);
    float damp_l = 0.0f, damp_r = 0.0f;
    size_t pos = 0;
    size_t frames = std::min(send.size(), out.left.size());
    for (size_t n = 0; n < frames; ++n) {
        float yl = line_l[pos];
        float yr = line_r[pos];
        // The repeats lose their highs as they bounce, like a tape echo.
        damp_l += 0.35f * (yr - damp_l);
        damp_r += 0.35f * (yl - damp_r);
        line_l[pos] = send[n] + feedback * damp_l;
        line_r[pos] = feedback * damp_r;
        out.left[n] += yl;
        out.right[n] += yr;
        if (++pos == length) pos = 0;
    }
}

namespace {

struct Comb {
    std::vector<float> line;
    size_t pos = 0;
    float store = 0.0f;
    float run(float x, float feedback, float damp) {
        float y = line[pos];
        store = y * (1.0f - damp) + store * damp;
        line[pos] = x + store * feedback;
        if (++pos == line.size()) pos = 0;
        return y;
    }
};

struct Allpass {
    std::vector<float> line;
    size_t pos = 0;
    float run(float x) {
        float b = line[pos];
        float y = b - x;
        line[pos] = x + b * 0.5f;
        if (++pos == line.size()) pos = 0;
        return y;
    }
};

}  // namespace

void synth_reverb(const std::vector<float>& send, StereoBuffer& out, float wet) {
    // Mutually prime delay lengths in frames (25 to 37 ms), the right side 23 frames longer.
    const size_t comb_lengths[4] = {1116, 1277, 1422, 1617};
    const size_t allpass_lengths[2] = {556, 341};
    const size_t spread = 23;
    const size_t predelay = synth_frame_of(0.02);
    Comb combs[2][4];
    Allpass allpasses[2][2];
    for (size_t side = 0; side < 2; ++side) {
        for (size_t i = 0; i < 4; ++i) combs[side][i].line.assign(comb_lengths[i] + side * spread, 0.0f);
        for (size_t i = 0; i < 2; ++i)
            allpasses[side][i].line.assign(allpass_lengths[i] + side * spread, 0.0f);
    }
    size_t frames = std::min(send.size(), out.left.size());
    const float input_gain = 0.06f;
    for (size_t n = predelay; n < frames; ++n) {
        float x = send[n - predelay] * input_gain;
        float y[2];
        for (size_t side = 0; side < 2; ++side) {
            float sum = 0.0f;
            for (size_t i = 0; i < 4; ++i) sum += combs[side][i].run(x, 0.86f, 0.3f);
            for (size_t i = 0; i < 2; ++i) sum = allpasses[side][i].run(sum);
            y[side] = sum;
        }
        out.left[n] += y[0] * wet;
        out.right[n] += y[1] * wet;
    }
}
