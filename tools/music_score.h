// The demo's theme: its score (sections, chords, melodies, drum patterns) and the mix that turns it
// into one stereo buffer. Single-threaded, deterministic.
#pragma once

#include "music_synth.h"

constexpr double kMusicBeat = 0.4;       // seconds: 150 beats per minute, four of the demo's 0.1 s steps
constexpr double kMusicSeconds = 221.0;  // a pass of the demo is 218.5 s; the rest is the last chord's tail

// The whole piece at kMusicRate, mixed with headroom: no sample reaches 0.75 in magnitude.
StereoBuffer music_render();
