// Sound synthesis for the music generator: oscillators, envelopes, filters, drum voices and the
// send effects (delay, reverb), all writing into whole-song float buffers. Single-threaded and
// deterministic: noise comes from a seeded generator, never from the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kMusicRate = 44100;  // frames per second of every buffer

// A stereo signal as two columns of equal length.
struct StereoBuffer {
    std::vector<float> left;   // one sample per frame, nominally within [-1, 1]
    std::vector<float> right;  // same length as left
};

StereoBuffer synth_make_buffer(size_t frames);
size_t synth_frame_of(double seconds);  // the frame that starts at `seconds`, rounded to nearest

// Where a voice writes: a stereo bus plus mono sends into the delay and the reverb.
struct SynthTarget {
    StereoBuffer* bus;
    std::vector<float>* delay_send;   // may be null
    std::vector<float>* reverb_send;  // may be null
    float delay_amount;               // send level relative to the dry signal
    float reverb_amount;
};

// A subtractive voice: a few detuned oscillators per side through a resonant low-pass filter
// whose cutoff follows its own decaying envelope.
struct SynthPatch {
    int oscillators;      // per side (left and right get their own detuned stack), 1 to 4
    float detune_cents;   // spread of the stack, outermost oscillator to the centre
    float square_mix;     // 0 pure saw, 1 pure square
    float sub_level;      // sine one octave below
    float attack;         // seconds, linear rise
    float decay;          // seconds to fall by 1/e towards the sustain level
    float sustain;        // level while held, 0 to 1
    float release;        // seconds to fall by 1/e after the note ends
    float cutoff;         // Hz, filter cutoff at rest
    float cutoff_env;     // Hz added at the note's start, decaying with cutoff_decay
    float cutoff_decay;   // seconds
    float resonance;      // 0.5 (flat) upwards
    float vibrato_cents;  // depth of the delayed vibrato
    float gain;
};

struct SynthNote {
    double start;      // seconds
    double length;     // seconds until release
    int midi;          // MIDI note number, 69 = A4 = 440 Hz
    float velocity;    // 0 to 1
    float pan;         // -1 left to 1 right
    float brightness;  // scales the patch's cutoffs
};

float synth_midi_hz(int midi);
void synth_note(const SynthTarget& target, const SynthPatch& patch, const SynthNote& note);

// Drum voices, each starting at `start` seconds. `seed` selects their noise.
void synth_kick(const SynthTarget& target, double start, float gain);
void synth_clap(const SynthTarget& target, double start, float gain, uint32_t seed);
void synth_hat(const SynthTarget& target, double start, float gain, bool open, uint32_t seed);
void synth_crash(const SynthTarget& target, double start, float gain, uint32_t seed);
// Band-passed noise whose centre and level rise over `length` seconds: the sweep before a drop.
void synth_riser(const SynthTarget& target, double start, double length, float gain, uint32_t seed);

// A ping-pong delay of the mono send into the bus (`seconds` per repeat, each side in turn).
void synth_delay(const std::vector<float>& send, StereoBuffer& out, double seconds, float feedback);
// A small hall: parallel damped combs into series all-passes, different lengths per side for width.
void synth_reverb(const std::vector<float>& send, StereoBuffer& out, float wet);
