// The demo's theme in A minor at 150 beats per minute: a night-park intro, two drops, a breakdown
// in the middle, the climax, a quieter title section, a second climax and an outro. The section
// changes sit on the beats nearest the demo's scene changes, so the music turns with the pictures.
#include "music_score.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Section starts are in tenths of a second, the unit of the demo's scene lengths; a beat is four.
constexpr int kTenthsPerBeat = 4;
constexpr int kBeatsPerBar = 4;
constexpr int kStepsPerBeat = 4;  // sixteenth notes

int beat_of_tenths(int tenths) {
    return (tenths + kTenthsPerBeat / 2) / kTenthsPerBeat;
}
double seconds_of_beat(double beat) {
    return beat * kMusicBeat;
}

enum class Kick : uint8_t { none, four, half };           // four on the floor, or beats 1 and 3
enum class Hats : uint8_t { none, eighths, sixteenths };  // closed hats on the off-beats or all steps
enum class Bass : uint8_t { none, offbeat, rolling, held };
enum class Lead : uint8_t { none, lead, doubled, bell };

struct Section {
    int start_tenths;  // where the section begins; it runs to the next one's start
    int progression;   // index into kProgressions, and the melody written over it
    Kick kick;
    bool clap;  // claps on beats 2 and 4
    Hats hats;
    bool open_hats;  // an open hat on every off-beat
    Bass bass;
    bool arp;  // sixteenth-note arpeggio of the chord
    Lead lead;
    float pad;         // level of the chord pad
    float brightness;  // cutoff scale of the pad, arpeggio and bass: the filter opens through a build
    bool build;        // ends in a riser and a snare roll into the next section
};

constexpr Section kSections[] = {
    // Night in the park: pad, a muffled arpeggio and the theme on a music box, fading in.
    {0, 0, Kick::none, false, Hats::none, false, Bass::none, true, Lead::bell, 1.0f, 0.35f, false},
    {100, 0, Kick::none, false, Hats::eighths, false, Bass::held, true, Lead::none, 1.0f, 0.5f, true},
    // The beat comes in.
    {150, 0, Kick::four, false, Hats::eighths, false, Bass::offbeat, true, Lead::none, 0.8f, 0.7f, true},
    // First drop: the melody.
    {320, 0, Kick::four, true, Hats::eighths, true, Bass::rolling, true, Lead::lead, 0.8f, 1.0f, false},
    {540, 0, Kick::four, true, Hats::sixteenths, false, Bass::offbeat, true, Lead::none, 0.8f, 0.8f, true},
    // Second drop.
    {700, 0, Kick::four, true, Hats::sixteenths, true, Bass::rolling, true, Lead::lead, 0.8f, 1.0f, false},
    // Breakdown: the dream begins; no drums, a bell over the pad.
    {910, 1, Kick::none, false, Hats::none, false, Bass::held, false, Lead::bell, 0.75f, 0.5f, false},
    {1060, 0, Kick::four, false, Hats::eighths, false, Bass::offbeat, true, Lead::none, 0.9f, 0.6f, true},
    // Climax.
    {1210, 0, Kick::four, true, Hats::sixteenths, true, Bass::rolling, true, Lead::doubled, 0.8f, 1.1f,
     false},
    // The demo's title: half-time, the second melody.
    {1525, 1, Kick::half, true, Hats::eighths, false, Bass::held, true, Lead::lead, 1.0f, 0.8f, true},
    {1665, 0, Kick::four, true, Hats::sixteenths, true, Bass::rolling, true, Lead::doubled, 0.8f, 1.1f,
     false},
    // Winding down with the music box again, then the outro's cadence home to A minor.
    {1985, 0, Kick::four, false, Hats::eighths, false, Bass::offbeat, true, Lead::bell, 0.8f, 0.6f, false},
    {2115, 2, Kick::none, false, Hats::none, false, Bass::held, true, Lead::none, 1.0f, 0.4f, false},
};
constexpr int kSectionCount = static_cast<int>(sizeof kSections / sizeof kSections[0]);
constexpr int kEndTenths = 2210;
// The demo's scene changes inside the drum sections get a crash cymbal on their nearest beat.
constexpr int kSceneChanges[] = {100,  150,  230,  250,  320,  380,  460,  540,  620,  700,  770,
                                 840,  910,  980,  1060, 1130, 1210, 1290, 1365, 1445, 1525, 1605,
                                 1665, 1745, 1805, 1885, 1935, 1985, 2055, 2115, 2185};
// The last pass's music ends here: the final chord is let go and fades by the file's end.
constexpr double kFadeOutStart = 213.5;
constexpr double kFadeOutEnd = 220.5;
constexpr double kFadeInEnd = 7.0;

struct Chord {
    int root;      // MIDI note of the bass
    int notes[4];  // pad voicing, around middle C
};

// A minor: i, VI, III, VII, iv, v and their neighbours.
constexpr Chord kAm = {45, {57, 60, 64, 67}};
constexpr Chord kF = {41, {57, 60, 65, 64}};
constexpr Chord kC = {48, {55, 60, 64, 67}};
constexpr Chord kG = {43, {55, 59, 62, 67}};
constexpr Chord kEm = {40, {55, 59, 64, 67}};

// Eight bars each, one chord per bar: the main theme, the dream, and the closing cadence.
constexpr Chord kProgressions[3][8] = {
    {kAm, kF, kC, kG, kF, kG, kEm, kAm},
    {kF, kC, kG, kAm, kF, kC, kG, kG},
    {kF, kG, kAm, kAm, kAm, kAm, kAm, kAm},
};

struct MelodyNote {
    int step;    // sixteenth within the eight bars
    int length;  // sixteenths
    int midi;
};

constexpr MelodyNote kMelodyA[] = {
    {0, 2, 69},   {2, 2, 72},   {4, 4, 76},   {8, 2, 74},    {10, 2, 72},  {12, 4, 74},
    {16, 4, 72},  {20, 2, 69},  {22, 2, 72},  {24, 8, 77},   {32, 3, 76},  {35, 3, 79},
    {38, 2, 76},  {40, 4, 74},  {44, 4, 72},  {48, 6, 74},   {54, 2, 71},  {56, 8, 67},
    {64, 2, 69},  {66, 2, 72},  {68, 4, 77},  {72, 2, 76},   {74, 2, 74},  {76, 4, 72},
    {80, 4, 71},  {84, 2, 74},  {86, 2, 79},  {88, 8, 74},   {96, 3, 71},  {99, 3, 72},
    {102, 2, 71}, {104, 4, 67}, {108, 4, 64}, {112, 12, 69}, {124, 2, 72}, {126, 2, 76},
};
constexpr MelodyNote kMelodyB[] = {
    {0, 6, 69},  {6, 2, 72},  {8, 8, 77},   {16, 6, 76},  {22, 2, 74},   {24, 8, 72},
    {32, 6, 74}, {38, 2, 71}, {40, 4, 67},  {44, 4, 71},  {48, 12, 72},  {60, 4, 71},
    {64, 6, 69}, {70, 2, 72}, {72, 6, 77},  {78, 2, 76},  {80, 6, 76},   {86, 2, 79},
    {88, 8, 76}, {96, 6, 74}, {102, 2, 76}, {104, 8, 74}, {112, 12, 71}, {124, 4, 74},
};

struct Melody {
    const MelodyNote* notes;
    int count;
};
// One per progression; the cadence has none.
constexpr Melody kMelodies[3] = {
    {kMelodyA, static_cast<int>(sizeof kMelodyA / sizeof kMelodyA[0])},
    {kMelodyB, static_cast<int>(sizeof kMelodyB / sizeof kMelodyB[0])},
    {nullptr, 0},
};
constexpr int kPhraseSteps = 8 * kBeatsPerBar * kStepsPerBeat;

// Patches, with designated fields so each sound reads as a sentence. Gains are set so the
// instruments sit together before the master scaling.
constexpr SynthPatch kPad = {.oscillators = 3,
                             .detune_cents = 14.0f,
                             .square_mix = 0.0f,
                             .sub_level = 0.0f,
                             .attack = 0.35f,
                             .decay = 1.2f,
                             .sustain = 0.8f,
                             .release = 0.5f,
                             .cutoff = 900.0f,
                             .cutoff_env = 700.0f,
                             .cutoff_decay = 0.9f,
                             .resonance = 0.7f,
                             .vibrato_cents = 0.0f,
                             .gain = 0.12f};
constexpr SynthPatch kArp = {.oscillators = 1,
                             .detune_cents = 0.0f,
                             .square_mix = 0.4f,
                             .sub_level = 0.0f,
                             .attack = 0.002f,
                             .decay = 0.09f,
                             .sustain = 0.0f,
                             .release = 0.08f,
                             .cutoff = 700.0f,
                             .cutoff_env = 3200.0f,
                             .cutoff_decay = 0.06f,
                             .resonance = 1.4f,
                             .vibrato_cents = 0.0f,
                             .gain = 0.2f};
constexpr SynthPatch kBassShort = {.oscillators = 2,
                                   .detune_cents = 7.0f,
                                   .square_mix = 0.2f,
                                   .sub_level = 0.35f,
                                   .attack = 0.003f,
                                   .decay = 0.1f,
                                   .sustain = 0.45f,
                                   .release = 0.03f,
                                   .cutoff = 260.0f,
                                   .cutoff_env = 1400.0f,
                                   .cutoff_decay = 0.07f,
                                   .resonance = 1.2f,
                                   .vibrato_cents = 0.0f,
                                   .gain = 0.38f};
constexpr SynthPatch kBassHeld = {.oscillators = 2,
                                  .detune_cents = 7.0f,
                                  .square_mix = 0.0f,
                                  .sub_level = 0.8f,
                                  .attack = 0.05f,
                                  .decay = 0.6f,
                                  .sustain = 0.7f,
                                  .release = 0.3f,
                                  .cutoff = 250.0f,
                                  .cutoff_env = 300.0f,
                                  .cutoff_decay = 0.5f,
                                  .resonance = 0.8f,
                                  .vibrato_cents = 0.0f,
                                  .gain = 0.4f};
constexpr SynthPatch kLead = {.oscillators = 2,
                              .detune_cents = 9.0f,
                              .square_mix = 0.15f,
                              .sub_level = 0.0f,
                              .attack = 0.01f,
                              .decay = 0.5f,
                              .sustain = 0.65f,
                              .release = 0.15f,
                              .cutoff = 1500.0f,
                              .cutoff_env = 3500.0f,
                              .cutoff_decay = 0.25f,
                              .resonance = 1.0f,
                              .vibrato_cents = 18.0f,
                              .gain = 0.33f};
// The lead's shadow an octave down in the climaxes: a short pluck that adds weight, not a second line.
constexpr SynthPatch kLeadLow = {.oscillators = 1,
                                 .detune_cents = 0.0f,
                                 .square_mix = 0.6f,
                                 .sub_level = 0.0f,
                                 .attack = 0.003f,
                                 .decay = 0.2f,
                                 .sustain = 0.2f,
                                 .release = 0.1f,
                                 .cutoff = 900.0f,
                                 .cutoff_env = 2500.0f,
                                 .cutoff_decay = 0.1f,
                                 .resonance = 1.1f,
                                 .vibrato_cents = 0.0f,
                                 .gain = 0.18f};
// Hollow square, no sustain: a music box for the breakdown.
constexpr SynthPatch kBell = {.oscillators = 1,
                              .detune_cents = 0.0f,
                              .square_mix = 0.8f,
                              .sub_level = 0.0f,
                              .attack = 0.004f,
                              .decay = 0.7f,
                              .sustain = 0.0f,
                              .release = 0.6f,
                              .cutoff = 2200.0f,
                              .cutoff_env = 2000.0f,
                              .cutoff_decay = 0.3f,
                              .resonance = 0.9f,
                              .vibrato_cents = 8.0f,
                              .gain = 0.2f};

struct Mix {
    StereoBuffer drums;   // kick, claps, hats, cymbals, risers
    StereoBuffer ducked;  // pad, arpeggio and bass: pumped by the kick
    StereoBuffer lead;
    std::vector<float> delay_send;
    std::vector<float> reverb_send;
    std::vector<float> duck;  // gain per frame for the ducked bus
};

SynthTarget target(StereoBuffer& bus, Mix& mix, float delay, float reverb) {
    return SynthTarget{&bus, &mix.delay_send, &mix.reverb_send, delay, reverb};
}

// Kick ducking: the other instruments step aside for a tenth of a second after each kick.
void duck_after(Mix& mix, double start) {
    size_t begin = synth_frame_of(start);
    size_t length = synth_frame_of(0.35);
    for (size_t k = 0; k < length && begin + k < mix.duck.size(); ++k) {
        float t = static_cast<float>(k) / static_cast<float>(kMusicRate);
        float g = 1.0f - 0.6f * std::exp(-t / 0.1f) * std::min(1.0f, t / 0.004f);
        mix.duck[begin + k] = std::min(mix.duck[begin + k], g);
    }
}

void play_drums(Mix& mix, const Section& s, int first_beat, int beats, uint32_t& seed) {
    SynthTarget drums = target(mix.drums, mix, 0.0f, 0.05f);
    SynthTarget claps = target(mix.drums, mix, 0.0f, 0.5f);
    // A build's last two bars roll into the next section; its very last beat drops the kick.
    int roll_from = s.build ? beats - 2 * kBeatsPerBar : beats;
    for (int b = 0; b < beats; ++b) {
        double t = seconds_of_beat(first_beat + b);
        int in_bar = b % kBeatsPerBar;
        bool last = s.build && b == beats - 1;
        bool kick = s.kick == Kick::four || (s.kick == Kick::half && in_bar % 2 == 0);
        if (kick && !last) {
            synth_kick(drums, t, 0.6f);
            duck_after(mix, t);
        }
        if (s.clap && (in_bar == 1 || in_bar == 3) && b < roll_from) synth_clap(claps, t, 0.3f, seed++);
        if (b >= roll_from && s.kick != Kick::none) {
            // Eighths, then sixteenths in the last bar, growing louder.
            int per_beat = b >= beats - kBeatsPerBar ? 4 : 2;
            for (int i = 0; i < per_beat; ++i) {
                float rise = static_cast<float>(b - roll_from) / static_cast<float>(2 * kBeatsPerBar);
                synth_clap(claps, t + kMusicBeat * i / per_beat, 0.1f + 0.2f * rise, seed++);
            }
        }
        for (int step = 0; step < kStepsPerBeat; ++step) {
            double ts = t + kMusicBeat * step / kStepsPerBeat;
            // The off-beat gets the open hat where there is one, the closed one otherwise; the other
            // sixteenths are ghost notes at half level.
            if (step == 2 && s.open_hats) {
                synth_hat(drums, ts, 0.08f, true, seed++);
            } else if ((step == 2 && s.hats != Hats::none) || s.hats == Hats::sixteenths) {
                synth_hat(drums, ts, step == 2 ? 0.12f : 0.06f, false, seed++);
            }
        }
    }
    if (s.build) {
        double length = seconds_of_beat(std::min(beats, 4 * kBeatsPerBar));
        synth_riser(drums, seconds_of_beat(first_beat + beats) - length, length, 0.12f, seed++);
    }
}

bool same_chord(const Chord& a, const Chord& b) {
    return a.root == b.root && std::equal(std::begin(a.notes), std::end(a.notes), std::begin(b.notes));
}

void play_harmony(Mix& mix, const Section& s, int first_beat, int beats) {
    SynthTarget pad = target(mix.ducked, mix, 0.0f, 0.35f);
    SynthTarget arp = target(mix.ducked, mix, 0.35f, 0.2f);
    SynthTarget bass = target(mix.ducked, mix, 0.0f, 0.0f);
    const Chord* progression = kProgressions[s.progression];
    int bars = (beats + kBeatsPerBar - 1) / kBeatsPerBar;
    for (int bar = 0; bar < bars; ++bar) {
        const Chord& chord = progression[bar % 8];
        int bar_beat = first_beat + bar * kBeatsPerBar;
        int bar_beats = std::min(kBeatsPerBar, beats - bar * kBeatsPerBar);
        double t = seconds_of_beat(bar_beat);
        // Held notes are tied over bars of the same chord instead of struck again.
        bool tied = bar > 0 && same_chord(chord, progression[(bar - 1) % 8]);
        int held_beats = bar_beats;
        for (int next = bar + 1; next < bars && same_chord(chord, progression[next % 8]); ++next) {
            held_beats += std::min(kBeatsPerBar, beats - next * kBeatsPerBar);
        }
        double length = seconds_of_beat(held_beats);
        for (int i = 0; i < 4 && !tied; ++i) {
            float pan = -0.5f + static_cast<float>(i) / 3.0f;
            synth_note(pad, kPad, {t, length, chord.notes[i], s.pad, pan, s.brightness});
        }
        if (s.arp) {
            // Up through the chord an octave higher, turning back on the off-beats.
            static constexpr int kArpOrder[8] = {0, 1, 2, 3, 2, 1, 2, 3};
            int steps = bar_beats * kStepsPerBeat;
            for (int step = 0; step < steps; ++step) {
                int note = chord.notes[kArpOrder[step % 8]] + 12;
                float velocity = step % 4 == 0 ? 1.0f : 0.7f;
                float pan = step % 2 == 0 ? -0.45f : 0.45f;
                double ts = t + kMusicBeat * step / kStepsPerBeat;
                synth_note(arp, kArp, {ts, 0.07, note, velocity, pan, s.brightness});
            }
        }
        if (s.bass == Bass::held) {
            if (!tied) synth_note(bass, kBassHeld, {t, length, chord.root, 1.0f, 0.0f, s.brightness});
        } else if (s.bass != Bass::none) {
            for (int step = 0; step < bar_beats * kStepsPerBeat; ++step) {
                // Off the kick: the off-beat eighth, or the three sixteenths after each kick.
                bool play = s.bass == Bass::offbeat ? step % 4 == 2 : step % 4 != 0;
                if (!play) continue;
                double ts = t + kMusicBeat * step / kStepsPerBeat;
                int note = chord.root + (s.bass == Bass::rolling && step % 4 == 3 ? 12 : 0);
                double len = s.bass == Bass::offbeat ? 0.16 : 0.08;
                synth_note(bass, kBassShort, {ts, len, note, 1.0f, 0.0f, s.brightness});
            }
        }
    }
}

void play_melody(Mix& mix, const Section& s, int first_beat, int beats) {
    if (s.lead == Lead::none) return;
    SynthTarget lead = target(mix.lead, mix, 0.3f, 0.35f);
    const Melody& melody = kMelodies[s.progression];
    int steps = beats * kStepsPerBeat;
    double step_seconds = kMusicBeat / kStepsPerBeat;
    for (int phrase = 0; phrase * kPhraseSteps < steps; ++phrase) {
        for (int i = 0; i < melody.count; ++i) {
            const MelodyNote& n = melody.notes[i];
            int at = phrase * kPhraseSteps + n.step;
            if (at >= steps) break;
            int length = std::min(n.length, steps - at);
            double t = seconds_of_beat(first_beat) + step_seconds * at;
            double len = step_seconds * length * 0.92;
            // Accents on the beat, so the line breathes with the drums.
            float velocity = n.step % 4 == 0 ? 1.0f : 0.8f;
            if (s.lead == Lead::bell) {
                synth_note(lead, kBell, {t, len, n.midi, velocity, 0.1f, 1.0f});
                continue;
            }
            synth_note(lead, kLead, {t, len, n.midi, velocity, 0.0f, 1.0f});
            if (s.lead == Lead::doubled) {
                synth_note(lead, kLeadLow, {t, len, n.midi - 12, velocity, -0.3f, 1.0f});
            }
        }
    }
}

void play_crashes(Mix& mix, uint32_t& seed) {
    SynthTarget drums = target(mix.drums, mix, 0.0f, 0.1f);
    for (int tenths : kSceneChanges) {
        for (int i = 0; i < kSectionCount; ++i) {
            int end = i + 1 < kSectionCount ? kSections[i + 1].start_tenths : kEndTenths;
            if (tenths < kSections[i].start_tenths || tenths >= end) continue;
            // Only where there is a beat to mark: in the quiet sections a cymbal would break the mood.
            if (kSections[i].kick == Kick::none) break;
            synth_crash(drums, seconds_of_beat(beat_of_tenths(tenths)), 0.16f, seed++);
            break;
        }
    }
}

float smoothstep(double edge0, double edge1, double x) {
    double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return static_cast<float>(t * t * (3.0 - 2.0 * t));
}

}  // namespace

StereoBuffer music_render() {
    size_t frames = synth_frame_of(kMusicSeconds);
    Mix mix;
    mix.drums = synth_make_buffer(frames);
    mix.ducked = synth_make_buffer(frames);
    mix.lead = synth_make_buffer(frames);
    mix.delay_send.assign(frames, 0.0f);
    mix.reverb_send.assign(frames, 0.0f);
    mix.duck.assign(frames, 1.0f);

    uint32_t seed = 1;
    for (int i = 0; i < kSectionCount; ++i) {
        const Section& s = kSections[i];
        int first = beat_of_tenths(s.start_tenths);
        int end = beat_of_tenths(i + 1 < kSectionCount ? kSections[i + 1].start_tenths : kEndTenths);
        // The outro's chord rings on to the fade instead of being cut at the file's end.
        if (i == kSectionCount - 1) end = beat_of_tenths(kEndTenths) - kBeatsPerBar;
        play_drums(mix, s, first, end - first, seed);
        play_harmony(mix, s, first, end - first);
        play_melody(mix, s, first, end - first);
    }
    play_crashes(mix, seed);

    StereoBuffer out = synth_make_buffer(frames);
    for (size_t n = 0; n < frames; ++n) {
        out.left[n] = mix.drums.left[n] + mix.lead.left[n] + mix.ducked.left[n] * mix.duck[n];
        out.right[n] = mix.drums.right[n] + mix.lead.right[n] + mix.ducked.right[n] * mix.duck[n];
    }
    // Dotted eighths: the echoes fall between the sixteenths of the arpeggio.
    synth_delay(mix.delay_send, out, 0.75 * kMusicBeat, 0.38f);
    synth_reverb(mix.reverb_send, out, 1.0f);

    // Fade in from silence, fade out after the last scene; then a soft knee and the final scale.
    float peak = 0.0f;
    for (size_t n = 0; n < frames; ++n) {
        double t = static_cast<double>(n) / kMusicRate;
        float g = smoothstep(0.0, kFadeInEnd, t) * (1.0f - smoothstep(kFadeOutStart, kFadeOutEnd, t));
        out.left[n] *= g;
        out.right[n] *= g;
        peak = std::max(peak, std::max(std::fabs(out.left[n]), std::fabs(out.right[n])));
    }
    // tanh rounds the few kick-and-clap peaks instead of letting them set the whole level.
    const float drive = 1.0f;
    const float scale = peak > 0.0f ? drive / peak : 0.0f;
    const float target_peak = 0.7f;
    const float norm = target_peak / std::tanh(drive);
    for (size_t n = 0; n < frames; ++n) {
        out.left[n] = std::tanh(out.left[n] * scale) * norm;
        out.right[n] = std::tanh(out.right[n] * scale) * norm;
    }
    return out;
}
