// The player: what a forked child runs to play one sound through ALSA and end. Its only state is the
// open PCM handle; the counters below are for tests that call pcm_play in their own process.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Frames per write: two seconds at 44100 Hz.
constexpr int PCM_CHUNK_FRAMES = 88200;
// Interleaved signed 16-bit stereo.
constexpr int PCM_FRAME_BYTES = 4;

struct PlayerStats {
    int opens = 0;             // successful device opens
    int writes = 0;            // snd_pcm_writei calls
    int recoveries = 0;        // underruns and suspends recovered
    int first_chunks[4] = {};  // frames asked for by the first four writes
};

extern PlayerStats player_stats;

// Plays `length` bytes of 44100 Hz stereo frames on the default device (or the first card). 0 when
// played or when there is nothing to play, -1 when no device opened, the parameters were refused or a
// write failed beyond recovery. With `loop` set the passes repeat until the process is killed.
int pcm_play(const void* buffer, size_t length, int loop);

// The entry of a freshly forked player: pcm_play, then _exit(0) without exit handlers or stdio flushes.
// `parent` is the forking process's id, taken before the fork. The player dies with that process, holds
// none of its descriptors but standard input, output and error, and takes the default action for every
// signal the parent caught.
[[noreturn]] void player_main(const void* buffer, size_t length, int loop, pid_t parent);
